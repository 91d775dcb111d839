#include "dmx/OutputUniverse.h"

#include <algorithm>

namespace velquor::dmx {

void OutputUniverse::Store(size_t index, uint8_t level) {
  if (index >= kUniverseBytes) return;
  std::lock_guard lock(mutex_);
  bytes_[index] = level;
}

void OutputUniverse::StoreBlock(size_t offset, std::span<const uint8_t> bytes) {
  if (offset >= kUniverseBytes) return;
  const size_t n = std::min(bytes.size(), kUniverseBytes - offset);
  std::lock_guard lock(mutex_);
  std::copy_n(bytes.begin(), n, bytes_.begin() + static_cast<ptrdiff_t>(offset));
}

void OutputUniverse::ClearSlots() {
  std::lock_guard lock(mutex_);
  std::fill_n(bytes_.begin(), kSlots, 0);
}

uint8_t OutputUniverse::At(size_t index) const {
  if (index >= kUniverseBytes) return 0;
  std::lock_guard lock(mutex_);
  return bytes_[index];
}

OutputUniverse::Bytes OutputUniverse::Snapshot() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

}  // namespace velquor::dmx
