#pragma once
// A fixture's sensors: their definitions, their values and the two commands E1.20 gives them
// (reset the lowest/highest, record the present value), as operations on the line's executor,
// and the history the Sensors view plots. Everything names the fixture by its UID.

#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "rdm/Sensors.h"
#include "workbench/DeviceOperations.h"

namespace velquor::workbench {

// One sensor as read: its definition and last value, or why the value did not come.
struct SensorReading {
  uint8_t number = 0;
  std::optional<rdm::SensorDefinition> definition;
  std::optional<rdm::SensorValue> value;
  std::optional<rdm::ExchangeOutcome> failure;  // the value's exchange, when not a usable ACK
};

// A fixture's sensors: what it lists and one entry per sensor DEVICE_INFO counts.
struct SensorSet {
  rdm::Uid uid;
  bool listsDefinitions = false;  // SUPPORTED_PARAMETERS lists SENSOR_DEFINITION
  bool listsRecord = false;       // and RECORD_SENSORS
  std::optional<uint8_t> count;   // DEVICE_INFO's sensor count; nothing: no answer
  std::vector<SensorReading> sensors;
  bool DefinitionsRead() const { return count.has_value(); }
};

// What a SET SENSOR_VALUE or RECORD_SENSORS came to.
struct SensorCommandResult {
  rdm::ExchangeOutcome outcome;
  std::optional<rdm::SensorValue> value;  // the values a reset answered with
};

// SUPPORTED_PARAMETERS, DEVICE_INFO and each sensor's definition of `uid`.
SensorSet ReadSensorDefinitions(DeviceOperations& ops, rdm::Uid uid);
// GET SENSOR_VALUE of every sensor of `set`, to `set.uid`. An answer for another sensor than
// the one asked (a collision that decodes, a confused responder) is logged and not taken.
void ReadSensorValues(DeviceOperations& ops, SensorSet& set);
// SET SENSOR_VALUE: the lowest and highest of sensor `number` (or rdm::kAllSensors) reset.
SensorCommandResult ResetSensorValues(DeviceOperations& ops, rdm::Uid uid, uint8_t number);
// SET RECORD_SENSORS: the present value of `number` (or all) kept as its recorded value.
SensorCommandResult RecordSensors(DeviceOperations& ops, rdm::Uid uid, uint8_t number);

// The fixture the Sensors view opens for: the panel's, when it listed SENSOR_DEFINITION.
std::optional<rdm::Uid> SensorViewTarget(const DevicePanelModel& panel);

// The values of one sensor over the last kSeconds, for the plot.
class SensorHistory {
 public:
  static constexpr double kSeconds = 300;
  // `at`: seconds on any steady clock; older samples than kSeconds before it are dropped.
  void Add(double at, int16_t value);
  const std::deque<std::pair<double, int16_t>>& Samples() const { return samples_; }
  std::optional<std::pair<int16_t, int16_t>> MinMax() const;

 private:
  std::deque<std::pair<double, int16_t>> samples_;
};

// The Sensors view of one fixture, on the UI thread: the UID it was opened for, what was
// read and each sensor's history. Each poll is a copy run on the executor, so nothing here is
// shared with the line's thread.
class SensorWatch {
 public:
  explicit SensorWatch(rdm::Uid uid) { set_.uid = uid; }
  rdm::Uid Uid() const { return set_.uid; }
  const SensorSet& Set() const { return set_; }
  const std::vector<SensorHistory>& Histories() const { return histories_; }
  // The next exchange for the executor: the definitions until they have come, then the
  // values; built from this view's UID and definitions as they are now.
  std::function<SensorSet(DeviceOperations&)> NextPoll() const;
  // A poll's result (UI thread); values of sensors this view knows go into their history.
  void Take(SensorSet polled, double at);

 private:
  SensorSet set_;
  std::vector<SensorHistory> histories_;
};

}  // namespace velquor::workbench
