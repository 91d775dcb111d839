// Art-Net layouts against bytes worked out by hand from the Art-Net 4 document.

#include <gtest/gtest.h>

#include <numeric>

#include "NetTestSupport.h"
#include "net/ArtNetPackets.h"
#include "net/HostInterfaces.h"

using namespace velquor;
using net::ArtNetDatagram;
using net::Packet;

using testsupport::With;

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<uint8_t> Slice(const Packet& p, size_t from, size_t count) {
  return {p.begin() + static_cast<long>(from), p.begin() + static_cast<long>(from + count)};
}

// ArtRdm carrying GET DEVICE_INFO to 7FF0:00000101 from 4D41:00000010, transaction 0x42;
// its checksum is 0x03B7, worked out by hand.
const auto kRequest = testsupport::ArtRdmGetDeviceInfo(0x7FF000000101ULL, 0x42);

}  // namespace

TEST(ArtNetParse, DmxTakesWhatItSaysAndWhatArrivedAtMost512AndCutDatagramsAreDropped) {
  // As a console sends it: port-address 0x0123, sequence 0x11, the length in the header.
  const auto four = testsupport::ArtDmx(0x0123, 0x11, {10, 20, 30, 40});
  auto d = net::ParseArtNet(four);
  ASSERT_EQ(d.kind, ArtNetDatagram::Kind::Dmx);
  EXPECT_EQ(std::tuple(d.portAddress, d.sequence, Bytes(d.data.begin(), d.data.end())),
            std::tuple(291, 0x11, Bytes({10, 20, 30, 40})));
  // Never bytes beyond the datagram, never more than it says, never more than a universe.
  // Each: the length said, the slots sent, the slots taken.
  const std::tuple<uint16_t, size_t, size_t> cases[] = {
      {512, 100, 100}, {2, 512, 2}, {600, 600, 512}};
  for (const auto& [says, sent, taken] : cases) {
    const auto datagram = testsupport::ArtDmx(0x0123, 0x11, Bytes(sent, 7), says);
    d = net::ParseArtNet(datagram);  // its spans point into the datagram, kept while read
    EXPECT_EQ(d.declaredLength, says);
    EXPECT_EQ(d.data.size(), taken) << says << " said, " << sent << " sent";
  }

  // Foreign and cut datagrams are dropped with a reason.
  using Kind = ArtNetDatagram::Kind;
  const auto dmx = testsupport::ArtDmx(0x0123, 0x11, Bytes(512, 1));
  for (size_t n = 0; n < 18; ++n) {
    d = net::ParseArtNet(std::span(dmx.data(), n));
    EXPECT_EQ(d.kind, Kind::Dropped) << n << " bytes";
    EXPECT_FALSE(d.reason.empty());
  }
  EXPECT_EQ(net::ParseArtNet(With(dmx, 7, {'X'})).kind, Kind::Dropped) << "no zero after Art-Net";
  EXPECT_EQ(net::ParseArtNet(With(dmx, 0, {'a'})).kind, Kind::Dropped);
  const auto poll = testsupport::ArtPoll();
  EXPECT_EQ(net::ParseArtNet(poll).kind, Kind::Poll);
  EXPECT_EQ(net::ParseArtNet(std::span(poll.data(), 11)).kind, Kind::Dropped);
  EXPECT_EQ(net::ParseArtNet(With(poll, 9, {0x97})).kind, Kind::Other) << "OpMacMaster: not ours";
}

TEST(ArtNetParse, RdmOnlyWhenTheWholeMessageArrived) {
  using Kind = ArtNetDatagram::Kind;
  const auto& rdm = kRequest;
  ASSERT_EQ(rdm.size(), 49u);  // 24 + 25 (message length 24, sub-start code to checksum)
  auto d = net::ParseArtNet(rdm);
  ASSERT_EQ(d.kind, Kind::Rdm);
  EXPECT_EQ(
      std::tuple(d.rdmTransaction, d.rdmPortId, Bytes(d.rdmMessage.begin(), d.rdmMessage.end())),
      std::tuple(0x42, 1, Slice(rdm, 24, 25)));
  for (size_t n = 0; n < rdm.size(); ++n)
    EXPECT_EQ(net::ParseArtNet(std::span(rdm.data(), n)).kind, Kind::Dropped) << n;
  EXPECT_EQ(net::ParseArtNet(With(rdm, 25, {0xFF})).kind, Kind::Dropped)
      << "says 255: past the end";
  EXPECT_EQ(net::ParseArtNet(With(rdm, 25, {10})).kind, Kind::Dropped) << "shorter than any RDM";
  EXPECT_EQ(net::ParseArtNet(With(rdm, 24, {0xF0})).kind, Kind::Dropped) << "not RDM's sub-start";
}

TEST(ArtNetBuild, ArtDmxLayoutAndAnRdmReplyWithTheNodesPortAddress) {
  std::array<uint8_t, 512> slots{};
  slots[0] = 0xAA;
  slots[511] = 0x55;
  const Packet p = net::BuildArtDmx(5, 0x0123, slots);
  ASSERT_EQ(p.size(), 530u);
  EXPECT_EQ(Slice(p, 0, 18), Bytes({'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50, 0x00, 0x0E,
                                    0x05, 0x00, 0x23, 0x01, 0x02, 0x00}));
  EXPECT_EQ(std::tuple(p[18], p[529]), std::tuple(0xAA, 0x55));

  // An RDM reply carries the node's port-address.
  const std::span<const uint8_t> message(kRequest.data() + 24, 25);
  const Packet reply = net::BuildArtRdm(0x7FFF, message);
  ASSERT_EQ(reply.size(), 49u);
  EXPECT_EQ(Slice(reply, 8, 16),
            Bytes({0x00, 0x83, 0x00, 0x0E, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0x00, 0xFF}));
  EXPECT_EQ(Slice(reply, 24, 25), Slice(kRequest, 24, 25));
}

TEST(ArtNetBuild, PollReplyLayoutNodeReportAndLongTexts) {
  // A name of 18 bytes: the short name keeps 17 and its zero.
  net::PollReplyFields f{.address = {192, 168, 1, 20},
                         .portAddress = 0x0123,
                         .name = "VELQUOR PRO V2.0.1",
                         .replyCounter = 7};
  const Packet p = net::BuildArtPollReply(f);
  ASSERT_EQ(p.size(), 239u);
  EXPECT_EQ(Slice(p, 8, 18), Bytes({0x00, 0x21, 192, 168, 1, 20, 0x36, 0x19, 0, 0, 0x01, 0x02, 0x00,
                                    0x72, 0x00, 0xF2, 0x4C, 0x41}));
  auto text = [&p](size_t at) { return std::string(reinterpret_cast<const char*>(&p[at])); };
  EXPECT_EQ(std::tuple(text(26), text(44), text(108)),
            std::tuple("VELQUOR PRO V2.0.", "VELQUOR PRO V2.0.1", "#0001[7] OK: Device started"));
  EXPECT_EQ(Slice(p, 172, 6), Bytes({0x00, 0x01, 0xC0, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Slice(p, 178, 12), Bytes(12, 0));
  EXPECT_EQ(Slice(p, 190, 4), Bytes({0x23, 0x23, 0x23, 0x23}));
  EXPECT_EQ(Slice(p, 194, 7), Bytes(7, 0));
  EXPECT_EQ(Slice(p, 201, 12),
            Bytes({0x24, 0xF4, 0x32, 0xAB, 0x24, 0x2D, 192, 168, 1, 20, 0x01, 0x1F}));
  EXPECT_EQ(Slice(p, 213, 26), Bytes(26, 0));

  // The node report's counter, and texts too long for their fields.
  EXPECT_EQ(std::tuple(net::NodeReport(0, "OK: Device started"), net::NodeReport(999999, "OK"),
                       net::NodeReport(0, std::string(80, 'x')).size()),
            std::tuple("#0001[0] OK: Device started", "#0001[999999] OK", 63u));
  f.name = std::string(30, 'a') + "灯光控制台" + std::string(40, 'b');
  const Packet longNames = net::BuildArtPollReply(f);
  EXPECT_EQ(std::tuple(longNames[43], longNames[107]), std::tuple(0, 0))
      << "both names end in a zero";
}

TEST(ArtNetBuild, TodDataListsTheLastRowFirstTwoHundredAPacket) {
  std::vector<rdm::Uid> uids;
  for (uint32_t i = 1; i <= 201; ++i) uids.emplace_back(uint16_t{0x7FF0}, i);
  const auto packets = net::BuildArtTodData(0x0123, uids);
  ASSERT_EQ(packets.size(), 2u);
  ASSERT_EQ(std::tuple(packets[0].size(), packets[1].size()), std::tuple(28u + 6 * 200, 28u + 6));
  EXPECT_EQ(Slice(packets[0], 8, 20),
            Bytes({0x00, 0x81, 0x00, 0x0E, 0x01, 0x01, 0,    0,    0,    0,
                   0,    0,    0x01, 0x01, 0x00, 0x23, 0x00, 0xC9, 0x00, 0xC8}));
  EXPECT_EQ(Slice(packets[0], 28, 6), Bytes({0x7F, 0xF0, 0x00, 0x00, 0x00, 0xC9}));
  EXPECT_EQ(Slice(packets[0], 28 + 6 * 199, 6), Bytes({0x7F, 0xF0, 0x00, 0x00, 0x00, 0x02}));
  EXPECT_EQ(Slice(packets[1], 21, 13),
            Bytes({0x01, 0x00, 0x23, 0x00, 0xC9, 0x01, 0x01, 0x7F, 0xF0, 0x00, 0x00, 0x00, 0x01}));
  EXPECT_TRUE(net::BuildArtTodData(0, {}).empty());
}

// Wireshark's Art-Net and RDM dissectors read every kind of packet the node sends as the
// standards define them.
TEST(ArtNetBuild, WiresharkReadsEveryKindOfPacket) {
  if (!testsupport::HaveTshark()) GTEST_SKIP() << "skipped: tshark is not installed";
  const net::PollReplyFields f{
      .address = {127, 0, 0, 1}, .portAddress = 0x0123, .name = "VELQUOR PRO V2.0.1"};
  const std::vector<rdm::Uid> uids{rdm::Uid(0x7FF000000101ULL), rdm::Uid(0x7FF000000102ULL)};
  std::array<uint8_t, 512> slots{};
  slots[0] = 255;
  const std::vector<Packet> packets{net::BuildArtPollReply(f),
                                    net::BuildArtTodData(0x0123, uids)[0],
                                    net::BuildArtRdm(0x0123, std::span(kRequest).subspan(24)),
                                    net::BuildArtDmx(0, 0x0123, slots)};
  // Per packet: the OpCode, malformed, an expert finding, then the fields the packet has.
  EXPECT_EQ(testsupport::TsharkFields(
                packets, 6454,
                "artnet.header.opcode _ws.malformed _ws.expert.severity "
                "artnet.poll_reply.short_name artnet.poll_reply.node_report "
                "artnet.poll_reply.swout_1 artnet.tod_data.uid_total artnet.tod_data.uid_count "
                "artnet.tod_data.net artnet.tod_data.address rdm.tn rdm.pid rdm.pdl "
                "rdm.checksum.status artnet.rdm.net artnet.rdm.address artnet.output.universe "
                "artnet.output.length"),
            "0x2100|||VELQUOR PRO V2.0.|#0001[0] OK: Device started|0x23||||||||||||\n"
            "0x8100||||||2|2|0x01|0x23||||||||\n"
            "0x8300||||||||||66|0x0060|0|1|0x01|0x23||\n"
            "0x5000||||||||||||||||291|512\n");
}

TEST(ArtDmxOutput, ChangeAtOnceThenTwentyRepeatsThenEverySixthTick) {
  net::ArtDmxOutput out;
  std::array<uint8_t, 512> slots{};
  std::string pattern;
  for (int tick = 0; tick < 13; ++tick) pattern += out.Next(0, slots) ? 'S' : '.';
  EXPECT_EQ(pattern, "......S.....S") << "an unchanged zero universe starts silent";

  slots[3] = 9;
  pattern.clear();
  std::vector<uint8_t> sequences;
  for (int tick = 0; tick < 40; ++tick) {
    const auto p = out.Next(1, slots);
    pattern += p ? 'S' : '.';
    if (p) sequences.push_back((*p)[12]);
  }
  // Ticks 0..20 send, 21..26 are silent, then 27, 33 and 39.
  EXPECT_EQ(pattern, "SSSSSSSSSSSSSSSSSSSSS......S.....S.....S");
  EXPECT_EQ(sequences.front(), 13);
  EXPECT_EQ(sequences.back(), 52) << "the sequence counts every tick, sent or not";

  slots[3] = 10;  // a change goes out at once, whatever the counter
  EXPECT_TRUE(out.Next(1, slots).has_value());
  EXPECT_EQ(out.Repeat(), 20);
}

TEST(ArtNetAddresses, UniverseDigitsAddressesAndTheChosenInterface) {
  const std::pair<const char*, int> universes[] = {
      {"", 0},          {"291", 291},     {"000291", 291},
      {"32767", 32767}, {"40000", 32767}, {"99999999999999999999", 32767},  // no overflow
      {"12a4", 12}};
  for (auto [text, value] : universes) EXPECT_EQ(net::PortAddressFromText(text), value) << text;
  EXPECT_EQ(net::Ipv4Text(0xC0A80114), "192.168.1.20");
  EXPECT_EQ(net::ParseIpv4("192.168.1.20"), 0xC0A80114u);
  EXPECT_FALSE(net::ParseIpv4("192.168.1"));

  // Only the chosen interface, or its address, counts.
  net::HostAddress eth;
  eth.interfaceIndex = 2;
  eth.address = 0xC0A80114;  // 192.168.1.20
  EXPECT_TRUE(net::ReachesChosen(eth, 2, 0xC0A801FF)) << "a broadcast on its network";
  EXPECT_FALSE(net::ReachesChosen(eth, 3, 0x0A0000FF)) << "another network's broadcast";
  EXPECT_TRUE(net::ReachesChosen(eth, 1, 0xC0A80114)) << "a program here sending to it";
  EXPECT_FALSE(net::ReachesChosen(eth, 1, 0x7F000001)) << "loopback traffic for 127.0.0.1";
  EXPECT_TRUE(net::ReachesChosen(eth, 0, 0)) << "no interface information: taken";
}
