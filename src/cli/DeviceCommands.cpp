// velquor-cli's device commands: discover, list, read, set, batch-address and radio, each on
// the line's executor through the typed operations, printing only what came back.

#include <fmt/format.h>

#include <filesystem>
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
    bench.Discover().Run(incremental ? workbench::Discovery::Mode::Incremental
                                     : workbench::Discovery::Mode::Full);
  });
  const int found = bench.Discover().LastStatus().found;
  if (session.Json()) {
    out << JsonText(json{{"found", found},
                         {"listed", bench.Table().Count()},
                         {"devices", DevicesJson(bench)}})
        << "\n";
  } else {
    out << found << " found, " << bench.Table().Count() << " devices in the list.\n"
        << FormatDeviceList(bench.View());
  }
  return FileFailed(session, err) ? kExitFileError : kExitOk;
}

namespace {

// Each listed device asked for its identify state, device info and descriptions; true per
// row where it answered. Runs on the executor.
std::vector<bool> AskListedDevices(workbench::Workbench& bench) {
  workbench::DeviceOperations& ops = bench.Operations();
  std::vector<bool> answered;
  std::vector<rdm::Uid> devices;
  for (const workbench::DeviceRecord& d : bench.Table().Devices) devices.push_back(d.Uid);
  for (rdm::Uid uid : devices) {
    ops.Tally() = {};
    workbench::DeviceReading reading(uid);
    ops.GetIdentify(reading);
    ops.GetDeviceInfo(reading);
    ops.ReadDescriptions(reading);
    answered.push_back(ops.Tally().acked > 0);
    if (answered.back()) bench.Devices().Apply(reading);
  }
  return answered;
}

// The list as the window shows it; a silent device's row says so instead of showing values
// it did not give now.
std::string ListText(workbench::Workbench& bench, const std::vector<bool>& answered) {
  workbench::DeviceListView view = bench.View();
  for (size_t row = 0; row < view.rows.size() && row < answered.size(); ++row) {
    if (answered[row]) continue;
    for (size_t c = 2; c < view.rows[row].size(); ++c) {
      if (c != 4) view.rows[row][c] = "-";
    }
  }
  return FormatDeviceList(view);
}

bool NeedsList(workbench::Workbench& bench, std::ostream& err) {
  if (common::FileExists(bench.Devices().DevNamesPath())) return true;
  err << "No device list here (" << bench.Devices().DevNamesPath() << "): run discover first\n";
  return false;
}

// Refuses writes that would put fixtures on top of each other (or past 512), naming them,
// unless they were allowed.
bool RefuseConflicts(const workbench::DeviceTable& table,
                     const std::vector<workbench::AddressAssignment>& changes, bool allowed,
                     std::ostream& err) {
  const std::vector<std::string> conflicts = workbench::AddressConflicts(table, changes);
  for (const std::string& c : conflicts) err << (allowed ? "Warning: " : "") << c << "\n";
  if (conflicts.empty() || allowed) return false;
  err << "Nothing sent: add --allow-overlap to write these addresses anyway\n";
  return true;
}

// True (said on `err`) when a SET of the command was not acknowledged.
bool SetsRefused(workbench::Workbench& bench, std::ostream& err) {
  const int refused = bench.Operations().Tally().setsRefused;
  if (refused > 0) err << refused << " settings were not acknowledged\n";
  return refused > 0;
}

}  // namespace

int ReadListedDevices(CliSession& session, std::vector<bool>& answered, std::ostream& err) {
  workbench::Workbench& bench = session.Bench();
  if (!NeedsList(bench, err)) return kExitFileError;
  session.Run([&] {
    bench.Devices().Reload(true, nullptr);
    answered = AskListedDevices(bench);
  });
  if (FileFailed(session, err)) return kExitFileError;
  std::error_code ec;
  if (bench.Table().Count() == 0 &&
      std::filesystem::file_size(bench.Devices().DevNamesPath(), ec) > 0 && !ec) {
    err << bench.Devices().DevNamesPath() << " lists no device: it is not a device list\n";
    return kExitFileError;
  }
  return kExitOk;
}

int SilentDevices(const std::vector<bool>& answered, std::ostream& err) {
  const auto silent = std::count(answered.begin(), answered.end(), false);
  if (silent == 0) return kExitOk;
  err << silent << " of " << answered.size() << " listed devices did not answer\n";
  return kExitNoAnswer;
}

int RunList(CliSession& session, std::ostream& out, std::ostream& err) {
  std::vector<bool> answered;
  if (const int failed = ReadListedDevices(session, answered, err)) return failed;
  workbench::Workbench& bench = session.Bench();
  if (session.Json()) {
    out << JsonText(json{{"devices", DevicesJson(bench, &answered)}}) << "\n";
  } else {
    out << ListText(bench, answered);
  }
  return SilentDevices(answered, err);
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
  for (uint16_t p : r.supported.value_or(std::vector<uint16_t>{})) {
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
  for (uint16_t p : r.supported.value_or(std::vector<uint16_t>{})) {
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

// The personality and the channels as far as the device answered; null where it did not.
json ChannelsJson(const workbench::DeviceReading& r, const workbench::ChannelLayout& layout) {
  auto opt = [](const auto& v) { return v ? json(*v) : json(nullptr); };
  json j;
  j["uid"] = UidForm(r.uid);
  j["personality"] = layout.personality != 0 ? json(layout.personality) : json(nullptr);
  j["personalityDescription"] = opt(layout.personalityDescription);
  j["footprint"] = opt(layout.footprint);
  j["address"] = opt(layout.startAddress);
  if (!r.slotReadings) {
    j["channels"] = nullptr;
    return j;
  }
  json channels = json::array();
  const std::vector<workbench::ChannelLine> lines = workbench::ChannelLines(layout);
  for (size_t i = 0; i < lines.size(); ++i) {
    const workbench::SlotReading& s = layout.slotReadings[i];
    channels.push_back({{"address", opt(lines[i].address)},
                        {"offset", s.info.offset},
                        {"type", lines[i].type},
                        {"labelId", s.info.labelId},
                        {"description", opt(s.description)},
                        {"name", lines[i].name},
                        {"default", opt(s.defaultValue)}});
  }
  j["channels"] = channels;
  return j;
}

void PrintChannels(const workbench::DeviceReading& r, const workbench::ChannelLayout& layout,
                   std::ostream& out) {
  const std::string personality = workbench::PersonalityHeading(layout);
  out << "UID:             " << UidForm(r.uid) << "\n"
      << "Personality:     " << (personality.empty() ? "-" : personality) << "\n"
      << "DMX address:     "
      << (layout.startAddress ? std::to_string(*layout.startAddress) : std::string("-")) << "\n"
      << "Channels:        " << (r.slotReadings ? "" : "-") << "\n";
  for (const workbench::ChannelLine& line : workbench::ChannelLines(layout)) {
    out << fmt::format(
        "  {:>4}  {:<12} {}{}\n",
        line.address ? std::to_string(*line.address) : fmt::format("+{}", line.offset), line.type,
        line.name, line.defaultValue ? fmt::format("  (default {})", *line.defaultValue) : "");
  }
}

// Reads the device (`slots`: its personality and channels only) and prints what it
// answered; the exit status says whether it did.
int ReadAndPrint(CliSession& session, workbench::Workbench& bench, rdm::Uid uid, std::ostream& out,
                 std::ostream& err, bool slots) {
  workbench::DeviceOperations& ops = bench.Operations();
  bool answered = false;
  workbench::DeviceReading reading(uid);
  session.Run([&] {
    ops.Tally() = {};
    if (slots) {
      ops.GetSupportedParameters(reading);
      ops.GetCurrentPersonality(reading);
      ops.GetSlots(reading);
    } else {
      reading = ops.ReadDevice(uid);
    }
    answered = ops.Tally().acked > 0;
    if (answered) bench.Devices().Apply(reading);
  });
  if (!answered) {
    const auto failure = ops.Tally().firstFailure.value_or(rdm::ExchangeOutcome{});
    err << FailureText(failure, reading.uid) << "\n";
    return FailureCode(failure);
  }
  const workbench::ChannelLayout channels = workbench::ChannelLayoutOf(reading);
  if (session.Json()) {
    out << JsonText(slots ? ChannelsJson(reading, channels) : ReadingJson(reading)) << "\n";
  } else if (slots) {
    PrintChannels(reading, channels, out);
  } else {
    PrintReading(reading, out);
  }
  return kExitOk;
}

int RunRead(CliSession& session, const std::string& uidText, std::ostream& out, std::ostream& err,
            bool broadcast, bool slots) {
  auto uid = ParseDeviceUid(uidText, err);
  if (!uid) return kExitUsage;
  if (RefuseBroadcast(*uid, broadcast, err)) return kExitUsage;
  workbench::Workbench& bench = session.Bench();
  session.Run([&] { bench.List().LoadDeviceTable(false); });
  return ReadAndPrint(session, bench, *uid, out, err, slots);
}

int RunSet(CliSession& session, const SetCommand& c, std::ostream& out, std::ostream& err) {
  auto uid = ParseDeviceUid(c.uid, err);
  if (!uid) return kExitUsage;
  if (RefuseBroadcast(*uid, c.broadcast, err)) return kExitUsage;
  // Every value is checked before anything is sent: the command line does not guess.
  std::optional<uint16_t> address;
  if (c.address) {
    const auto typed = common::ParseInteger(*c.address);
    if (!typed || *typed < 1 || *typed > 512) {
      err << "The address must be a number from 1 to 512, not \"" << *c.address << "\"\n";
      return kExitUsage;
    }
    address = static_cast<uint16_t>(*typed);
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
  std::string refusal;
  bool conflicted = false;
  session.Run([&] {
    // A new address is checked against every listed fixture as it reports itself now.
    bench.List().LoadDeviceTable(address.has_value());
    ops.Tally() = {};
    if ((c.personality || address) && !uid->IsBroadcast()) {
      // The device says how many personalities it has and how many slots it takes.
      workbench::DeviceReading reading(*uid);
      ops.GetDeviceInfo(reading);
      bench.Devices().Apply(reading);
      if (!reading.info) return;  // no answer: reported below, nothing set
      if (c.personality && *c.personality > reading.info->personalityCount) {
        refusal = fmt::format("{} has personalities 1 to {}, not {}", UidForm(*uid),
                              reading.info->personalityCount, *c.personality);
        return;
      }
      if (address && RefuseConflicts(bench.Table(), {{*uid, address}}, c.allowOverlap, err)) {
        conflicted = true;
        return;
      }
      ops.Tally() = {};
    }
    if (address) ops.SetStartAddress(*uid, address);
    if (c.personality) ops.SetPersonality(*uid, static_cast<uint8_t>(*c.personality));
    std::string label;
    if (c.label) label = ops.SetDeviceLabel(*uid, *c.label);
    if (c.panInvert || c.tiltInvert || c.panTiltSwap) {
      workbench::DeviceReading supported(*uid);
      if (!uid->IsBroadcast()) ops.GetSupportedParameters(supported);  // only what it lists
      ops.SetInversions(supported, {flag(c.panInvert), flag(c.tiltInvert), flag(c.panTiltSwap)});
    }
    if (c.identify) ops.SetIdentify(*uid, *c.identify == 1);
    workbench::DeviceRecord* listed = bench.Table().Find(*uid);
    if (c.label && listed && ops.Tally().nacked == 0) {
      // A listed device keeps its new label in devnames.lst, as the window shows it.
      listed->Label = workbench::LabelForFile(label);
      bench.Devices().Save();
    }
  });
  if (conflicted) return kExitUsage;
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
  return ReadAndPrint(session, bench, *uid, out, err, false);
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
  bool conflicted = false;
  json planned = json::array();
  session.Run([&] {
    bench.List().LoadDeviceTable(true);  // each fixture's footprint, for the check
    const workbench::DeviceTable& t = bench.Table();
    empty = t.Count() == 0;
    if (empty) return;
    workbench::BatchPlan plan;
    plan.startAddress = plan.logAddress = c.startAddress;
    plan.increment = c.increment;
    plan.firstRow = std::min(c.first, t.Count()) - 1;
    plan.lastRow = std::min(c.last, t.Count()) - 1;
    if (c.personality) plan.personality = static_cast<uint8_t>(*c.personality);
    // What each fixture will get, said before anything is sent.
    const std::vector<workbench::AddressAssignment> targets = workbench::BatchTargets(t, plan);
    for (const workbench::AddressAssignment& target : targets) {
      const int row = t.RowOf(target.uid);
      planned.push_back(
          {{"row", row + 1}, {"uid", UidForm(target.uid)}, {"address", *target.address}});
      if (!session.Json()) {
        out << fmt::format("Fixture {} ({}): address {}\n", row + 1, UidForm(target.uid),
                           *target.address);
      }
    }
    if (RefuseConflicts(t, targets, c.allowOverlap, err)) {
      conflicted = true;
      return;
    }
    bench.Operations().Tally() = {};
    bench.List().BatchAddress(plan, targets);
  });
  if (empty) {
    err << "The device list is empty: run discover first\n";
    return kExitUsage;
  }
  if (conflicted) return kExitUsage;
  if (FileFailed(session, err)) return kExitFileError;
  if (session.Json()) {
    out << JsonText(json{{"planned", planned}, {"devices", DevicesJson(bench)}}) << "\n";
  } else {
    out << "The fixtures now report:\n" << FormatDeviceList(bench.View());
  }
  if (SetsRefused(bench, err)) return kExitNack;
  return kExitOk;
}

int RunPlan(CliSession& session, const PlanCommand& c, std::ostream& out, std::ostream& err) {
  const bool patchFile =
      c.file.size() >= 4 && (c.file.ends_with(".pat") || c.file.ends_with(".PAT"));
  workbench::Workbench& bench = session.Bench();
  if (!NeedsList(bench, err)) return kExitFileError;
  std::vector<workbench::PlanRecord> wanted;
  if (c.action == "apply") {
    std::string error;
    const auto bytes = common::ReadWholeFile(c.file, error);
    if (!bytes) {
      err << "Cannot read " << c.file << ": " << error << "\n";
      return kExitFileError;
    }
    const workbench::PlanFileRead read =
        patchFile ? workbench::DecodePatchFile(*bytes) : workbench::DecodeAddressPlan(*bytes);
    for (const std::string& p : read.problems) err << c.file << ": " << p << "\n";
    wanted = read.records;
  }
  std::vector<bool> answered;
  std::vector<workbench::AddressAssignment> targets;
  bool conflicted = false;
  json planned = json::array();
  int skipped = 0;
  session.Run([&] {
    bench.List().LoadDeviceTable(false);
    answered = AskListedDevices(bench);
    const workbench::DeviceTable& t = bench.Table();
    if (c.action == "save") return;
    for (const workbench::PlanRecord& r : wanted) {
      const int row = t.RowOf(r.uid);
      if (row < 0 || !answered[static_cast<size_t>(row)]) {
        err << UidForm(r.uid) << " is in the plan but not on the line: skipped\n";
        ++skipped;
        continue;
      }
      if (r.startIndex == workbench::kNoStartAddressIndex) continue;
      const uint16_t address = workbench::StartAddressToSend(int64_t{r.startIndex} + 1);
      targets.push_back({r.uid, address});
      planned.push_back({{"uid", UidForm(r.uid)}, {"address", address}});
      if (!session.Json()) out << fmt::format("{}: address {}\n", UidForm(r.uid), address);
    }
    if (RefuseConflicts(t, targets, c.allowOverlap, err)) {
      conflicted = true;
      return;
    }
    bench.Operations().Tally() = {};
    bench.PatchPage().Write(targets, false);
    answered = AskListedDevices(bench);
  });
  if (FileFailed(session, err)) return kExitFileError;
  if (conflicted) return kExitUsage;
  const auto silent = std::count(answered.begin(), answered.end(), false);
  if (c.action == "save") {
    // Only what the devices reported: a silent device is named and left out of the file.
    std::vector<workbench::PlanRecord> records;
    const workbench::DeviceTable& t = bench.Table();
    for (int row = 0; row < t.Count(); ++row) {
      const workbench::DeviceRecord& d = t.Devices[static_cast<size_t>(row)];
      if (!answered[static_cast<size_t>(row)]) {
        err << UidForm(d.Uid) << " did not answer: not in the plan\n";
        continue;
      }
      records.push_back({d.Uid, d.StartAddressIndex, d.Footprint, d.PlanReserved});
    }
    std::string error;
    const std::string bytes =
        patchFile ? workbench::EncodePatchFile(records) : workbench::EncodeAddressPlan(records);
    if (!common::WriteFileAtomic(c.file, bytes, error)) {
      err << "Unable to write " << c.file << ": " << error << "\n";
      return kExitFileError;
    }
    if (session.Json()) {
      out << JsonText(json{{"file", c.file},
                           {"saved", records.size()},
                           {"devices", DevicesJson(bench, &answered)}})
          << "\n";
    } else {
      out << records.size() << " devices saved to " << c.file << "\n";
    }
    return silent == 0 ? kExitOk : kExitNoAnswer;
  }
  if (session.Json()) {
    out << JsonText(json{{"planned", planned},
                         {"skipped", skipped},
                         {"devices", DevicesJson(bench, &answered)}})
        << "\n";
  } else {
    out << "The fixtures now report:\n" << ListText(bench, answered);
  }
  if (SetsRefused(bench, err)) return kExitNack;
  return silent == 0 && skipped == 0 ? kExitOk : kExitNoAnswer;
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
    if (session.Json()) {
      out << JsonText(json{{"channel", *channel}, {"confirmed", ok}}) << "\n";
    } else {
      out << (ok ? "Channel set.\n" : "No confirmation from the radio.\n");
    }
    return ok ? kExitOk : kExitNoAnswer;
  }
  std::optional<uint8_t> read;
  session.Run([&] { read = radio.ReadRadioChannel(); });
  if (session.Json()) {
    out << JsonText(json{{"channel", read ? json(int{*read}) : json(nullptr)}}) << "\n";
  } else {
    out << (read ? fmt::format("Radio channel {}\n", int{*read}) : "No radio channel read.\n");
  }
  return read ? kExitOk : kExitNoAnswer;
}

}  // namespace velquor::cli
