#include <gtest/gtest.h>

#include <vector>

#include "dmx/OutputUniverse.h"

using namespace velquor::dmx;

TEST(OutputUniverse, BlocksLandWhereTheyAreSentAndStopAtTheEnd) {
  OutputUniverse u;
  // The box's DMX input chunk 3 covers bytes 93..123 (slots 94..124).
  std::vector<uint8_t> chunk(31);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i + 1);
  u.StoreBlock(93, chunk);
  EXPECT_EQ(std::tuple(u.At(92), u.At(93), u.At(123), u.At(124)), std::tuple(0, 1, 31, 0));
  // The last chunk (16, bytes 496..526) is cut at the buffer's 530 bytes, never past it.
  std::vector<uint8_t> big(40, 0xAB);
  u.StoreBlock(520, big);
  EXPECT_EQ(std::tuple(u.At(519), u.At(520), u.Snapshot()[529]), std::tuple(0, 0xAB, 0xAB));
  u.StoreBlock(530, big);  // wholly outside: ignored
  u.Store(511, 0x7F);      // slot 512
  EXPECT_EQ(u.Snapshot()[511], 0x7F);
  u.ClearSlots();
  EXPECT_EQ(std::tuple(u.At(93), u.At(511), u.At(520)), std::tuple(0, 0, 0xAB))
      << "bytes past slot 512 are not slots";
}
