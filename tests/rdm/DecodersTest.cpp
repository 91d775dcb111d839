#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "rdm/Decoders.h"
#include "rdm/Sensors.h"
#include "rdm/Slots.h"

using namespace velquor::rdm;
using Bytes = std::vector<uint8_t>;

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
  EXPECT_EQ(fields(DecodeDeviceInfo(d).value()),
            std::tuple(1, 0, 0x0350, 0x0102, 0x01020003u, 16, 1, 3, 1, 0, 0));
  // A device without a footprint: start address 0xFFFF; 0x0102 sub-devices, two sensors.
  const std::vector<uint8_t> radio{0x01, 0x00, 0x03, 0x50, 0x01, 0x02, 0x01, 0x02, 0x00, 0x03,
                                   0x00, 0x00, 0x01, 0x03, 0xFF, 0xFF, 0x01, 0x02, 0x02};
  EXPECT_EQ(fields(DecodeDeviceInfo(radio).value()),
            std::tuple(1, 0, 0x0350, 0x0102, 0x01020003u, 0, 1, 3, 0xFFFF, 0x0102, 2));
  EXPECT_FALSE(DecodeDeviceInfo(std::span(d).first(18))) << "18 bytes is one too few";
}

TEST(Decoders, ListsAndTextsStopAtTheLastWholeItemAndSmallParametersAndNames) {
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

  // Personality, a 16-bit footprint, the text.
  auto p = DecodePersonalityDescription(Bytes{0x02, 0x01, 0x02, 'W', 'i', 'd', 'e'}).value();
  EXPECT_EQ(std::tuple(p.number, p.footprint, p.text), std::tuple(2, 258, "Wide"));
  EXPECT_FALSE(DecodePersonalityDescription(std::vector<uint8_t>{0x02, 0x00}));

  EXPECT_EQ(
      std::tuple(DecodeHours(Bytes{0x00, 0x00, 0x05, 0xF0}),
                 DecodeHours(Bytes{0xFF, 0xFF, 0xFF, 0xFF}), DecodeHours(Bytes{0x00, 0x05, 0xF0})),
      std::tuple(1520u, 0xFFFFFFFFu, std::nullopt));
  // 0xFFFF: no DMX footprint.
  EXPECT_EQ(std::tuple(DecodeStartAddress(Bytes{0x01, 0x00}), DecodeStartAddress(Bytes{0xFF, 0xFF}),
                       DecodeStartAddress(Bytes{0x01})),
            std::tuple(256, kNoStartAddress, std::nullopt));
  EXPECT_EQ(std::tuple(DecodeFlag(Bytes{0x01}), DecodeFlag(Bytes{0x00}), DecodeFlag(Bytes{}),
                       DecodeByte(Bytes{0x07, 0x01}), DecodeByte(Bytes{})),
            std::tuple(true, false, std::nullopt, 7, std::nullopt));
  // E1.20 table.
  EXPECT_EQ(std::tuple(LampStateName(2), LampStateName(4), LampStateName(0x7F), LampStateName(9)),
            std::tuple("strike", "not present", "error", "state 9"));
  EXPECT_EQ(std::tuple(LampOnModeName(1), LampOnModeName(3)),
            std::tuple("DMX", "after calibration"));
}

TEST(Slots, AnswersDecodeFieldByFieldAndDropTrailingParts) {
  const Bytes info = {
      0x00, 0x00, 0x00, 0x01, 0x01,  // slot 0: primary, SD_PAN
      0x00, 0x01, 0x01, 0x00, 0x00,  // slot 1: fine, its primary slot 0
      0x01, 0x02, 0x00, 0x00, 0x01,  // slot 258: primary, SD_INTENSITY
      0x00, 0x03, 0x00,              // part of a slot
  };
  EXPECT_EQ(DecodeSlotInfo(info),
            (std::vector<SlotInfo>{{0, 0x00, 0x0101}, {1, 0x01, 0x0000}, {258, 0x00, 0x0001}}));

  const auto d =
      DecodeSlotDescription(Bytes{0x01, 0x11, 'P', 'a', 'n', ' ', 'f', 'i', 'n', 'e'}).value();
  EXPECT_EQ(std::tuple(d.offset, d.text), std::tuple(uint16_t{273}, std::string("Pan fine")));
  EXPECT_FALSE(DecodeSlotDescription(Bytes{0x00})) << "no whole slot number";

  const Bytes defaults = {0x00, 0x00, 0x80,  // slot 0: 128
                          0x01, 0x00, 0xFF,  // slot 256: 255
                          0x00, 0x02};       // part of a slot
  EXPECT_EQ(DecodeDefaultSlotValues(defaults), (std::vector<SlotDefault>{{0, 128}, {256, 255}}));

  EXPECT_EQ(
      std::tuple(SlotTypeName(0x01), SlotTypeName(0x07), SlotTypeName(0xFF), SlotTypeName(0x08)),
      std::tuple("Fine", "Index rotate", "Undefined", "type 0x08"));
  EXPECT_EQ(std::tuple(SlotLabelName(0x0102), SlotLabelName(0x0210), SlotLabelName(0x0508),
                       SlotLabelName(0x0218)),
            std::tuple("Tilt", "Color Semaphore", "Fountain Control", std::nullopt));
}

TEST(Sensors, DefinitionsAndValuesFromHandWorkedBytesInTheirUnits) {
  auto def = [](const SensorDefinition& s) {
    return std::tuple(s.number, s.type, s.unit, s.prefix, s.rangeMin, s.rangeMax, s.normalMin,
                      s.normalMax, s.recordedValueSupported, s.lowestHighestSupported,
                      s.description);
  };
  const std::vector<uint8_t> supply{0x02,                    // sensor 2
                                    0x01, 0x04, 0x01,        // voltage, volts AC RMS, deci
                                    0x00, 0x00, 0x0B, 0xB8,  // range 0 .. 3000
                                    0x08, 0x16, 0x09, 0xE2,  // normal 2070 .. 2530
                                    0x03,                    // recorded value, lowest/highest
                                    'S',  'u',  'p',  'p',  'l', 'y'};
  EXPECT_EQ(def(DecodeSensorDefinition(supply).value()),
            std::tuple(2, 1, 4, 1, 0, 3000, 2070, 2530, true, true, std::string("Supply")));
  const std::vector<uint8_t> lamp{0x00, 0x00, 0x01, 0x00,  // sensor 0, temperature, °C, no prefix
                                  0xFF, 0xD8, 0x00, 0xC8,  // range -40 .. 200
                                  0x00, 0x0A, 0x00, 0x6E,  // normal 10 .. 110
                                  0x02,                    // lowest/highest only
                                  'F',  'a',  'n',  0x00, 0x00};  // a description padded with NULs
  EXPECT_EQ(def(DecodeSensorDefinition(lamp).value()),
            std::tuple(0, 0, 1, 0, -40, 200, 10, 110, false, true, std::string("Fan")));
  std::vector<uint8_t> longText(supply.begin(), supply.begin() + 13);
  longText.insert(longText.end(), 40, 'x');
  EXPECT_EQ(DecodeSensorDefinition(longText)->description, std::string(32, 'x'));
  EXPECT_FALSE(DecodeSensorDefinition(std::span(supply).first(12)));

  auto value = [](const std::vector<uint8_t>& d) {
    const SensorValue v = DecodeSensorValue(d).value();
    return std::tuple(v.number, v.present, v.lowest, v.highest, v.recorded);
  };
  // Sensor 2: 2301, lowest 2293, highest 2315, recorded 2299.
  EXPECT_EQ(value({0x02, 0x08, 0xFD, 0x08, 0xF5, 0x09, 0x0B, 0x08, 0xFB}),
            std::tuple(2, 2301, 2293, 2315, 2299));
  // Signed: -40, lowest -100, highest 127, recorded -32768.
  EXPECT_EQ(value({0x00, 0xFF, 0xD8, 0xFF, 0x9C, 0x00, 0x7F, 0x80, 0x00}),
            std::tuple(0, -40, -100, 127, -32768));
  EXPECT_FALSE(DecodeSensorValue(std::vector<uint8_t>(8, 0)));

  // Values in their unit and prefix: type, unit, prefix, the value and its text.
  const std::tuple<uint8_t, uint8_t, uint8_t, int16_t, const char*> cases[] = {
      {0x01, 0x04, 0x01, 2301, "230.1 V AC RMS"},  // deci shown in the unit
      {0x00, 0x01, 0x00, -40, "-40 °C"},
      {0x01, 0x02, 0x03, 12, "12 mV"},
      {0x15, 0x08, 0x00, 40, "40 Hz (2400 RPM)"},  // a fan
      {0x1F, 0x00, 0x00, 55, "55"},
      {0x05, 0x0A, 0x13, 3, "3 kW"},
      {0x05, 0x0A, 0x30, 3, "3 (prefix 0x30) W"},  // a prefix E1.20 does not have
  };
  for (const auto& [type, unit, prefix, value, text] : cases) {
    const SensorDefinition d{.type = type, .unit = unit, .prefix = prefix, .description = ""};
    EXPECT_EQ(SensorValueText(d, value), text);
  }
  EXPECT_EQ(std::tuple(SensorTypeName(0x7F), SensorTypeName(0x42), SensorUnitSymbol(0x1C)),
            std::tuple("Other", "type 0x42", "B"));
}
