#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "TempDir.h"
#include "common/Files.h"

using namespace velquor::common;

namespace {

using TempDir = velquor::testsupport::ScratchDir;

std::string Read(const std::string& path) {
  std::string error;
  return ReadWholeFile(path, error).value_or("<unreadable: " + error + ">");
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
  EXPECT_FALSE(PathExists(path + ".tmp")) << "no temporary left behind";
}

TEST(Files, AFailedWriteSaysWhyAndLeavesNothingBehind) {
  TempDir dir;
  const std::string target = dir.path + "/devnames.lst";
  std::filesystem::create_directory(target);  // cannot be replaced by a file
  std::string error;
  EXPECT_FALSE(WriteFileAtomic(target, "x", error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(PathExists(target + ".tmp"));
  EXPECT_FALSE(WriteFileAtomic(dir.path + "/missing/devnames.lst", "x", error));
}

TEST(Files, LinesOfWindowsAndUnixFiles) {
  EXPECT_EQ(SplitLines("a\r\nb\nc"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitLines(""), std::vector<std::string>{});
  EXPECT_EQ(JoinLinesCrLf({"a", "b"}), "a\r\nb\r\n");
}
