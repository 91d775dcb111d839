#pragma once
// The sensors of a simulated fixture that lists SENSOR_DEFINITION: a lamp temperature that
// follows the lamp, a fan that follows the temperature, the supply voltage, and a humidity
// sensor that is broken (its value is NACKed with NR_DATA_OUT_OF_RANGE).

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace velquor::virtualline {

namespace pid {
constexpr uint16_t SENSOR_DEFINITION = 0x0200;
constexpr uint16_t SENSOR_VALUE = 0x0201;
constexpr uint16_t RECORD_SENSORS = 0x0202;
}  // namespace pid

// A reply as the responder sends it: 0 ACK, 2 NACK_REASON, and the parameter data.
struct SensorReply {
  uint8_t responseType = 0;
  std::vector<uint8_t> data;
};

class SimulatedSensors {
 public:
  static constexpr uint8_t kCount = 4;
  static constexpr uint8_t kBroken = 3;  // the humidity sensor

  // Brings the readings to `seconds` on the line's clock, the lamp on or off since the last
  // call. The first call only starts the clock.
  void Advance(double seconds, bool lampOn);
  // The answer to a sensor parameter; nothing for any other parameter.
  std::optional<SensorReply> Handle(uint8_t commandClass, uint16_t pid,
                                    const std::vector<uint8_t>& data);
  int16_t Present(uint8_t sensor) const { return readings_[sensor].present; }

 private:
  struct Reading {
    int16_t present = 0, lowest = 0, highest = 0, recorded = 0;
  };
  void Take(uint8_t sensor, int16_t value);
  void Reset(uint8_t sensor);
  SensorReply Value(uint8_t sensor) const;

  std::optional<double> lastSeconds_;
  double lampCelsius_ = 25;
  std::array<Reading, kCount> readings_{};
};

}  // namespace velquor::virtualline
