#include "virtualline/Sensors.h"

#include <cmath>
#include <string_view>

#include "virtualline/Responder.h"

namespace velquor::virtualline {

namespace {

constexpr uint8_t kGet = 0x20;
constexpr uint8_t kSet = 0x30;
constexpr uint8_t kAll = 0xFF;

struct Definition {
  uint8_t type, unit, prefix;
  int16_t rangeMin, rangeMax, normalMin, normalMax;
  uint8_t support;  // bit 0 recorded value, bit 1 lowest/highest
  std::string_view description;
};
// E1.20 Tables: temperature in °C; angular velocity in Hz; an AC RMS voltage in
// decivolts; humidity without a unit.
constexpr Definition kDefinitions[SimulatedSensors::kCount] = {
    {0x00, 0x01, 0x00, -40, 200, 10, 110, 0x03, "Lamp temperature"},
    {0x15, 0x08, 0x00, 0, 100, 15, 60, 0x02, "Fan"},
    {0x01, 0x04, 0x01, 0, 3000, 2070, 2530, 0x03, "Supply"},
    {0x1F, 0x00, 0x00, 0, 100, 20, 80, 0x00, "Humidity"}};

constexpr double kAmbientCelsius = 25;
constexpr double kLampOnCelsius = 95;
constexpr double kHeatingSeconds = 40;  // time constant of the lamp housing

void PutU16(std::vector<uint8_t>& out, int v) {
  out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
SensorReply Nack(uint16_t reason) {
  return {0x02, {static_cast<uint8_t>(reason >> 8), static_cast<uint8_t>(reason)}};
}

}  // namespace

void SimulatedSensors::Advance(double seconds, bool lampOn) {
  const bool first = !lastSeconds_;
  if (first) {
    lastSeconds_ = seconds;
    lampCelsius_ = lampOn ? kLampOnCelsius : kAmbientCelsius;
  }
  const double elapsed = std::max(0.0, seconds - *lastSeconds_);
  lastSeconds_ = seconds;
  const double target = lampOn ? kLampOnCelsius : kAmbientCelsius;
  lampCelsius_ += (target - lampCelsius_) * (1 - std::exp(-elapsed / kHeatingSeconds));
  Take(0, static_cast<int16_t>(std::lround(lampCelsius_)));
  // The fan runs faster as the housing warms: 20 Hz cold, 48 Hz at full heat.
  Take(1, static_cast<int16_t>(std::lround(20 + (lampCelsius_ - kAmbientCelsius) * 0.4)));
  // 230.0 V with a slow ripple of ±0.3 V.
  Take(2, static_cast<int16_t>(2300 + std::lround(3 * std::sin(seconds / 5))));
  Take(3, 0);
  if (first) {
    for (uint8_t s = 0; s < kCount; ++s) Reset(s);
  }
}

void SimulatedSensors::Take(uint8_t sensor, int16_t value) {
  Reading& r = readings_[sensor];
  r.present = value;
  r.lowest = std::min(r.lowest, value);
  r.highest = std::max(r.highest, value);
}

void SimulatedSensors::Reset(uint8_t sensor) {
  Reading& r = readings_[sensor];
  r.lowest = r.highest = r.recorded = r.present;
}

SensorReply SimulatedSensors::Value(uint8_t sensor) const {
  const Reading& r = readings_[sensor];
  std::vector<uint8_t> out{sensor};
  for (int16_t v : {r.present, r.lowest, r.highest, r.recorded}) PutU16(out, v);
  return {0x00, out};
}

std::optional<SensorReply> SimulatedSensors::Handle(uint8_t commandClass, uint16_t p,
                                                    const std::vector<uint8_t>& d) {
  if (p != pid::SENSOR_DEFINITION && p != pid::SENSOR_VALUE && p != pid::RECORD_SENSORS) {
    return std::nullopt;
  }
  if (d.size() != 1) return Nack(kNackFormatError);
  const uint8_t sensor = d[0];
  const bool all = sensor == kAll && commandClass == kSet;
  if (sensor >= kCount && !all) return Nack(kNackDataOutOfRange);
  if (p == pid::SENSOR_DEFINITION) {
    if (commandClass != kGet) return Nack(kNackUnsupportedCommandClass);
    const Definition& def = kDefinitions[sensor];
    std::vector<uint8_t> out{sensor, def.type, def.unit, def.prefix};
    for (int v : {def.rangeMin, def.rangeMax, def.normalMin, def.normalMax}) PutU16(out, v);
    out.push_back(def.support);
    out.insert(out.end(), def.description.begin(), def.description.end());
    return SensorReply{0x00, out};
  }
  if (p == pid::RECORD_SENSORS) {
    if (commandClass != kSet) return Nack(kNackUnsupportedCommandClass);
    if (!all && (kDefinitions[sensor].support & 0x01) == 0) return Nack(kNackDataOutOfRange);
    for (uint8_t s = 0; s < kCount; ++s) {
      if (all || s == sensor) readings_[s].recorded = readings_[s].present;
    }
    return SensorReply{0x00, {}};
  }
  if (sensor == kBroken) return Nack(kNackDataOutOfRange);
  if (commandClass == kGet) return Value(sensor);
  for (uint8_t s = 0; s < kCount; ++s) {
    if (all || s == sensor) Reset(s);
  }
  // Reset all is answered with sensor 0xFF and zeros, one sensor with its values.
  if (all) return SensorReply{0x00, {kAll, 0, 0, 0, 0, 0, 0, 0, 0}};
  return Value(sensor);
}

}  // namespace velquor::virtualline
