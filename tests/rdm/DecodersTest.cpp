#include <gtest/gtest.h>

#include <vector>

#include "rdm/Decoders.h"

using namespace velquor::rdm;

TEST(Decoders, DeviceInfoFieldByField) {
  // Protocol 1.0, model 0x0350, category 0x0102 (moving head), software 0x01020003,
  // footprint 16, personality 1 of 3, start address 1, no sub-devices, no sensors.
  const std::vector<uint8_t> d{0x01, 0x00, 0x03, 0x50, 0x01, 0x02, 0x01, 0x02, 0x00, 0x03,
                               0x00, 0x10, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00};
  auto info = DecodeDeviceInfo(d);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->protocolMajor, 1);
  EXPECT_EQ(info->protocolMinor, 0);
  EXPECT_EQ(info->model, 0x0350);
  EXPECT_EQ(info->category, 0x0102);
  EXPECT_EQ(info->softwareVersion, 0x01020003u);
  EXPECT_EQ(info->footprint, 16);
  EXPECT_EQ(info->personality, 1);
  EXPECT_EQ(info->personalityCount, 3);
  EXPECT_EQ(info->startAddress, 1);
  EXPECT_EQ(info->subDeviceCount, 0);
  EXPECT_EQ(info->sensorCount, 0);
  // A device without a footprint: start address 0xFFFF; 18 bytes is one too few.
  std::vector<uint8_t> radio = d;
  radio[10] = radio[11] = 0;
  radio[14] = radio[15] = 0xFF;
  radio[18] = 2;
  EXPECT_EQ(DecodeDeviceInfo(radio)->startAddress, 0xFFFF);
  EXPECT_EQ(DecodeDeviceInfo(radio)->sensorCount, 2);
  EXPECT_FALSE(DecodeDeviceInfo(std::span(d).first(18)));
}

TEST(Decoders, ListsAndTextsStopAtTheLastWholeItem) {
  const std::vector<uint8_t> status{
      0x00, 0x01, 0x03, 0x00, 0x21, 0xFF, 0xFE,
      0x00, 0x2A, 0x00, 0x00, 0x02, 0x00};  // a second message cut short
  auto messages = DecodeStatusMessages(status);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].subDevice, 1);
  EXPECT_EQ(messages[0].type, 3);
  EXPECT_EQ(messages[0].id, 0x0021);
  EXPECT_EQ(messages[0].data1, -2);
  EXPECT_EQ(messages[0].data2, 42);

  EXPECT_EQ(DecodePidList(std::vector<uint8_t>{0x00, 0x82, 0x80, 0x01, 0x00}),
            (std::vector<uint16_t>{0x0082, 0x8001}));

  auto p = DecodePersonalityDescription(std::vector<uint8_t>{0x02, 0x00, 0x16, 'E', 'x', 't'});
  ASSERT_TRUE(p);
  EXPECT_EQ(p->number, 2);
  EXPECT_EQ(p->footprint, 22);
  EXPECT_EQ(p->text, "Ext");
  EXPECT_FALSE(DecodePersonalityDescription(std::vector<uint8_t>{0x02, 0x00}));

  EXPECT_EQ(DecodeHours(std::vector<uint8_t>{0x00, 0x00, 0x05, 0xF0}), 1520u);
  EXPECT_EQ(DecodeHours(std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}), 0xFFFFFFFFu);
  EXPECT_FALSE(DecodeHours(std::vector<uint8_t>{0x00, 0x05, 0xF0}));
}
