// The bridge over real sockets on loopback, with the virtual line behind it.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "NetTestSupport.h"
#include "TempDir.h"
#include "WorkbenchHarness.h"
#include "core/Core.h"

using namespace velquor;
using testsupport::kBridgeAddress;
using testsupport::kConsoleAddress;
using testsupport::OpCodeOf;
using testsupport::UdpPeer;

namespace {

std::vector<uint8_t> Id() {
  return {'A', 'r', 't', '-', 'N', 'e', 't', 0};
}
std::vector<uint8_t> Append(std::vector<uint8_t> a, std::initializer_list<int> more) {
  for (int v : more) a.push_back(static_cast<uint8_t>(v));
  return a;
}

std::vector<uint8_t> ArtPoll() {
  return Append(Id(), {0x00, 0x20, 0x00, 0x0E, 0x02, 0x00});
}

std::vector<uint8_t> ArtDmx(int net, int subUni, uint8_t sequence,
                            const std::vector<uint8_t>& data) {
  auto p = Append(Id(), {0x00, 0x50, 0x00, 0x0E, sequence, 0x00, subUni, net,
                         static_cast<int>(data.size() >> 8), static_cast<int>(data.size() & 0xFF)});
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

std::vector<uint8_t> ArtTodRequest() {
  auto p = Append(Id(), {0x00, 0x80, 0x00, 0x0E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0x01});
  p.push_back(0x23);
  p.resize(56, 0);
  return p;
}

// ArtRdm: GET DEVICE_INFO from console 4D41:00000010 to `device`, transaction `tn`. The
// checksum is summed here, byte by byte, as E1.20 defines it.
std::vector<uint8_t> ArtRdmGetDeviceInfo(uint64_t device, uint8_t tn) {
  std::vector<uint8_t> rdm{0xCC, 0x01, 0x18};
  for (int shift = 40; shift >= 0; shift -= 8) rdm.push_back(static_cast<uint8_t>(device >> shift));
  for (int v : {0x4D, 0x41, 0x00, 0x00, 0x00, 0x10}) rdm.push_back(static_cast<uint8_t>(v));
  for (int v : {int{tn}, 0x01, 0x00, 0x00, 0x00, 0x20, 0x00, 0x60, 0x00}) {
    rdm.push_back(static_cast<uint8_t>(v));
  }
  unsigned sum = 0;
  for (uint8_t b : rdm) sum += b;
  rdm.push_back(static_cast<uint8_t>(sum >> 8));
  rdm.push_back(static_cast<uint8_t>(sum & 0xFF));
  auto p = Append(Id(), {0x00, 0x83, 0x00, 0x0E, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0x23});
  p.insert(p.end(), rdm.begin() + 1, rdm.end());  // without the start code
  return p;
}

struct Bridge : ::testing::Test {
  common::ManualClock clock;
  std::string dir = testsupport::MakeTempDir();
  uint16_t port = testsupport::FreeUdpPort();
  std::unique_ptr<core::Core> core;
  std::unique_ptr<UdpPeer> console;
  workbench::WorkbenchHooks hooks;

  void SetUp() override {
    const int index = testsupport::LoopbackIndex(net::ListHostAddresses());
    if (index < 0) GTEST_SKIP() << "skipped: this machine has no 127.0.0.1";
    core::CoreOptions options;
    options.virtualLine = true;
    options.workDir = dir;
    options.programDir = dir;
    options.clock = &clock;
    options.artNet.port = port;
    options.artNet.relayWait = std::chrono::seconds(60);
    std::string error;
    core = core::Core::Create(options, hooks, error);
    ASSERT_TRUE(core) << error;
    core->Link().LinkOpen();
    core->Tick().View().page = dmx::Page::ArtNet;
    ASSERT_TRUE(Net().NetInit(index));
    Net().SetPortAddress(291);
    ASSERT_TRUE(Net().StartReceiving());
    console = std::make_unique<UdpPeer>(kConsoleAddress, port, port);
    ASSERT_TRUE(console->Bound());
  }
  void TearDown() override {
    if (core) core->Shutdown();
    core.reset();
    std::filesystem::remove_all(dir);
  }
  net::ArtNetBridge& Net() { return core->Bridge(); }

  // Sends a poll and waits for its reply: everything sent before has been handled, and
  // (when `nothingBefore`) made the bridge send nothing.
  void Sync(bool nothingBefore = true) {
    clock.Advance(std::chrono::milliseconds(10));
    ASSERT_TRUE(console->Send(ArtPoll()));
    auto reply = console->Receive();
    ASSERT_TRUE(reply) << "no poll reply";
    if (nothingBefore) {
      ASSERT_EQ(OpCodeOf(*reply), 0x2100) << "the bridge sent something else";
    }
    while (OpCodeOf(*reply) != 0x2100) {
      reply = console->Receive();
      ASSERT_TRUE(reply) << "no poll reply";
    }
    clock.Advance(std::chrono::milliseconds(10));
  }
  std::vector<uint8_t> Levels(size_t count) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < count; ++i) out.push_back(core->Universe().At(i));
    return out;
  }
};

}  // namespace

TEST_F(Bridge, ArtDmxForItsPortAddressOnlyAndOnlyTheSlotsThatCame) {
  std::vector<uint8_t> full(512);
  for (size_t i = 0; i < full.size(); ++i) full[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(console->Send(ArtDmx(0x01, 0x22, 1, std::vector<uint8_t>(512, 0xEE))));  // 290
  Sync();
  EXPECT_EQ(Levels(4), (std::vector<uint8_t>{0, 0, 0, 0})) << "290 is another node's";
  ASSERT_TRUE(console->Send(ArtDmx(0x01, 0x23, 2, full)));  // 291
  Sync();
  EXPECT_EQ(Levels(512), full);

  // A short frame changes its own slots and leaves the others as they were, whatever the
  // datagram before it left in the receive buffer.
  ASSERT_TRUE(console->Send(ArtDmx(0x01, 0x22, 9, std::vector<uint8_t>(512, 0xEE))));
  ASSERT_TRUE(console->Send(ArtDmx(0x01, 0x23, 3, {1, 2, 3, 4})));
  Sync();
  auto expected = full;
  std::copy_n(std::vector<uint8_t>{1, 2, 3, 4}.begin(), 4, expected.begin());
  EXPECT_EQ(Levels(512), expected);

  // Another page shown, or the other direction: nothing taken, the sender still noted.
  core->Tick().View().page = dmx::Page::Rdm;
  ASSERT_TRUE(console->Send(ArtDmx(0x01, 0x23, 4, {99})));
  Sync();
  core->Tick().View().page = dmx::Page::ArtNet;
  core->Tick().View().artNetDirection = 1;
  ASSERT_TRUE(console->Send(ArtDmx(0x01, 0x23, 5, {98})));
  Sync();
  EXPECT_EQ(core->Universe().At(0), 1);
  EXPECT_EQ(Net().Counters().dmxTaken.load(), 2u);
  EXPECT_EQ(Net().PeerAddress(), kConsoleAddress);
}

TEST_F(Bridge, TheSameDatagramTwiceAtOnceIsOneButRepeatsLaterCount) {
  const auto frame = ArtDmx(0x01, 0x23, 0, {5});
  ASSERT_TRUE(console->Send(frame));
  ASSERT_TRUE(console->Send(frame));  // the same datagram again, no time between
  Sync();
  EXPECT_EQ(Net().Counters().dmxTaken.load(), 1u);
  ASSERT_TRUE(console->Send(frame));  // the console's next frame, 10 ms later
  Sync();
  EXPECT_EQ(Net().Counters().dmxTaken.load(), 2u);
}

TEST_F(Bridge, TenIdenticalPollsGetTenReplies) {
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(console->Send(ArtPoll()));
    const auto reply = console->Receive();
    ASSERT_TRUE(reply) << "poll " << i << " not answered";
    ASSERT_EQ(reply->size(), 239u);
    EXPECT_EQ(OpCodeOf(*reply), 0x2100);
    EXPECT_EQ(std::vector<uint8_t>(reply->begin() + 10, reply->begin() + 14),
              (std::vector<uint8_t>{127, 0, 0, 1}));
    EXPECT_EQ((*reply)[18], 0x01) << "NetSwitch of 291";
    EXPECT_EQ((*reply)[19], 0x02) << "SubSwitch of 291";
    EXPECT_EQ((*reply)[190], 0x23) << "SwOut: the low byte of 291";
    const std::string report(reinterpret_cast<const char*>(reply->data() + 108));
    EXPECT_EQ(report, "#0001[" + std::to_string(i) + "] OK: Device started");
    clock.Advance(std::chrono::seconds(3));  // consoles poll every few seconds
  }
}

TEST_F(Bridge, OwnDatagramsAreIgnored) {
  UdpPeer self(kBridgeAddress, 0, port);
  ASSERT_TRUE(self.Send(ArtPoll()));
  Sync();
  // One reply only (to the sync), and the peer is the console, not the node itself.
  EXPECT_EQ(Net().Counters().sent.load(), 1u);
  EXPECT_EQ(Net().PeerAddress(), kConsoleAddress);
}

TEST_F(Bridge, PollsMakeTheSenderThePeerOfArtDmxOutput) {
  Sync();
  core->Universe().Store(0, 200);
  Net().SendArtDmx();  // one tick of "DMX512 To Art-Net"
  const auto dmx = console->Receive();
  ASSERT_TRUE(dmx);
  ASSERT_EQ(dmx->size(), 530u);
  EXPECT_EQ(OpCodeOf(*dmx), 0x5000);
  EXPECT_EQ((*dmx)[14], 0x23);
  EXPECT_EQ((*dmx)[15], 0x01);
  EXPECT_EQ((*dmx)[18], 200);
}

TEST_F(Bridge, TodRequestWith201DevicesGetsTwoPacketsWithTheNodesAddress) {
  ASSERT_TRUE(console->Send(ArtTodRequest()));
  Sync();  // an empty table: no answer, the poll reply comes first
  {
    std::lock_guard lock(core->Bench().Models());
    auto& table = core->Bench().Table();
    for (uint32_t i = 0; i < 201; ++i) table.Records[i].Uid = rdm::Uid(uint16_t{0x7FF0}, i + 1);
    table.DeviceCount = 201;
  }
  ASSERT_TRUE(console->Send(ArtTodRequest()));
  const auto first = console->Receive();
  const auto second = console->Receive();
  ASSERT_TRUE(first && second);
  ASSERT_EQ(first->size(), 28u + 1200);
  ASSERT_EQ(second->size(), 28u + 6);
  for (const auto* p : {&*first, &*second}) {
    EXPECT_EQ(OpCodeOf(*p), 0x8100);
    EXPECT_EQ((*p)[21], 0x01) << "Net of 291";
    EXPECT_EQ((*p)[23], 0x23) << "Address of 291";
    EXPECT_EQ((*p)[24] * 256 + (*p)[25], 201);
  }
  EXPECT_EQ((*first)[26], 0);
  EXPECT_EQ((*first)[27], 200);
  EXPECT_EQ((*first)[33], 201) << "the last row first";
  EXPECT_EQ((*second)[26], 1);
  EXPECT_EQ((*second)[27], 1);
  EXPECT_EQ(std::vector<uint8_t>(second->begin() + 28, second->end()),
            (std::vector<uint8_t>{0x7F, 0xF0, 0, 0, 0, 1}));
}

TEST_F(Bridge, ArtRdmIsRelayedToTheFixtureAndAnsweredWithItsData) {
  const uint64_t uid = 0x7FF000000101ULL;
  const auto fixture = core->Line()->FixtureState(uid);
  ASSERT_TRUE(fixture);
  // Not while another page shows.
  ASSERT_TRUE(console->Send(ArtRdmGetDeviceInfo(uid, 0x42)));
  Sync();
  EXPECT_EQ(Net().Counters().relayed.load(), 0u);

  core->Tick().View().page = dmx::Page::Console;
  ASSERT_TRUE(console->Send(ArtRdmGetDeviceInfo(uid, 0x42)));
  const auto reply = console->Receive();
  ASSERT_TRUE(reply) << "no ArtRdm reply";
  EXPECT_EQ(OpCodeOf(*reply), 0x8300);
  ASSERT_EQ(reply->size(), 25u + 0x2B);  // 24 + 19 data bytes of DEVICE_INFO
  const auto& r = *reply;
  EXPECT_EQ(r[21], 0x01);
  EXPECT_EQ(r[23], 0x23);
  EXPECT_EQ(r[24], 0x01);
  EXPECT_EQ(r[25], 0x2B);
  EXPECT_EQ(std::vector<uint8_t>(r.begin() + 26, r.begin() + 38),
            (std::vector<uint8_t>{0x4D, 0x41, 0, 0, 0, 0x10, 0x7F, 0xF0, 0, 0, 0x01, 0x01}));
  EXPECT_EQ(r[38], 0x42) << "the console's transaction number";
  EXPECT_EQ(r[39], 0x00) << "ACK";
  EXPECT_EQ(r[43], 0x21);
  EXPECT_EQ(r[44] * 256 + r[45], 0x0060);
  EXPECT_EQ(r[46], 19);
  EXPECT_EQ(r[49] * 256 + r[50], fixture->modelId);
  EXPECT_EQ(r[61] * 256 + r[62], fixture->startAddress);

  // The same transaction again is a repeat: answered once.
  ASSERT_TRUE(console->Send(ArtRdmGetDeviceInfo(uid, 0x42)));
  Sync();
  EXPECT_EQ(Net().Counters().rdmAnswered.load(), 1u);
}

TEST_F(Bridge, ARequestToASilentDeviceMayBeAskedAgain) {
  core->Tick().View().page = dmx::Page::Console;
  ASSERT_TRUE(console->Send(ArtRdmGetDeviceInfo(0x123400005678ULL, 7)));
  Sync();
  // Wait for the relay to end: the line's executor runs it.
  core->Bench().Executor().WaitUntilIdle();
  ASSERT_TRUE(console->Send(ArtRdmGetDeviceInfo(0x123400005678ULL, 7)));
  Sync();
  core->Bench().Executor().WaitUntilIdle();
  EXPECT_EQ(Net().Counters().relayed.load(), 2u);
  EXPECT_EQ(Net().Counters().rdmAnswered.load(), 0u);
}

TEST_F(Bridge, MalformedDatagramsChangeNothing) {
  for (size_t i = 0; i < 512; ++i) core->Universe().Store(i, 0x5A);
  core->Tick().View().page = dmx::Page::Console;  // the relay listens
  const auto valid = ArtRdmGetDeviceInfo(0x7FF000000101ULL, 1);
  std::vector<std::vector<uint8_t>> bad;
  for (size_t n = 0; n <= 600; ++n) {
    std::vector<uint8_t> garbage(n);
    for (size_t i = 0; i < n; ++i) garbage[i] = static_cast<uint8_t>(i * 31 + n);
    bad.push_back(garbage);  // no Art-Net ID
    auto dmx = ArtDmx(0x01, 0x23, 1, std::vector<uint8_t>(512, 0x11));
    dmx.resize(std::min<size_t>(n, 17));  // cut inside the header
    bad.push_back(dmx);
    auto wrongId = ArtDmx(0x01, 0x23, 1, std::vector<uint8_t>(512, 0x22));
    wrongId[6] = 'T';
    wrongId.resize(std::max<size_t>(n, 10));
    bad.push_back(wrongId);
    auto zero = ArtDmx(0x01, 0x23, 1, std::vector<uint8_t>(n, 0x33));
    zero[16] = zero[17] = 0;  // Length 0
    bad.push_back(zero);
    auto rdm = valid;
    rdm.resize(std::min(n, valid.size() - 1));  // the RDM message cut short
    bad.push_back(rdm);
    auto lying = valid;
    lying[25] = 0xFF;  // says 255 bytes; only what fits n arrives
    lying.resize(std::min<size_t>(std::max<size_t>(n, 26), 24 + 255));
    bad.push_back(lying);
  }
  for (size_t i = 0; i < bad.size(); ++i) {
    ASSERT_TRUE(console->Send(bad[i]));
    if (i % 50 == 49) Sync();  // keep within the socket's buffer
  }
  Sync();
  EXPECT_EQ(Levels(512), std::vector<uint8_t>(512, 0x5A));
  EXPECT_EQ(Net().Counters().dmxTaken.load(), 0u);
  EXPECT_EQ(Net().Counters().relayed.load(), 0u);
  EXPECT_GT(core->Log().CountStartingWith("Art-Net datagram from 127.0.0.2 dropped: "), 0u);
  // Every datagram reached the bridge (none lost in the socket's buffer).
  EXPECT_EQ(Net().Counters().received.load(), bad.size() + bad.size() / 50 + 1);
}

TEST_F(Bridge, ArtRdmDuringDiscoveryIsAnsweredAfterIt) {
  // The discovery stops at its first progress report until the relay is queued behind it.
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  bool waiting = false;
  console.reset();
  core->Shutdown();
  core.reset();
  hooks.discoveryProgress = [&](const workbench::DiscoveryStatus&) {
    std::unique_lock lock(m);
    if (release) return;
    waiting = true;
    cv.notify_all();
    cv.wait_for(lock, std::chrono::seconds(20), [&] { return release; });
  };
  SetUp();
  core->Tick().View().page = dmx::Page::Console;
  std::atomic<size_t> linesAtEnd{0};
  std::atomic<bool> ended{false};
  ASSERT_TRUE(core->Bench().StartCommand(
      "Discover", [this] { core->Bench().Discover().SpeedButtonDiscoverClick(); },
      [&] {
        linesAtEnd = core->Log().Count();
        ended = true;
      }));
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return waiting; }));
  }
  ASSERT_TRUE(console->Send(ArtRdmGetDeviceInfo(0x7FF000000101ULL, 0x55)));
  Sync();  // the request is queued: the network thread does not wait for the line
  EXPECT_EQ(Net().Counters().relayed.load(), 1u);
  EXPECT_FALSE(ended.load());
  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  std::optional<std::vector<uint8_t>> reply;
  do {
    reply = console->Receive(30000);
  } while (reply && OpCodeOf(*reply) != 0x8300);
  ASSERT_TRUE(reply) << "no ArtRdm reply after the discovery";
  EXPECT_TRUE(ended.load());
  EXPECT_EQ((*reply)[38], 0x55);
  const auto lines = core->Log().Lines();
  size_t relayLine = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("->Request:CC 01 18 7FF000000101 4D4100000010 55", 0) == 0) relayLine = i;
  }
  ASSERT_LT(relayLine, lines.size());
  EXPECT_GE(relayLine, linesAtEnd.load()) << "the relayed request went out inside the discovery";
}

namespace {

// A capture file of `payloads` as UDP datagrams from 127.0.0.1:6454 to 127.0.0.2:6454.
void WritePcap(const std::string& path, const std::vector<std::vector<uint8_t>>& payloads) {
  std::vector<uint8_t> out;
  auto le32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto le16 = [&](uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  le32(0xA1B2C3D4);
  le16(2);
  le16(4);
  le32(0);
  le32(0);
  le32(65535);
  le32(1);  // Ethernet
  uint32_t second = 0;
  for (const auto& p : payloads) {
    std::vector<uint8_t> frame(12, 0);
    frame.push_back(0x08);
    frame.push_back(0x00);
    const size_t udpLength = 8 + p.size();
    const size_t ipLength = 20 + udpLength;
    for (int v : {0x45,
                  0,
                  static_cast<int>(ipLength >> 8),
                  static_cast<int>(ipLength & 0xFF),
                  0,
                  0,
                  0,
                  0,
                  64,
                  17,
                  0,
                  0,
                  127,
                  0,
                  0,
                  1,
                  127,
                  0,
                  0,
                  2,
                  0x19,
                  0x36,
                  0x19,
                  0x36,
                  static_cast<int>(udpLength >> 8),
                  static_cast<int>(udpLength & 0xFF),
                  0,
                  0}) {
      frame.push_back(static_cast<uint8_t>(v));
    }
    frame.insert(frame.end(), p.begin(), p.end());
    le32(second++);
    le32(0);
    le32(static_cast<uint32_t>(frame.size()));
    le32(static_cast<uint32_t>(frame.size()));
    out.insert(out.end(), frame.begin(), frame.end());
  }
  testsupport::WriteText(path, std::string(out.begin(), out.end()));
}

std::vector<std::vector<std::string>> TsharkFields(const std::string& pcap,
                                                   const std::vector<std::string>& fields) {
  std::string command = "tshark -r '" + pcap + "' -T fields -E separator='|' -E occurrence=f";
  for (const auto& f : fields) command += " -e " + f;
  command += " 2>/dev/null";
  std::vector<std::vector<std::string>> rows;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return rows;
  char line[8192];
  while (fgets(line, sizeof line, pipe)) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    std::vector<std::string> cells;
    size_t start = 0;
    for (size_t bar; (bar = text.find('|', start)) != std::string::npos; start = bar + 1) {
      cells.push_back(text.substr(start, bar - start));
    }
    cells.push_back(text.substr(start));
    rows.push_back(cells);
  }
  pclose(pipe);
  return rows;
}

}  // namespace

// Wireshark's Art-Net and RDM dissectors read every kind of packet the bridge sends as the
// standards define them.
TEST_F(Bridge, WiresharkReadsEveryPacketTheBridgeSends) {
  if (std::system("command -v tshark >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "skipped: tshark is not installed (scripts/install-deps installs it)";
  }
  Net().SetNodeName("VELQUOR PRO V2.0.1");
  std::vector<std::vector<uint8_t>> sent;
  auto take = [&] {
    auto p = console->Receive();
    ASSERT_TRUE(p);
    sent.push_back(*p);
  };
  ASSERT_TRUE(console->Send(ArtPoll()));
  take();
  {
    std::lock_guard lock(core->Bench().Models());
    core->Bench().Table().Records[0].Uid = rdm::Uid(0x7FF000000101ULL);
    core->Bench().Table().Records[1].Uid = rdm::Uid(0x7FF000000102ULL);
    core->Bench().Table().DeviceCount = 2;
  }
  ASSERT_TRUE(console->Send(ArtTodRequest()));
  take();
  core->Tick().View().page = dmx::Page::Console;
  ASSERT_TRUE(console->Send(ArtRdmGetDeviceInfo(0x7FF000000101ULL, 0x42)));
  take();
  core->Universe().Store(0, 255);
  Net().SendArtDmx();
  take();

  const std::string pcap = dir + "/bridge.pcap";
  WritePcap(pcap, sent);
  const auto rows = TsharkFields(
      pcap,
      {"artnet.header.opcode", "_ws.malformed", "_ws.expert.severity",
       "artnet.poll_reply.short_name", "artnet.poll_reply.node_report", "artnet.poll_reply.swout_1",
       "artnet.tod_data.uid_total", "artnet.tod_data.uid_count", "artnet.tod_data.net",
       "artnet.tod_data.address", "rdm.tn", "rdm.pid", "rdm.pdl", "rdm.checksum.status",
       "artnet.rdm.net", "artnet.rdm.address", "artnet.output.universe", "artnet.output.length"});
  ASSERT_EQ(rows.size(), 4u) << "tshark read " << rows.size() << " packets";
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 18u);
    EXPECT_EQ(row[1], "") << "malformed packet " << row[0];
    EXPECT_EQ(row[2], "") << "expert finding in packet " << row[0];
  }
  EXPECT_EQ(rows[0][0], "0x2100");
  EXPECT_EQ(rows[0][3], "VELQUOR PRO V2.0.");
  EXPECT_EQ(rows[0][4], "#0001[0] OK: Device started");
  EXPECT_EQ(rows[0][5], "0x23");
  EXPECT_EQ(rows[1][0], "0x8100");
  EXPECT_EQ(rows[1][6], "2");
  EXPECT_EQ(rows[1][7], "2");
  EXPECT_EQ(rows[1][8], "0x01");
  EXPECT_EQ(rows[1][9], "0x23");
  EXPECT_EQ(rows[2][0], "0x8300");
  EXPECT_EQ(rows[2][10], "66");
  EXPECT_EQ(rows[2][11], "0x0060");
  EXPECT_EQ(rows[2][12], "19");
  EXPECT_EQ(rows[2][13], "1") << "checksum good";
  EXPECT_EQ(rows[2][14], "0x01");
  EXPECT_EQ(rows[2][15], "0x23");
  EXPECT_EQ(rows[3][0], "0x5000");
  EXPECT_EQ(rows[3][16], "291");
  EXPECT_EQ(rows[3][17], "512");
}
