// The bridge over real sockets on loopback, with the virtual line and the line's executor
// behind it.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <future>
#include <mutex>

#include "NetTestSupport.h"
#include "RdmHarness.h"
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
    auto uids = [this] {
      std::lock_guard lock(tableMutex);
      return table;
    };
    bridge = std::make_unique<net::ArtNetBridge>(
        universe, view, h.engine, executor, h.log, h.clock,
        net::BridgeHooks{.deviceUids = uids, .requestRecordFrame = {}},
        net::BridgeOptions{.port = port, .relayWait = std::chrono::seconds(60)});
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
  void Send(const std::vector<uint8_t>& datagram) { ASSERT_TRUE(console->Send(datagram)); }
  void SendSynced(const std::vector<uint8_t>& datagram) {
    Send(datagram);
    Sync();
  }

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
    const auto all = universe.Snapshot();
    return {all.begin(), all.begin() + static_cast<long>(count)};
  }
};

}  // namespace

TEST_F(Bridge, ArtDmxForItsPortAddressOnlyAndOnlyTheSlotsThatCame) {
  std::vector<uint8_t> full(512);
  for (size_t i = 0; i < full.size(); ++i) full[i] = static_cast<uint8_t>(i * 7);
  SendSynced(ArtDmx(290, 1, std::vector<uint8_t>(512, 0xEE)));
  EXPECT_EQ(Levels(4), (std::vector<uint8_t>{0, 0, 0, 0})) << "290 is another node's";
  SendSynced(ArtDmx(291, 2, full));
  EXPECT_EQ(Levels(512), full);

  // A short frame changes its own slots and leaves the others as they were, whatever the
  // datagram before it left in the receive buffer.
  Send(ArtDmx(290, 9, std::vector<uint8_t>(512, 0xEE)));
  SendSynced(ArtDmx(291, 3, {1, 2, 3, 4}));
  for (uint8_t i = 0; i < 4; ++i) full[i] = i + 1;
  EXPECT_EQ(Levels(512), full);

  // Another page shown, the other direction, or a show playing: nothing taken, the sender
  // still noted. While a show plays nothing is answered, so the count says when it was read.
  auto sendWhile = [&](auto& setting, auto value, uint8_t sequence, uint8_t level) {
    const auto was = setting.load();
    setting = value;
    SendSynced(ArtDmx(291, sequence, {level}));
    setting = was;
  };
  sendWhile(view.mode, dmx::OutputMode::RdmLine, 4, 99);
  sendWhile(view.artNetDirection, 1, 5, 98);
  sendWhile(view.networkProtocol, dmx::NetworkProtocol::Sacn, 5, 96);  // the page takes sACN
  view.playbackActive = true;
  const uint64_t received = Counters().received.load() + 1;
  Send(ArtDmx(291, 6, {97}));
  Eventually([&] { return Counters().received.load() >= received; });
  view.playbackActive = false;
  Sync();
  EXPECT_EQ(std::tuple(Counters().received.load(), universe.At(0), Counters().dmxTaken.load(),
                       bridge->PeerAddress()),
            std::tuple(received + 1, 1, 2u, kConsoleAddress));
}

// A burst is read many datagrams at a time: none is lost, they are taken in order, and each
// is read with its own length (a short frame after long ones changes only its own slots).
TEST_F(Bridge, ABurstIsTakenWholeInOrderEachDatagramWithItsOwnLength) {
  const uint64_t taken = Counters().dmxTaken.load();
  for (int i = 1; i <= 100; ++i) {
    Send(ArtDmx(291, static_cast<uint8_t>(i), std::vector<uint8_t>(512, static_cast<uint8_t>(i))));
  }
  SendSynced(ArtDmx(291, 101, {7, 8}));
  EXPECT_EQ(Counters().dmxTaken.load(), taken + 101);
  EXPECT_EQ(Levels(4), (std::vector<uint8_t>{7, 8, 100, 100}));
}

// A datagram is a copy only when the same bytes come from the same sender within 3 ms (two
// interfaces on one network); the console's next frame is taken, however alike.
TEST_F(Bridge, ACopyIsTheSameBytesFromTheSameSenderWithinThreeMsAndWhatIsDroppedIsSaidOnceASecond) {
  bridge->StopReceiving();  // the datagrams are handed over here instead
  const auto frame = ArtDmx(291, 0, {5});
  const auto other = ArtDmx(291, 1, {5});
  // Each: ms after the one before, the bytes, the sender and its port, ArtDmx taken so far.
  const std::tuple<const char*, int, const std::vector<uint8_t>&, net::Ipv4, uint16_t, uint64_t>
      cases[] = {
          {"the first", 0, frame, kConsoleAddress, 6454, 1},
          {"again at once", 0, frame, kConsoleAddress, 6454, 1},
          {"again 2 ms later", 2, frame, kConsoleAddress, 6454, 1},
          {"again 4 ms after that", 4, frame, kConsoleAddress, 6454, 2},
          {"from another port", 0, frame, kConsoleAddress, 6455, 3},
          {"from another sender", 0, frame, 0x7F000003, 6455, 4},
          {"other bytes", 0, other, 0x7F000003, 6455, 5},
      };
  for (const auto& [what, afterMs, bytes, source, sourcePort, taken] : cases) {
    h.clock.Advance(std::chrono::milliseconds(afterMs));
    bridge->HandleDatagram(bytes, source, sourcePort, kBridgeAddress);
    EXPECT_EQ(Counters().dmxTaken.load(), taken) << what;
  }

  // Which datagrams are malformed is the parser's to say (and the fuzzer's); here, that what it
  // drops changes nothing and is said, once a second at most however fast it comes.
  universe.Store(0, 0x5A);
  const uint64_t copies = Counters().dropped.load();
  auto cutDmx = ArtDmx(291, 1, {1});
  cutDmx.resize(17);
  auto cutRdm = ArtRdmGetDeviceInfo(kSpot, 1);
  cutRdm.pop_back();
  for (auto mode : {dmx::OutputMode::ArtNet, dmx::OutputMode::RdmConsole}) {
    view.mode = mode;
    for (const auto& datagram : {cutDmx, cutRdm}) {
      bridge->HandleDatagram(datagram, kConsoleAddress, 6454, kBridgeAddress);
    }
  }
  h.clock.Advance(std::chrono::seconds(1));
  bridge->HandleDatagram(cutDmx, kConsoleAddress, 6454, kBridgeAddress);
  EXPECT_EQ(std::tuple(universe.At(0), Counters().dmxTaken.load(), Counters().relayed.load(),
                       Counters().dropped.load() - copies),
            std::tuple(0x5A, 5u, 0u, 5u));
  EXPECT_EQ(h.log.CountStartingWith("Art-Net datagram from 127.0.0.2 dropped: "), 2u);
  EXPECT_NE(h.log.Lines().back().find("(3 more dropped before it)"), std::string::npos);
}

TEST_F(Bridge, EveryPollIsAnsweredAndOwnDatagramsAreIgnored) {
  // Before any console is heard the node sends to its own address: its ArtDmx comes back.
  universe.Store(0, 7);
  bridge->SendArtDmx();
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(console->Send(ArtPoll()));  // identical polls, a few seconds apart
    const auto reply = console->Receive();
    ASSERT_TRUE(reply && reply->size() == 239u) << "poll " << i << " not answered";
    EXPECT_EQ(std::tuple((*reply)[10], (*reply)[13], (*reply)[190]), std::tuple(127, 1, 0x23))
        << "its own address, SwOut of 291";
    const std::string report(reinterpret_cast<const char*>(reply->data() + 108));
    EXPECT_EQ(report, "#0001[" + std::to_string(i) + "] OK: Device started");
    h.clock.Advance(std::chrono::seconds(3));
  }
  // No reply to itself, its own ArtDmx not taken back.
  EXPECT_EQ(std::tuple(Counters().sent.load(), Counters().dmxTaken.load(), bridge->PeerAddress()),
            std::tuple(11u, 0u, kConsoleAddress));

  universe.Store(0, 200);
  bridge->SendArtDmx();  // one tick of "DMX512 To Art-Net": to the poll's sender
  const auto dmx = console->Receive();
  ASSERT_TRUE(dmx);
  EXPECT_EQ(std::tuple(OpCodeOf(*dmx), (*dmx)[14], (*dmx)[15], (*dmx)[18]),
            std::tuple(0x5000, 0x23, 0x01, 200));
}

TEST_F(Bridge, ArtRdmIsRelayedToTheFixtureAndAnsweredWithItsData) {
  SendSynced(ArtRdmGetDeviceInfo(kSpot, 0x42));
  EXPECT_EQ(Counters().relayed.load(), 0u) << "not while another page shows";

  view.mode = dmx::OutputMode::RdmConsole;
  ASSERT_TRUE(console->Send(ArtRdmGetDeviceInfo(kSpot, 0x42)));
  const auto reply = console->Receive();
  ASSERT_TRUE(reply) << "no ArtRdm reply";
  ASSERT_EQ(reply->size(), 25u + 0x2B);  // 24 + 19 data bytes of DEVICE_INFO
  // Net, Command, Address of 291; to the console in its transaction, an ACK of GET
  // DEVICE_INFO with 19 bytes.
  EXPECT_EQ(
      std::vector<uint8_t>(reply->begin() + 21, reply->begin() + 47),
      (std::vector<uint8_t>{0x01, 0x00, 0x23, 0x01, 0x2B,                                // ArtRdm
                            0x4D, 0x41, 0,    0,    0,    0x10, 0x7F, 0xF0, 0, 0, 1, 1,  // UIDs
                            0x42, 0x00, 0,    0,    0,    0x21, 0x00, 0x60, 19}));

  // The same transaction again is a repeat: answered once.
  SendSynced(ArtRdmGetDeviceInfo(kSpot, 0x42));
  executor.WaitUntilIdle();
  EXPECT_EQ(std::tuple(Counters().relayed.load(), Counters().rdmAnswered.load()),
            std::tuple(1u, 1u));

  // A request nobody answered is forgotten: the console may ask again.
  for (int i = 0; i < 2; ++i) {
    SendSynced(ArtRdmGetDeviceInfo(0x123400005678ULL, 7));
    executor.WaitUntilIdle();
  }
  EXPECT_EQ(std::tuple(Counters().relayed.load(), Counters().rdmAnswered.load()),
            std::tuple(3u, 1u));
}

TEST_F(Bridge, ArtRdmDuringACommandIsAnsweredAfterIt) {
  view.mode = dmx::OutputMode::RdmConsole;
  std::promise<void> entered, release;
  std::atomic<size_t> linesAtEnd{0};
  std::atomic<bool> ended{false};
  auto command = [&] {
    entered.set_value();
    release.get_future().wait();
    h.Get(kRadio, rdm::pid::DEVICE_LABEL);  // the command's own
    linesAtEnd = h.log.Count();
  };
  ASSERT_FALSE(executor.Start({"Discover", command, [&] { ended = true; }}));
  entered.get_future().wait();
  UdpPeer asking(kBridgeAddress, 0, port);  // on this computer, a port of its own
  ASSERT_TRUE(asking.Send(ArtRdmGetDeviceInfo(kSpot, 0x55)));
  Sync();  // the request is queued: the network thread does not wait for the line
  EXPECT_EQ(Counters().relayed.load(), 1u);
  // A console flooding requests meanwhile: the queue is full after 16; one line says so.
  for (int tn = 0x60; tn < 0x60 + 30; ++tn) Send(ArtRdmGetDeviceInfo(kSpot, uint8_t(tn)));
  Sync();
  EXPECT_EQ(Counters().relayed.load(), 16u);
  EXPECT_EQ(h.log.CountStartingWith(
                "Art-Net RDM request 111 not relayed: the line takes no more requests now"),
            1u);
  EXPECT_EQ(h.log.CountStartingWith("Art-Net RDM request "), 1u) << "one line, not fifteen";
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
  const auto said = fmt::format("UDP port {} on 127.0.0.1 is open in another program", port);
  EXPECT_EQ(h.log.CountStartingWith(said), 1u);
  EXPECT_EQ(net::BridgeStatusText(second.Status(), false),
            fmt::format("Art-Net: idle (another program has UDP port {} too)", port));
}
