#include <gtest/gtest.h>
#include <unistd.h>

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

TEST(Files, AWriteReplacesTheFileWholeAndNeverInPlace) {
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
}

TEST(Files, AFailedWriteSaysWhyAndLeavesNothingBehind) {
  TempDir dir;
  const std::string target = dir.path + "/devnames.lst";
  std::filesystem::create_directory(target);  // cannot be replaced by a file
  std::string error;
  EXPECT_FALSE(WriteFileAtomic(target, "x", error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(FilesIn(dir.path), 1u) << "no temporary left behind";
  EXPECT_FALSE(WriteFileAtomic(dir.path + "/missing/devnames.lst", "x", error));
}

TEST(Files, LinesOfWindowsAndUnixFiles) {
  EXPECT_EQ(SplitLines("a\r\nb\nc"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitLines(""), std::vector<std::string>{});
  EXPECT_EQ(JoinLinesCrLf({"a", "b"}), "a\r\nb\r\n");
}
