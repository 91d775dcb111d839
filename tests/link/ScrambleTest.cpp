#include <gtest/gtest.h>

#include <set>

#include "link/LinkFrame.h"

using namespace velquor::link;

// Frames worked by hand: byte i of the chunk goes out as ~(data ^ ((i + 0x12) | key)).
TEST(Scramble, FramesWorkedByHand) {
  struct Case {
    uint8_t base;
    size_t index;
    uint8_t key;
    std::vector<uint8_t> data;   // the chunk's first bytes, the rest 0
    std::vector<uint8_t> frame;  // the frame's first bytes
    size_t at;                   // and one more of the frame
    uint8_t atValue;
  };
  const Case cases[] = {
      // From the box's documentation: 0xFF - (0x12 XOR 0xCC) = 0x21.
      {kRdmBase, 0, 0x00, {0xCC}, {0xCC, 0x00, 0x21}, 32, 0xCF},  // i = 30: ~0x30
      // Key 0x13 shares bits with the mask: ~(0xCC ^ (0x12 | 0x13)) = ~0xDF = 0x20,
      // ~(0x01 ^ 0x13) = 0xED, byte 5: ~(0x00 ^ (0x17 | 0x13)) = 0xE8.
      {kRdmBase, 1, 0x13, {0xCC, 0x01}, {0xCD, 0x13, 0x20, 0xED}, 7, 0xE8},
      {0xFF, 2, 0x00, {}, {0x01}, 2, 0xED},  // the code wraps in 8 bits
  };
  for (const Case& c : cases) {
    Chunk data{};
    std::copy(c.data.begin(), c.data.end(), data.begin());
    const LinkFrame frame = ScrambleChunk(c.base, c.index, data, c.key);
    EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + c.frame.size()), c.frame);
    EXPECT_EQ(frame[c.at], c.atValue) << "byte " << c.at;
    EXPECT_EQ(UnscrambleChunk(frame), data);
  }
}

TEST(Scramble, KeysStayBelow245AndVaryAndEveryOneRoundTrips) {
  KeyGenerator keys(1234);
  std::set<int> seen;
  for (int i = 0; i < 5000; ++i) {
    const uint8_t k = keys.Next();
    ASSERT_LT(k, 245);
    seen.insert(k);
  }
  EXPECT_GT(seen.size(), 200u);
  Chunk data{};
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + 5);
  for (unsigned key = 0; key < 245; ++key) {
    LinkFrame frame = ScrambleChunk(kDmxBase, 16, data, static_cast<uint8_t>(key));
    ASSERT_EQ(frame[0], 0xF5);
    ASSERT_EQ(UnscrambleChunk(frame), data) << "key " << key;
  }
}

TEST(Scramble, ChunkCodesAndCounts) {
  const std::pair<uint8_t, int> rdm[] = {{0xCC, 0}, {0xDC, 16}, {0xDD, -1}, {0xCB, -1}};
  for (auto [code, index] : rdm) EXPECT_EQ(RdmChunkIndex(code), index) << int{code};
  const std::pair<uint8_t, int> dmx[] = {{0xE5, 0}, {0xF5, 16}, {0xF6, -1}, {0xDC, -1}};
  for (auto [code, index] : dmx) EXPECT_EQ(DmxChunkIndex(code), index) << int{code};
  // A chunk more when length + 2 is a multiple of 31 (29: 31 bytes exactly).
  const std::pair<uint8_t, size_t> counts[] = {{24, 1}, {28, 1}, {29, 2}, {60, 3}, {255, 9}};
  for (auto [length, chunks] : counts) EXPECT_EQ(RdmChunkCount(length), chunks) << int{length};
}
