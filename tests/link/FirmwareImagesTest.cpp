// The firmware store and the merge, with sizes worked out by hand.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "link/FirmwareImages.h"

using namespace velquor;
using link::FirmwareImageStore;

namespace {

struct Files {
  testsupport::ScratchDir dir;
  // A file of `size` bytes, byte k = (k * step + base) mod 251, never 0 for base > 0.
  std::string Make(const std::string& name, size_t size, int base, int step = 7) {
    const std::string path = dir / name;
    std::ofstream out(path, std::ios::binary);
    for (size_t k = 0; k < size; ++k) out.put(static_cast<char>(1 + (k * step + base) % 250));
    return path;
  }
};

uint8_t ByteOf(size_t k, int base, int step = 7) {
  return static_cast<uint8_t>(1 + (k * step + base) % 250);
}

}  // namespace

TEST(FirmwareMerge, BootLoaderPaddedToTwelveKiBThenTheApplicationToAMultipleOfFour) {
  Files f;
  FirmwareImageStore chosen;
  const auto lines = link::LoadFirmwareFiles(
      chosen, {f.Make("iap.bin", 4000, 3), f.Make("app.bin", 50001, 9)}, " 个文件.");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(
      std::tuple(lines[0], lines[2], lines[4]),
      std::tuple("You have chosen 2 个文件.", "1 : Size: 4000 bytes", "2 : Size: 50001 bytes"));
  // The boot loader's size and the application's (0: none); where the application starts and
  // the merged image's size.
  const std::tuple<size_t, size_t, size_t, size_t> cases[] = {{4000, 50001, 12288, 62288},
                                                              {12288, 8, 12288, 12296},
                                                              {12292, 8, 12292, 12300},
                                                              {100, 0, 12288, 12288}};
  for (const auto& [boot, app, at, size] : cases) {
    FirmwareImageStore store;
    std::vector<std::string> files{f.Make("boot", boot, 3)};
    if (app) files.push_back(f.Make("app", app, 9));
    link::LoadFirmwareFiles(store, files, "");
    const auto merged = link::MergeFirmwareImages(store);
    ASSERT_EQ(merged.size(), size) << boot << " + " << app;
    EXPECT_EQ(merged[boot - 1], ByteOf(boot - 1, 3));
    EXPECT_EQ(std::count(merged.begin() + boot, merged.begin() + at, 0), at - boot) << "zeros";
    if (app) {
      EXPECT_EQ(std::pair(merged[at], merged.back()),
                std::pair(ByteOf(0, 9), ByteOf(size - at - 1, 9)))
          << "the application at " << at;
    }
  }
}

TEST(FirmwareImages, SizesRoundDownAndAShorterChoiceKeepsTheRest) {
  Files f;
  FirmwareImageStore store;
  link::LoadFirmwareFiles(store, {f.Make("a", 10, 1), f.Make("b", 13, 1), f.Make("c", 4096, 1)},
                          " Files.", "\r\n");
  EXPECT_EQ(std::tuple(store.Size(0), store.Size(1), store.Size(2)), std::tuple(8u, 12u, 4096u));
  link::LoadFirmwareFiles(store, {f.Make("d", 20, 1)}, " Files.");
  EXPECT_EQ(std::tuple(store.Size(0), store.Size(2), store.Count()), std::tuple(20u, 4096u, 1u))
      << "later sizes of the first choice stay";
  EXPECT_GE(store.HeldBytes(), 12288u);

  // A shorter boot loader is padded with what the longer one before it left.
  FirmwareImageStore boot;
  link::LoadFirmwareFiles(boot, {f.Make("old.bin", 12288, 11)}, "");
  link::LoadFirmwareFiles(boot, {f.Make("new.bin", 12000, 40, 3)}, "");
  const auto merged = link::MergeFirmwareImages(boot);
  ASSERT_EQ(merged.size(), 12288u);
  EXPECT_EQ(std::tuple(merged[11999], merged[12000], merged[12287]),
            std::tuple(ByteOf(11999, 40, 3), ByteOf(12000, 11), ByteOf(12287, 11)));
}

TEST(FirmwareImages, TooManyFilesOrTooLargeAFileAreRefusedNotOverrun) {
  Files f;
  FirmwareImageStore store;
  link::LoadFirmwareFiles(store, {f.Make("boot", 4000, 1), f.Make("app", 400, 2)}, "");
  std::vector<std::string> six;
  for (int i = 0; i < 6; ++i) six.push_back(f.Make("s" + std::to_string(i), 16, i));
  auto lines = link::LoadFirmwareFiles(store, six, "");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "6 files chosen: at most 5 can be loaded; none was loaded");
  EXPECT_EQ(store.Count(), 2u) << "the previous choice stands";
  EXPECT_EQ(link::MergeFirmwareImages(store).size(), 12288u + 400);

  const std::string big = f.Make("big.bin", 11 * 1024 * 1024, 1);
  lines = link::LoadFirmwareFiles(store, {f.Make("boot2", 4000, 1), big}, "");
  EXPECT_EQ(lines.back(), "2 : 11534336 bytes, more than 10 MiB: not loaded");
  EXPECT_EQ(store.Size(1), 0u) << "not the older image under the new name";
  EXPECT_EQ(link::MergeFirmwareImages(store).size(), 12288u);
  EXPECT_LT(store.HeldBytes(), 1024u * 1024) << "nothing of the large file was read";

  lines = link::LoadFirmwareFiles(store, {f.dir / "missing.bin"}, "");
  EXPECT_EQ(lines.back(), "Fail to Open File!!!");
  EXPECT_EQ(store.Size(0), 0u);
}
