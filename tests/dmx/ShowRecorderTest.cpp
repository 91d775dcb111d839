#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <future>

#include "TempDir.h"
#include "dmx/ShowRecorder.h"

using namespace velquor;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

struct Show : ::testing::Test {
  common::LogSink log;
  dmx::OutputUniverse universe;
  testsupport::ScratchDir dir;
  std::string path = dir / "Show.dmx";

  void Record(dmx::ShowRecorder& recorder, int frames = 1) {
    for (int i = 0; i < frames; ++i) {
      recorder.RequestFrame();
      recorder.Flush();
    }
  }
  // A show of `n` frames worked by hand: frame k has slots 1 and 512 at k, the rest 0, so its
  // checksum is 0x1E + 2k.
  void WriteShow(int n, size_t extraBytes = 0) {
    std::string file;
    for (int k = 0; k < n; ++k) {
      std::string frame(518, '\0');
      frame[0] = static_cast<char>(k);
      frame[1] = static_cast<char>(0x1E + 2 * k);
      frame[4] = 0x02;
      frame[6] = frame[517] = static_cast<char>(k);
      file += frame;
    }
    file += std::string(extraBytes, '\x55');
    WriteBytes(path, file);
  }
};

}  // namespace

TEST_F(Show, FramesCarryTheirSequenceAndChecksumAndTheCountMovesEveryTenFrames) {
  std::vector<int> counts;
  dmx::ShowRecorder recorder(universe, [&](int c) { counts.push_back(c); });
  Record(recorder);  // no file yet: the sequence still counts
  ASSERT_TRUE(recorder.Start(path));
  Record(recorder);
  universe.Store(0, 0xFF);
  Record(recorder);
  universe.Store(0, 0x80);
  universe.Store(1, 0x80);
  Record(recorder);
  EXPECT_TRUE(counts.empty()) << "the count moves every ten frames";
  universe.Store(0, 0xE2);  // 0x1E + 0xE2 = 0x100: checksum 0x00
  universe.Store(1, 0);
  Record(recorder, 253);
  const size_t countsAfter256 = counts.size();
  Record(recorder, 9);
  recorder.Stop();
  EXPECT_EQ(countsAfter256, 25u) << "no extra count where the 8-bit sequence wraps";
  const std::string file = ReadBytes(path);
  ASSERT_EQ(file.size(), 265u * 518u);
  // Sequence 1, 2, 3 (the first request had no file); checksums 0x1E, 0x1E + 0xFF = 0x1D,
  // 0x1E + 0x100 = 0x1E; then 00 00 02 00.
  EXPECT_EQ(file.substr(0, 6), std::string("\x01\x1E\x00\x00\x02\x00", 6));
  EXPECT_EQ(file.substr(518, 7), std::string("\x02\x1D\x00\x00\x02\x00\xFF", 7));
  EXPECT_EQ(file.substr(1036, 8), std::string("\x03\x1E\x00\x00\x02\x00\x80\x80", 8));
  EXPECT_EQ(file.substr(518 * 255, 7), std::string("\x00\x00\x00\x00\x02\x00\xE2", 7))
      << "the 8-bit sequence wraps";
  std::vector<int> expected(26);  // one count per ten frames, none extra at the wrap
  for (int k = 0; k < 26; ++k) expected[static_cast<size_t>(k)] = k + 1;
  EXPECT_EQ(counts, expected);
}

// k whole frames play 0 .. k-2, then from 0 again; what is wrong is named once and the
// whole frames play anyway.
TEST_F(Show, PlaybackLoopsBeforeTheLastFrameAndADeletedShowNoLongerPlays) {
  // Frames whole, bytes after them (a recording killed while writing a frame), a frame whose
  // checksum is broken (-1: none); the levels played, the line that says what is wrong.
  const std::tuple<int, size_t, int, std::vector<int>, std::string> cases[] = {
      {5, 0, -1, {0, 1, 2, 3, 0, 1}, "Loop Playback file length:2 kb"},
      {2, 100, -1, {0, 1, 0}, path + ": the last 100 bytes are not a whole frame"},
      {4, 0, 1, {0, 1, 2, 0, 1, 2, 0, 1}, path + ": frame 1 does not add up to its checksum"},
  };
  for (const auto& [frames, extraBytes, damagedFrame, expected, line] : cases) {
    WriteShow(frames, extraBytes);
    if (damagedFrame >= 0) {
      std::string file = ReadBytes(path);
      file[518 * static_cast<size_t>(damagedFrame) + 1] ^= 0x01;
      WriteBytes(path, file);
    }
    log.Clear();
    dmx::ShowPlayer player(universe, log);
    EXPECT_EQ(player.Select(path), frames);
    std::vector<int> played;
    for (size_t i = 0; i < expected.size(); ++i) {
      player.PlaybackStep();
      played.push_back(universe.At(0));
      EXPECT_EQ(universe.At(511), universe.At(0)) << "slot 512 of the frame";
    }
    EXPECT_EQ(played, expected) << line;
    EXPECT_EQ(log.CountStartingWith(line), 1u) << line;
    EXPECT_EQ(player.Position(), expected.back() + 1) << line;
  }

  // A deleted show no longer plays; a new one of the same name plays from its first frame.
  WriteShow(4);
  dmx::ShowPlayer deleted(universe, log);
  ASSERT_EQ(deleted.Select(path), 4);
  deleted.PlaybackStep();
  deleted.PlaybackStep();
  std::filesystem::remove(path);
  deleted.Forget(path);
  WriteBytes(path, std::string(3 * 518, '\x05'));  // a new show of the same name
  universe.Store(0, 0x77);
  deleted.PlaybackStep();
  EXPECT_EQ(universe.At(0), 0x77) << "nothing plays until a show is chosen";
  ASSERT_EQ(deleted.Select(path), 3);
  deleted.PlaybackStep();
  EXPECT_EQ(universe.At(0), 5) << "the new show, from its first frame";
}

TEST_F(Show, CopiesOfARangeAndOfOneLoopLeaveTheOutputAlone) {
  WriteShow(10);
  universe.Store(0, 0x77);
  const std::string range = dir / "S_Show.dmx";
  std::vector<std::pair<int, int>> progress;
  auto note = [&](int done, int total) { progress.emplace_back(done, total); };
  ASSERT_TRUE(dmx::CopyShowRange(path, range, 2, 5, log, note));
  const std::string source = ReadBytes(path);
  EXPECT_EQ(ReadBytes(range), source.substr(2 * 518, 3 * 518)) << "frames copied unchanged";
  EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{3, 3}}));
  ASSERT_TRUE(dmx::CopyShowRange(path, range, 8, 99, log));
  EXPECT_EQ(ReadBytes(range).size(), 2u * 518) << "cut to the frames the show has";
  // Nothing to copy: no file, not even an empty one; an earlier copy stays as it was.
  EXPECT_FALSE(dmx::CopyShowRange(path, range, 60, 10, log));
  EXPECT_EQ(ReadBytes(range).size(), 2u * 518);
  EXPECT_FALSE(dmx::CopyShowRange(path, dir / "S_none.dmx", 10, 12, log));
  EXPECT_FALSE(std::filesystem::exists(dir / "S_none.dmx"));
  EXPECT_EQ(log.CountStartingWith("Nothing to copy: "), 2u);

  // A show that repeats every 15 frames: the copy ends once its opening came round again.
  std::string looped;
  for (int k = 0; k < 45; ++k) {
    std::string frame(518, '\0');
    frame[0] = static_cast<char>(k);  // the sequence differs, the levels repeat
    frame[6] = static_cast<char>(k % 15);
    looped += frame;
  }
  WriteBytes(path, looped);
  log.Clear();
  const std::string loop = dir / "C_Show.dmx";
  ASSERT_TRUE(dmx::CopyShowLoop(path, loop, log));
  EXPECT_EQ(ReadBytes(loop), looped.substr(0, 18 * 518)) << "one loop and its opening again";
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"1", "2", "3", "Copy file length:9 kb"}));
  EXPECT_EQ(universe.At(0), 0x77) << "a copy is no playback";
  for (const auto& entry : std::filesystem::directory_iterator(dir.path)) {
    EXPECT_EQ(entry.path().string().find(".tmp."), std::string::npos) << "a temporary left";
  }
}

// A full disk in the middle of a frame: the file keeps its whole frames, the recording ends
// saying why, and the next frames are not appended out of step.
TEST_F(Show, AFullDiskEndsTheRecordingWithItsWholeFrames) {
  std::vector<std::string> said;
  dmx::ShowRecorder recorder(universe, {}, [&](const std::string& why) { said.push_back(why); });
  ASSERT_TRUE(recorder.Start(path));
  // The file may grow to three and a half frames (a disk that fills up mid-frame).
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  rlimit small = before;
  small.rlim_cur = 3 * 518 + 259;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  Record(recorder, 6);
  setrlimit(RLIMIT_FSIZE, &before);
  EXPECT_EQ(std::filesystem::file_size(path), 3u * 518) << "the partial frame is cut off";
  EXPECT_FALSE(recorder.Recording());
  ASSERT_EQ(said.size(), 1u);
  EXPECT_NE(said[0].find("Recording stopped: " + path), std::string::npos) << said[0];
  EXPECT_NE(said[0].find("; 3 whole frames kept"), std::string::npos) << said[0];
  EXPECT_EQ(recorder.Failure(), said[0]);
  // A device that takes nothing at all.
  ASSERT_TRUE(recorder.Start("/dev/full"));
  Record(recorder);
  EXPECT_NE(recorder.Failure().value_or("").find("No space left on device"), std::string::npos);
  ASSERT_TRUE(recorder.Start(path));
  EXPECT_FALSE(recorder.Failure()) << "a new recording starts clean";
}

// The recorder's thread held up (a loaded machine, a slow disk) while frames keep coming: each
// request keeps the universe as it was then, none is lost or merged with the next while the
// queue has room, and the frames beyond it are counted and said when the recording stops.
TEST_F(Show, FramesAskedForWhileTheRecorderIsHeldUpAreKeptInOrderAndThoseBeyondItsQueueSaid) {
  std::promise<void> held, release;
  std::shared_future<void> released = release.get_future().share();
  bool first = true;
  dmx::ShowRecorder recorder(universe, [&](int) {
    if (!std::exchange(first, false)) return;
    held.set_value();
    released.wait();
  });
  ASSERT_TRUE(recorder.Start(path));
  // 10 written (the tenth's count holds the thread), 512 queued, 5 more than the queue holds.
  const size_t kept = 10 + dmx::ShowRecorder::kMaxPendingFrames;
  for (size_t k = 0; k < kept + 5; ++k) {
    if (k == 10) held.get_future().wait();
    universe.Store(0, static_cast<uint8_t>(k));
    recorder.RequestFrame();
  }
  release.set_value();
  EXPECT_EQ(recorder.Stop(),
            path + ": 5 frames not recorded: they came faster than the disk took them");
  const std::string file = ReadBytes(path);
  ASSERT_EQ(file.size(), kept * 518);
  for (size_t k = 0; k < kept; ++k) EXPECT_EQ(file[k * 518 + 6], static_cast<char>(k)) << k;
  // The next recording starts without the last one's losses.
  ASSERT_TRUE(recorder.Start(path));
  recorder.RequestFrame();
  EXPECT_EQ(recorder.Stop(), std::nullopt);
}
