#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "rdm/Sensors.h"

using namespace velquor::rdm;

TEST(Sensors, DefinitionsAndValuesFromHandWorkedBytes) {
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
  EXPECT_EQ(def(*DecodeSensorDefinition(supply)),
            std::tuple(2, 1, 4, 1, 0, 3000, 2070, 2530, true, true, std::string("Supply")));
  const std::vector<uint8_t> lamp{0x00, 0x00, 0x01, 0x00,  // sensor 0, temperature, °C, no prefix
                                  0xFF, 0xD8, 0x00, 0xC8,  // range -40 .. 200
                                  0x00, 0x0A, 0x00, 0x6E,  // normal 10 .. 110
                                  0x02,                    // lowest/highest only
                                  'F',  'a',  'n',  0x00, 0x00};  // a description padded with NULs
  EXPECT_EQ(def(*DecodeSensorDefinition(lamp)),
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
}

TEST(Sensors, ValuesInTheirUnitAndPrefix) {
  const struct {
    uint8_t type, unit, prefix;
    int16_t value;
    const char* text;
  } cases[] = {
      {0x01, 0x04, 0x01, 2301, "230.1 V AC RMS"},  // deci shown in the unit
      {0x00, 0x01, 0x00, -40, "-40 °C"},
      {0x01, 0x02, 0x03, 12, "12 mV"},
      {0x15, 0x08, 0x00, 40, "40 Hz (2400 RPM)"},  // a fan
      {0x1F, 0x00, 0x00, 55, "55"},
      {0x05, 0x0A, 0x13, 3, "3 kW"},
      {0x05, 0x0A, 0x30, 3, "3 (prefix 0x30) W"},  // a prefix E1.20 does not have
  };
  for (const auto& c : cases) {
    SensorDefinition d;
    d.type = c.type;
    d.unit = c.unit;
    d.prefix = c.prefix;
    EXPECT_EQ(SensorValueText(d, c.value), c.text);
  }
  EXPECT_EQ(SensorTypeName(0x7F), "Other");
  EXPECT_EQ(SensorTypeName(0x42), "type 0x42");
  EXPECT_EQ(SensorUnitSymbol(0x1C), "B");
}
