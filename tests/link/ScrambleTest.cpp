#include <gtest/gtest.h>

#include <set>

#include "link/LinkFrame.h"

using namespace velquor::link;

TEST(Scramble, KnownFrameFromTheBoxDocumentation) {
  Chunk data{};
  data[0] = 0xCC;
  LinkFrame frame = ScrambleChunk(kRdmBase, 0, data, 0x00);
  EXPECT_EQ(frame[0], 0xCC);
  EXPECT_EQ(frame[1], 0x00);
  EXPECT_EQ(frame[2], 0x21);  // 0xFF - (0x12 XOR 0xCC)
  EXPECT_EQ(UnscrambleChunk(frame)[0], 0xCC);
}

TEST(Scramble, KeyIsOredIntoTheMask) {
  // Worked by hand with key 0x13, which shares bits with the position mask 0x12 + i:
  // byte 0: ~(0xCC ^ (0x12 | 0x13)) = ~0xDF = 0x20; byte 1: ~(0x01 ^ 0x13) = 0xED;
  // byte 5: ~(0x00 ^ (0x17 | 0x13)) = 0xE8.
  Chunk data{};
  data[0] = 0xCC;
  data[1] = 0x01;
  LinkFrame frame = ScrambleChunk(kRdmBase, 1, data, 0x13);
  EXPECT_EQ(frame[0], 0xCD);
  EXPECT_EQ(frame[1], 0x13);
  EXPECT_EQ(frame[2], 0x20);
  EXPECT_EQ(frame[3], 0xED);
  EXPECT_EQ(frame[7], 0xE8);
  LinkFrame fromBox{};
  fromBox[0] = 0xCC;
  fromBox[1] = 0x13;
  fromBox[2] = 0x20;
  fromBox[3] = 0xED;
  EXPECT_EQ(UnscrambleChunk(fromBox)[0], 0xCC);
  EXPECT_EQ(UnscrambleChunk(fromBox)[1], 0x01);
}

TEST(Scramble, EveryKeyRoundTripsAndCodesWrap) {
  Chunk data{};
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + 5);
  for (unsigned key = 0; key < 245; ++key) {
    LinkFrame frame = ScrambleChunk(kDmxBase, 16, data, static_cast<uint8_t>(key));
    ASSERT_EQ(frame[0], 0xF5);
    ASSERT_EQ(UnscrambleChunk(frame), data) << "key " << key;
  }
  // A base near the top wraps in 8 bits instead of overflowing.
  EXPECT_EQ(ScrambleChunk(0xFF, 2, data, 0)[0], 0x01);
}

TEST(Scramble, ChunkCodesAcceptedOnlyInTheirRanges) {
  EXPECT_EQ(RdmChunkIndex(0xCC), 0);
  EXPECT_EQ(RdmChunkIndex(0xDC), 16);
  EXPECT_EQ(RdmChunkIndex(0xDD), -1);
  EXPECT_EQ(RdmChunkIndex(0xCB), -1);
  EXPECT_EQ(DmxChunkIndex(0xE5), 0);
  EXPECT_EQ(DmxChunkIndex(0xF5), 16);
  EXPECT_EQ(DmxChunkIndex(0xF6), -1);
  EXPECT_EQ(DmxChunkIndex(0xDC), -1);
}

TEST(Scramble, ChunkCountAddsAChunkWhenLengthPlusTwoIsAMultipleOf31) {
  EXPECT_EQ(RdmChunkCount(24), 1u);
  EXPECT_EQ(RdmChunkCount(28), 1u);
  EXPECT_EQ(RdmChunkCount(29), 2u);  // 31 bytes exactly: one more
  EXPECT_EQ(RdmChunkCount(60), 3u);
  EXPECT_EQ(RdmChunkCount(255), 9u);
}

TEST(Scramble, KeysStayBelow245AndVary) {
  KeyGenerator keys(1234);
  std::set<int> seen;
  for (int i = 0; i < 5000; ++i) {
    uint8_t k = keys.Next();
    ASSERT_LT(k, 245);
    seen.insert(k);
  }
  EXPECT_GT(seen.size(), 200u);
}
