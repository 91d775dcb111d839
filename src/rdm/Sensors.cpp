#include "rdm/Sensors.h"

#include <fmt/format.h>

#include <algorithm>

#include "rdm/Codec.h"

namespace velquor::rdm {

namespace {
int16_t ReadI16(const uint8_t* p) {
  return static_cast<int16_t>(ReadU16(p));
}
}  // namespace

std::optional<SensorDefinition> DecodeSensorDefinition(std::span<const uint8_t> d) {
  if (d.size() < kSensorDefinitionBytes) return std::nullopt;
  SensorDefinition s;
  s.number = d[0];
  s.type = d[1];
  s.unit = d[2];
  s.prefix = d[3];
  s.rangeMin = ReadI16(&d[4]);
  s.rangeMax = ReadI16(&d[6]);
  s.normalMin = ReadI16(&d[8]);
  s.normalMax = ReadI16(&d[10]);
  s.recordedValueSupported = (d[12] & 0x01) != 0;
  s.lowestHighestSupported = (d[12] & 0x02) != 0;
  const std::span<const uint8_t> text = d.subspan(kSensorDefinitionBytes);
  s.description.assign(text.begin(),
                       text.begin() + static_cast<ptrdiff_t>(std::min<size_t>(text.size(), 32)));
  // Some responders pad the description with NULs.
  s.description.erase(std::find(s.description.begin(), s.description.end(), '\0'),
                      s.description.end());
  return s;
}

std::optional<SensorValue> DecodeSensorValue(std::span<const uint8_t> d) {
  if (d.size() < kSensorValueBytes) return std::nullopt;
  return SensorValue{d[0], ReadI16(&d[1]), ReadI16(&d[3]), ReadI16(&d[5]), ReadI16(&d[7])};
}

std::string SensorTypeName(uint8_t type) {
  static constexpr const char* kTypes[] = {"Temperature",
                                           "Voltage",
                                           "Current",
                                           "Frequency",
                                           "Resistance",
                                           "Power",
                                           "Mass",
                                           "Length",
                                           "Area",
                                           "Volume",
                                           "Density",
                                           "Velocity",
                                           "Acceleration",
                                           "Force",
                                           "Energy",
                                           "Pressure",
                                           "Time",
                                           "Angle",
                                           "Position X",
                                           "Position Y",
                                           "Position Z",
                                           "Angular velocity",
                                           "Luminous intensity",
                                           "Luminous flux",
                                           "Illuminance",
                                           "Chrominance red",
                                           "Chrominance green",
                                           "Chrominance blue",
                                           "Contacts",
                                           "Memory",
                                           "Items",
                                           "Humidity",
                                           "16-bit counter"};
  if (type < std::size(kTypes)) return kTypes[type];
  if (type == 0x7F) return "Other";
  return fmt::format("type 0x{:02X}", type);
}

std::string SensorUnitSymbol(uint8_t unit) {
  static constexpr const char* kUnits[] = {
      "",   "°C", "V", "V AC peak", "V AC RMS", "A",     "A AC peak", "A AC RMS", "Hz", "Ω",
      "W",  "kg", "m", "m²",        "m³",       "kg/m³", "m/s",       "m/s²",     "N",  "J",
      "Pa", "s",  "°", "sr",        "cd",       "lm",    "lx",        "IRE",      "B"};
  if (unit < std::size(kUnits)) return kUnits[unit];
  return fmt::format("unit 0x{:02X}", unit);
}

namespace {
struct Prefix {
  uint8_t code;
  const char* symbol;
  int exponent;
};
constexpr Prefix kPrefixes[] = {
    {0x00, "", 0},    {0x01, "d", -1},  {0x02, "c", -2},  {0x03, "m", -3},  {0x04, "µ", -6},
    {0x05, "n", -9},  {0x06, "p", -12}, {0x07, "f", -15}, {0x08, "a", -18}, {0x09, "z", -21},
    {0x0A, "y", -24}, {0x11, "da", 1},  {0x12, "h", 2},   {0x13, "k", 3},   {0x14, "M", 6},
    {0x15, "G", 9},   {0x16, "T", 12},  {0x17, "P", 15},  {0x18, "E", 18},  {0x19, "Z", 21},
    {0x1A, "Y", 24}};
const Prefix* FindPrefix(uint8_t code) {
  for (const Prefix& p : kPrefixes) {
    if (p.code == code) return &p;
  }
  return nullptr;
}
constexpr uint8_t kAngularVelocity = 0x15;
constexpr uint8_t kHertz = 0x08;
}  // namespace

std::optional<std::string> SensorPrefixSymbol(uint8_t prefix) {
  const Prefix* p = FindPrefix(prefix);
  if (!p) return std::nullopt;
  return p->symbol;
}

int SensorPrefixExponent(uint8_t prefix) {
  const Prefix* p = FindPrefix(prefix);
  return p ? p->exponent : 0;
}

std::string SensorValueText(const SensorDefinition& d, int16_t value) {
  const std::string unit = SensorUnitSymbol(d.unit);
  std::string text;
  const int exponent = SensorPrefixExponent(d.prefix);
  if (exponent == -1 || exponent == -2) {
    // Decivolts and centidegrees read better in the unit itself: 2297 dV is 229.7 V.
    text = fmt::format("{:.{}f}", value / (exponent == -1 ? 10.0 : 100.0), -exponent);
    if (!unit.empty()) text += " " + unit;
  } else if (const std::optional<std::string> prefix = SensorPrefixSymbol(d.prefix)) {
    text = unit.empty() && prefix->empty() ? std::to_string(value)
                                           : fmt::format("{} {}{}", value, *prefix, unit);
  } else {
    text = fmt::format("{} (prefix 0x{:02X}) {}", value, d.prefix, unit);
  }
  // Fans report turns per second; technicians read them in turns per minute.
  if (d.type == kAngularVelocity && d.unit == kHertz && d.prefix == 0) {
    text += fmt::format(" ({} RPM)", value * 60);
  }
  return text;
}

}  // namespace velquor::rdm
