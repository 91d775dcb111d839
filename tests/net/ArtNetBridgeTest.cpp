// The bridge over real sockets on loopback, with the virtual line and the line's executor
// behind it.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <mutex>
#include <thread>

#include "NetTestSupport.h"
#include "RdmHarness.h"
#include "TempDir.h"
#include "net/ArtNetBridge.h"
#include "rdm/KnownPids.h"

using namespace velquor;
using namespace velquor::testsupport;

namespace {

constexpr uint64_t kSpot = 0x7FF000000101ULL;

struct Bridge : ::testing::Test {
  RdmHarness<> h;  // the manual clock, the log, the line and the engine
  std::atomic<bool> lineBusy{false};
  rdm::LineExecutor executor{lineBusy};
  dmx::OutputUniverse universe;
  dmx::EngineView view;
  std::mutex tableMutex;
  std::vector<rdm::Uid> table;  // the device list's UIDs, in row order
  uint16_t port = FreeUdpPort();
  std::unique_ptr<net::ArtNetBridge> bridge;
  std::unique_ptr<UdpPeer> console;

  void SetUp() override {
    net::BridgeHooks hooks;
    hooks.deviceUids = [this] {
      std::lock_guard lock(tableMutex);
      return table;
    };
    net::BridgeOptions options;
    options.port = port;
    options.relayWait = std::chrono::seconds(60);
    bridge = std::make_unique<net::ArtNetBridge>(universe, view, h.engine, executor, h.log, h.clock,
                                                 hooks, options);
    view.mode = dmx::OutputMode::ArtNet;
    bridge->SetPortAddress(291);
    // The node on 127.0.0.1, a console on 127.0.0.2.
    const int index = LoopbackIndex(net::ListHostAddresses());
    if (index < 0) GTEST_SKIP() << "skipped: this machine has no 127.0.0.1";
    ASSERT_TRUE(bridge->NetInit(index));
    ASSERT_TRUE(bridge->StartReceiving());
    console = std::make_unique<UdpPeer>(kConsoleAddress, port, port);
    ASSERT_TRUE(console->Bound());
  }
  void TearDown() override {
    bridge->StopReceiving();  // as the program closes: the network, the line, the sockets
    executor.Shutdown();
    bridge->Stop();
  }
  const net::BridgeCounters& Counters() { return bridge->Counters(); }

  // Sends a poll and waits for its reply: everything sent before has been handled and made
  // the bridge send nothing.
  void Sync() {
    h.clock.Advance(std::chrono::milliseconds(10));
    ASSERT_TRUE(console->Send(ArtPoll()));
    auto reply = console->Receive();
    ASSERT_TRUE(reply) << "no poll reply";
    ASSERT_EQ(OpCodeOf(*reply), 0x2100) << "the bridge sent something else";
    h.clock.Advance(std::chrono::milliseconds(10));
  }
  std::vector<uint8_t> Levels(size_t count) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < count; ++i) out.push_back(universe.At(i));
    return out;
  }
  // Waits until the bridge has read `n` datagrams in all.
  void AwaitReceived(uint64_t n) {
    for (int i = 0; i < 5000 && Counters().received.load() < n; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(Counters().received.load(), n);
  }
};

}  // namespace

TEST_F(Bridge, ArtDmxForItsPortAddressOnlyAndOnlyTheSlotsThatCame) {
  std::vector<uint8_t> full(512);
  for (size_t i = 0; i < full.size(); ++i) full[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(console->Send(ArtDmx(290, 1, std::vector<uint8_t>(512, 0xEE))));
  Sync();
  EXPECT_EQ(Levels(4), (std::vector<uint8_t>{0, 0, 0, 0})) << "290 is another node's";
  ASSERT_TRUE(console->Send(ArtDmx(291, 2, full)));
  Sync();
  EXPECT_EQ(Levels(512), full);

  // A short frame changes its own slots and leaves the others as they were, whatever the
  // datagram before it left in the receive buffer.
  ASSERT_TRUE(console->Send(ArtDmx(290, 9, std::vector<uint8_t>(512, 0xEE))));
  ASSERT_TRUE(console->Send(ArtDmx(291, 3, {1, 2, 3, 4})));
  Sync();
  auto expected = full;
  std::copy_n(std::vector<uint8_t>{1, 2, 3, 4}.begin(), 4, expected.begin());
  EXPECT_EQ(Levels(512), expected);

  // Another page shown, the other direction, or a show playing: nothing taken, the sender
  // still noted.
  view.mode = dmx::OutputMode::RdmLine;
  ASSERT_TRUE(console->Send(ArtDmx(291, 4, {99})));
  Sync();
  view.mode = dmx::OutputMode::ArtNet;
  view.artNetDirection = 1;
  ASSERT_TRUE(console->Send(ArtDmx(291, 5, {98})));
  Sync();
  view.artNetDirection = 0;
  view.playbackActive = true;
  const uint64_t received = Counters().received.load();
  ASSERT_TRUE(console->Send(ArtDmx(291, 6, {97})));
  AwaitReceived(received + 1);
  view.playbackActive = false;
  Sync();
  EXPECT_EQ(universe.At(0), 1);
  EXPECT_EQ(Counters().dmxTaken.load(), 2u);
  EXPECT_EQ(bridge->PeerAddress(), kConsoleAddress);
}

// A datagram is a copy only when the same bytes come from the same sender within 3 ms (two
// interfaces on one network); the console's next frame is taken, however alike.
TEST_F(Bridge, ACopyIsTheSameBytesFromTheSameSenderWithinThreeMilliseconds) {
  bridge->StopReceiving();  // the datagrams are handed over here instead
  const auto frame = ArtDmx(291, 0, {5});
  struct Case {
    const char* what;
    int afterMs;
    std::vector<uint8_t> bytes;
    net::Ipv4 source;
    uint16_t sourcePort;
    uint64_t taken;
  };
  const Case cases[] = {
      {"the first", 0, frame, kConsoleAddress, 6454, 1},
      {"again at once", 0, frame, kConsoleAddress, 6454, 1},
      {"again 2 ms later", 2, frame, kConsoleAddress, 6454, 1},
      {"again 4 ms after that", 4, frame, kConsoleAddress, 6454, 2},
      {"from another port", 0, frame, kConsoleAddress, 6455, 3},
      {"from another sender", 0, frame, 0x7F000003, 6455, 4},
      {"other bytes", 0, ArtDmx(291, 1, {5}), 0x7F000003, 6455, 5},
  };
  for (const Case& c : cases) {
    h.clock.Advance(std::chrono::milliseconds(c.afterMs));
    bridge->HandleDatagram(c.bytes, c.source, c.sourcePort, kBridgeAddress);
    EXPECT_EQ(Counters().dmxTaken.load(), c.taken) << c.what;
  }
}

TEST_F(Bridge, EveryPollIsAnsweredAndOwnDatagramsAreIgnored) {
  // Before any console is heard the node sends to its own address: its ArtDmx comes back.
  universe.Store(0, 7);
  bridge->SendArtDmx();
  AwaitReceived(1);
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(console->Send(ArtPoll()));  // identical polls, a few seconds apart
    const auto reply = console->Receive();
    ASSERT_TRUE(reply) << "poll " << i << " not answered";
    ASSERT_EQ(reply->size(), 239u);
    EXPECT_EQ(OpCodeOf(*reply), 0x2100);
    EXPECT_EQ(std::vector<uint8_t>(reply->begin() + 10, reply->begin() + 14),
              (std::vector<uint8_t>{127, 0, 0, 1}));
    EXPECT_EQ((*reply)[190], 0x23) << "SwOut: the low byte of 291";
    const std::string report(reinterpret_cast<const char*>(reply->data() + 108));
    EXPECT_EQ(report, "#0001[" + std::to_string(i) + "] OK: Device started");
    h.clock.Advance(std::chrono::seconds(3));
  }
  EXPECT_EQ(Counters().sent.load(), 11u) << "no reply to itself";
  EXPECT_EQ(Counters().dmxTaken.load(), 0u) << "its own ArtDmx is not taken back";
  EXPECT_EQ(bridge->PeerAddress(), kConsoleAddress);

  universe.Store(0, 200);
  bridge->SendArtDmx();  // one tick of "DMX512 To Art-Net": to the poll's sender
  const auto dmx = console->Receive();
  ASSERT_TRUE(dmx);
  EXPECT_EQ(OpCodeOf(*dmx), 0x5000);
  EXPECT_EQ((*dmx)[14], 0x23);
  EXPECT_EQ((*dmx)[15], 0x01);
  EXPECT_EQ((*dmx)[18], 200);
}

TEST_F(Bridge, TodRequestWith201DevicesGetsTwoPacketsWithTheNodesAddress) {
  ASSERT_TRUE(console->Send(ArtTodRequest()));
  Sync();  // an empty table: no answer, the poll reply comes first
  {
    std::lock_guard lock(tableMutex);
    for (uint32_t i = 0; i < 201; ++i) table.emplace_back(uint16_t{0x7FF0}, i + 1);
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
  }
  EXPECT_EQ((*first)[33], 201) << "the last row first";
  EXPECT_EQ(std::vector<uint8_t>(second->begin() + 28, second->end()),
            (std::vector<uint8_t>{0x7F, 0xF0, 0, 0, 0, 1}));
}

TEST_F(Bridge, ArtRdmIsRelayedToTheFixtureAndAnsweredWithItsData) {
  const auto fixture = h.line.FixtureState(kSpot);
  ASSERT_TRUE(fixture);
  ASSERT_TRUE(console->Send(ArtRdmGetDeviceInfo(kSpot, 0x42)));
  Sync();
  EXPECT_EQ(Counters().relayed.load(), 0u) << "not while another page shows";

  view.mode = dmx::OutputMode::RdmConsole;
  ASSERT_TRUE(console->Send(ArtRdmGetDeviceInfo(kSpot, 0x42)));
  const auto reply = console->Receive();
  ASSERT_TRUE(reply) << "no ArtRdm reply";
  EXPECT_EQ(OpCodeOf(*reply), 0x8300);
  ASSERT_EQ(reply->size(), 25u + 0x2B);  // 24 + 19 data bytes of DEVICE_INFO
  const auto& r = *reply;
  EXPECT_EQ(std::vector<uint8_t>(r.begin() + 21, r.begin() + 38),
            (std::vector<uint8_t>{0x01, 0x00, 0x23, 0x01, 0x2B, 0x4D, 0x41, 0, 0, 0, 0x10, 0x7F,
                                  0xF0, 0, 0, 0x01, 0x01}))
      << "Net, Command, Address of 291; the answer to the console";
  EXPECT_EQ(r[38], 0x42) << "the console's transaction number";
  EXPECT_EQ(r[39], 0x00) << "ACK";
  EXPECT_EQ(r[43], 0x21);
  EXPECT_EQ(r[44] * 256 + r[45], 0x0060);
  EXPECT_EQ(r[46], 19);
  EXPECT_EQ(r[49] * 256 + r[50], fixture->modelId);
  EXPECT_EQ(r[61] * 256 + r[62], fixture->startAddress);

  // The same transaction again is a repeat: answered once.
  ASSERT_TRUE(console->Send(ArtRdmGetDeviceInfo(kSpot, 0x42)));
  Sync();
  executor.WaitUntilIdle();
  EXPECT_EQ(Counters().relayed.load(), 1u);
  EXPECT_EQ(Counters().rdmAnswered.load(), 1u);

  // A request nobody answered is forgotten: the console may ask again.
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(console->Send(ArtRdmGetDeviceInfo(0x123400005678ULL, 7)));
    Sync();
    executor.WaitUntilIdle();
  }
  EXPECT_EQ(Counters().relayed.load(), 3u);
  EXPECT_EQ(Counters().rdmAnswered.load(), 1u);
}

TEST_F(Bridge, MalformedDatagramsChangeNothing) {
  for (size_t i = 0; i < 512; ++i) universe.Store(i, 0x5A);
  view.mode = dmx::OutputMode::RdmConsole;  // the relay listens
  const auto valid = ArtRdmGetDeviceInfo(kSpot, 1);
  std::vector<std::vector<uint8_t>> bad;
  for (size_t n = 0; n <= 600; ++n) {
    std::vector<uint8_t> garbage(n);
    for (size_t i = 0; i < n; ++i) garbage[i] = static_cast<uint8_t>(i * 31 + n);
    bad.push_back(garbage);  // no Art-Net ID
    auto dmx = ArtDmx(291, 1, std::vector<uint8_t>(512, 0x11));
    dmx.resize(std::min<size_t>(n, 17));  // cut inside the header
    bad.push_back(dmx);
    auto wrongId = ArtDmx(291, 1, std::vector<uint8_t>(512, 0x22));
    wrongId[6] = 'T';
    wrongId.resize(std::max<size_t>(n, 10));
    bad.push_back(wrongId);
    bad.push_back(ArtDmx(291, 1, std::vector<uint8_t>(n, 0x33), 0));  // Length 0
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
  EXPECT_EQ(Counters().dmxTaken.load(), 0u);
  EXPECT_EQ(Counters().relayed.load(), 0u);
  EXPECT_GT(h.log.CountStartingWith("Art-Net datagram from 127.0.0.2 dropped: "), 0u);
  // Every datagram reached the bridge (none lost in the socket's buffer).
  EXPECT_EQ(Counters().received.load(), bad.size() + bad.size() / 50 + 1);
}

TEST_F(Bridge, ArtRdmDuringACommandIsAnsweredAfterIt) {
  view.mode = dmx::OutputMode::RdmConsole;
  std::promise<void> entered, release;
  std::atomic<size_t> linesAtEnd{0};
  std::atomic<bool> ended{false};
  ASSERT_FALSE(executor.Start({"Discover",
                               [&] {
                                 entered.set_value();
                                 release.get_future().wait();
                                 h.Get(kRadio, rdm::pid::DEVICE_LABEL);  // the command's own
                                 linesAtEnd = h.log.Count();
                               },
                               [&] { ended = true; }}));
  entered.get_future().wait();
  UdpPeer asking(kBridgeAddress, 0, port);  // on this computer, a port of its own
  ASSERT_TRUE(asking.Send(ArtRdmGetDeviceInfo(kSpot, 0x55)));
  Sync();  // the request is queued: the network thread does not wait for the line
  EXPECT_EQ(Counters().relayed.load(), 1u);
  EXPECT_FALSE(ended.load());
  release.set_value();
  // To the console that asked, though another sent since.
  const auto reply = asking.Receive();
  ASSERT_TRUE(reply) << "no ArtRdm reply after the command";
  EXPECT_TRUE(ended.load());
  EXPECT_EQ((*reply)[38], 0x55);
  const auto lines = h.log.Lines();
  const auto relayLine = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.rfind("->Request:CC 01 18 7FF000000101 4D4100000010 55", 0) == 0;
  });
  ASSERT_NE(relayLine, lines.end());
  EXPECT_GE(static_cast<size_t>(relayLine - lines.begin()), linesAtEnd.load())
      << "the relayed request went out inside the command";
}

namespace {

// A capture file of `payloads` as UDP datagrams from 127.0.0.1:6454 to 127.0.0.2:6454.
void WritePcap(const std::string& path, const std::vector<std::vector<uint8_t>>& payloads) {
  std::vector<uint8_t> out{0xD4, 0xC3, 0xB2, 0xA1, 2,    0,    4, 0, 0, 0, 0, 0,
                           0,    0,    0,    0,    0xFF, 0xFF, 0, 0, 1, 0, 0, 0};  // Ethernet
  auto le32 = [&](size_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  uint32_t second = 0;
  for (const auto& p : payloads) {
    // Ethernet (IPv4), IPv4 (UDP, TTL 64), UDP from port 6454 to 6454; lengths patched in.
    std::vector<uint8_t> frame{0,    0, 0,   0, 0, 0, 0,    0,    0,    0,    0, 0, 0x08, 0x00,
                               0x45, 0, 0,   0, 0, 0, 0,    0,    64,   17,   0, 0, 127,  0,
                               0,    1, 127, 0, 0, 2, 0x19, 0x36, 0x19, 0x36, 0, 0, 0,    0};
    frame[16] = static_cast<uint8_t>((28 + p.size()) >> 8);
    frame[17] = static_cast<uint8_t>(28 + p.size());
    frame[38] = static_cast<uint8_t>((8 + p.size()) >> 8);
    frame[39] = static_cast<uint8_t>(8 + p.size());
    frame.insert(frame.end(), p.begin(), p.end());
    le32(second++);
    le32(0);
    le32(frame.size());
    le32(frame.size());
    out.insert(out.end(), frame.begin(), frame.end());
  }
  WriteBytes(path, std::string(out.begin(), out.end()));
}

// The fields tshark reads from `pcap`, a line a packet, separated by '|'.
std::string TsharkFields(const std::string& pcap, const std::string& fields) {
  std::string command = "tshark -r '" + pcap + "' -T fields -E separator='|' -E occurrence=f";
  for (size_t at = 0, next; at < fields.size(); at = next + 1) {
    next = std::min(fields.find(' ', at), fields.size());
    command += " -e " + fields.substr(at, next - at);
  }
  std::string out;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  pclose(pipe);
  return out;
}

}  // namespace

// Wireshark's Art-Net and RDM dissectors read every kind of packet the bridge sends as the
// standards define them.
TEST_F(Bridge, WiresharkReadsEveryPacketTheBridgeSends) {
  if (std::system("command -v tshark >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "skipped: tshark is not installed (scripts/install-deps installs it)";
  }
  bridge->SetNodeName("VELQUOR PRO V2.0.1");
  std::vector<std::vector<uint8_t>> sent;
  auto take = [&] {
    auto p = console->Receive();
    ASSERT_TRUE(p);
    sent.push_back(*p);
  };
  ASSERT_TRUE(console->Send(ArtPoll()));
  take();
  {
    std::lock_guard lock(tableMutex);
    table = {rdm::Uid(kSpot), rdm::Uid(kSpot + 1)};
  }
  ASSERT_TRUE(console->Send(ArtTodRequest()));
  take();
  view.mode = dmx::OutputMode::RdmConsole;
  ASSERT_TRUE(console->Send(ArtRdmGetDeviceInfo(kSpot, 0x42)));
  take();
  universe.Store(0, 255);
  bridge->SendArtDmx();
  take();

  ScratchDir dir;
  WritePcap(dir / "bridge.pcap", sent);
  // Per packet: the OpCode, malformed, an expert finding, then the fields the packet has.
  EXPECT_EQ(TsharkFields(dir / "bridge.pcap",
                         "artnet.header.opcode _ws.malformed _ws.expert.severity "
                         "artnet.poll_reply.short_name artnet.poll_reply.node_report "
                         "artnet.poll_reply.swout_1 artnet.tod_data.uid_total "
                         "artnet.tod_data.uid_count artnet.tod_data.net artnet.tod_data.address "
                         "rdm.tn rdm.pid rdm.pdl rdm.checksum.status artnet.rdm.net "
                         "artnet.rdm.address artnet.output.universe artnet.output.length"),
            "0x2100|||VELQUOR PRO V2.0.|#0001[0] OK: Device started|0x23||||||||||||\n"
            "0x8100||||||2|2|0x01|0x23||||||||\n"
            "0x8300||||||||||66|0x0060|19|1|0x01|0x23||\n"
            "0x5000||||||||||||||||291|512\n");
}

// A console on this computer sends from the node's own address, from a port of its own; what
// it asks is answered there.
TEST_F(Bridge, AConsoleOnThisComputerIsHeardAndAnsweredWhereItAsked) {
  UdpPeer local(kBridgeAddress, 0, port);  // QLC+ or olad beside the node
  view.mode = dmx::OutputMode::RdmConsole;
  ASSERT_TRUE(local.Send(ArtDmx(291, 1, {9, 8, 7})));
  ASSERT_TRUE(console->Send(ArtDmx(291, 2, {1})));
  Sync();
  EXPECT_EQ(h.log.CountStartingWith("ArtDmx for universe 291 arriving from "), 1u)
      << "said once, not for each datagram";
  EXPECT_EQ(h.log.CountOf("ArtDmx for universe 291 arriving from 127.0.0.1; open the Art-Net "
                          "page to output it"),
            1u);
  // On loopback there is no broadcast: the device table goes to the one that asked.
  {
    std::lock_guard lock(tableMutex);
    table = {rdm::Uid(kSpot)};
  }
  ASSERT_TRUE(local.Send(ArtTodRequest()));
  const auto tod = local.Receive();
  ASSERT_TRUE(tod);
  EXPECT_EQ(OpCodeOf(*tod), 0x8100);

  view.mode = dmx::OutputMode::ArtNet;
  h.clock.Advance(std::chrono::milliseconds(400));
  ASSERT_TRUE(local.Send(ArtDmx(291, 3, {9, 8, 7})));
  ASSERT_TRUE(local.Send(ArtRdmGetDeviceInfo(kSpot, 0x52)));
  Sync();
  EXPECT_EQ(Levels(3), (std::vector<uint8_t>{9, 8, 7}));
  EXPECT_EQ(h.log.CountStartingWith("ArtRdm arriving from 127.0.0.1; open the MA2 Rdm Command"),
            1u);
  const net::BridgeStatus status = bridge->Status();
  EXPECT_EQ(net::BridgeStatusText(status, false),
            "Art-Net: receiving universe 291 from 127.0.0.1, 3 fps")
      << "the ArtDmx of the last second, taken or not";
  h.clock.Advance(std::chrono::milliseconds(1000));
  EXPECT_EQ(net::BridgeStatusText(bridge->Status(), true), "Art-Net: 空闲");
}

TEST_F(Bridge, AnotherProgramOnThePortIsNamed) {
  EXPECT_FALSE(bridge->PortShared());
  // A second node on the same address and port: it binds (address reuse), and says so.
  net::ArtNetBridge second(universe, view, h.engine, executor, h.log, h.clock, {},
                           net::BridgeOptions{.port = port});
  ASSERT_TRUE(second.NetInit(LoopbackIndex(net::ListHostAddresses())));
  EXPECT_TRUE(second.PortShared());
  EXPECT_EQ(h.log.CountStartingWith(fmt::format("UDP port {} on 127.0.0.1 is open in another "
                                                "program",
                                                port)),
            1u);
  EXPECT_EQ(net::BridgeStatusText(second.Status(), false),
            fmt::format("Art-Net: idle (another program has UDP port {} too)", port));
}
