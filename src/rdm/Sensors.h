#pragma once
// A fixture's sensors as E1.20 describes them: SENSOR_DEFINITION and SENSOR_VALUE answers as
// values, and the names of E1.20's sensor types, units and prefixes.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace velquor::rdm {

namespace pid {
constexpr uint16_t SENSOR_DEFINITION = 0x0200;
constexpr uint16_t SENSOR_VALUE = 0x0201;
constexpr uint16_t RECORD_SENSORS = 0x0202;
}  // namespace pid

// SET SENSOR_VALUE and RECORD_SENSORS with this number act on every sensor.
constexpr uint8_t kAllSensors = 0xFF;

struct SensorDefinition {
  uint8_t number = 0;
  uint8_t type = 0;    // E1.20 Table A-12
  uint8_t unit = 0;    // Table A-13
  uint8_t prefix = 0;  // Table A-14
  int16_t rangeMin = 0, rangeMax = 0;
  int16_t normalMin = 0, normalMax = 0;
  bool recordedValueSupported = false;  // bit 0 of the support byte
  bool lowestHighestSupported = false;  // bit 1
  std::string description;
};
// Sensor number, type, unit, prefix, four signed 16-bit limits, the support byte.
constexpr size_t kSensorDefinitionBytes = 13;
// Nothing when shorter than kSensorDefinitionBytes; a description past 32 bytes is cut.
std::optional<SensorDefinition> DecodeSensorDefinition(std::span<const uint8_t> data);

struct SensorValue {
  uint8_t number = 0;
  int16_t present = 0;
  int16_t lowest = 0;
  int16_t highest = 0;
  int16_t recorded = 0;
};
constexpr size_t kSensorValueBytes = 9;
std::optional<SensorValue> DecodeSensorValue(std::span<const uint8_t> data);

// "Temperature", "Voltage", ...; "Other" for 0x7F, "type 0x42" for a number E1.20 leaves open.
std::string SensorTypeName(uint8_t type);
// "°C", "V DC", "Hz", ...; "" for UNITS_NONE, "unit 0x90" for one E1.20 leaves open.
std::string SensorUnitSymbol(uint8_t unit);
// "m" for milli, "k" for kilo, "" for none; nothing for a code E1.20 leaves open.
std::optional<std::string> SensorPrefixSymbol(uint8_t prefix);
// The power of ten of a prefix (milli -3, kilo 3); 0 for none or an unknown code.
int SensorPrefixExponent(uint8_t prefix);
// A value in the definition's prefix and unit: "23 °C", "12 mV", "229.7 V" (deci and centi
// are shown in the unit itself), "40 Hz (2400 RPM)" for a fan's angular velocity.
std::string SensorValueText(const SensorDefinition& definition, int16_t value);

}  // namespace velquor::rdm
