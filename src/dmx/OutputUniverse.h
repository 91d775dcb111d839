#pragma once
// The one buffer of DMX levels: slots 1..512 at bytes 0..511; the first 527 bytes are the
// frame handed to the link. Writers store bytes or blocks, senders copy a whole frame, so
// no frame goes out torn.

#include <array>
#include <cstdint>
#include <mutex>
#include <span>

#include "common/PiMutex.h"

namespace velquor::dmx {

constexpr size_t kUniverseBytes = 530;
constexpr size_t kFrameBytes = 527;
constexpr size_t kSlots = 512;

class OutputUniverse {
 public:
  using Bytes = std::array<uint8_t, kUniverseBytes>;

  void Store(size_t index, uint8_t level);
  // Copies `bytes` at `offset`, cut at the end of the buffer.
  void StoreBlock(size_t offset, std::span<const uint8_t> bytes);
  void ClearSlots();
  uint8_t At(size_t index) const;
  Bytes Snapshot() const;
  // Changes slots 1..512 (bytes 0..511) in one go, under the lock, so no frame sent meanwhile
  // carries half of the change.
  template <class Change>
  void EditSlots(Change&& change) {
    std::lock_guard lock(mutex_);
    change(std::span<uint8_t, kSlots>(bytes_.data(), kSlots));
  }

 private:
  mutable common::PiMutex mutex_;  // the tick waits on it: priority inheritance
  Bytes bytes_{};
};

}  // namespace velquor::dmx
