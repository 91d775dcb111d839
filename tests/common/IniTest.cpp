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

TEST(Ini, AWriteChangesOnlyItsOwnLine) {
  // As a hand-edited config.cfg of a Windows install may look.
  IniFile ini = IniFile::Parse(
      "; chosen by the installer\r\n[General]\r\nIP=1\r\n\r\n; test bench only\r\nTEST=0\r\n"
      "Extra=kept\r\n\r\n[Form1]\r\nLanguage=CHS\r\n[Mine]\r\nnote=x\r\n");
  ini.WriteString("general", "ip", "3");
  ini.WriteString("Form1", "Language", "ENU");
  ini.WriteString("Form1", "Font", "12");
  ini.WriteString("New", "k", "v");
  EXPECT_EQ(ini.Text(),
            "; chosen by the installer\r\n[General]\r\nIP=3\r\n\r\n; test bench only\r\nTEST=0\r\n"
            "Extra=kept\r\n\r\n[Form1]\r\nLanguage=ENU\r\nFont=12\r\n[Mine]\r\nnote=x\r\n"
            "[New]\r\nk=v\r\n");
  IniFile empty = IniFile::Parse("");
  empty.WriteString("Form1", "Language", "ENU");
  EXPECT_EQ(empty.Text(), "[Form1]\r\nLanguage=ENU\r\n");
}
