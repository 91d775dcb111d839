// velquor-cli's `sensors`: a device's sensors, their definitions and values, once or every
// second; only what the device answered is printed.

#include <fmt/format.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <ostream>
#include <thread>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "workbench/Sensors.h"
#include "workbench/Workbench.h"

namespace velquor::cli {

using nlohmann::json;

namespace {

std::string DefinitionText(const workbench::SensorReading& s) {
  if (!s.definition) return fmt::format("Sensor {}: no definition", s.number);
  const rdm::SensorDefinition& d = *s.definition;
  return fmt::format("Sensor {}: {} ({}), range {} .. {}, normal {} .. {}", s.number,
                     d.description.empty() ? "-" : d.description, rdm::SensorTypeName(d.type),
                     rdm::SensorValueText(d, d.rangeMin), rdm::SensorValueText(d, d.rangeMax),
                     rdm::SensorValueText(d, d.normalMin), rdm::SensorValueText(d, d.normalMax));
}

// Lowest/highest and the recorded value only where the definition says the device keeps them
// (or no definition came to say otherwise).
bool KeepsLowestHighest(const workbench::SensorReading& s) {
  return !s.definition || s.definition->lowestHighestSupported;
}
bool KeepsRecorded(const workbench::SensorReading& s) {
  return !s.definition || s.definition->recordedValueSupported;
}

std::string ValueText(const workbench::SensorReading& s, rdm::Uid uid) {
  if (!s.value) return s.failure ? FailureText(*s.failure, uid) : "-";
  const rdm::SensorDefinition d = s.definition.value_or(rdm::SensorDefinition{});
  std::string text = rdm::SensorValueText(d, s.value->present);
  if (KeepsLowestHighest(s)) {
    text += fmt::format(", lowest {}, highest {}", rdm::SensorValueText(d, s.value->lowest),
                        rdm::SensorValueText(d, s.value->highest));
  }
  if (KeepsRecorded(s)) text += ", recorded " + rdm::SensorValueText(d, s.value->recorded);
  return text;
}

json SensorsJson(const workbench::SensorSet& set) {
  json sensors = json::array();
  for (const workbench::SensorReading& s : set.sensors) {
    json j{{"number", s.number}};
    if (const auto& d = s.definition) {
      j["description"] = d->description;
      j["type"] = rdm::SensorTypeName(d->type);
      j["unit"] = rdm::SensorUnitSymbol(d->unit);
      j["prefix"] = rdm::SensorPrefixSymbol(d->prefix).value_or(fmt::format("0x{:02X}", d->prefix));
      j["rangeMin"] = d->rangeMin;
      j["rangeMax"] = d->rangeMax;
      j["normalMin"] = d->normalMin;
      j["normalMax"] = d->normalMax;
    } else {
      j["description"] = nullptr;
    }
    if (s.value) {
      json v{{"present", s.value->present}};
      if (KeepsLowestHighest(s)) {
        v["lowest"] = s.value->lowest;
        v["highest"] = s.value->highest;
      }
      if (KeepsRecorded(s)) v["recorded"] = s.value->recorded;
      j["value"] = v;
    } else {
      j["value"] = nullptr;
      j["failure"] = s.failure ? s.failure->Text() : "not asked";
    }
    sensors.push_back(j);
  }
  return {{"uid", UidForm(set.uid)}, {"sensorCount", set.count.value_or(0)}, {"sensors", sensors}};
}

// 4 when a value did not come, 3 when one was NACKed, else 0.
int SensorsCode(const workbench::SensorSet& set) {
  int code = kExitOk;
  for (const workbench::SensorReading& s : set.sensors) {
    if (s.value) continue;
    if (s.failure && s.failure->kind == rdm::ExchangeOutcome::Kind::Nack) {
      code = std::max<int>(code, kExitNack);
    } else {
      code = kExitNoAnswer;
    }
  }
  return code;
}

}  // namespace

int RunSensors(CliSession& session, const std::string& uidText, double watchSeconds,
               const std::atomic<bool>& interrupted, std::ostream& out, std::ostream& err) {
  auto uid = ParseDeviceUid(uidText, err);
  if (!uid) return kExitUsage;
  if (RefuseBroadcast(*uid, false, err)) return kExitUsage;
  workbench::Workbench& bench = session.Bench();
  workbench::DeviceOperations& ops = bench.Operations();
  workbench::SensorSet set;
  session.Run([&] {
    ops.Tally() = {};
    set = workbench::ReadSensorDefinitions(ops, *uid);
    workbench::ReadSensorValues(ops, set);
  });
  if (!set.DefinitionsRead()) {
    const auto failure = ops.Tally().firstFailure.value_or(rdm::ExchangeOutcome{});
    err << FailureText(failure, *uid) << "\n";
    return FailureCode(failure);
  }
  int code = SensorsCode(set);
  if (session.Json()) {
    out << SensorsJson(set).dump(watchSeconds > 0 ? -1 : 2) << "\n";
  } else {
    out << UidForm(*uid) << ": " << set.sensors.size() << " sensors\n";
    for (const workbench::SensorReading& s : set.sensors) {
      out << DefinitionText(s) << "\n  " << ValueText(s, *uid) << "\n";
    }
  }
  // Every second again: one line per reading, or one JSON document per line.
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::duration<double>(watchSeconds);
  for (int tick = 1; watchSeconds > 0 && !interrupted.load(); ++tick) {
    const auto next = start + std::chrono::seconds(tick);
    if (next > end) break;
    std::this_thread::sleep_until(next);
    session.Run([&] { workbench::ReadSensorValues(ops, set); });
    code = std::max(code, SensorsCode(set));
    if (session.Json()) {
      out << SensorsJson(set).dump() << "\n";
      continue;
    }
    std::string line = fmt::format("{:>4} s", tick);
    for (const workbench::SensorReading& s : set.sensors) {
      const rdm::SensorDefinition d = s.definition.value_or(rdm::SensorDefinition{});
      line += fmt::format("  {}: {}", s.number,
                          s.value ? rdm::SensorValueText(d, s.value->present)
                                  : (s.failure ? s.failure->Text() : "-"));
    }
    out << line << std::endl;
  }
  return code;
}

}  // namespace velquor::cli
