#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "dmx/SceneDesk.h"

using namespace velquor;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

struct Desk : ::testing::Test {
  common::LogSink log;
  dmx::OutputUniverse universe;
  int shown = 0;
  dmx::SceneDesk desk{universe, log, [this] { ++shown; }};
  testsupport::ScratchDir dir;

  // Adds a scene whose slot 1 is `level` (and slot 6 is 10 in every scene).
  void AddScene(uint8_t level, const char* fade, const char* hold) {
    universe.Store(0, level);
    universe.Store(5, 10);
    ASSERT_TRUE(desk.Add(fade, hold));
  }
  std::vector<int> SlotOneOver(int steps) {
    std::vector<int> out;
    for (int i = 0; i < steps; ++i) {
      desk.SceneStep();
      out.push_back(universe.At(0));
    }
    return out;
  }
};

}  // namespace

TEST_F(Desk, FadeStepsTowardTheNextSceneThenHoldsAndAdvances) {
  // 200 -> 0 -> 200 over 100 ms, then again over 80 ms, two whole ticks: the "from" level,
  // steps closer (rounding toward the target), then the target whole; a fade of whole ticks
  // takes one step more than its ticks, the last already at the target. A hold of 0 still
  // holds one step, then the next scene's number.
  AddScene(200, "100", "0");
  AddScene(0, "100", "0");
  AddScene(200, "80", "0");
  AddScene(0, "80", "0");
  const std::vector<int> fades[] = {
      {200, 120, 40, 0}, {0, 80, 160, 200}, {200, 100, 0, 0}, {0, 100, 200, 200}};
  for (int scene = 0; scene < 4; ++scene) {
    EXPECT_EQ(SlotOneOver(4), fades[scene]) << "from scene " << scene + 1;
    EXPECT_EQ(log.Count(), static_cast<size_t>(scene)) << "the next runs only after the hold";
    desk.SceneStep();
    EXPECT_EQ(desk.TakeStepView().selectRow, (scene + 1) % 4) << "the list shows it running";
  }
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{"Running 2", "Running 3", "Running 4", "Running 1"}));
}

// Slot 6 is 10 in both scenes: a fader may hold it while they fade, until the target scene is
// copied whole at the end.
TEST_F(Desk, ZeroFadeIsOneMillisecondAndSlotsEqualInBothScenesKeepAFader) {
  AddScene(100, "0", "0");
  AddScene(50, "1000", "0");
  AddScene(0, "1000", "0");
  desk.SceneStep();  // the "from" level
  EXPECT_EQ(universe.At(0), 100);
  desk.FaderMoved(5, 255 - 77);
  desk.SceneStep();  // past the 1 ms: the target whole
  EXPECT_EQ(std::tuple(universe.At(0), universe.At(5)), std::tuple(50, 10));
  for (int i = 0; i < 3; ++i) desk.SceneStep();  // the hold, the fade of 2 to 3 begins
  desk.FaderMoved(5, 255 - 77);
  for (int i = 0; i < 10; ++i) desk.SceneStep();
  EXPECT_EQ(universe.At(5), 77) << "an equal slot is not written while fading";
  ASSERT_TRUE(desk.Save(dir / "quendaris.show"));
  EXPECT_EQ(ReadBytes(dir / "quendaris.show").substr(2, 2), std::string("\x00\x01", 2))
      << "the table holds 1 ms now";
}

TEST_F(Desk, OneSceneFadesIntoItself) {
  AddScene(42, "40", "40");
  for (int i = 0; i < 12; ++i) {
    desk.SceneStep();
    EXPECT_EQ(universe.At(0), 42);
  }
  EXPECT_GE(log.CountOf("Running 1"), 2u);
}

TEST_F(Desk, TheSceneFileIsWholeRecordsOfFiveHundredEighteenBytes) {
  const std::string path = dir / "quendaris.show";
  EXPECT_FALSE(desk.Save(path));
  EXPECT_EQ(log.CountOf("No configuration parameters"), 1u);
  EXPECT_FALSE(std::filesystem::exists(path));
  AddScene(7, "1000", "500");
  AddScene(9, "100", "65535");
  ASSERT_TRUE(desk.Save(path));
  const std::string file = ReadBytes(path);
  ASSERT_EQ(file.size(), 1036u);
  // Scene 1: number, 0x1E, fade 1000 = 03 E8, hold 500 = 01 F4, then slot 1.
  EXPECT_EQ(file.substr(0, 7), std::string("\x01\x1E\x03\xE8\x01\xF4\x07", 7));
  EXPECT_EQ(file.substr(518, 7), std::string("\x02\x1E\x00\x64\xFF\xFF\x09", 7));

  dmx::SceneDesk loaded(universe, log);
  loaded.Load(ReadBytes(path));
  ASSERT_EQ(loaded.Rows().size(), 2u);
  EXPECT_EQ(std::tuple(loaded.Rows()[1].caption, loaded.Rows()[1].holdMs),
            std::tuple("No.2", 65535u));
  WriteBytes(path, file.substr(0, 1000));
  loaded.Load(ReadBytes(path));
  EXPECT_EQ(loaded.Rows().size(), 1u);
  EXPECT_EQ(log.CountOf("quendaris.show ends in 482 bytes that are not a whole scene: ignored"),
            1u);
  std::string many;
  for (int k = 0; k < 300; ++k) many += file.substr(0, 518);
  WriteBytes(path, many);
  loaded.Load(ReadBytes(path));
  EXPECT_EQ(loaded.Rows().size(), 255u) << "the 8-bit runner never reads a full list as empty";
  EXPECT_EQ(log.CountOf("quendaris.show holds 300 scenes; the list takes the first 255"), 1u);
}

TEST_F(Desk, FadersListAndButtons) {
  EXPECT_EQ(desk.FaderMoved(0, 0), 255);
  EXPECT_EQ(universe.At(0), 255) << "fader 1 at the top is slot 1 full";
  desk.SetFaderOffset(500);
  desk.FaderMoved(11, 55);
  EXPECT_EQ(universe.At(511), 200) << "fader 12 at offset 500 is slot 512";
  EXPECT_EQ(desk.FaderPosition(11), 55);

  // A time that does not convert stops the Add after the row and the levels, as it did.
  EXPECT_FALSE(desk.Add("1x", "100"));
  EXPECT_EQ(log.CountOf("'1x' is not a valid integer value"), 1u);
  EXPECT_FALSE(desk.Add("70000", "100"));
  EXPECT_EQ(log.CountStartingWith("70000 ms is too long"), 1u);
  EXPECT_EQ(desk.Rows().size(), 2u);
  desk.Clear();
  AddScene(1, "100", "100");
  AddScene(2, "100", "100");
  EXPECT_FALSE(desk.SelectScene(-1)) << "a click below the last row changes nothing";
  EXPECT_EQ(desk.SelectScene(2), std::nullopt);
  ASSERT_TRUE(desk.SelectScene(0));
  EXPECT_EQ(universe.At(0), 1) << "the scene goes live at once";
  ASSERT_TRUE(desk.FadeChanged("2500"));
  EXPECT_EQ(std::tuple(desk.Rows()[0].caption, desk.Rows()[0].fadeMs), std::tuple("Scene1", 2500u))
      << "the list is rebuilt";
  desk.DeleteLast();
  EXPECT_EQ(desk.Rows().size(), 1u);
  desk.Clear();
  EXPECT_TRUE(desk.Rows().empty());
  EXPECT_EQ(universe.At(0), 0);

  const std::tuple<const char*, const char*, bool> turns[] = {{"Run", "Stop", true},
                                                              {"Stop", "Run", false},
                                                              {"运行", "停止", true},
                                                              {"停止", "运行", false}};
  for (auto [caption, next, running] : turns) {
    EXPECT_EQ(desk.RunStop(caption), next);
    EXPECT_EQ(desk.Running(), running) << caption;
  }
}
