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
  FirmwareImageStore store;
  const auto lines = link::LoadFirmwareFiles(
      store, {f.Make("iap.bin", 4000, 3), f.Make("app.bin", 50001, 9)}, " 个文件.");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "You have chosen 2 个文件.");
  EXPECT_EQ(lines[2], "1 : Size: 4000 bytes");
  EXPECT_EQ(lines[4], "2 : Size: 50001 bytes");
  EXPECT_EQ(store.Size(1), 50000u);
  const auto merged = link::MergeFirmwareImages(store);
  ASSERT_EQ(merged.size(), 62288u);
  EXPECT_EQ(merged[3999], ByteOf(3999, 3));
  EXPECT_EQ(std::count(merged.begin() + 4000, merged.begin() + 12288, 0), 8288);
  EXPECT_EQ(merged[12288], ByteOf(0, 9)) << "the application starts at 0x3000";
  EXPECT_EQ(merged[62287], ByteOf(49999, 9));
}

TEST(FirmwareMerge, ExactAndLongerBootLoadersAndASingleFile) {
  Files f;
  FirmwareImageStore store;
  link::LoadFirmwareFiles(store, {f.Make("a.bin", 12288, 1), f.Make("b.bin", 8, 2)}, "");
  EXPECT_EQ(link::MergeFirmwareImages(store).size(), 12288u + 8);

  FirmwareImageStore longer;
  link::LoadFirmwareFiles(longer, {f.Make("c.bin", 12292, 1), f.Make("d.bin", 8, 2)}, "");
  const auto merged = link::MergeFirmwareImages(longer);
  ASSERT_EQ(merged.size(), 12292u + 8);
  EXPECT_EQ(merged[12292], ByteOf(0, 2)) << "the application moves to 12292";

  FirmwareImageStore single;
  link::LoadFirmwareFiles(single, {f.Make("e.bin", 100, 5)}, "");
  EXPECT_EQ(link::MergeFirmwareImages(single).size(), 12288u);
}

TEST(FirmwareMerge, AShorterBootLoaderIsPaddedWithWhatTheLongerOneLeft) {
  Files f;
  FirmwareImageStore store;
  link::LoadFirmwareFiles(store, {f.Make("old.bin", 12288, 11)}, "");
  link::LoadFirmwareFiles(store, {f.Make("new.bin", 12000, 40, 3)}, "");
  const auto merged = link::MergeFirmwareImages(store);
  ASSERT_EQ(merged.size(), 12288u);
  EXPECT_EQ(merged[11999], ByteOf(11999, 40, 3));
  EXPECT_EQ(merged[12000], ByteOf(12000, 11)) << "the older image's last 288 bytes";
  EXPECT_EQ(merged[12287], ByteOf(12287, 11));
}

TEST(FirmwareImages, SizesRoundDownAndAShorterChoiceKeepsTheRest) {
  Files f;
  FirmwareImageStore store;
  link::LoadFirmwareFiles(store, {f.Make("a", 10, 1), f.Make("b", 13, 1), f.Make("c", 4096, 1)},
                          " Files.", "\r\n");
  EXPECT_EQ(store.Size(0), 8u);
  EXPECT_EQ(store.Size(1), 12u);
  EXPECT_EQ(store.Size(2), 4096u);
  link::LoadFirmwareFiles(store, {f.Make("d", 20, 1)}, " Files.");
  EXPECT_EQ(store.Size(0), 20u);
  EXPECT_EQ(store.Size(2), 4096u) << "later sizes of the first choice stay";
  EXPECT_EQ(store.Count(), 1u);
  EXPECT_EQ(store.HeldBytes() >= 12288u, true);
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
