// velquor-cli's device commands: discover, list, read, set, batch-address and radio, each on
// the line's executor through the typed operations, printing only what came back.

#include <fmt/format.h>

#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "common/Files.h"
#include "common/Text.h"
#include "rdm/Decoders.h"
#include "rdm/KnownPids.h"
#include "workbench/Workbench.h"

namespace velquor::cli {

using nlohmann::json;

int RunDiscover(CliSession& session, bool incremental, std::ostream& out, std::ostream& err) {
  workbench::Workbench& bench = session.Bench();
  session.Run([&] {
    // The previous list is checked first, as at the desk; an incremental run keeps its rows,
    // which show what their devices report now.
    bench.List().LoadDeviceTable(incremental);
    if (incremental) {
      bench.Discover().SpeedButtonAddClick();
    } else {
      bench.Discover().SpeedButtonDiscoverClick();
    }
  });
  if (session.Json()) {
    out << json{{"found", bench.Table().DeviceCount}, {"devices", DevicesJson(bench)}}.dump(2)
        << "\n";
  } else {
    out << bench.Table().DeviceCount << " devices in the list.\n" << FormatDeviceList(bench.View());
  }
  return FileFailed(session, err) ? kExitFileError : kExitOk;
}

int RunList(CliSession& session, std::ostream& out, std::ostream& err) {
  workbench::Workbench& bench = session.Bench();
  if (!common::FileExists(bench.Devices().DevNamesPath())) {
    err << "No device list here (" << bench.Devices().DevNamesPath() << "): run discover first\n";
    return kExitUsage;
  }
  std::vector<bool> answered;
  session.Run([&] {
    workbench::DeviceOperations& ops = bench.Operations();
    bench.Devices().Reload(true, nullptr);
    for (int row = 0; row < bench.Table().DeviceCount; ++row) {
      const rdm::Uid uid = bench.Table().Records[static_cast<size_t>(row)].Uid;
      ops.Tally() = {};
      ops.GetIdentify(uid, row);
      ops.GetDeviceInfo(uid, row);
      ops.ReadDescriptions(row, uid);
      answered.push_back(ops.Tally().acked > 0);
      if (!answered.back()) {
        // Never a value it did not get: a silent device's row says so.
        auto& cells = bench.View().rows[static_cast<size_t>(row)];
        for (size_t c = 2; c < cells.size(); ++c) {
          if (c != 4) cells[c] = "-";
        }
        continue;
      }
      bench.Devices().UpdateRow(row);
    }
  });
  if (FileFailed(session, err)) return kExitFileError;
  const auto silent = std::count(answered.begin(), answered.end(), false);
  if (session.Json()) {
    out << json{{"devices", DevicesJson(bench, &answered)}}.dump(2) << "\n";
  } else {
    out << FormatDeviceList(bench.View());
  }
  if (silent == 0) return kExitOk;
  err << silent << " of " << answered.size() << " listed devices did not answer\n";
  return kExitNoAnswer;
}

// The row of `uid` in the list loaded from devnames.lst; a device not listed gets a
// scratch entry after the others (not saved). Runs on the executor.
std::optional<int> RowFor(workbench::Workbench& bench, rdm::Uid uid, std::ostream& err) {
  bench.List().LoadDeviceTable(false);
  workbench::DeviceTable& table = bench.Table();
  const std::string key = workbench::NameKey(uid);
  for (size_t k = 0; k < table.Names.Count(); ++k) {
    if (table.Names.At(k).key == key) return static_cast<int>(k);
  }
  if (table.Names.Count() >= static_cast<size_t>(workbench::MaxDevices)) {
    err << "The device list is full\n";
    return std::nullopt;
  }
  table.Names.Set(key, "");
  const int row = static_cast<int>(table.Names.Count() - 1);
  table.Records[static_cast<size_t>(row)] = {};
  table.Records[static_cast<size_t>(row)].Uid = uid;
  return row;
}

std::optional<rdm::Uid> ParseDeviceUid(const std::string& text, std::ostream& err) {
  auto uid = rdm::Uid::Parse(text);
  if (!uid) {
    err << "Give the device as a UID: MMMM:DDDDDDDD or 12 hex digits (0x optional), not \"" << text
        << "\"\n";
  }
  return uid;
}

json ReadingJson(const workbench::DeviceReading& r) {
  auto opt = [](const auto& v) { return v ? json(*v) : json(nullptr); };
  json j;
  j["uid"] = UidForm(r.uid);
  j["label"] = opt(r.label);
  j["manufacturer"] = opt(r.manufacturer);
  j["model"] = opt(r.model);
  j["category"] = r.info ? json(rdm::CategoryText(r.info->category)) : json(nullptr);
  j["software"] = opt(r.software);
  if (r.startAddress && *r.startAddress == rdm::kNoStartAddress) {
    j["address"] = nullptr;
    j["hasFootprint"] = false;
  } else {
    j["address"] = opt(r.startAddress);
  }
  j["footprint"] = r.info ? json(r.info->footprint) : json(nullptr);
  j["personality"] = r.info ? json(r.info->personality) : json(nullptr);
  json personalities = json::array();
  for (const auto& [number, text] : r.personalities) {
    personalities.push_back({{"number", number}, {"text", text}});
  }
  j["personalities"] = personalities;
  j["status"] = opt(r.status);
  j["deviceHours"] = opt(r.deviceHours);
  j["lampHours"] = opt(r.lampHours);
  j["panInvert"] = opt(r.panInvert);
  j["tiltInvert"] = opt(r.tiltInvert);
  j["panTiltSwap"] = opt(r.panTiltSwap);
  j["identify"] = opt(r.identify);
  json pids = json::array();
  for (uint16_t p : r.supported) {
    const char* name = rdm::PidName(p);
    pids.push_back(name ? std::string(name) : fmt::format("0x{:04X}", p));
  }
  j["supportedParameters"] = pids;
  return j;
}

// Only what the device answered; "-" where it gave nothing.
void PrintReading(const workbench::DeviceReading& r, std::ostream& out) {
  auto text = [](const std::optional<std::string>& v) { return v ? *v : std::string("-"); };
  auto flag = [](const std::optional<bool>& v) {
    return v ? std::string(*v ? "on" : "off") : std::string("-");
  };
  auto number = [](const auto& v) { return v ? std::to_string(*v) : std::string("-"); };
  std::string personalities;
  for (const auto& [n, item] : r.personalities) {
    if (!personalities.empty()) personalities += ", ";
    personalities += r.info && r.info->personality == n ? "[" + item + "]" : item;
  }
  std::string address = number(r.startAddress);
  if (r.startAddress == rdm::kNoStartAddress) address = "- (no DMX footprint)";
  std::string pids;
  for (uint16_t p : r.supported) {
    const char* name = rdm::PidName(p);
    if (!pids.empty()) pids += ", ";
    pids += name ? std::string(name) : fmt::format("0x{:04X}", p);
  }
  out << "UID:             " << UidForm(r.uid) << "\n"
      << "Device label:    " << text(r.label) << "\n"
      << "Manufacturer:    " << text(r.manufacturer) << "\n"
      << "Model:           " << text(r.model) << "\n"
      << "Category:        " << (r.info ? rdm::CategoryText(r.info->category) : "-") << "\n"
      << "Firmware:        " << text(r.software) << "\n"
      << "DMX address:     " << address << "\n"
      << "Footprint:       " << (r.info ? std::to_string(r.info->footprint) : "-") << "\n"
      << "Personality:     " << (personalities.empty() ? "-" : personalities) << "\n"
      << "Device state:    " << text(r.status) << "\n"
      << "Device hours:    " << number(r.deviceHours) << "\n"
      << "Lamp hours:      " << number(r.lampHours) << "\n"
      << "Pan invert:      " << flag(r.panInvert) << "\n"
      << "Tilt invert:     " << flag(r.tiltInvert) << "\n"
      << "Pan/tilt swap:   " << flag(r.panTiltSwap) << "\n"
      << "Identify:        " << flag(r.identify) << "\n"
      << "Parameters:      " << (pids.empty() ? "-" : pids) << "\n";
}

// Reads the device and prints what it answered; the exit status says whether it did.
int ReadAndPrint(CliSession& session, workbench::Workbench& bench, int row, std::ostream& out,
                 std::ostream& err) {
  workbench::DeviceOperations& ops = bench.Operations();
  bool answered = false;
  session.Run([&] {
    ops.Tally() = {};
    answered = ops.ReadDevice(row);
  });
  const workbench::DeviceReading& reading = ops.Reading();
  if (!answered) {
    const auto failure = ops.Tally().firstFailure.value_or(rdm::ExchangeOutcome{});
    err << FailureText(failure, reading.uid) << "\n";
    return FailureCode(failure);
  }
  if (session.Json()) {
    out << ReadingJson(reading).dump(2) << "\n";
  } else {
    PrintReading(reading, out);
  }
  return kExitOk;
}

int RunRead(CliSession& session, const std::string& uidText, std::ostream& out, std::ostream& err,
            bool broadcast) {
  auto uid = ParseDeviceUid(uidText, err);
  if (!uid) return kExitUsage;
  if (RefuseBroadcast(*uid, broadcast, err)) return kExitUsage;
  workbench::Workbench& bench = session.Bench();
  std::optional<int> row;
  session.Run([&] { row = RowFor(bench, *uid, err); });
  if (!row) return kExitUsage;
  return ReadAndPrint(session, bench, *row, out, err);
}

int RunSet(CliSession& session, const SetCommand& c, std::ostream& out, std::ostream& err) {
  auto uid = ParseDeviceUid(c.uid, err);
  if (!uid) return kExitUsage;
  if (RefuseBroadcast(*uid, c.broadcast, err)) return kExitUsage;
  // Every value is checked before anything is sent: the command line does not guess.
  std::optional<int64_t> address;
  if (c.address) {
    address = common::ParseInteger(*c.address);
    if (!address || *address < 1 || *address > 512) {
      err << "The address must be a number from 1 to 512, not \"" << *c.address << "\"\n";
      return kExitUsage;
    }
  }
  if (c.personality && (*c.personality < 1 || *c.personality > 255)) {
    err << "The personality must be a number from 1 to 255\n";
    return kExitUsage;
  }
  const std::pair<const char*, const std::optional<int>*> flags[] = {
      {"--pan-invert", &c.panInvert},
      {"--tilt-invert", &c.tiltInvert},
      {"--swap", &c.panTiltSwap},
      {"--identify", &c.identify}};
  for (const auto& [name, value] : flags) {
    if (*value && **value != 0 && **value != 1) {
      err << name << " takes 0 or 1, not " << **value << "\n";
      return kExitUsage;
    }
  }
  if (c.label && c.label->size() > rdm::kMaxLabelBytes) {
    err << "The label has " << c.label->size() << " bytes; a device keeps at most "
        << rdm::kMaxLabelBytes << "\n";
    return kExitUsage;
  }
  auto flag = [](const std::optional<int>& v) {
    return v ? std::optional<bool>(*v == 1) : std::nullopt;
  };
  workbench::Workbench& bench = session.Bench();
  workbench::DeviceOperations& ops = bench.Operations();
  std::optional<int> row;
  std::string refusal;
  session.Run([&] {
    row = RowFor(bench, *uid, err);
    if (!row) return;
    ops.Tally() = {};
    if (c.personality && !uid->IsBroadcast()) {
      // The device says how many personalities it has; a number past them is refused.
      ops.Reading() = workbench::DeviceReading(*uid);
      ops.GetDeviceInfo(*uid, *row);
      const auto& info = ops.Reading().info;
      if (info && *c.personality > info->personalityCount) {
        refusal = fmt::format("{} has personalities 1 to {}, not {}", UidForm(*uid),
                              info->personalityCount, *c.personality);
        return;
      }
      if (!info) return;  // no answer: reported below, nothing set
    }
    if (address) ops.SetStartAddress(*uid, address, 0);
    if (c.personality) ops.SetPersonality(*uid, static_cast<uint8_t>(*c.personality));
    std::string label;
    if (c.label) label = ops.SetDeviceLabel(*uid, *c.label);
    if (c.panInvert || c.tiltInvert || c.panTiltSwap) {
      if (!uid->IsBroadcast()) ops.GetSupportedParameters(*uid);  // only what it lists
      ops.SetInversions(*uid, {flag(c.panInvert), flag(c.tiltInvert), flag(c.panTiltSwap)});
    }
    if (c.identify) ops.SetIdentify(*uid, *c.identify == 1);
    if (c.label && !uid->IsBroadcast() && ops.Tally().nacked == 0 &&
        *row < bench.Table().DeviceCount) {
      // A listed device keeps its new label in devnames.lst, as the window shows it.
      bench.Table().Names.Set(workbench::NameKey(*uid), label);
      bench.Devices().Save();
    }
  });
  if (!row) return kExitUsage;
  if (!refusal.empty()) {
    err << refusal << "\n";
    return kExitUsage;
  }
  if (FileFailed(session, err)) return kExitFileError;
  if (uid->IsBroadcast()) {
    out << "Sent to every device (a broadcast gets no answer).\n";
    return kExitOk;
  }
  const workbench::ExchangeTally tally = ops.Tally();
  if (tally.firstFailure) {
    err << FailureText(*tally.firstFailure, *uid) << "\n";
    return FailureCode(*tally.firstFailure);
  }
  return ReadAndPrint(session, bench, *row, out, err);
}

int RunBatch(CliSession& session, const BatchCommand& c, std::ostream& out, std::ostream& err) {
  if (c.startAddress < 1 || c.startAddress > 511 || c.increment < 0 || c.increment > 511 ||
      c.first < 1 || c.last < 1) {
    err << "Start address 1..511, increment 0..511, fixtures counted from 1\n";
    return kExitUsage;
  }
  if (c.first > c.last) {
    err << "--first " << c.first << " comes after --last " << c.last << "\n";
    return kExitUsage;
  }
  if (c.personality && (*c.personality < 1 || *c.personality > 255)) {
    err << "The personality must be a number from 1 to 255\n";
    return kExitUsage;
  }
  workbench::Workbench& bench = session.Bench();
  bool empty = false;
  json planned = json::array();
  session.Run([&] {
    bench.List().LoadDeviceTable(true);  // each fixture's footprint, for the warnings
    const workbench::DeviceTable& t = bench.Table();
    empty = t.DeviceCount == 0;
    if (empty) return;
    workbench::BatchPlan plan;
    plan.startAddress = plan.logAddress = c.startAddress;
    plan.increment = c.increment;
    plan.firstRow = std::min(c.first, t.DeviceCount) - 1;
    plan.lastRow = std::min(c.last, t.DeviceCount) - 1;
    if (c.personality) plan.personality = static_cast<uint8_t>(*c.personality);
    // What each fixture will get, said before anything is sent, with what will not fit.
    int previousEnd = 0;
    for (int64_t row = plan.firstRow; row <= plan.lastRow; ++row) {
      const workbench::DeviceRecord& r = t.Records[static_cast<size_t>(row)];
      const int64_t wanted = c.startAddress + (row - plan.firstRow) * c.increment;
      const int address = static_cast<int>(std::clamp<int64_t>(wanted, 1, 512));
      const int end = address + std::max<int>(r.Footprint, 1) - 1;
      std::string warning;
      if (wanted > 512) {
        warning = fmt::format("address {} is past 512: {} is sent", wanted, address);
      } else if (end > 512) {
        warning = fmt::format("its {} slots run past 512", r.Footprint);
      } else if (address <= previousEnd) {
        warning = fmt::format("overlaps the fixture before (up to slot {})", previousEnd);
      }
      previousEnd = std::max(previousEnd, end);
      planned.push_back({{"row", row + 1}, {"uid", UidForm(r.Uid)}, {"address", address}});
      if (!warning.empty()) planned.back()["warning"] = warning;
      if (!session.Json()) {
        out << fmt::format("Fixture {} ({}): address {}\n", row + 1, UidForm(r.Uid), address);
        if (!warning.empty()) err << fmt::format("Warning: fixture {} {}\n", row + 1, warning);
      }
    }
    bench.Operations().Tally() = {};
    bench.List().BatchAddress(plan);
  });
  if (empty) {
    err << "The device list is empty: run discover first\n";
    return kExitUsage;
  }
  if (FileFailed(session, err)) return kExitFileError;
  if (session.Json()) {
    out << json{{"planned", planned}, {"devices", DevicesJson(bench)}}.dump(2) << "\n";
  } else {
    out << "The fixtures now report:\n" << FormatDeviceList(bench.View());
  }
  const auto& tally = bench.Operations().Tally();
  if (tally.setsRefused > 0) {
    err << tally.setsRefused << " settings were not acknowledged\n";
    return kExitNack;
  }
  return kExitOk;
}

int RunRadio(CliSession& session, std::optional<int> channel, std::ostream& out,
             std::ostream& err) {
  workbench::RadioController& radio = session.Bench().RadioPage();
  if (channel) {
    if (*channel < 1 || *channel > 7) {
      err << "The radio channel is 1 to 7\n";
      return kExitUsage;
    }
    bool ok = false;
    session.Run([&] { ok = radio.WriteRadioChannel(static_cast<uint8_t>(*channel)); });
    out << (ok ? "Channel set.\n" : "No confirmation from the radio.\n");
    return ok ? kExitOk : kExitNoAnswer;
  }
  std::optional<uint8_t> read;
  session.Run([&] { read = radio.ReadRadioChannel(); });
  if (!read) {
    out << "No radio channel read.\n";
    return kExitNoAnswer;
  }
  out << "Radio channel " << int{*read} << "\n";
  return kExitOk;
}

}  // namespace velquor::cli
