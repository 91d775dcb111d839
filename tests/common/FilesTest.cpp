#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "TempDir.h"
#include "common/Files.h"

using namespace velquor::common;

namespace {

using TempDir = velquor::testsupport::ScratchDir;

std::string Read(const std::string& path) {
  std::string error;
  return ReadWholeFile(path, error).value_or("<unreadable: " + error + ">");
}

size_t FilesIn(const std::string& dir) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

}  // namespace

TEST(Files, AWriteReplacesTheFileWholeAndNeverInPlaceOrFailsSayingWhy) {
  TempDir dir;
  const std::string path = dir.path + "/devnames.lst";
  std::string error;
  ASSERT_TRUE(WriteFileAtomic(path, "old\r\n", error)) << error;
  // A second name for the old file: a write in place would change what it reads too.
  ASSERT_EQ(::link(path.c_str(), (dir.path + "/kept").c_str()), 0);
  ASSERT_TRUE(WriteFileAtomic(path, "new\r\n", error)) << error;
  EXPECT_EQ(Read(path), "new\r\n");
  EXPECT_EQ(Read(dir.path + "/kept"), "old\r\n");
  EXPECT_EQ(FilesIn(dir.path), 2u) << "no temporary left behind";

  // Two programs saving the same file at once: every save succeeds, each whole.
  auto saves = [&](const std::string& content, int& failed) {
    std::string why;
    for (int k = 0; k < 200; ++k) failed += WriteFileAtomic(path, content, why) ? 0 : 1;
  };
  int failedA = 0, failedB = 0;
  std::thread a(saves, std::string(3000, 'a'), std::ref(failedA));
  saves(std::string(2000, 'b'), failedB);
  a.join();
  EXPECT_EQ(failedA + failedB, 0);
  const std::string last = Read(path);
  EXPECT_TRUE(last == std::string(3000, 'a') || last == std::string(2000, 'b')) << last.size();
  EXPECT_EQ(FilesIn(dir.path), 2u);

  // A failed write says why and leaves nothing behind.
  const std::string taken = dir.path + "/config.cfg";
  std::filesystem::create_directory(taken);  // cannot be replaced by a file
  error.clear();
  EXPECT_FALSE(WriteFileAtomic(taken, "x", error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(FilesIn(dir.path), 3u) << "no temporary left behind";
  EXPECT_FALSE(WriteFileAtomic(dir.path + "/missing/devnames.lst", "x", error));
}

// A start after a kill removes the temporaries a save left, and nothing else: not another
// program's files, not a temporary a running save still writes.
TEST(Files, AtStartOnlyLeftoverTemporariesAreRemoved) {
  TempDir dir;
  for (const char* name :
       {"devnames.lst.tmp.Ab12Cd", "config.cfg.tmp.000000", "devnames.lst", "notes.tmp.txt",
        "a.tmp.Ab12C", "a.tmp.Ab12Cd.bak", ".tmp.abcdef", "a.tmp.Ab-2Cd"}) {
    std::string error;
    ASSERT_TRUE(WriteFileAtomic(dir.path + "/" + name, "x", error)) << error;
  }
  AtomicFileWriter running(dir.path + "/rig.pat");
  ASSERT_TRUE(running.Write("plan"));
  auto removed = RemoveLeftoverTemporaries(dir.path);
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed,
            (std::vector<std::string>{"config.cfg.tmp.000000", "devnames.lst.tmp.Ab12Cd"}));
  EXPECT_TRUE(running.Commit()) << running.Error();
  EXPECT_EQ(Read(dir.path + "/rig.pat"), "plan");
  EXPECT_EQ(FilesIn(dir.path), 7u);

  // The lock two programs take around a save of one file: one at a time.
  const std::string lockPath = dir.path + "/devnames.lst.lock";
  {
    FileLock first(lockPath, std::chrono::milliseconds(0));
    ASSERT_TRUE(first.Held()) << first.Error();
    FileLock second(lockPath, std::chrono::milliseconds(30));
    EXPECT_FALSE(second.Held());
    EXPECT_NE(second.Error().find("another program"), std::string::npos);
  }
  EXPECT_TRUE(FileLock(lockPath, std::chrono::milliseconds(0)).Held());
}

TEST(Files, LinesOfWindowsAndUnixFiles) {
  EXPECT_EQ(std::tuple(SplitLines("a\r\nb\nc"), SplitLines("")),
            std::tuple(std::vector<std::string>{"a", "b", "c"}, std::vector<std::string>{}));
  EXPECT_EQ(JoinLinesCrLf({"a", "b"}), "a\r\nb\r\n");
}
