#include "link/LinkFrame.h"

namespace velquor::link {

LinkFrame ScrambleChunk(uint8_t base, size_t chunkIndex, std::span<const uint8_t, kChunkSize> data,
                        uint8_t key) {
  LinkFrame frame{};
  frame[0] = static_cast<uint8_t>(base + chunkIndex);
  frame[1] = key;
  for (size_t i = 0; i < kChunkSize; ++i) {
    uint8_t mask = static_cast<uint8_t>((i + 0x12) | key);
    frame[2 + i] = static_cast<uint8_t>(~(mask ^ data[i]));
  }
  return frame;
}

Chunk UnscrambleChunk(const LinkFrame& frame) {
  Chunk out{};
  uint8_t key = frame[1];
  for (size_t i = 0; i < kChunkSize; ++i) {
    uint8_t mask = static_cast<uint8_t>((i + 0x12) | key);
    out[i] = static_cast<uint8_t>(static_cast<uint8_t>(~frame[2 + i]) ^ mask);
  }
  return out;
}

int RdmChunkIndex(uint8_t code) {
  return (code >= kRdmBase && code < kRdmBase + kMaxChunks) ? code - kRdmBase : -1;
}

int DmxChunkIndex(uint8_t code) {
  return (code >= kDmxBase && code < kDmxBase + kMaxChunks) ? code - kDmxBase : -1;
}

KeyGenerator::KeyGenerator() : engine_(std::random_device{}()) {}

uint8_t KeyGenerator::Next() {
  std::lock_guard lock(mutex_);
  return static_cast<uint8_t>(engine_() % 245u);
}

}  // namespace velquor::link
