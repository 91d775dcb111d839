#pragma once
// Firmware images of the interface box as the IAP page and the merge tool hold them: up to
// five images of at most 10 MiB, each kept at a multiple of 4 bytes, and the merged file of a
// boot loader and an application (the boot loader padded to 12288 bytes, so the application
// starts at 0x3000). Buffers are taken when an image is loaded, not before.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velquor::link {

class FirmwareImageStore {
 public:
  static constexpr size_t kMaxImages = 5;
  static constexpr size_t kMaxImageBytes = 10 * 1024 * 1024;
  static constexpr size_t kBootLoaderBytes = 12288;

  // Image `slot` becomes `bytes`, its size rounded down to a multiple of 4. What a longer,
  // older image left beyond the new one stays in the buffer (the merge pads from it).
  void Put(size_t slot, std::span<const uint8_t> bytes);
  // Image `slot` holds nothing usable now (its file could not be read).
  void Drop(size_t slot) { sizes_.at(slot) = 0; }
  size_t Size(size_t slot) const { return sizes_.at(slot); }
  std::span<const uint8_t> Buffer(size_t slot) const { return buffers_.at(slot); }
  // How many images the last choice of files named.
  size_t Count() const { return count_; }
  void SetCount(size_t count) { count_ = count; }
  // Bytes of memory the buffers hold.
  size_t HeldBytes() const;

 private:
  std::array<std::vector<uint8_t>, kMaxImages> buffers_;
  std::array<size_t, kMaxImages> sizes_{};
  size_t count_ = 0;
};

// The merged file: image 0 padded to 12288 bytes from its buffer when shorter, then images
// 1 .. count-1 as loaded; images of size 0 add nothing.
std::vector<uint8_t> MergeFirmwareImages(const FirmwareImageStore& store);
// Why the images cannot make a file the box takes (a boot loader past its 12288 bytes would
// move the application; a boot loader alone has no application); empty when they can.
std::string MergeProblem(const FirmwareImageStore& store);
// Writes the merged file to `path` whole or not at all: its size, or nothing with `error`
// (a merge problem included).
std::optional<size_t> SaveMergedFirmware(const FirmwareImageStore& store, const std::string& path,
                                         std::string& error);

// Loads the chosen files into `store` in their order and returns the lines the page shows:
// "You have chosen N" + `countSuffix`, then per file its path and "i : Size: n bytes" (plus
// `sizeSuffix`) or why it was not loaded. More than five files, or a file over 10 MiB, is
// refused with a line; an image that could not be loaded holds nothing afterwards.
std::vector<std::string> LoadFirmwareFiles(FirmwareImageStore& store,
                                           const std::vector<std::string>& paths,
                                           const std::string& countSuffix,
                                           const std::string& sizeSuffix = "");

}  // namespace velquor::link
