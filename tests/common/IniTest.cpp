#include <gtest/gtest.h>

#include "common/Ini.h"

using velquor::common::IniFile;

TEST(Ini, WindowsProfileRules) {
  IniFile ini = IniFile::Parse(
      "\xEF\xBB\xBF; comment\r\nstray=1\r\n[General]\r\n  Key One = spaced value  \r\n"
      "key one=second\r\nEq=a=b\r\nNum=42px\r\nNeg=-7\r\nBad=x\r\nBig=2147483648\r\n"
      "Max=2147483647\r\n[other]\r\nk=v\r\n");
  EXPECT_EQ(ini.ReadString("general", "KEY ONE", "d"), "spaced value");
  EXPECT_EQ(ini.ReadString("General", "Eq", "d"), "a=b");
  EXPECT_EQ(ini.ReadString("General", "missing", "d"), "d");
  EXPECT_EQ(ini.ReadString("General", "stray", "d"), "d") << "keys before a section are ignored";
  EXPECT_EQ(ini.ReadInteger("General", "Num", 5), 42);
  EXPECT_EQ(ini.ReadInteger("General", "Neg", 5), -7);
  EXPECT_EQ(ini.ReadInteger("General", "Bad", 5), 0);
  EXPECT_EQ(ini.ReadInteger("General", "Absent", 5), 5);
  EXPECT_EQ(ini.ReadInteger("General", "Big", 5), 0) << "past 32 bits reads 0, not the fallback";
  EXPECT_EQ(ini.ReadInteger("General", "Max", 5), 2147483647);
  EXPECT_EQ(ini.ReadString("OTHER", "K", ""), "v");
}

TEST(Ini, WritesReplaceOrAppend) {
  IniFile ini = IniFile::Parse("[A]\r\nx=1\r\n");
  ini.WriteString("a", "X", "2");
  ini.WriteString("B", "y", "3");
  EXPECT_EQ(ini.Text(), "[A]\r\nx=2\r\n[B]\r\ny=3\r\n");
}
