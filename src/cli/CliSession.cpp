#include "cli/CliSession.h"

#include <fmt/format.h>

#include <ostream>

#include "common/Files.h"
#include "common/Text.h"
#include "link/LibusbTransport.h"
#include "rdm/Decoders.h"
#include "rdm/KnownPids.h"
#include "workbench/Workbench.h"

namespace velquor::cli {

std::unique_ptr<CliSession> CliSession::Create(const SessionOptions& options,
                                               std::function<void(const std::string&)> logListener,
                                               std::string& error) {
  std::unique_ptr<CliSession> s(new CliSession());
  core::CoreOptions coreOptions;
  coreOptions.virtualLine = options.virtualLine;
  coreOptions.rigFile = options.rigFile;
  coreOptions.workDir = options.workDir;
  coreOptions.programDir = options.programDir;
  coreOptions.clock = options.clock;
  workbench::WorkbenchHooks hooks;
  hooks.discoveryProgress = options.discoveryProgress;
  s->core_ = core::Core::Create(coreOptions, std::move(hooks), error);
  if (!s->core_) return nullptr;
  if (logListener) s->core_->Log().SetListener(std::move(logListener));
  s->Bench().Devices().BuildColumns();
  s->core_->Link().LinkOpen();
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

}  // namespace

int RunRaw(CliSession& session, const RawCommand& command, std::ostream& out, std::ostream& err) {
  auto commandClass = ParseCommandClass(command.commandClass);
  if (!commandClass) {
    err << "Unknown command class \"" << command.commandClass
        << "\": use get, set, discovery or a number\n";
    return 2;
  }
  auto pidValue = rdm::ParsePid(command.pid);
  if (!pidValue) {
    err << "Unknown parameter \"" << command.pid << "\": use a name such as DEVICE_INFO or a "
        << "number such as 0x0060\n";
    return 2;
  }
  rdm::Uid uid = rdm::BroadcastUid;
  if (!command.broadcast) {
    auto parsed = rdm::Uid::Parse(command.uid);
    if (!parsed) {
      err << "Give the destination as --uid MMMM:DDDDDDDD (12 hex digits) or --broadcast\n";
      return 2;
    }
    uid = *parsed;
  }
  rdm::RdmRequest request;
  request.commandClass = *commandClass;
  request.pid = *pidValue;
  request.subDevice = command.subDevice;
  for (const std::string& token : command.data) {
    auto bytes = common::ParseHexBytes(token);
    if (!bytes) {
      err << "Data byte \"" << token << "\" is not hexadecimal (00..FF)\n";
      return 2;
    }
    request.data.insert(request.data.end(), bytes->begin(), bytes->end());
  }

  if (request.pid == rdm::pid::DISC_UNIQUE_BRANCH) {
    // As the console does: one unique-branch search over the whole range.
    uint8_t r = 0;
    session.Run([&] {
      r = session.Bench().Discover().DiscUniqueBranch(rdm::kLowestUid, rdm::kHighestUid, true);
    });
    out << (r == 2   ? "One device answered.\n"
            : r == 1 ? "Several devices answered at once.\n"
                     : "No device answered, or the one that did was muted and added.\n");
    return 0;
  }
  rdm::RdmAnswer answer;
  session.Run([&] {
    answer = session.Bench().Operations().OnWire(
        [&] { return session.Engine().RdmTransact(request, uid, true); });
  });
  if (!answer.Ok()) {
    out << "No valid answer.\n";
    return 1;
  }
  const std::string summary = rdm::AnsweredText(answer);
  out << fmt::format("{} from 0x{}, {} data bytes: {}\n", summary,
                     rdm::UidText(rdm::Uid::Read(&answer.response[rdm::kSourceUid])), answer.Pdl(),
                     common::HexBytes(answer.Data()));
  std::string decoded = rdm::DescribeAnswer(request.pid, request.commandClass, answer);
  if (!decoded.empty()) out << "Decoded: " << decoded << "\n";
  return 0;
}

int RunRig(CliSession& session, std::ostream& out, std::ostream& err) {
  virtualline::VirtualLine* line = session.Line();
  if (!line) {
    err << "rig lists the fixtures of the virtual line: add --virtual-line\n";
    return 2;
  }
  for (uint64_t uid : line->Uids()) {
    auto f = line->FixtureState(uid);
    if (!f) continue;
    out << fmt::format("{:04X}:{:08X}  {:<16} {:<18} {:<20} address {}\n", uid >> 32,
                       uid & 0xFFFFFFFFULL, f->label, f->manufacturer, f->model, f->startAddress);
  }
  return 0;
}

std::string FormatDeviceList(const workbench::DeviceListView& view) {
  static constexpr size_t kWidths[] = {6, 16, 5, 5, 18, 9, 20, 20, 24, 10, 6};
  std::string text;
  auto addRow = [&](auto cell) {
    std::string line;
    for (size_t c = 0; c < 11; ++c) {
      std::string value = cell(c);
      line += value;
      if (c + 1 < 11)
        line += std::string(value.size() < kWidths[c] ? kWidths[c] - value.size() : 1, ' ');
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

int RunDiscover(CliSession& session, bool incremental, std::ostream& out) {
  workbench::Workbench& bench = session.Bench();
  session.Run([&] {
    bench.List().LoadDeviceTable(false);  // the previous list is checked first, as at the desk
    if (incremental) {
      bench.Discover().SpeedButtonAddClick();
    } else {
      bench.Discover().SpeedButtonDiscoverClick();
    }
  });
  out << bench.Table().DeviceCount << " devices in the list.\n" << FormatDeviceList(bench.View());
  return 0;
}

int RunList(CliSession& session, std::ostream& out) {
  workbench::Workbench& bench = session.Bench();
  session.Run([&] {
    bench.List().LoadDeviceTable(true);
    for (int row = 0; row < bench.Table().DeviceCount; ++row) {
      bench.Operations().ReadDescriptions(row, bench.Table().Records[static_cast<size_t>(row)].Uid);
      bench.Devices().UpdateRow(row);
    }
  });
  out << FormatDeviceList(bench.View());
  return 0;
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
  if (!uid) err << "Give the device as a UID: MMMM:DDDDDDDD (12 hex digits)\n";
  return uid;
}

std::string OnOff(bool on) {
  return on ? "on" : "off";
}

int PrintPanel(workbench::Workbench& bench, int row, std::ostream& out) {
  const workbench::DevicePanelModel& p = bench.Panel();
  const workbench::DeviceRecord& r = bench.Table().Records[static_cast<size_t>(row)];
  auto choice = [](const workbench::ChoiceList& list) {
    std::string text;
    for (size_t i = 0; i < list.items.size(); ++i) {
      if (i) text += ", ";
      text += (static_cast<int>(i) == list.itemIndex ? "[" + list.items[i] + "]" : list.items[i]);
    }
    return text.empty() ? std::string("/") : text;
  };
  out << "UID:             0x" << rdm::UidText12(r.Uid) << "\n"
      << "Device label:    " << p.Edit1 << "\n"
      << "Manufacturer:    " << p.Edit2 << "\n"
      << "Model:           " << r.DeviceModelDescription << "\n"
      << "Category:        " << p.Edit8 << "\n"
      << "Firmware:        " << p.Edit9 << "\n"
      << "DMX address:     " << p.EditAddr << "\n"
      << "Footprint:       " << p.Edit10 << "\n"
      << "Personality:     " << choice(p.ComboBoxMode) << "\n"
      << "Device state:    " << p.Edit5 << "\n"
      << "Device hours:    " << p.Edit33 << "\n"
      << "Lamp hours:      " << p.Edit34 << "\n"
      << "Pan invert:      " << OnOff(p.CheckBox1) << "\n"
      << "Tilt invert:     " << OnOff(p.CheckBox2) << "\n"
      << "Pan/tilt swap:   " << OnOff(p.CheckBox3) << "\n"
      << "Identify:        " << OnOff(r.IdentifyOn != 0) << "\n"
      << "Parameters:      " << choice(p.ComboBoxID) << "\n";
  return 0;
}

}  // namespace

int RunRead(CliSession& session, const std::string& uidText, std::ostream& out, std::ostream& err) {
  auto uid = ParseDeviceUid(uidText, err);
  if (!uid) return 2;
  workbench::Workbench& bench = session.Bench();
  std::optional<int> row;
  session.Run([&] {
    row = RowFor(bench, *uid, err);
    if (row) bench.Operations().ReadDevice(*row);
  });
  if (!row) return 2;
  return PrintPanel(bench, *row, out);
}

int RunSet(CliSession& session, const SetCommand& c, std::ostream& out, std::ostream& err) {
  auto uid = ParseDeviceUid(c.uid, err);
  if (!uid) return 2;
  std::optional<int64_t> address;
  if (c.address) {
    address = common::ParseInteger(*c.address);
    if (!address || *address < 1 || *address > 512) {
      err << "The address must be a number from 1 to 512\n";
      return 2;
    }
  }
  if (c.personality && (*c.personality < 1 || *c.personality > 255)) {
    err << "The personality must be a number from 1 to 255\n";
    return 2;
  }
  workbench::Workbench& bench = session.Bench();
  workbench::DeviceOperations& ops = bench.Operations();
  std::optional<int> row;
  session.Run([&] {
    row = RowFor(bench, *uid, err);
    if (!row) return;
    if (address) ops.SetStartAddress(*uid, address, 0);
    if (c.personality) ops.SetPersonality(*uid, static_cast<uint8_t>(*c.personality));
    if (c.label) ops.SetDeviceLabel(*uid, *c.label);
    if (c.panInvert || c.tiltInvert || c.panTiltSwap) {
      ops.GetSupportedParameters(*uid);  // only the inversions the device lists are sent
      ops.SetInversions(*uid, {c.panInvert, c.tiltInvert, c.panTiltSwap});
    }
    if (c.identify) ops.SetIdentify(*uid, *c.identify);
    ops.ReadDevice(*row);
    if (c.label && *row < bench.Table().DeviceCount) {
      // A listed device keeps its new label in devnames.lst, as the window shows it.
      bench.Table().Names.Set(workbench::NameKey(*uid), bench.Panel().Edit1);
      bench.Devices().Save();
    }
  });
  if (!row) return 2;
  return PrintPanel(bench, *row, out);
}

int RunBatch(CliSession& session, const BatchCommand& c, std::ostream& out, std::ostream& err) {
  if (c.startAddress < 1 || c.startAddress > 511 || c.increment < 0 || c.increment > 511 ||
      c.first < 1 || c.last < 1) {
    err << "Start address 1..511, increment 0..511, fixtures counted from 1\n";
    return 2;
  }
  workbench::Workbench& bench = session.Bench();
  bool empty = false;
  session.Run([&] {
    bench.List().LoadDeviceTable(false);
    empty = bench.Table().DeviceCount == 0;
    if (empty) return;
    workbench::BatchPlan plan;
    plan.startAddress = plan.logAddress = c.startAddress;
    plan.increment = c.increment;
    plan.firstRow = std::min(c.first, bench.Table().DeviceCount) - 1;
    plan.lastRow = std::min(c.last, bench.Table().DeviceCount) - 1;
    if (c.personality) plan.personality = static_cast<uint8_t>(*c.personality);
    bench.List().BatchAddress(plan);
  });
  if (empty) {
    err << "The device list is empty: run discover first\n";
    return 2;
  }
  out << FormatDeviceList(bench.View());
  return 0;
}

int RunRadio(CliSession& session, std::optional<int> channel, std::ostream& out,
             std::ostream& err) {
  workbench::DeviceOperations& ops = session.Bench().Operations();
  if (channel) {
    if (*channel < 1 || *channel > 7) {
      err << "The radio channel is 1 to 7\n";
      return 2;
    }
    bool ok = false;
    session.Run([&] { ok = ops.WriteRadioChannel(static_cast<uint8_t>(*channel)); });
    out << (ok ? "Channel set.\n" : "No confirmation from the radio.\n");
    return ok ? 0 : 1;
  }
  std::optional<uint8_t> read;
  session.Run([&] { read = ops.ReadRadioChannel(); });
  if (!read) {
    out << "No radio channel read.\n";
    return 1;
  }
  out << "Radio channel " << int{*read} << "\n";
  return 0;
}

}  // namespace velquor::cli
