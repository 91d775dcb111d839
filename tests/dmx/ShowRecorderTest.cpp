#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "WorkbenchHarness.h"
#include "dmx/EngineTick.h"
#include "dmx/ShowRecorder.h"

using namespace velquor;
using testsupport::ReadText;
using testsupport::WriteText;

namespace {

struct Show : ::testing::Test {
  common::LogSink log;
  dmx::OutputUniverse universe;
  std::string dir = testsupport::MakeTempDir();
  std::string path = dir + "/Show.dmx";
  ~Show() override { std::filesystem::remove_all(dir); }

  // A show of `n` frames worked by hand: frame k has slot 1 at k, the rest 0, so its checksum
  // is 0x1E + k.
  void WriteShow(int n, size_t extraBytes = 0) {
    std::string file;
    for (int k = 0; k < n; ++k) {
      std::string frame(518, '\0');
      frame[0] = static_cast<char>(k);
      frame[1] = static_cast<char>(0x1E + k);
      frame[4] = 0x02;
      frame[6] = static_cast<char>(k);
      file += frame;
    }
    file += std::string(extraBytes, '\x55');
    WriteText(path, file);
  }
};

}  // namespace

TEST_F(Show, ThreeRequestsWriteThreeWholeFramesWithSequenceAndChecksum) {
  std::vector<int> counts;
  dmx::ShowRecorder recorder(universe, [&](int c) { counts.push_back(c); });
  recorder.RequestFrame();  // no file yet: the sequence still counts
  recorder.Flush();
  ASSERT_TRUE(recorder.Start(path));
  recorder.RequestFrame();
  recorder.Flush();
  universe.Store(0, 0xFF);
  recorder.RequestFrame();
  recorder.Flush();
  universe.Store(0, 0x80);
  universe.Store(1, 0x80);
  recorder.RequestFrame();
  recorder.Flush();
  recorder.Stop();
  const std::string file = ReadText(path);
  ASSERT_EQ(file.size(), 1554u);
  // Sequence 1, 2, 3 (the first request had no file); checksums 0x1E, 0x1E + 0xFF = 0x1D,
  // 0x1E + 0x100 = 0x1E; then 00 00 02 00.
  EXPECT_EQ(file.substr(0, 6), std::string("\x01\x1E\x00\x00\x02\x00", 6));
  EXPECT_EQ(file.substr(518, 7), std::string("\x02\x1D\x00\x00\x02\x00\xFF", 7));
  EXPECT_EQ(file.substr(1036, 8), std::string("\x03\x1E\x00\x00\x02\x00\x80\x80", 8));
  EXPECT_TRUE(counts.empty()) << "the count moves every ten frames";
}

TEST_F(Show, AFreshRecordingAndItsCountEveryTenFrames) {
  std::vector<int> counts;
  dmx::ShowRecorder recorder(universe, [&](int c) { counts.push_back(c); });
  ASSERT_TRUE(recorder.Start(path));
  universe.Store(0, 0xE2);  // 0x1E + 0xE2 = 0x100: checksum 0x00
  size_t countsAfter256 = 0;
  for (int i = 0; i < 265; ++i) {
    recorder.RequestFrame();
    recorder.Flush();
    if (i == 255) countsAfter256 = counts.size();
  }
  recorder.Stop();
  EXPECT_EQ(countsAfter256, 25u) << "no extra count where the 8-bit sequence wraps";
  const std::string file = ReadText(path);
  ASSERT_EQ(file.size(), 265u * 518u);
  EXPECT_EQ(file.substr(0, 6), std::string("\x00\x00\x00\x00\x02\x00", 6));
  EXPECT_EQ(file[518 * 2], 2) << "sequence 0, 1, 2 on a fresh start";
  EXPECT_EQ(static_cast<uint8_t>(file[518 * 256]), 0) << "the 8-bit sequence wraps";
  // One count per ten frames: 26 of them, none extra where the sequence wrapped.
  std::vector<int> expected(26);
  for (int k = 0; k < 26; ++k) expected[static_cast<size_t>(k)] = k + 1;
  EXPECT_EQ(counts, expected);
}

TEST_F(Show, PlaybackLoopsBeforeTheLastFrame) {
  WriteShow(5);
  dmx::ShowPlayer player(universe, log);
  EXPECT_EQ(player.Select(path), 5);
  std::vector<int> played;
  for (int i = 0; i < 6; ++i) {
    player.PlaybackStep();
    played.push_back(universe.At(0));
  }
  // k frames play 0 .. k-2, then from 0 again with the loop line.
  EXPECT_EQ(played, (std::vector<int>{0, 1, 2, 3, 0, 1}));
  EXPECT_EQ(log.CountOf("Loop Playback file length:2 kb"), 1u);
  EXPECT_EQ(player.Position(), 2);
}

TEST_F(Show, ARecordingCutOffMidFramePlaysItsWholeFrames) {
  WriteShow(2, 100);  // killed while writing the third frame
  dmx::ShowPlayer player(universe, log);
  EXPECT_EQ(player.Select(path), 2);
  EXPECT_EQ(log.CountStartingWith(path + ": the last 100 bytes are not a whole frame"), 1u);
  std::vector<int> played;
  for (int i = 0; i < 3; ++i) {
    player.PlaybackStep();
    played.push_back(universe.At(0));
  }
  EXPECT_EQ(played, (std::vector<int>{0, 1, 0}));
}

TEST_F(Show, ADamagedFrameIsNamedOnceAndPlayed) {
  WriteShow(4);
  std::string file = ReadText(path);
  file[518 + 1] = 0x00;  // frame 1's checksum
  WriteText(path, file);
  dmx::ShowPlayer player(universe, log);
  player.Select(path);
  for (int i = 0; i < 8; ++i) player.PlaybackStep();
  EXPECT_EQ(log.CountStartingWith(path + ": frame 1 does not add up to its checksum"), 1u);
}

TEST_F(Show, CopiesOfARangeAndOfOneLoop) {
  WriteShow(10);
  const std::string range = dir + "/S_Show.dmx";
  ASSERT_TRUE(dmx::CopyShowRange(path, range, 2, 5, universe, log));
  const std::string source = ReadText(path);
  EXPECT_EQ(ReadText(range), source.substr(2 * 518, 3 * 518)) << "frames copied unchanged";
  EXPECT_EQ(log.CountOf("Copy file length:1 kb"), 1u);
  ASSERT_TRUE(dmx::CopyShowRange(path, range, 8, 99, universe, log));
  EXPECT_EQ(ReadText(range).size(), 2u * 518) << "cut to the frames the show has";

  // A show that repeats every 15 frames: the copy ends once its opening came round again.
  std::string looped;
  for (int k = 0; k < 45; ++k) {
    std::string frame(518, '\0');
    frame[0] = static_cast<char>(k);  // the sequence differs, the levels repeat
    frame[6] = static_cast<char>(k % 15);
    looped += frame;
  }
  WriteText(path, looped);
  log.Clear();
  const std::string loop = dir + "/C_Show.dmx";
  ASSERT_TRUE(dmx::CopyShowLoop(path, loop, universe, log));
  EXPECT_EQ(ReadText(loop), looped.substr(0, 18 * 518)) << "one loop and its opening again";
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"1", "2", "3", "Copy file length:9 kb"}));
}

TEST_F(Show, ThePlayedFramesReachTheLineAsRecorded) {
  WriteShow(6);
  common::ManualClock clock;
  virtualline::VirtualLine line(virtualline::DefaultRig(), clock);
  link::UsbLink usb(line, log, clock);
  rdm::RdmEngine engine(usb, log);
  usb.LinkOpen();
  dmx::ShowPlayer player(universe, log);
  player.Select(path);
  std::atomic<bool> busy{false};
  std::atomic<int32_t> holdOff{0};
  dmx::EngineHooks hooks;
  hooks.playbackStep = [&] { player.PlaybackStep(); };
  dmx::EngineTick tick(usb, engine, universe, busy, holdOff, log, clock, hooks);
  tick.View().page = dmx::Page::Dmx;
  tick.View().btnPlayEnabled = false;  // a playback runs
  const std::string file = ReadText(path);
  for (int k = 0; k < 5; ++k) {
    tick.EngineTickOnce();
    // Slots 1..512 on the line are frame k's levels, byte for byte.
    const auto dmx = line.LineDmx();
    EXPECT_EQ(std::string(dmx.begin(), dmx.begin() + 512), file.substr(k * 518 + 6, 512))
        << "frame " << k;
  }
}
