// Firmware images as the merge loads them: one to five files of any length. Each image keeps
// its whole 4-byte words, the boot loader is padded to 12288 bytes, and the merged file is
// written only when the box would take it.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzFiles.h"
#include "link/FirmwareImages.h"

using namespace velquor;
using link::FirmwareImageStore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // First byte: how many files; then each file but the last as a 16-bit length and its bytes.
  const size_t count = data[0] % FirmwareImageStore::kMaxImages + 1;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::vector<std::string_view> images;
  for (size_t i = 0; i < count; ++i) {
    size_t length = rest.size();
    if (i + 1 < count && rest.size() >= 2) {
      length = std::min<size_t>(rest.size() - 2,
                                static_cast<uint8_t>(rest[0]) | static_cast<uint8_t>(rest[1]) << 8);
      rest.remove_prefix(2);
    } else if (i + 1 < count) {
      length = 0;
      rest = {};
    }
    images.push_back(rest.substr(0, length));
    rest.remove_prefix(length);
  }
  std::vector<std::string> paths;
  for (size_t i = 0; i < count; ++i) {
    paths.push_back(fuzz::ScratchPath("image" + std::to_string(i) + ".bin"));
    fuzz::WriteScratch(paths.back(), images[i]);
  }

  FirmwareImageStore store;
  const auto lines = link::LoadFirmwareFiles(store, paths, " files");
  if (lines.size() != 1 + 2 * count || store.Count() != count) __builtin_trap();
  std::vector<uint8_t> expected;
  bool application = false;
  for (size_t i = 0; i < count; ++i) {
    const size_t words = images[i].size() / 4 * 4;
    if (store.Size(i) != words) __builtin_trap();
    if (i > 0 && words > 0) application = true;
    if (words == 0) continue;
    if (i == 0 && words < FirmwareImageStore::kBootLoaderBytes) {
      // Padded from its buffer: the file's last bytes past its words, then a fresh buffer's 0.
      expected.assign(images[0].begin(), images[0].end());
      expected.resize(FirmwareImageStore::kBootLoaderBytes, 0);
      continue;
    }
    expected.insert(expected.end(), images[i].begin(), images[i].begin() + words);
  }
  if (link::MergeFirmwareImages(store) != expected) __builtin_trap();

  const bool usable = store.Size(0) <= FirmwareImageStore::kBootLoaderBytes && application;
  if (link::MergeProblem(store).empty() != usable) __builtin_trap();
  const std::string merged = fuzz::ScratchPath("merged.bin");
  std::string error;
  const auto written = link::SaveMergedFirmware(store, merged, error);
  if (written.has_value() != usable || (!written && error.empty())) __builtin_trap();
  if (written) {
    const std::string file = fuzz::ReadScratch(merged);
    if (*written != expected.size() || file.size() != expected.size() ||
        std::string(expected.begin(), expected.end()) != file) {
      __builtin_trap();
    }
  }
  fuzz::RemoveScratch(merged);
  for (const std::string& path : paths) fuzz::RemoveScratch(path);
  return 0;
}
