#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "RdmHarness.h"
#include "dmx/EngineTick.h"

using namespace velquor;
using namespace velquor::testsupport;
using dmx::Page;

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
  dmx::EngineTick tick{link, engine, universe, rdmBusy, holdOff, log, clock};

  void SetUp() override {
    link.LinkOpen();
    link.ComboBoxRDMChange(1);
  }
  // Runs `n` ticks, changing slot 1 before each so that every DMX send puts a frame out.
  unsigned DmxFramesOver(int n) {
    unsigned before = line.Stats().dmxFrames;
    for (int i = 0; i < n; ++i) {
      universe.Store(0, static_cast<uint8_t>(universe.At(0) + 1));
      tick.EngineTickOnce();
    }
    return line.Stats().dmxFrames - before;
  }
};

}  // namespace

TEST_F(Tick, RdmPageWithDmxCheckedSendsEverySecondTick) {
  EXPECT_EQ(DmxFramesOver(10), 5u);
  EXPECT_EQ(line.LineDmx()[0], universe.At(0)) << "the tenth tick sent the latest level";
  EXPECT_EQ(line.Stats().requests, 0u);
}

TEST_F(Tick, DmxAndArtNetPagesSendEveryTick) {
  tick.View().page = Page::Dmx;
  EXPECT_EQ(DmxFramesOver(6), 6u);
  tick.View().page = Page::ArtNet;
  EXPECT_EQ(DmxFramesOver(6), 6u);
}

TEST_F(Tick, IdentifyRefreshCyclesTheTableEveryFourthTick) {
  tick.View().checkBoxDmx = false;
  tick.SetIdentifyTargets({{kSpot1, 1}, {kSpot2, 0}, {kPar1, 1}});
  std::vector<unsigned> requestTicks;
  for (int i = 1; i <= 16; ++i) {
    unsigned before = line.Stats().requests;
    tick.EngineTickOnce();
    if (line.Stats().requests > before) requestTicks.push_back(static_cast<unsigned>(i));
  }
  EXPECT_EQ(requestTicks, (std::vector<unsigned>{2, 6, 10})) << "160 ms apart; then one idle";
  EXPECT_TRUE(line.FixtureState(kSpot1.Value())->identify);
  EXPECT_FALSE(line.FixtureState(kSpot2.Value())->identify);
  EXPECT_TRUE(line.FixtureState(kPar1.Value())->identify);
  EXPECT_EQ(line.Stats().dmxFrames, 0u) << "no DMX frame with the box unchecked";
  EXPECT_EQ(log.CountStartingWith(
                "->Request:CC 01 19 7FF000000101 888800000001 01 00 00 0000 30 1000 01 01"),
            1u);
}

TEST_F(Tick, EmptyTableMeansNoRdmTrafficFromTheTick) {
  tick.View().checkBoxDmx = false;
  for (int i = 0; i < 20; ++i) tick.EngineTickOnce();
  EXPECT_EQ(line.Stats().requestFrames, 0u);
  EXPECT_EQ(line.Stats().dmxFrames, 0u);
}

TEST_F(Tick, NothingWhileAUserRdmCommandRuns) {
  rdmBusy = true;
  for (Page p : {Page::Rdm, Page::Dmx, Page::ArtNet, Page::Console}) {
    tick.View().page = p;
    EXPECT_EQ(DmxFramesOver(8), 0u);
  }
  tick.View().checkBoxDmx = false;
  tick.View().page = Page::Rdm;
  tick.SetIdentifyTargets({{kSpot1, 1}});
  for (int i = 0; i < 8; ++i) tick.EngineTickOnce();
  EXPECT_EQ(line.Stats().requests, 0u);
}

TEST_F(Tick, FirmwareAndMonitorPagesAreSilent) {
  for (Page p : {Page::Iap, Page::Dmx3D}) {
    tick.View().page = p;
    EXPECT_EQ(DmxFramesOver(8), 0u);
  }
  tick.View().page = Page::Dmx;
  tick.View().firmwareUpdateActive = true;
  EXPECT_EQ(DmxFramesOver(8), 0u);
}

TEST_F(Tick, DmxInputDirectionCopiesTheBoxInputAndSendsNothingOut) {
  std::vector<uint8_t> input(512, 0);
  input[10] = 200;
  input[500] = 7;
  line.SetInputUniverse(input);
  int artDmx = 0;
  dmx::EngineTick artTick(link, engine, universe, rdmBusy, holdOff, log, clock,
                          {{}, {}, [&] { ++artDmx; }, {}, {}});
  artTick.View().page = Page::ArtNet;
  artTick.View().artNetDirection = 1;
  artTick.EngineTickOnce();
  artTick.EngineTickOnce();
  EXPECT_EQ(universe.At(10), 200);
  EXPECT_EQ(universe.At(500), 7);
  EXPECT_EQ(artDmx, 2);
  EXPECT_EQ(line.Stats().dmxFrames, 0u);
}

TEST_F(Tick, PlaybackStepFeedsEveryFrameSent) {
  int steps = 0;
  dmx::EngineTick playTick(
      link, engine, universe, rdmBusy, holdOff, log, clock,
      {{}, [&] { universe.Store(5, static_cast<uint8_t>(++steps)); }, {}, {}, {}});
  playTick.View().page = Page::Dmx;
  playTick.View().btnPlayEnabled = false;
  for (int i = 0; i < 4; ++i) playTick.EngineTickOnce();
  EXPECT_EQ(steps, 4);
  EXPECT_EQ(line.LineDmx()[5], 4);
}

TEST(TickThread, AnOverrunSkipsTheMissedPeriodsAndKeepsThePhase) {
  using common::FromMs;
  struct Case {
    double deadline, now, expected;
  };
  const Case cases[] = {
      {40, 41, 80},    // on time
      {40, 80, 120},   // ended exactly on the next deadline: that one is missed
      {40, 175, 200},  // an RDM exchange of 135 ms: 80, 120 and 160 are skipped
      {1000, 1000, 1040},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dmx::NextTickDeadline(FromMs(c.deadline), FromMs(c.now), FromMs(40)),
              FromMs(c.expected))
        << c.deadline << " " << c.now;
  }
}

TEST(TickThread, RunsEveryFortyMillisecondsAndStopsPromptly) {
  common::LogSink log;
  std::atomic<int32_t> holdOff{0};
  std::atomic<bool> busy{false};
  virtualline::VirtualLine line(virtualline::DefaultRig(), common::RealClock());
  link::UsbLink link(line, log, common::RealClock());
  rdm::RdmEngine engine(link, log);
  dmx::OutputUniverse universe;
  dmx::EngineTick tick(link, engine, universe, busy, holdOff, log, common::RealClock());
  link.LinkOpen();
  tick.CreateTimer();
  ASSERT_TRUE(tick.Running());
  tick.CreateTimer();  // a second start does nothing: the count below is one thread's
  std::this_thread::sleep_for(std::chrono::milliseconds(420));
  auto start = std::chrono::steady_clock::now();
  tick.DestroyTimer();
  auto stopTook = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(tick.Running());
  EXPECT_GE(tick.Ticks(), 8u);
  EXPECT_LE(tick.Ticks(), 11u);
  EXPECT_LT(stopTook, std::chrono::milliseconds(200));
}

// The update's pacing: after the first step, one every max(speed index, 1) ticks.
TEST(TickFirmware, UpdateStepsAreSpacedByTheChosenSpeed) {
  common::ManualClock clock;
  common::LogSink log;
  std::atomic<int32_t> holdOff{0};
  std::atomic<bool> busy{false};
  virtualline::VirtualLine line{virtualline::DefaultRig(), clock};
  link::UsbLink link{line, log, clock};
  rdm::RdmEngine engine{link, log};
  dmx::OutputUniverse universe;
  std::string pattern;
  bool stepped = false;
  dmx::EngineHooks hooks;
  hooks.firmwareStep = [&] { stepped = true; };
  dmx::EngineTick tick{link, engine, universe, busy, holdOff, log, clock, hooks};
  tick.View().page = Page::Dmx;
  tick.View().firmwareUpdateActive = true;
  auto run = [&](int speed, int ticks) {
    tick.View().firmwareSpeedIndex = speed;
    pattern.clear();
    for (int i = 0; i < ticks; ++i) {
      stepped = false;
      tick.EngineTickOnce();
      pattern += stepped ? 'S' : '.';
    }
    return pattern;
  };
  EXPECT_EQ(run(0, 4), "SSSS");
  EXPECT_EQ(run(1, 4), "SSSS");  // the counter stood at 1 after the last step
  EXPECT_EQ(run(3, 10), "..S..S..S.");
  EXPECT_EQ(run(5, 12), "...S....S...");
}
