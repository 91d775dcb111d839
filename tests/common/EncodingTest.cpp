#include <gtest/gtest.h>

#include "common/Encoding.h"

using namespace velquor::common;

TEST(Encoding, Utf8IsCheckedByTheStandardsRules) {
  const std::pair<const char*, bool> cases[] = {
      {"Spot 1", true},
      {"\xE4\xB8\xAD\xE6\x96\x87", true},  // 中文
      {"\xF0\x9F\x92\xA1", true},          // U+1F4A1, four bytes
      {"\xED\xA0\x80", false},             // U+D800, a surrogate
      {"\xED\xBF\xBF", false},             // U+DFFF
      {"\xC0\xAF", false},                 // overlong '/'
      {"\xE0\x80\xAF", false},             // overlong, three bytes
      {"\xF4\x90\x80\x80", false},         // past U+10FFFF
      {"\xE4\xB8", false},                 // cut short
      {"\xD6\xD0\xCE\xC4", false},         // 中文 in GB18030
  };
  for (auto [bytes, valid] : cases) EXPECT_EQ(IsValidUtf8(bytes), valid) << bytes;
}

TEST(Encoding, FilesFromAChineseWindowsSystemAreReadAsGb18030) {
  EXPECT_EQ(DecodeTextFile("\xD6\xD0\xCE\xC4=Spot"), "\xE4\xB8\xAD\xE6\x96\x87=Spot");
  EXPECT_EQ(DecodeTextFile("\xE4\xB8\xAD"), "\xE4\xB8\xAD") << "UTF-8 stays as it is";
}
