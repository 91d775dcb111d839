#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "RdmHarness.h"
#include "dmx/EngineTick.h"
#include "dmx/OutputUniverse.h"

using namespace velquor;
using namespace velquor::testsupport;
using namespace velquor::dmx;

namespace {

struct Tick : ::testing::Test {
  common::ManualClock clock;
  common::LogSink log;
  std::atomic<int32_t> holdOff{0};
  std::atomic<bool> rdmBusy{false};
  virtualline::VirtualLine line{virtualline::DefaultRig(), clock};
  link::UsbLink link{line, log, clock, link::LinkHooks{[this] { holdOff.store(-2); }}};
  rdm::RdmEngine engine{link, log};
  dmx::OutputUniverse universe;
  std::unique_ptr<dmx::EngineTick> tick = With({});

  void SetUp() override {
    link.LinkOpen();
    link.SetResponseTimeout(50);
  }
  // A tick with the hooks `set` gives it.
  std::unique_ptr<dmx::EngineTick> With(const std::function<void(dmx::EngineHooks&)>& set) {
    dmx::EngineHooks hooks;
    if (set) set(hooks);
    return std::make_unique<dmx::EngineTick>(link, engine, universe, rdmBusy, holdOff, log, clock,
                                             std::move(hooks));
  }
  // Runs `n` ticks, changing slot 1 before each so that every DMX send puts a frame out.
  unsigned DmxFramesOver(int n) {
    unsigned before = line.Stats().dmxFrames;
    for (int i = 0; i < n; ++i) {
      universe.Store(0, static_cast<uint8_t>(universe.At(0) + 1));
      tick->EngineTickOnce();
    }
    return line.Stats().dmxFrames - before;
  }
};

}  // namespace

TEST_F(Tick, DmxFramesByOutputMode) {
  // The page shown, a user's command on the line, an update running: DMX frames of ten ticks.
  const std::tuple<OutputMode, bool, bool, unsigned> cases[] = {
      {OutputMode::RdmLine, false, false, 5},  // every second tick, between exchanges
      {OutputMode::RdmConsole, false, false, 5},
      {OutputMode::ArtNet, false, false, 10},
      {OutputMode::Firmware, false, false, 0},
      {OutputMode::Silent, false, false, 0},
      {OutputMode::Desk, false, true, 0},  // an update runs whatever the page
      // Nothing while a user's RDM command holds the line.
      {OutputMode::RdmLine, true, false, 0},
      {OutputMode::RdmConsole, true, false, 0},
      {OutputMode::Desk, true, false, 0},
      {OutputMode::ArtNet, true, false, 0},
      {OutputMode::Desk, false, false, 10},  // and again once the line is free
  };
  for (const auto& [mode, busy, firmwareUpdate, framesOfTen] : cases) {
    tick->View().mode = mode;
    tick->View().firmwareUpdateActive = firmwareUpdate;
    rdmBusy = busy;
    EXPECT_EQ(DmxFramesOver(10), framesOfTen)
        << "mode " << static_cast<int>(mode) << (busy ? ", busy" : "")
        << (firmwareUpdate ? ", updating" : "");
  }
  EXPECT_EQ(line.Stats().requests, 0u) << "no RDM while DMX goes out between exchanges";
  EXPECT_EQ(line.LineDmx()[0], universe.At(0)) << "the latest level went out";
}

TEST_F(Tick, IdentifyRefreshCyclesTheTableEveryFourthTick) {
  tick->View().dmxBetweenExchanges = false;
  for (int i = 0; i < 20; ++i) tick->EngineTickOnce();
  EXPECT_EQ(line.Stats().requestFrames, 0u) << "an empty table: no RDM traffic";

  tick->SetIdentifyTargets({{kSpot1, 1}, {kSpot2, 0}, {kPar1, 1}});
  rdmBusy = true;
  for (int i = 0; i < 8; ++i) tick->EngineTickOnce();
  EXPECT_EQ(line.Stats().requests, 0u) << "not while a command holds the line";
  rdmBusy = false;
  holdOff = 0;
  std::vector<unsigned> requestTicks;
  for (int i = 1; i <= 16; ++i) {
    unsigned before = line.Stats().requests;
    tick->EngineTickOnce();
    if (line.Stats().requests > before) requestTicks.push_back(static_cast<unsigned>(i));
  }
  EXPECT_EQ(requestTicks, (std::vector<unsigned>{2, 6, 10})) << "160 ms apart; then one idle";
  auto identify = [&](rdm::Uid uid) { return line.FixtureState(uid.Value())->identify; };
  EXPECT_EQ(std::tuple(identify(kSpot1), identify(kSpot2), identify(kPar1)),
            std::tuple(true, false, true));
  EXPECT_EQ(line.Stats().dmxFrames, 0u) << "no DMX frame with the box unchecked";
}

// The box's input is copied and nothing sent out. Pulled out while a recording takes it, the
// recording goes on with the last levels, the loss is logged once, and the input polls open
// the box again (one try in about a hundred polls, 16 a tick) once it is back.
TEST_F(Tick, DmxInputIsCopiedAndAPulledOutBoxHoldsTheLastLevelsUntilItIsBack) {
  std::vector<uint8_t> input(512, 0);
  input[10] = 200;
  input[500] = 7;
  line.SetInputUniverse(input);
  int artDmx = 0, frames = 0;
  tick = With([&](auto& k) {
    k.sendArtDmx = [&] { ++artDmx; };
    k.requestRecordFrame = [&] { ++frames; };
  });
  tick->View().mode = OutputMode::ArtNet;
  tick->View().artNetDirection = 1;
  tick->EngineTickOnce();
  tick->View().showRunning = true;  // a recording takes a frame a tick
  tick->EngineTickOnce();
  EXPECT_EQ(std::tuple(universe.At(10), universe.At(500), artDmx, frames, line.Stats().dmxFrames),
            std::tuple(200, 7, 2, 1, 0u));
  line.SetUnplugged(true);
  input[10] = 50;
  line.SetInputUniverse(input);
  for (int i = 0; i < 5; ++i) tick->EngineTickOnce();
  EXPECT_EQ(std::tuple(frames, universe.At(10), link.DeviceConnect(),
                       log.CountOf("No such device (it may have been disconnected)")),
            std::tuple(6, 200, std::string("Not connected"), 1u));
  line.SetUnplugged(false);
  int ticks = 0;
  for (; universe.At(10) != 50 && ticks < 20; ++ticks) tick->EngineTickOnce();
  EXPECT_EQ(std::tuple(universe.At(10), link.DeviceConnect(), frames),
            std::tuple(50, std::string("Connected successfully"), 6 + ticks));
  EXPECT_LE(ticks, 8) << "reopened by the input polls' own rule";
}

TEST_F(Tick, PlaybackStepFeedsEveryFrameSent) {
  int steps = 0;
  tick = With([&](auto& k) { k.playbackStep = [&] { universe.Store(5, uint8_t(++steps)); }; });
  tick->View().mode = OutputMode::Desk;
  for (int i = 0; i < 2; ++i) tick->EngineTickOnce();
  EXPECT_EQ(steps, 0) << "no playback";
  tick->View().playbackActive = true;
  for (int i = 0; i < 4; ++i) tick->EngineTickOnce();
  EXPECT_EQ(std::tuple(steps, line.LineDmx()[5]), std::tuple(4, 4));
}

// The update's pacing: after the first step, one every max(speed index, 1) ticks.
TEST_F(Tick, FirmwareUpdateStepsAreSpacedByTheChosenSpeed) {
  bool stepped = false;
  tick = With([&](auto& k) { k.firmwareStep = [&] { stepped = true; }; });
  tick->View().mode = OutputMode::Desk;
  tick->View().firmwareUpdateActive = true;
  auto run = [&](int speed, int ticks) {
    tick->View().firmwareSpeedIndex = speed;
    std::string pattern;
    for (int i = 0; i < ticks; ++i) {
      stepped = false;
      tick->EngineTickOnce();
      pattern += stepped ? 'S' : '.';
    }
    return pattern;
  };
  EXPECT_EQ(run(0, 4), "SSSS");
  EXPECT_EQ(run(1, 4), "SSSS");  // the counter stood at 1 after the last step
  EXPECT_EQ(run(3, 10), "..S..S..S.");
  EXPECT_EQ(run(5, 12), "...S....S...");
}

TEST(TickThread, AnOverrunSkipsTheMissedPeriodsAndKeepsThePhase) {
  using common::FromMs;
  const std::tuple<double, double, double> cases[] = {
      // deadline, now, the next one
      {40, 41, 80},    // on time
      {40, 80, 120},   // ended exactly on the next deadline: that one is missed
      {40, 175, 200},  // an RDM exchange of 135 ms: 80, 120 and 160 are skipped
      {1000, 1000, 1040},
  };
  for (const auto& [deadline, now, next] : cases) {
    EXPECT_EQ(dmx::NextTickDeadline(FromMs(deadline), FromMs(now), FromMs(40)), FromMs(next))
        << deadline << " " << now;
  }
}

TEST_F(Tick, ItsThreadTicksOnTheFortyMillisecondGridUntilStopped) {
  tick->CreateTimer();
  ASSERT_TRUE(tick->Running());
  tick->CreateTimer();  // a second start does nothing: one thread keeps the grid
  while (tick->Ticks() < 100) std::this_thread::yield();
  tick->DestroyTimer();
  EXPECT_FALSE(tick->Running());
  const uint64_t ticks = tick->Ticks();
  // The manual clock jumps to each deadline: after n ticks it stands at n or n + 1 periods.
  EXPECT_GE(clock.Now(), common::FromMs(40.0 * static_cast<double>(ticks)));
  EXPECT_LE(clock.Now(), common::FromMs(40.0 * static_cast<double>(ticks + 1)));
}

TEST(OutputUniverse, BlocksLandWhereTheyAreSentAndStopAtTheEnd) {
  OutputUniverse u;
  // The box's DMX input chunk 3 covers bytes 93..123 (slots 94..124).
  std::vector<uint8_t> chunk(31);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i + 1);
  u.StoreBlock(93, chunk);
  EXPECT_EQ(std::tuple(u.At(92), u.At(93), u.At(123), u.At(124)), std::tuple(0, 1, 31, 0));
  // The last chunk (16, bytes 496..526) is cut at the buffer's 530 bytes, never past it.
  std::vector<uint8_t> big(40, 0xAB);
  u.StoreBlock(520, big);
  EXPECT_EQ(std::tuple(u.At(519), u.At(520), u.Snapshot()[529]), std::tuple(0, 0xAB, 0xAB));
  u.StoreBlock(530, big);  // wholly outside: ignored
  u.Store(511, 0x7F);      // slot 512
  EXPECT_EQ(u.Snapshot()[511], 0x7F);
  u.ClearSlots();
  EXPECT_EQ(std::tuple(u.At(93), u.At(511), u.At(520)), std::tuple(0, 0, 0xAB))
      << "bytes past slot 512 are not slots";
}
