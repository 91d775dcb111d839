#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "rdm/Decoders.h"

using namespace velquor::rdm;

TEST(Decoders, DeviceInfoFieldByField) {
  auto fields = [](const DeviceInfo& i) {
    return std::tuple(i.protocolMajor, i.protocolMinor, i.model, i.category, i.softwareVersion,
                      i.footprint, i.personality, i.personalityCount, i.startAddress,
                      i.subDeviceCount, i.sensorCount);
  };
  // Protocol 1.0, model 0x0350, category 0x0102 (moving head), software 0x01020003,
  // footprint 16, personality 1 of 3, start address 1, no sub-devices, no sensors.
  const std::vector<uint8_t> d{0x01, 0x00, 0x03, 0x50, 0x01, 0x02, 0x01, 0x02, 0x00, 0x03,
                               0x00, 0x10, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00};
  ASSERT_TRUE(DecodeDeviceInfo(d));
  EXPECT_EQ(fields(*DecodeDeviceInfo(d)),
            std::tuple(1, 0, 0x0350, 0x0102, 0x01020003u, 16, 1, 3, 1, 0, 0));
  // A device without a footprint: start address 0xFFFF; 0x0102 sub-devices, two sensors.
  std::vector<uint8_t> radio = d;
  radio[10] = radio[11] = 0;
  radio[14] = radio[15] = 0xFF;
  radio[16] = 0x01;
  radio[17] = 0x02;
  radio[18] = 2;
  EXPECT_EQ(fields(*DecodeDeviceInfo(radio)),
            std::tuple(1, 0, 0x0350, 0x0102, 0x01020003u, 0, 1, 3, 0xFFFF, 0x0102, 2));
  EXPECT_FALSE(DecodeDeviceInfo(std::span(d).first(18))) << "18 bytes is one too few";
}

TEST(Decoders, ListsAndTextsStopAtTheLastWholeItem) {
  const std::vector<uint8_t> status{
      0x00, 0x01, 0x03, 0x00, 0x21, 0xFF, 0xFE,
      0x00, 0x2A, 0x00, 0x00, 0x02, 0x00};  // a second message cut short
  auto messages = DecodeStatusMessages(status);
  ASSERT_EQ(messages.size(), 1u);
  const StatusMessage& m = messages[0];
  EXPECT_EQ(std::tuple(m.subDevice, m.type, m.id, m.data1, m.data2),
            std::tuple(1, 3, 0x21, -2, 42));

  EXPECT_EQ(DecodePidList(std::vector<uint8_t>{0x00, 0x82, 0x80, 0x01, 0x00}),
            (std::vector<uint16_t>{0x0082, 0x8001}));

  auto p = DecodePersonalityDescription(std::vector<uint8_t>{0x02, 0x00, 0x16, 'E', 'x', 't'});
  ASSERT_TRUE(p);
  EXPECT_EQ(std::tuple(p->number, p->footprint, p->text), std::tuple(2, 22, "Ext"));
  EXPECT_FALSE(DecodePersonalityDescription(std::vector<uint8_t>{0x02, 0x00}));

  EXPECT_EQ(DecodeHours(std::vector<uint8_t>{0x00, 0x00, 0x05, 0xF0}), 1520u);
  EXPECT_EQ(DecodeHours(std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}), 0xFFFFFFFFu);
  EXPECT_FALSE(DecodeHours(std::vector<uint8_t>{0x00, 0x05, 0xF0}));
}

TEST(Decoders, OneByteParametersAndTheirNames) {
  using Bytes = std::vector<uint8_t>;
  EXPECT_EQ(DecodeStartAddress(Bytes{0x01, 0x00}), 256);
  EXPECT_EQ(DecodeStartAddress(Bytes{0xFF, 0xFF}), kNoStartAddress) << "no DMX footprint";
  EXPECT_FALSE(DecodeStartAddress(Bytes{0x01}));
  EXPECT_EQ(std::tuple(DecodeFlag(Bytes{0x01}), DecodeFlag(Bytes{0x00}), DecodeFlag(Bytes{})),
            std::tuple(true, false, std::nullopt));
  EXPECT_EQ(DecodeByte(Bytes{0x07, 0x01}), 7);
  EXPECT_FALSE(DecodeByte(Bytes{}));
  // E1.20 table.
  EXPECT_EQ(std::tuple(LampStateName(2), LampStateName(4), LampStateName(0x7F), LampStateName(9)),
            std::tuple("strike", "not present", "error", "state 9"));
  EXPECT_EQ(std::tuple(LampOnModeName(1), LampOnModeName(3)),
            std::tuple("DMX", "after calibration"));
}
