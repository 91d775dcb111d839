#include "cli/CliSession.h"

#include <fmt/format.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <ostream>
#include <thread>

#include "common/Files.h"
#include "common/Text.h"
#include "rdm/Decoders.h"
#include "rdm/KnownPids.h"
#include "workbench/Workbench.h"

namespace velquor::cli {

using nlohmann::json;

std::unique_ptr<CliSession> CliSession::Create(const SessionOptions& options,
                                               std::function<void(const std::string&)> logListener,
                                               std::string& error, int* exitCode) {
  std::unique_ptr<CliSession> s(new CliSession());
  s->json_ = options.json;
  core::CoreOptions coreOptions;
  coreOptions.virtualLine = options.virtualLine;
  coreOptions.rigFile = options.rigFile;
  coreOptions.workDir = options.workDir;
  coreOptions.programDir = options.programDir;
  coreOptions.clock = options.clock;
  workbench::WorkbenchHooks hooks;
  hooks.discoveryProgress = options.discoveryProgress;
  s->core_ = core::Core::Create(coreOptions, std::move(hooks), error);
  if (!s->core_) {
    if (exitCode) *exitCode = kExitUsage;
    return nullptr;
  }
  if (logListener) s->core_->Log().SetListener(std::move(logListener));
  s->Bench().Devices().BuildColumns();
  s->core_->Link().LinkOpen();
  if (!s->core_->Link().IsOpen()) {
    // Why, as the link said it; a box that is simply not there says nothing.
    error = "interface box not found (04b4:0f1f)";
    for (const std::string& line : s->core_->Log().Lines()) {
      if (line.starts_with("The interface box") || line.starts_with("Error initializing")) {
        error = line;
      }
    }
    if (exitCode) *exitCode = kExitNoBox;
    return nullptr;
  }
  s->core_->Link().ComboBoxRDMChange(options.speedIndex);
  return s;
}

CliSession::~CliSession() {
  if (core_) core_->Shutdown();
}

namespace {

std::optional<uint8_t> ParseCommandClass(const std::string& text) {
  std::string upper = common::ToUpper(text);
  if (upper == "GET") return rdm::GET_COMMAND;
  if (upper == "SET") return rdm::SET_COMMAND;
  if (upper == "DISCOVERY" || upper == "DISC") return rdm::DISCOVERY_COMMAND;
  if (auto n = common::ParseUnsigned(text); n && *n <= 0xFF) return static_cast<uint8_t>(*n);
  return std::nullopt;
}

std::string UidForm(rdm::Uid uid) {
  return "0x" + rdm::UidText12(uid);  // as the window's list shows it
}

// The exit status and the line for an exchange that did not end in an ACK.
int FailureCode(const rdm::ExchangeOutcome& outcome) {
  return outcome.kind == rdm::ExchangeOutcome::Kind::Nack ? kExitNack : kExitNoAnswer;
}

std::string FailureText(const rdm::ExchangeOutcome& outcome, rdm::Uid uid) {
  if (outcome.kind == rdm::ExchangeOutcome::Kind::NoAnswer) return "no answer from " + UidForm(uid);
  return UidForm(uid) + " answered " + outcome.Text();
}

// Refuses a broadcast destination unless it was asked for: a broadcast SET reaches every
// fixture on the line.
bool RefuseBroadcast(rdm::Uid uid, bool broadcast, std::ostream& err) {
  if (!uid.IsBroadcast() || broadcast) return false;
  err << UidForm(uid) << " is a broadcast UID: every device would take it; add --broadcast "
      << "if that is meant\n";
  return true;
}

json DevicesJson(workbench::Workbench& bench, const std::vector<bool>* answered = nullptr) {
  json devices = json::array();
  const workbench::DeviceTable& t = bench.Table();
  for (int row = 0; row < t.DeviceCount; ++row) {
    const workbench::DeviceRecord& r = t.Records[static_cast<size_t>(row)];
    json d;
    d["row"] = row + 1;
    d["uid"] = UidForm(r.Uid);
    d["label"] = t.LabelOfRow(row);
    const bool known = !answered || (*answered)[static_cast<size_t>(row)];
    d["answered"] = known;
    if (known) {
      d["address"] = r.StartAddressIndex == workbench::kNoStartAddressIndex
                         ? json(nullptr)
                         : json(r.StartAddressIndex + 1);
      d["footprint"] = r.Footprint;
      d["identify"] = r.IdentifyOn != 0;
      d["manufacturer"] = r.ManufacturerLabel;
      d["model"] = r.DeviceModelDescription;
      d["personality"] = r.PersonalityDescription;
      d["software"] = r.SoftwareVersionLabel;
      d["sensors"] = r.SensorCount;
    }
    devices.push_back(d);
  }
  return devices;
}

}  // namespace

int RunRaw(CliSession& session, const RawCommand& command, std::ostream& out, std::ostream& err) {
  auto commandClass = ParseCommandClass(command.commandClass);
  if (!commandClass) {
    err << "Unknown command class \"" << command.commandClass
        << "\": use get, set, discovery or a number\n";
    return kExitUsage;
  }
  auto pidValue = rdm::ParsePid(command.pid);
  if (!pidValue) {
    err << "Unknown parameter \"" << command.pid << "\": use a name such as DEVICE_INFO or a "
        << "number such as 0x0060\n";
    return kExitUsage;
  }
  rdm::Uid uid = rdm::BroadcastUid;
  if (!command.broadcast) {
    auto parsed = rdm::Uid::Parse(command.uid);
    if (!parsed) {
      err << "Give the destination as --uid MMMM:DDDDDDDD (12 hex digits) or --broadcast\n";
      return kExitUsage;
    }
    uid = *parsed;
    if (RefuseBroadcast(uid, false, err)) return kExitUsage;
  }
  rdm::RdmRequest request;
  request.commandClass = *commandClass;
  request.pid = *pidValue;
  request.subDevice = command.subDevice;
  for (const std::string& token : command.data) {
    auto bytes = common::ParseHexBytes(token);
    if (!bytes) {
      err << "Data byte \"" << token << "\" is not hexadecimal (00..FF)\n";
      return kExitUsage;
    }
    request.data.insert(request.data.end(), bytes->begin(), bytes->end());
  }
  if (request.data.size() > rdm::kMaxPdl) {
    err << request.data.size() << " data bytes: one request carries at most " << rdm::kMaxPdl
        << "\n";
    return kExitUsage;
  }

  if (request.pid == rdm::pid::DISC_UNIQUE_BRANCH) {
    // As the console does: one unique-branch search over the whole range.
    uint8_t r = 0;
    session.Run([&] {
      r = session.Bench().Discover().DiscUniqueBranch(rdm::kLowestUid, rdm::kHighestUid, true);
    });
    const char* text = r == 2   ? "One device answered."
                       : r == 1 ? "Several devices answered at once."
                                : "No device answered, or the one that did was muted and added.";
    if (session.Json()) {
      out << json{{"branch", r == 2 ? "one" : r == 1 ? "several" : "none"}}.dump() << "\n";
    } else {
      out << text << "\n";
    }
    return kExitOk;
  }
  rdm::RdmAnswer answer;
  session.Run([&] {
    answer = session.Bench().Operations().OnWire(
        [&] { return session.Engine().RdmTransact(request, uid, !uid.IsBroadcast()); });
  });
  const rdm::ExchangeOutcome outcome = rdm::OutcomeOf(answer);
  if (!answer.Ok()) {
    // A broadcast is answered by nobody, by design: it went out, and that is all there is.
    const bool broadcast =
        uid.IsBroadcast() && outcome.kind == rdm::ExchangeOutcome::Kind::NoAnswer;
    if (session.Json()) {
      out << json{{"outcome", broadcast ? "sent" : outcome.Text()}}.dump() << "\n";
    } else {
      out << (broadcast ? "Sent to every device (a broadcast gets no answer).\n"
                        : FailureText(outcome, uid) + "\n");
    }
    return broadcast ? kExitOk : kExitNoAnswer;
  }
  const rdm::Uid from = rdm::Uid::Read(&answer.response[rdm::kSourceUid]);
  const std::string decoded = rdm::DescribeAnswer(request.pid, request.commandClass, answer);
  if (session.Json()) {
    json j{{"outcome", outcome.Text()},
           {"from", UidForm(from)},
           {"data", common::HexBytes(answer.Data(), "")}};
    if (outcome.nackReason) j["nackReason"] = rdm::NackReasonName(*outcome.nackReason);
    if (!decoded.empty()) j["decoded"] = decoded;
    out << j.dump() << "\n";
  } else {
    out << fmt::format("{} from {}, {} data bytes: {}\n", rdm::AnsweredText(answer), UidForm(from),
                       answer.Pdl(), common::HexBytes(answer.Data()));
    if (!decoded.empty()) out << "Decoded: " << decoded << "\n";
  }
  return outcome.kind == rdm::ExchangeOutcome::Kind::Nack ? kExitNack : kExitOk;
}

int RunRig(CliSession& session, std::ostream& out, std::ostream& err) {
  virtualline::VirtualLine* line = session.Line();
  if (!line) {
    err << "rig lists the fixtures of the virtual line: add --virtual-line\n";
    return kExitUsage;
  }
  for (uint64_t uid : line->Uids()) {
    auto f = line->FixtureState(uid);
    if (!f) continue;
    out << fmt::format("{:04X}:{:08X}  {:<16} {:<18} {:<20} address {}\n", uid >> 32,
                       uid & 0xFFFFFFFFULL, f->label, f->manufacturer, f->model, f->startAddress);
  }
  return kExitOk;
}

std::string FormatDeviceList(const workbench::DeviceListView& view) {
  static constexpr size_t kWidths[] = {6, 16, 5, 5, 18, 9, 20, 20, 24, 10, 6};
  std::string text;
  auto addRow = [&](auto cell) {
    std::string line;
    for (size_t c = 0; c < 11; ++c) {
      std::string value = cell(c);
      const size_t width = common::DisplayWidth(value);
      line += value;
      if (c + 1 < 11) line += std::string(width < kWidths[c] ? kWidths[c] - width : 1, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  };
  if (view.columns.size() == 11) addRow([&](size_t c) { return view.columns[c].caption; });
  for (const auto& row : view.rows) addRow([&](size_t c) { return row[c]; });
  return text;
}

void ProgressLine::Show(const workbench::DiscoveryStatus& status) {
  const std::string text = workbench::DiscoveryStatusText(status, false);
  if (terminal_) {
    out_ << '\r' << text << "\x1b[K";
    shown_ = status.running;
    if (!status.running) out_ << '\n';  // the last state stays on the screen
    out_.flush();
    return;
  }
  if (status.found != lastFound_ || !status.running) out_ << text << '\n';
  lastFound_ = status.found;
}

void ProgressLine::Clear() {
  if (!shown_) return;
  out_ << "\r\x1b[K";
  shown_ = false;
}

namespace {

// A failed save or an unreadable list, as the log said it.
bool FileFailed(CliSession& session, size_t logFrom, std::ostream& err) {
  const std::vector<std::string> lines = session.Log().Lines();
  bool failed = false;
  for (size_t i = std::min(logFrom, lines.size()); i < lines.size(); ++i) {
    if (lines[i].starts_with("Unable to write ") || lines[i].starts_with("Fail to Open File") ||
        lines[i].starts_with("Discovery stopped: devnone.lst")) {
      err << lines[i] << "\n";
      failed = true;
    }
  }
  return failed;
}

}  // namespace

int RunDiscover(CliSession& session, bool incremental, std::ostream& out, std::ostream& err) {
  workbench::Workbench& bench = session.Bench();
  const size_t logFrom = session.Log().Count();
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
  return FileFailed(session, logFrom, err) ? kExitFileError : kExitOk;
}

int RunList(CliSession& session, std::ostream& out, std::ostream& err) {
  workbench::Workbench& bench = session.Bench();
  if (!common::FileExists(bench.Devices().DevNamesPath())) {
    err << "No device list here (" << bench.Devices().DevNamesPath() << "): run discover first\n";
    return kExitUsage;
  }
  std::vector<bool> answered;
  const size_t logFrom = session.Log().Count();
  session.Run([&] {
    workbench::DeviceOperations& ops = bench.Operations();
    bench.Devices().Reload(true, nullptr);
    for (int row = 0; row < bench.Table().DeviceCount; ++row) {
      const rdm::Uid uid = bench.Table().Records[static_cast<size_t>(row)].Uid;
      ops.ResetTally();
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
  if (FileFailed(session, logFrom, err)) return kExitFileError;
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

namespace {

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
    ops.ResetTally();
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

}  // namespace

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
  const size_t logFrom = session.Log().Count();
  session.Run([&] {
    row = RowFor(bench, *uid, err);
    if (!row) return;
    ops.ResetTally();
    if (c.personality && !uid->IsBroadcast()) {
      // The device says how many personalities it has; a number past them is refused.
      ops.StartReading(*uid);
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
  if (FileFailed(session, logFrom, err)) return kExitFileError;
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
  const size_t logFrom = session.Log().Count();
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
    bench.Operations().ResetTally();
    bench.List().BatchAddress(plan);
  });
  if (empty) {
    err << "The device list is empty: run discover first\n";
    return kExitUsage;
  }
  if (FileFailed(session, logFrom, err)) return kExitFileError;
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
  workbench::DeviceOperations& ops = session.Bench().Operations();
  if (channel) {
    if (*channel < 1 || *channel > 7) {
      err << "The radio channel is 1 to 7\n";
      return kExitUsage;
    }
    bool ok = false;
    session.Run([&] { ok = ops.WriteRadioChannel(static_cast<uint8_t>(*channel)); });
    out << (ok ? "Channel set.\n" : "No confirmation from the radio.\n");
    return ok ? kExitOk : kExitNoAnswer;
  }
  std::optional<uint8_t> read;
  session.Run([&] { read = ops.ReadRadioChannel(); });
  if (!read) {
    out << "No radio channel read.\n";
    return kExitNoAnswer;
  }
  out << "Radio channel " << int{*read} << "\n";
  return kExitOk;
}

int RunScenes(CliSession& session, const std::string& action, std::optional<double> seconds,
              const std::atomic<bool>& interrupted, std::ostream& out, std::ostream& err) {
  core::Core& core = session.Core();
  dmx::SceneDesk& desk = core.Desk();
  if (action == "stop") {
    core.Universe().ClearSlots();
    core.Tick().SendDmxFrame();
    out << "All 512 slots at 0 sent.\n";
    return kExitOk;
  }
  const std::string path = common::PathIn(core.Options().workDir, "quendaris.show");
  desk.Load(path);
  const std::vector<dmx::SceneRow> rows = desk.Rows();
  if (action == "list") {
    if (session.Json()) {
      json scenes = json::array();
      for (const auto& r : rows) {
        scenes.push_back({{"scene", r.caption}, {"fadeMs", r.fadeMs}, {"holdMs", r.holdMs}});
      }
      out << json{{"scenes", scenes}}.dump(2) << "\n";
    } else {
      for (const auto& r : rows) {
        out << fmt::format("{:<8} fade {:>5} ms  hold {:>5} ms\n", r.caption, r.fadeMs, r.holdMs);
      }
    }
    return kExitOk;
  }
  if (rows.empty()) {
    err << "No scenes in " << path << "\n";
    return kExitUsage;
  }
  // The desk on the engine tick, as on the DMX page: one step and one frame every 40 ms.
  dmx::EngineTick& tick = core.Tick();
  tick.View().page = dmx::Page::Dmx;
  desk.RunStop("Run");
  tick.View().sceneRunning = true;
  const uint64_t ticks = seconds ? static_cast<uint64_t>(*seconds * 1000 / dmx::kTickPeriodMs) : 0;
  tick.CreateTimer();
  while (!interrupted.load() && (!seconds || tick.Ticks() < ticks)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // only watches the tick
  }
  tick.DestroyTimer();
  desk.RunStop("Stop");
  out << fmt::format("{} scenes played for {} ticks.\n", rows.size(), tick.Ticks());
  return kExitOk;
}

}  // namespace velquor::cli
