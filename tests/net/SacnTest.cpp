// sACN: the packets byte by byte as E1.31-2018 lays them out, the checks of every layer, the
// receiver's sequence, merge and time-out rules, the send rhythm, and the node over loopback.

#include <gtest/gtest.h>

#include "NetTestSupport.h"
#include "common/Log.h"
#include "net/SacnNode.h"

using namespace velquor;
using namespace velquor::testsupport;

namespace {

const net::Cid kCid = {0x5A, 0x1E, 0x00, 0x01, 0x02, 0x03, 0x44, 0x55,
                       0x86, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD};

// Another source's CID: kCid with byte `at` set to `value`.
net::Cid CidWith(size_t at, uint8_t value) {
  net::Cid cid = kCid;
  cid[at] = value;
  return cid;
}

// A data packet from source "Desk A" (CID kCid) for universe 1, priority 100, sequence 42,
// 512 slots of which slot 1 is 255 and slot 3 is 128: every field written out by hand.
std::vector<uint8_t> HandDataPacket() {
  std::vector<uint8_t> p = {
      0x00, 0x10,                                                    // preamble size
      0x00, 0x00,                                                    // post-amble size
      'A',  'S',  'C',  '-',  'E',  '1',  '.',  '1',  '7', 0, 0, 0,  // ACN packet identifier
      0x72, 0x6E,                                                    // flags, length 622
      0x00, 0x00, 0x00, 0x04,                                        // VECTOR_ROOT_E131_DATA
      0x5A, 0x1E, 0x00, 0x01, 0x02, 0x03, 0x44, 0x55,                // CID
      0x86, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD,                //
      0x72, 0x58,                                                    // framing: flags, length 600
      0x00, 0x00, 0x00, 0x02,                                        // VECTOR_E131_DATA_PACKET
      'D',  'e',  's',  'k',  ' ',  'A',                             // source name, 64 bytes
  };
  p.resize(108, 0);
  for (int v : {
           100,         // priority
           0x00, 0x00,  // synchronisation address
           42,          // sequence number
           0x00,        // options
           0x00, 0x01,  // universe 1
           0x72, 0x0B,  // DMP: flags, length 523
           0x02,        // VECTOR_DMP_SET_PROPERTY
           0xA1,        // address type and data type
           0x00, 0x00,  // first property address
           0x00, 0x01,  // address increment
           0x02, 0x01,  // property value count 513
           0x00,        // start code
       }) {
    p.push_back(static_cast<uint8_t>(v));
  }
  p.resize(638, 0);
  p[126] = 255;
  p[128] = 128;
  return p;
}

}  // namespace

TEST(SacnPackets, DataAndDiscoveryPacketsAreTheStandardsLayoutAndReadBack) {
  net::SacnSourceFields source{kCid, "Desk A", 100, 1};
  const std::array<uint8_t, 512> levels{255, 0, 128};
  const auto hand = HandDataPacket();
  EXPECT_EQ(net::BuildSacnData(source, 42, false, levels), hand);
  EXPECT_EQ(net::BuildSacnData(source, 42, true, levels)[112], 0x40) << "stream terminated";
  // A name of 64 bytes or more keeps its terminating zero.
  EXPECT_EQ(net::BuildSacnData({kCid, std::string(80, 'x'), 100, 1}, 0, false, levels)[107], 0);
  const net::SacnDatagram d = net::ParseSacn(hand);
  ASSERT_EQ(d.kind, net::SacnDatagram::Kind::Data) << d.reason;
  EXPECT_EQ(std::tuple(d.cid, d.sourceName, d.priority, d.sequence, d.universe, d.startCode),
            std::tuple(kCid, "Desk A", 100, 42, 1, 0));
  EXPECT_EQ(std::vector<uint8_t>(d.levels.begin(), d.levels.end()),
            std::vector<uint8_t>(levels.begin(), levels.end()));

  // Three slots, and bytes past the root layer's length that are not the packet's.
  auto shortOne = SacnData(kCid, "Desk A", 1, 7, {1, 2, 3}, 150);
  shortOne.push_back(0xEE);
  const net::SacnDatagram s = net::ParseSacn(shortOne);
  ASSERT_EQ(s.kind, net::SacnDatagram::Kind::Data) << s.reason;
  EXPECT_EQ(std::tuple(std::vector<uint8_t>(s.levels.begin(), s.levels.end()), s.priority),
            std::tuple(std::vector<uint8_t>{1, 2, 3}, 150));

  // A universe discovery packet lists the universes.
  std::vector<uint8_t> discovery = {
      0x00, 0x10, 0x00, 0x00, 'A', 'S', 'C', '-',  'E',
      '1',  '.',  '1',  '7',  0,   0,   0,   0x70, 0x6C,  // root: flags, length 108
      0x00, 0x00, 0x00, 0x08,                             // VECTOR_ROOT_E131_EXTENDED
  };
  discovery.insert(discovery.end(), kCid.begin(), kCid.end());
  for (int v : {0x70, 0x56, 0x00, 0x00, 0x00, 0x02}) discovery.push_back(uint8_t(v));  // framing
  for (char c : std::string("Desk A")) discovery.push_back(uint8_t(c));
  discovery.resize(112, 0);                 // the name's 64 bytes, then 4 reserved
  for (int v : {0x70, 0x0C,                 // universe discovery layer: flags, length 12
                0x00, 0x00, 0x00, 0x01,     // VECTOR_UNIVERSE_DISCOVERY_UNIVERSE_LIST
                0, 0,                       // page 0 of last page 0
                0x00, 0x07, 0x01, 0x2C}) {  // universes 7 and 300, ascending
    discovery.push_back(uint8_t(v));
  }
  EXPECT_EQ(net::BuildSacnDiscovery(kCid, "Desk A", {300, 7}), discovery);
  EXPECT_EQ(net::ParseSacn(discovery).kind, net::SacnDatagram::Kind::Discovery);
}

TEST(SacnPackets, EveryLayerIsCheckedBeforeItIsRead) {
  const auto good = HandDataPacket();
  auto cut = [&](size_t n) { return std::vector<uint8_t>(good.begin(), good.begin() + n); };
  // No start code: the header alone, one byte short of the least a data packet holds.
  auto headerOnly = SacnData(kCid, "Desk A", 1, 0, {});
  headerOnly.pop_back();
  headerOnly[16] = 0x70, headerOnly[17] = 125 - 16, headerOnly[39] = 125 - 38;
  headerOnly[116] = 125 - 115, headerOnly[124] = 0;
  const struct {
    std::vector<uint8_t> datagram;
    const char* reason;
  } cases[] = {
      {{}, "0 bytes"},
      {cut(37), "37 bytes"},
      {With(good, 1, {0x11}), "not sACN"},
      {With(good, 3, {0x01}), "not sACN"},
      {With(good, 12, {'8'}), "not sACN"},
      {With(good, 16, {0x62}), "root layer length"},  // flags 6
      {cut(637), "root layer length 622 in 637"},     // a datagram cut short
      {With(good, 21, {0x05}), "root vector 0x00000005"},
      {With(good, 39, {0x57}), "framing layer length 599"},
      {With(good, 43, {0x03}), "framing vector 0x00000003"},
      {With(good, 108, {201}), "priority 201"},
      {With(good, 113, {0, 0}), "universe 0"},
      {With(good, 113, {0xFA, 0x00}), "universe 64000"},
      {With(good, 116, {0x0C}), "DMP layer length 524"},
      {With(good, 117, {0x01}), "DMP layer is not"},
      {With(good, 118, {0xA2}), "DMP layer is not"},
      {With(good, 120, {0x01}), "DMP layer is not"},
      {With(good, 122, {0x02}), "DMP layer is not"},
      {With(good, 124, {0x02}), "514 property values"},
      {With(good, 124, {0x00}), "512 property values in 638 bytes"},
      {headerOnly, "data packet of 125 bytes"},
  };
  for (const auto& c : cases) {
    const net::SacnDatagram d = net::ParseSacn(c.datagram);
    EXPECT_EQ(d.kind, net::SacnDatagram::Kind::Dropped) << c.reason;
    EXPECT_NE(d.reason.find(c.reason), std::string::npos) << d.reason << " / " << c.reason;
  }
}

TEST(SacnPackets, SequenceIsLateOnlyWithinTwentyBehind) {
  const struct {
    uint8_t last, next;
    bool taken;
  } cases[] = {
      {10, 11, true},   {10, 10, false}, {10, 9, false},  {10, 247, false},  // 19 behind
      {10, 246, true},  {255, 0, true},  {0, 255, false}, {0, 236, true},    // 20 behind
      {100, 227, true},                                                      // 127 ahead
  };
  for (const auto& c : cases)
    EXPECT_EQ(net::SequenceTaken(c.last, c.next), c.taken) << int(c.last) << " " << int(c.next);
}

TEST(SacnPackets, TheHighestPriorityWinsEqualOnesMergeAndSilentOnesLeave) {
  net::SacnMerger merger;
  const net::Cid a = kCid, b = CidWith(15, 0x01), c = CidWith(15, 0x02);
  using R = net::SacnMerger::Result;
  using ms = std::chrono::milliseconds;
  auto take = [&](const net::Cid& cid, uint8_t seq, uint8_t prio, std::vector<uint8_t> slots,
                  int64_t atMs, uint8_t options = 0, uint8_t startCode = 0) {
    slots.resize(3);
    const auto p = SacnData(cid, "Desk A", 1, seq, slots, prio, options, startCode);
    return merger.Take(net::ParseSacn(p), 0x0A000005, ms(atMs));
  };
  auto levels = [&] {
    auto l = merger.Levels();
    return l ? std::vector<uint8_t>(l->begin(), l->begin() + 3) : std::vector<uint8_t>{};
  };
  EXPECT_EQ(levels(), std::vector<uint8_t>{}) << "nothing before any source";
  EXPECT_EQ(take(a, 1, 100, {10, 200, 0}, 0), R::Merged);
  EXPECT_EQ(take(b, 50, 100, {20, 100, 5}, 10), R::Merged);
  EXPECT_EQ(levels(), (std::vector<uint8_t>{20, 200, 5})) << "equal priorities: highest level";
  EXPECT_EQ(take(a, 1, 100, {255, 255, 255}, 20), R::Late) << "a copy";
  EXPECT_EQ(take(a, 240, 100, {255, 255, 255}, 20), R::Late) << "17 behind";
  EXPECT_EQ(take(a, 2, 100, {255, 255, 255}, 20, 0x80), R::Ignored) << "preview";
  EXPECT_EQ(take(a, 2, 100, {255, 255, 255}, 20, 0, 0xDD), R::Ignored) << "not levels";
  EXPECT_EQ(take(c, 9, 150, {1, 2, 3}, 30), R::Merged);
  EXPECT_EQ(levels(), (std::vector<uint8_t>{1, 2, 3})) << "priority 150 alone";
  EXPECT_EQ(take(c, 10, 150, {0, 0, 0}, 40, 0x40), R::Ended);
  EXPECT_EQ(levels(), (std::vector<uint8_t>{20, 200, 5})) << "back to the two at 100";
  // b falls silent; a goes on. At 2.5 s after its last packet b still counts, then not.
  EXPECT_EQ(take(a, 3, 100, {10, 0, 0}, 2000), R::Merged);
  EXPECT_TRUE(merger.Expire(ms(2510)).empty());
  EXPECT_EQ(levels(), (std::vector<uint8_t>{20, 100, 5})) << "b's levels held";
  EXPECT_EQ(merger.Expire(ms(2511)), std::vector<std::string>{"Desk A"});
  EXPECT_EQ(levels(), (std::vector<uint8_t>{10, 0, 0}));
  EXPECT_EQ(take(b, 51, 100, {0, 0, 0}, 2600), R::Merged) << "b comes back as a new source";

  // A crowd: the sources past the limit are not heard until one leaves.
  for (size_t i = merger.Sources().size(); i < net::SacnMerger::kMaxSources; ++i) {
    ASSERT_EQ(take(CidWith(0, static_cast<uint8_t>(i)), 0, 100, {}, 2600), R::Merged);
  }
  EXPECT_EQ(take(CidWith(1, 0xFF), 0, 200, {255}, 2600), R::TooMany);
  EXPECT_EQ(levels()[0], 10);
}

TEST(SacnPackets, ChangesGoAtOnceThreeRepeatsFollowThenAKeepAlive) {
  net::SacnSendRule rule;
  std::array<uint8_t, 512> slots{};
  std::vector<int> sentAt;  // the periods (of 1/44 s) that sent
  for (int period = 0; period < 120; ++period) {
    if (period == 5) slots[0] = 1;
    if (period == 6) slots[0] = 2;
    const auto at = std::chrono::microseconds(22727) * period;
    if (rule.Due(std::chrono::duration_cast<common::Instant>(at), slots)) sentAt.push_back(period);
  }
  // 0 and its 3 repeats; the changes at 5 and 6 and 3 repeats; then every 800 ms (36 periods:
  // 35 periods are 795 ms).
  EXPECT_EQ(sentAt, (std::vector<int>{0, 1, 2, 3, 5, 6, 7, 8, 9, 45, 81, 117}));
}

TEST(SacnPackets, StatusTextsInBothLanguagesAndCidsAsUuidText) {
  net::SacnStatus s;
  EXPECT_EQ(net::SacnStatusText(s, false), "sACN: off");
  s.mode = net::SacnStatus::Mode::Receiving;
  EXPECT_EQ(net::SacnStatusText(s, false), "sACN universe 1: idle");
  s.name = "console";
  s.from = 0x0A000005;
  s.framesPerSecond = 44;
  s.sources = 3;  // one source in English: the loopback test below reads it
  EXPECT_EQ(net::SacnStatusText(s, true),
            "sACN Universe 1，来自 'console' 10.0.0.5，优先级 100，44 fps（共 3 个源）");
  s.mode = net::SacnStatus::Mode::Sending;
  EXPECT_EQ(net::SacnStatusText(s, false), "sACN: sending universe 1, priority 100, 44 fps");

  // CIDs are read and written as UUID text.
  EXPECT_EQ(net::CidText(kCid), "5a1e0001-0203-4455-8677-8899aabbccdd");
  EXPECT_EQ(net::ParseCid("5A1E0001-0203-4455-8677-8899AABBCCDD"), kCid);
  for (const char* bad :
       {"", "5a1e0001-0203-4455-8677-8899aabbccd", "5a1e0001+0203-4455-8677-8899aabbccdd",
        "5a1e0001-0203-4455-8677-8899aabbccdg"}) {
    EXPECT_FALSE(net::ParseCid(bad)) << bad;
  }
  const net::Cid made = net::MakeCid();
  EXPECT_EQ(std::tuple(made[6] >> 4, made[8] >> 6), std::tuple(4, 2)) << "version 4, RFC 4122";
  EXPECT_NE(made, net::MakeCid());
}

namespace {

// Two nodes on loopback: only 127.0.0.1 and the groups joined on lo are ever used.
struct SacnLoopback : ::testing::Test {
  common::LogSink log;
  dmx::OutputUniverse universe;
  dmx::EngineView view;
  uint16_t port = FreeUdpPort();
  std::unique_ptr<net::SacnNode> node;
  net::HostAddress loopback;

  void SetUp() override {
    const auto addresses = net::ListHostAddresses();
    const int index = LoopbackIndex(addresses);
    if (index < 0) GTEST_SKIP() << "skipped: this machine has no 127.0.0.1";
    loopback = addresses[static_cast<size_t>(index)];
    view.mode = dmx::OutputMode::ArtNet;
    view.networkProtocol = dmx::NetworkProtocol::Sacn;
    node = Make(universe, {}, kCid, 1, net::SacnDirection::In);
  }
  // A node on `u`, sending to `to` (multicast when none); a source name and priority for a source.
  std::unique_ptr<net::SacnNode> Make(dmx::OutputUniverse& u, std::optional<net::Ipv4> to,
                                      const net::Cid& cid, int sacnUniverse,
                                      net::SacnDirection direction, const std::string& name = "",
                                      int priority = 0) {
    net::SacnOptions options;
    options.port = port;
    options.unicastTo = to;
    auto n = std::make_unique<net::SacnNode>(u, view, log, common::RealClock(), options);
    EXPECT_TRUE(n->Open(loopback));
    n->SetCid(cid);
    if (!name.empty()) n->SetSourceName(name);
    n->SetUniverse(sacnUniverse);
    if (priority) n->SetPriority(priority);
    n->SetDirection(direction);
    return n;
  }
  bool Logged(const std::string& prefix) const { return log.CountStartingWith(prefix) > 0; }
};

}  // namespace

TEST_F(SacnLoopback, UnicastFromAConsoleIsTakenOnlyWhileThePageTakesIt) {
  UdpPeer console(kConsoleAddress, 0, port);
  const net::Cid other = CidWith(0, 0x77);
  // Its own CID (a packet looped back) and another universe change nothing.
  ASSERT_TRUE(console.Send(SacnData(kCid, "Desk A", 1, 1, {9})));
  ASSERT_TRUE(console.Send(SacnData(other, "Desk A", 2, 1, {9})));
  ASSERT_TRUE(console.Send(SacnData(other, "Desk A", 1, 1, {60, 61})));
  ASSERT_TRUE(Eventually([&] { return universe.At(1) == 61; }));
  EXPECT_EQ(std::tuple(node->Counters().taken.load(), universe.At(0)), std::tuple(1u, 60));
  EXPECT_EQ(net::SacnStatusText(node->Status(), false),
            "sACN universe 1 from 'Desk A' 127.0.0.2, priority 100, 1 fps");

  // Another page: merged (the status follows it) but the universe is left alone, said once.
  view.mode = dmx::OutputMode::Desk;
  ASSERT_TRUE(console.Send(SacnData(other, "Desk A", 1, 2, {70})));
  ASSERT_TRUE(Eventually([&] { return node->Counters().taken.load() == 2; }));
  EXPECT_EQ(universe.At(0), 60);
  EXPECT_TRUE(Logged("sACN for universe 1 arriving from 127.0.0.2; open the Art-Net page"));

  // A malformed datagram is a log line; the page shown again takes the next one.
  view.mode = dmx::OutputMode::ArtNet;
  const auto hand = HandDataPacket();
  ASSERT_TRUE(console.Send(std::span(hand.data(), 100)));  // cut short
  ASSERT_TRUE(console.Send(SacnData(other, "Desk A", 1, 3, {80})));
  ASSERT_TRUE(Eventually([&] { return universe.At(0) == 80; }));
  EXPECT_EQ(node->Counters().dropped.load(), 1u);
  EXPECT_TRUE(Logged("sACN datagram from 127.0.0.2 dropped: root layer length 622 in 100"));
}

TEST_F(SacnLoopback, ASourceSendsByMulticastOnLoopbackAndEndsItsStream) {
  // The sender's own universe and node; its multicast leaves by 127.0.0.1 only.
  dmx::OutputUniverse desk;
  desk.Store(0, 33);
  desk.Store(511, 44);
  auto source =
      Make(desk, std::nullopt, CidWith(0, 0x99), 1, net::SacnDirection::Out, "Velquor desk", 120);
  ASSERT_TRUE(Eventually([&] { return universe.At(0) == 33 && universe.At(511) == 44; }))
      << "nothing arrived by 239.255.0.1 on lo";
  desk.Store(0, 34);
  ASSERT_TRUE(Eventually([&] { return universe.At(0) == 34; }));
  EXPECT_EQ(std::tuple(node->Status().name, node->Status().priority),
            std::tuple("Velquor desk", 120));
  source->SetDirection(net::SacnDirection::Off);
  ASSERT_TRUE(Eventually([&] { return node->Status().sources == 0; }));
  EXPECT_TRUE(Logged("sACN universe 1: source 'Velquor desk' 127.0.0.1 ended its stream"));
  EXPECT_EQ(universe.At(0), 34) << "the last levels stay";
  EXPECT_EQ(node->Counters().dropped.load(), 0u) << "discovery packets are not faults";
}

// Wireshark reads every packet a source sends (levels, keep-alives, the end of the stream)
// as E1.31 defines them, and universe discovery without a malformed-packet finding.
TEST_F(SacnLoopback, WiresharkReadsEveryPacketASourceSends) {
  if (!HaveTshark()) GTEST_SKIP() << "skipped: tshark is not installed (scripts/install-deps)";
  UdpPeer console(kConsoleAddress, port, port);
  dmx::OutputUniverse desk;
  desk.Store(0, 255);
  auto source =
      Make(desk, kConsoleAddress, kCid, 300, net::SacnDirection::Out, "VELQUOR PRO V2.0.1");
  std::vector<std::vector<uint8_t>> sent;
  for (int i = 0; i < 8; ++i) {  // the levels, discovery, three repeats; the end three times
    if (i == 5) source->SetDirection(net::SacnDirection::Off);
    auto p = console.Receive();
    ASSERT_TRUE(p);
    sent.push_back(*p);
  }
  EXPECT_EQ(TsharkFields(sent, 5568,
                         "acn.dmx.universe acn.dmx.priority acn.dmx.source_name "
                         "acn.dmx.seq_number acn.dmx.options acn.dmx.count _ws.malformed "
                         "_ws.expert.severity",
                         "-o acn.dmx_enable:TRUE --enable-heuristic acn"),
            "300|100|VELQUOR PRO V2.0.1|0|0|513||\n"
            "|||||||\n"  // universe discovery: no malformed packet, no expert finding
            "300|100|VELQUOR PRO V2.0.1|1|0|513||\n"
            "300|100|VELQUOR PRO V2.0.1|2|0|513||\n"
            "300|100|VELQUOR PRO V2.0.1|3|0|513||\n"
            "300|100|VELQUOR PRO V2.0.1|4|64|513||\n"  // the stream ends, three times
            "300|100|VELQUOR PRO V2.0.1|5|64|513||\n"
            "300|100|VELQUOR PRO V2.0.1|6|64|513||\n");
}
