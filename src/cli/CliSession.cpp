#include "cli/CliSession.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/Commands.h"
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
  coreOptions.showDir = options.showDir;
  coreOptions.programDir = options.programDir;
  coreOptions.clock = options.clock;
  coreOptions.artNet = options.artNet;
  coreOptions.sacn = options.sacn;
  workbench::WorkbenchHooks hooks;
  hooks.discoveryProgress = options.discoveryProgress;
  s->core_ = core::Core::Create(coreOptions, std::move(hooks), error);
  if (!s->core_) {
    if (exitCode) *exitCode = kExitUsage;
    return nullptr;
  }
  s->Bench().Devices().BuildColumns();
  s->core_->Link().LinkOpen();
  // The box's greeting is the window's business: a command prints from its own start.
  if (logListener) s->core_->Log().SetListener(std::move(logListener));
  if (!s->core_->Link().IsOpen()) {
    // Why, in the transport's words; a box that is simply not there says nothing.
    error = s->core_->Link().OpenFailure();
    if (error.empty()) error = "interface box not found (04b4:0f1f)";
    if (exitCode) *exitCode = kExitNoBox;
    return nullptr;
  }
  s->core_->Link().SetResponseTimeout(link::ResponseTimeoutOfItem(options.speedIndex));
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

bool RefuseBroadcast(rdm::Uid uid, bool broadcast, std::ostream& err) {
  if (!uid.IsBroadcast() || broadcast) return false;
  err << UidForm(uid) << " is a broadcast UID: every device would take it; add --broadcast "
      << "if that is meant\n";
  return true;
}

json DevicesJson(workbench::Workbench& bench, const std::vector<bool>* answered) {
  json devices = json::array();
  const workbench::DeviceTable& t = bench.Table();
  for (int row = 0; row < t.Count(); ++row) {
    const workbench::DeviceRecord& r = t.Devices[static_cast<size_t>(row)];
    json d;
    d["row"] = row + 1;
    d["uid"] = UidForm(r.Uid);
    d["label"] = r.Label;
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

bool FileFailed(CliSession& session, std::ostream& err) {
  const std::vector<std::string> errors = session.Bench().Devices().TakeFileErrors();
  for (const std::string& line : errors) err << line << "\n";
  return !errors.empty();
}

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
      out << JsonText(json{{"branch", r == 2 ? "one" : r == 1 ? "several" : "none"}}, -1) << "\n";
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
      out << JsonText(json{{"outcome", broadcast ? "sent" : outcome.Text()}}, -1) << "\n";
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
    out << JsonText(j, -1) << "\n";
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

}  // namespace velquor::cli
