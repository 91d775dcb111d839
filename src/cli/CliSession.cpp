#include "cli/CliSession.h"

#include <fmt/format.h>

#include <ostream>

#include "common/Text.h"
#include "link/LibusbTransport.h"
#include "rdm/KnownPids.h"

namespace velquor::cli {

std::unique_ptr<CliSession> CliSession::Create(const SessionOptions& options, common::LogSink& log,
                                               std::string& error) {
  std::unique_ptr<CliSession> s(new CliSession());
  common::Clock& clock = common::RealClock();
  if (options.virtualLine) {
    virtualline::Rig rig;
    if (options.rigFile.empty()) {
      rig = virtualline::DefaultRig();
    } else {
      auto loaded = virtualline::LoadRigFile(options.rigFile, error);
      if (!loaded) return nullptr;
      rig = std::move(*loaded);
    }
    auto line = std::make_unique<virtualline::VirtualLine>(std::move(rig), clock);
    s->line_ = line.get();
    s->transport_ = std::move(line);
  } else {
    s->transport_ = std::make_unique<link::LibusbTransport>(link::MakeLibusbApi());
  }
  s->link_ = std::make_unique<link::UsbLink>(*s->transport_, log, clock);
  s->engine_ = std::make_unique<rdm::RdmEngine>(*s->link_, log);
  s->link_->LinkOpen();
  s->link_->ComboBoxRDMChange(options.speedIndex);
  return s;
}

CliSession::~CliSession() {
  if (transport_) transport_->Close();
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
    auto parsed = rdm::ParseUid(command.uid);
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

  rdm::RdmAnswer answer = session.Engine().RdmTransact(request, uid, true);
  if (!answer.Ok()) {
    out << "No valid answer.\n";
    return 1;
  }
  std::string summary = rdm::ResponseTypeName(answer.ResponseType());
  if (answer.ResponseType() == rdm::RESPONSE_TYPE_NACK_REASON && answer.Pdl() >= 2) {
    summary += " " + rdm::NackReasonName(rdm::ReadU16(answer.Data().data()));
  }
  out << fmt::format("{} from 0x{}, {} data bytes: {}\n", summary,
                     rdm::UidText(rdm::ReadUid(&answer.response[rdm::kSourceUid])), answer.Pdl(),
                     common::HexBytes(answer.Data()));
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

}  // namespace velquor::cli
