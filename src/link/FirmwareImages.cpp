#include "link/FirmwareImages.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>

#include "common/Files.h"

namespace velquor::link {

void FirmwareImageStore::Put(size_t slot, std::span<const uint8_t> bytes) {
  std::vector<uint8_t>& buffer = buffers_.at(slot);
  const size_t held = std::max({buffer.size(), bytes.size(), slot == 0 ? kBootLoaderBytes : 0});
  buffer.resize(held, 0);
  std::copy(bytes.begin(), bytes.end(), buffer.begin());
  sizes_[slot] = bytes.size() / 4 * 4;
}

size_t FirmwareImageStore::HeldBytes() const {
  size_t total = 0;
  for (const auto& b : buffers_) total += b.capacity();
  return total;
}

std::vector<uint8_t> MergeFirmwareImages(const FirmwareImageStore& store) {
  std::vector<uint8_t> merged;
  const size_t count = std::min(store.Count(), FirmwareImageStore::kMaxImages);
  for (size_t i = 0; i < count; ++i) {
    const size_t size = store.Size(i);
    if (size == 0) continue;
    const size_t take = i == 0 ? std::max(size, FirmwareImageStore::kBootLoaderBytes) : size;
    const auto buffer = store.Buffer(i);
    merged.insert(merged.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(take));
  }
  return merged;
}

std::string MergeProblem(const FirmwareImageStore& store) {
  const size_t count = std::min(store.Count(), FirmwareImageStore::kMaxImages);
  if (count > 0 && store.Size(0) > FirmwareImageStore::kBootLoaderBytes) {
    return fmt::format(
        "the boot loader is {} bytes, more than {}: the application would land past its place",
        store.Size(0), FirmwareImageStore::kBootLoaderBytes);
  }
  for (size_t i = 1; i < count; ++i) {
    if (store.Size(i) > 0) return {};
  }
  return "no application image: only a boot loader was chosen";
}

std::optional<size_t> SaveMergedFirmware(const FirmwareImageStore& store, const std::string& path,
                                         std::string& error) {
  if (std::string problem = MergeProblem(store); !problem.empty()) {
    error = std::move(problem);
    return std::nullopt;
  }
  const std::vector<uint8_t> merged = MergeFirmwareImages(store);
  const std::string_view bytes(reinterpret_cast<const char*>(merged.data()), merged.size());
  if (!common::WriteFileAtomic(path, bytes, error)) return std::nullopt;
  return merged.size();
}

std::vector<std::string> LoadFirmwareFiles(FirmwareImageStore& store,
                                           const std::vector<std::string>& paths,
                                           const std::string& countSuffix,
                                           const std::string& sizeSuffix) {
  std::vector<std::string> lines;
  if (paths.size() > FirmwareImageStore::kMaxImages) {
    lines.push_back(fmt::format("{} files chosen: at most {} can be loaded; none was loaded",
                                paths.size(), FirmwareImageStore::kMaxImages));
    return lines;
  }
  lines.push_back(fmt::format("You have chosen {}{}", paths.size(), countSuffix));
  store.SetCount(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    lines.push_back(paths[i]);
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(paths[i], ec);
    if (!ec && bytes > FirmwareImageStore::kMaxImageBytes) {
      lines.push_back(fmt::format("{} : {} bytes, more than 10 MiB: not loaded", i + 1, bytes));
      store.Drop(i);
      continue;
    }
    std::string error;
    const auto content = common::ReadWholeFile(paths[i], error);
    if (!content) {
      lines.push_back("Fail to Open File!!!");
      store.Drop(i);
      continue;
    }
    store.Put(i, std::span(reinterpret_cast<const uint8_t*>(content->data()), content->size()));
    lines.push_back(fmt::format("{} : Size: {} bytes{}", i + 1, content->size(), sizeSuffix));
  }
  return lines;
}

}  // namespace velquor::link
