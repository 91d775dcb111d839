#include "workbench/Sensors.h"

#include <fmt/format.h>

#include <algorithm>

#include "rdm/KnownPids.h"

namespace velquor::workbench {

namespace pid = rdm::pid;

namespace {
bool Listed(const std::vector<uint16_t>& pids, uint16_t p) {
  return std::find(pids.begin(), pids.end(), p) != pids.end();
}

// The outcome of an ACK that cannot be used: what the program shows instead of a value.
rdm::ExchangeOutcome Unusable() {
  return {rdm::ExchangeOutcome::Kind::BadAnswer, std::nullopt, 0};
}
}  // namespace

SensorSet ReadSensorDefinitions(DeviceOperations& ops, rdm::Uid uid) {
  SensorSet set;
  set.uid = uid;
  DeviceReading listed(uid);
  ops.GetSupportedParameters(listed);
  if (listed.supported) {
    set.listsDefinitions = Listed(*listed.supported, pid::SENSOR_DEFINITION);
    set.listsRecord = Listed(*listed.supported, pid::RECORD_SENSORS);
  }
  const rdm::RdmAnswer info = ops.Transact({rdm::GET_COMMAND, pid::DEVICE_INFO, {}}, uid);
  if (!ops.Acked(info, pid::DEVICE_INFO, uid)) return set;
  const auto decoded = rdm::DecodeDeviceInfo(info.Data());
  if (!decoded) return set;
  set.count = decoded->sensorCount;
  // A fixture that did not answer its list is still asked for the sensors it counts.
  const bool ask = set.listsDefinitions || !listed.supported;
  for (unsigned n = 0; n < *set.count; ++n) {
    SensorReading sensor;
    sensor.number = static_cast<uint8_t>(n);
    if (ask) {
      const rdm::RdmAnswer a =
          ops.Transact({rdm::GET_COMMAND, pid::SENSOR_DEFINITION, {sensor.number}}, uid);
      if (ops.Acked(a, pid::SENSOR_DEFINITION, uid)) {
        auto definition = rdm::DecodeSensorDefinition(a.Data());
        if (definition && definition->number == sensor.number) {
          sensor.definition = std::move(definition);
        } else {
          ops.Log(fmt::format("SENSOR_DEFINITION {} of 0x{}: unusable answer of {} bytes", n,
                              rdm::UidText(uid), a.Data().size()));
        }
      }
    }
    set.sensors.push_back(std::move(sensor));
  }
  return set;
}

void ReadSensorValues(DeviceOperations& ops, SensorSet& set) {
  for (SensorReading& sensor : set.sensors) {
    const rdm::RdmAnswer a =
        ops.Transact({rdm::GET_COMMAND, pid::SENSOR_VALUE, {sensor.number}}, set.uid);
    sensor.value.reset();
    sensor.failure.reset();
    rdm::ExchangeOutcome outcome = rdm::OutcomeOf(a);
    if (outcome.kind == rdm::ExchangeOutcome::Kind::Ack) {
      const auto value = rdm::DecodeSensorValue(a.Data());
      if (value && value->number == sensor.number) {
        sensor.value = value;
        continue;
      }
      ops.Log(fmt::format("SENSOR_VALUE {} of 0x{}: answer of {} bytes{} not taken", sensor.number,
                          rdm::UidText(set.uid), a.Data().size(),
                          value ? fmt::format(" for sensor {}", value->number) : ""));
      outcome = Unusable();
    }
    sensor.failure = outcome;
  }
}

namespace {
SensorCommandResult SetSensors(DeviceOperations& ops, rdm::Uid uid, uint16_t p, uint8_t number) {
  const rdm::RdmAnswer a = ops.Transact({rdm::SET_COMMAND, p, {number}}, uid);
  SensorCommandResult result{rdm::OutcomeOf(a), std::nullopt};
  if (result.outcome.kind == rdm::ExchangeOutcome::Kind::Ack) {
    result.value = rdm::DecodeSensorValue(a.Data());
  }
  return result;
}
}  // namespace

SensorCommandResult ResetSensorValues(DeviceOperations& ops, rdm::Uid uid, uint8_t number) {
  return SetSensors(ops, uid, pid::SENSOR_VALUE, number);
}

SensorCommandResult RecordSensors(DeviceOperations& ops, rdm::Uid uid, uint8_t number) {
  return SetSensors(ops, uid, pid::RECORD_SENSORS, number);
}

std::optional<rdm::Uid> SensorViewTarget(const DevicePanelModel& panel) {
  if (!panel.device || !panel.supportedPids ||
      !Listed(*panel.supportedPids, pid::SENSOR_DEFINITION))
    return std::nullopt;
  return panel.device;
}

void SensorHistory::Add(double at, int16_t value) {
  samples_.emplace_back(at, value);
  while (!samples_.empty() && samples_.front().first < at - kSeconds) samples_.pop_front();
}

std::optional<std::pair<int16_t, int16_t>> SensorHistory::MinMax() const {
  if (samples_.empty()) return std::nullopt;
  const auto [low, high] = std::minmax_element(
      samples_.begin(), samples_.end(), [](auto& a, auto& b) { return a.second < b.second; });
  return std::pair(low->second, high->second);
}

std::function<SensorSet(DeviceOperations&)> SensorWatch::NextPoll() const {
  if (!set_.DefinitionsRead()) {
    return [uid = set_.uid](DeviceOperations& ops) {
      SensorSet set = ReadSensorDefinitions(ops, uid);
      ReadSensorValues(ops, set);
      return set;
    };
  }
  // The values every second: only their failures go to the log.
  return [set = set_](DeviceOperations& ops) mutable {
    ops.Untraced([&] { ReadSensorValues(ops, set); });
    return set;
  };
}

void SensorWatch::Take(SensorSet polled, double at) {
  if (polled.uid != set_.uid) return;  // a poll of a view since closed
  set_ = std::move(polled);
  histories_.resize(set_.sensors.size());
  for (size_t i = 0; i < set_.sensors.size(); ++i) {
    if (set_.sensors[i].value) histories_[i].Add(at, set_.sensors[i].value->present);
  }
}

}  // namespace velquor::workbench
