#include <gtest/gtest.h>

#include "common/Text.h"

using namespace velquor::common;

TEST(Text, HexBytes) {
  std::vector<uint8_t> bytes{0x00, 0x0A, 0xFF};
  EXPECT_EQ(HexBytes(bytes), "00 0A FF");
  EXPECT_EQ(HexBytes(bytes, ""), "000AFF");
  EXPECT_EQ(HexBytes({}), "");
}

TEST(Text, ParseUnsignedDecimalAndHex) {
  EXPECT_EQ(ParseUnsigned("0"), 0u);
  EXPECT_EQ(ParseUnsigned("512"), 512u);
  EXPECT_EQ(ParseUnsigned("0x859a"), 0x859Au);
  EXPECT_EQ(ParseUnsigned("18446744073709551615"), UINT64_MAX);
  EXPECT_FALSE(ParseUnsigned("18446744073709551616"));
  EXPECT_FALSE(ParseUnsigned("0x"));
  EXPECT_FALSE(ParseUnsigned("12a"));
  EXPECT_FALSE(ParseUnsigned("-1"));
  EXPECT_FALSE(ParseUnsigned(""));
}

TEST(Text, ParseHexBytesAcceptsSpacesCommasAndPrefixes) {
  EXPECT_EQ(ParseHexBytes("01 02,ff 0x10"), (std::vector<uint8_t>{1, 2, 0xFF, 0x10}));
  EXPECT_EQ(ParseHexBytes("  "), std::vector<uint8_t>{});
  EXPECT_EQ(ParseHexBytes("0102 0xA0B1"), (std::vector<uint8_t>{1, 2, 0xA0, 0xB1}));
  EXPECT_EQ(ParseHexBytes("7"), (std::vector<uint8_t>{7}));
  EXPECT_FALSE(ParseHexBytes("100"));
  EXPECT_FALSE(ParseHexBytes("0g"));
}
