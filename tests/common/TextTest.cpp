#include <gtest/gtest.h>

#include "common/Text.h"

using namespace velquor::common;

TEST(Text, HexBytes) {
  EXPECT_EQ(HexBytes(std::vector<uint8_t>{0x00, 0x0A, 0xFF}), "00 0A FF");
  EXPECT_EQ(HexBytes(std::vector<uint8_t>{0x00, 0x0A, 0xFF}, ""), "000AFF");
}

TEST(Text, ParseUnsignedDecimalAndHex) {
  const std::pair<const char*, uint64_t> good[] = {
      {"0", 0}, {"512", 512}, {"0x859a", 0x859A}, {"18446744073709551615", UINT64_MAX}};
  for (auto [text, value] : good) EXPECT_EQ(ParseUnsigned(text), value) << text;
  for (const char* bad : {"18446744073709551616", "0x", "12a", "-1", ""}) {
    EXPECT_FALSE(ParseUnsigned(bad)) << bad;
  }
}

TEST(Text, ParseHexBytesAcceptsSpacesCommasAndPrefixes) {
  using Bytes = std::vector<uint8_t>;
  const std::pair<const char*, Bytes> good[] = {{"01 02,ff 0x10", {1, 2, 0xFF, 0x10}},
                                                {"  ", {}},
                                                {"0102 0xA0B1", {1, 2, 0xA0, 0xB1}},
                                                {"7", {7}}};
  for (const auto& [text, bytes] : good) EXPECT_EQ(ParseHexBytes(text), bytes) << text;
  for (const char* bad : {"100", "0g"}) EXPECT_FALSE(ParseHexBytes(bad)) << bad;
}
