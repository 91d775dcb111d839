#include <gtest/gtest.h>

#include <thread>

#include "common/Encoding.h"
#include "common/Ini.h"
#include "common/Log.h"
#include "common/Text.h"

using namespace velquor::common;

TEST(Text, ParseUnsignedDecimalAndHex) {
  const std::pair<const char*, uint64_t> good[] = {
      {"0", 0}, {"512", 512}, {"0x859a", 0x859A}, {"18446744073709551615", UINT64_MAX}};
  for (auto [text, value] : good) EXPECT_EQ(ParseUnsigned(text), value) << text;
  for (const char* bad : {"18446744073709551616", "0x", "12a", "-1", ""}) {
    EXPECT_FALSE(ParseUnsigned(bad)) << bad;
  }
}

TEST(Text, HexBytesReadWithSpacesCommasAndPrefixesAndWritten) {
  using Bytes = std::vector<uint8_t>;
  const std::pair<const char*, Bytes> good[] = {{"01 02,ff 0x10", {1, 2, 0xFF, 0x10}},
                                                {"  ", {}},
                                                {"0102 0xA0B1", {1, 2, 0xA0, 0xB1}},
                                                {"7", {7}}};
  for (const auto& [text, bytes] : good) EXPECT_EQ(ParseHexBytes(text), bytes) << text;
  for (const char* bad : {"100", "0g"}) EXPECT_FALSE(ParseHexBytes(bad)) << bad;
  const std::vector<uint8_t> bytes{0x00, 0x0A, 0xFF};
  EXPECT_EQ(std::tuple(HexBytes(bytes), HexBytes(bytes, "")), std::tuple("00 0A FF", "000AFF"));
}

TEST(LogSink, TakeNewReturnsEachLineOnceInOrderWithinCapacityAndLinesArriveWhole) {
  using Lines = std::vector<std::string>;
  LogSink log(3);
  log.Add("a");
  EXPECT_EQ(log.TakeNew(), Lines{"a"});
  EXPECT_TRUE(log.TakeNew().empty());
  for (int i = 0; i < 5; ++i) log.Add(std::to_string(i));
  EXPECT_EQ(log.TakeNew(), (Lines{"2", "3", "4"})) << "only the newest within capacity";
  EXPECT_EQ(log.Lines(), (Lines{"2", "3", "4"}));
  log.Clear();
  EXPECT_EQ(log.Count(), 0u);

  // Lines from many threads arrive whole.
  LogSink many;
  std::vector<std::string> heard;
  many.SetListener([&](const std::string& l) { heard.push_back(l); });
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) many.Add(std::string(40, static_cast<char>('a' + t)));
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(many.Count(), 2000u);
  EXPECT_EQ(heard.size(), 2000u);
  for (char c : {'a', 'b', 'c', 'd'}) EXPECT_EQ(many.CountOf(std::string(40, c)), 500u);
}

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
  // Files from a Chinese Windows system are read as GB18030.
  EXPECT_EQ(DecodeTextFile("\xD6\xD0\xCE\xC4=Spot"), "\xE4\xB8\xAD\xE6\x96\x87=Spot");
  EXPECT_EQ(DecodeTextFile("\xE4\xB8\xAD"), "\xE4\xB8\xAD") << "UTF-8 stays as it is";
}

TEST(Ini, WindowsProfileRulesAndAWriteChangesOnlyItsOwnLine) {
  IniFile ini = IniFile::Parse(
      "\xEF\xBB\xBF; comment\r\nstray=1\r\n[General]\r\n  Key One = spaced value  \r\n"
      "key one=second\r\nEq=a=b\r\nNum=42px\r\nNeg=-7\r\nBad=x\r\nBig=2147483648\r\n"
      "Max=2147483647\r\n[other]\r\nk=v\r\n");
  // Keys before a section are ignored; past 32 bits reads 0, not the fallback.
  for (auto [key, value] :
       {std::pair{"KEY ONE", "spaced value"}, {"Eq", "a=b"}, {"missing", "d"}, {"stray", "d"}}) {
    EXPECT_EQ(ini.ReadString("general", key, "d"), value) << key;
  }
  for (auto [key, value] : {std::pair{"Num", 42},
                            {"Neg", -7},
                            {"Bad", 0},
                            {"Absent", 5},
                            {"Big", 0},
                            {"Max", 2147483647}}) {
    EXPECT_EQ(ini.ReadInteger("General", key, 5), value) << key;
  }
  EXPECT_EQ(ini.ReadString("OTHER", "K", ""), "v");
  // An editor's repeated UTF-8 marks hide no section.
  const IniFile marked = IniFile::Parse("\xEF\xBB\xBF\xEF\xBB\xBF[General]\r\nIP=2\r\n");
  EXPECT_EQ(marked.ReadString("General", "IP", ""), "2");

  // A write changes only its own line, as in a hand-edited config.cfg of a Windows install.
  // As a hand-edited config.cfg of a Windows install may look.
  IniFile edited = IniFile::Parse(
      "; chosen by the installer\r\n[General]\r\nIP=1\r\n\r\n; test bench only\r\nTEST=0\r\n"
      "Extra=kept\r\n\r\n[Form1]\r\nLanguage=CHS\r\n[Mine]\r\nnote=x\r\n");
  edited.WriteString("general", "ip", "3");
  edited.WriteString("Form1", "Language", "ENU");
  edited.WriteString("Form1", "Font", "12");
  edited.WriteString("New", "k", "v");
  EXPECT_EQ(edited.Text(),
            "; chosen by the installer\r\n[General]\r\nIP=3\r\n\r\n; test bench only\r\nTEST=0\r\n"
            "Extra=kept\r\n\r\n[Form1]\r\nLanguage=ENU\r\nFont=12\r\n[Mine]\r\nnote=x\r\n"
            "[New]\r\nk=v\r\n");
  IniFile empty = IniFile::Parse("");
  empty.WriteString("Form1", "Language", "ENU");
  EXPECT_EQ(empty.Text(), "[Form1]\r\nLanguage=ENU\r\n");
}
