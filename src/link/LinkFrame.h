#pragma once
// The 33-byte frame of the link to the box: chunk code, key, 31 scrambled bytes.

#include <array>
#include <cstdint>
#include <mutex>
#include <random>
#include <span>

namespace velquor::link {

constexpr size_t kFrameSize = 33;
constexpr size_t kChunkSize = 31;
constexpr size_t kMaxChunks = 17;                        // codes base+0 .. base+16
constexpr size_t kMaxMessage = kChunkSize * kMaxChunks;  // 527

constexpr uint8_t kRdmBase = 0xCC;
constexpr uint8_t kDmxBase = 0xE5;

constexpr uint8_t LINK_MODE_DMX = 0x00;
constexpr uint8_t LINK_MODE_RDM = 0xCC;

using LinkFrame = std::array<uint8_t, kFrameSize>;
using Chunk = std::array<uint8_t, kChunkSize>;

LinkFrame ScrambleChunk(uint8_t base, size_t chunkIndex, std::span<const uint8_t, kChunkSize> data,
                        uint8_t key);
Chunk UnscrambleChunk(const LinkFrame& frame);

// Chunk index of an RDM (0xCC..0xDC) or DMX (0xE5..0xF5) frame code, or -1.
int RdmChunkIndex(uint8_t code);
int DmxChunkIndex(uint8_t code);

// Number of 31-byte chunks that carry an RDM message of length byte L (one more than
// L + 2 strictly needs when L + 2 is a multiple of 31, as the box expects).
constexpr size_t RdmChunkCount(uint8_t messageLength) {
  return (messageLength + 2u) / 31u + 1u;
}

// Draws the per-frame keys 0..244. Seeded once at start; thread-safe.
class KeyGenerator {
 public:
  KeyGenerator();
  explicit KeyGenerator(uint32_t seed) : engine_(seed) {}
  uint8_t Next();

 private:
  std::mutex mutex_;
  std::minstd_rand engine_;
};

}  // namespace velquor::link
