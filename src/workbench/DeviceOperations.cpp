// One operation per RDM parameter: log, request, and decode a valid ACK into the device
// record and the panel model.

#include "workbench/DeviceOperations.h"

#include <fmt/format.h>

#include <algorithm>

#include "common/Text.h"
#include "rdm/Decoders.h"
#include "rdm/KnownPids.h"

namespace velquor::workbench {

namespace pid = rdm::pid;

Rgb StatusColour(uint8_t type) {
  switch (type) {
    case 0x02:
      return kYellow;
    case 0x03:
      return kOlive;
    case 0x04:
      return kRed;
    default:
      return kLime;
  }
}

void PersonalityList::SelectNumber(uint8_t number) {
  auto it = std::find(numbers.begin(), numbers.end(), number);
  if (it != numbers.end()) itemIndex = static_cast<int>(it - numbers.begin());
}

uint8_t PersonalityList::ChosenNumber() const {
  const uint8_t number = SelectedNumber();
  return number != 0 ? number : static_cast<uint8_t>(itemIndex + 1);
}

uint8_t PersonalityList::SelectedNumber() const {
  if (itemIndex < 0 || static_cast<size_t>(itemIndex) >= numbers.size()) return 0;
  return numbers[static_cast<size_t>(itemIndex)];
}

DeviceOperations::DeviceOperations(rdm::RdmEngine& engine, common::LogSink& log,
                                   common::Clock& clock, ModelLock& models,
                                   DeviceTableService& table, DevicePanelModel& panel,
                                   ConsoleModel& console, const std::atomic<bool>& closing)
    : engine_(engine),
      log_(log),
      clock_(clock),
      models_(models),
      table_(table),
      panel_(panel),
      closing_(closing),
      console_(console) {}

std::string PanelDeviceText(const DevicePanelModel& panel, bool chinese) {
  if (!panel.readFrom) return {};
  return (chinese ? "面板: 0x" : "Panel: 0x") + rdm::UidText12(*panel.readFrom);
}

DeviceRecord* DeviceOperations::RecordAt(int row) {
  return row >= 0 && row < MaxDevices ? &table_.Table().Records[static_cast<size_t>(row)] : nullptr;
}

void DeviceOperations::LogOp(const char* text, rdm::Uid uid) {
  log_.Add(text + rdm::UidText(uid));
}

rdm::RdmAnswer DeviceOperations::Transact(const rdm::RdmRequest& request, rdm::Uid uid,
                                          bool reportNoReceive) {
  // Once the program closes, the command in hand ends at its next exchange.
  rdm::RdmAnswer answer = OnWire([&] {
    return request.commandClass == rdm::GET_COMMAND
               ? engine_.RdmTransactJoined(request, uid, reportNoReceive)
               : engine_.RdmTransact(request, uid, reportNoReceive);
  });
  ++tally_.asked;
  const rdm::ExchangeOutcome outcome = rdm::OutcomeOf(answer);
  if (outcome.kind == rdm::ExchangeOutcome::Kind::Ack) {
    ++tally_.acked;
  } else {
    if (outcome.kind == rdm::ExchangeOutcome::Kind::Nack) ++tally_.nacked;
    if (request.commandClass == rdm::SET_COMMAND && !uid.IsBroadcast()) ++tally_.setsRefused;
    if (!tally_.firstFailure) tally_.firstFailure = outcome;
  }
  return answer;
}

void DeviceOperations::Pause(int ms) {
  models_.Released([&] { clock_.SleepFor(common::FromMs(ms)); });
}

bool DeviceOperations::Acked(const rdm::RdmAnswer& answer, uint16_t pidValue, rdm::Uid uid) {
  if (!answer.Ok()) return false;
  if (rdm::OutcomeOf(answer).kind == rdm::ExchangeOutcome::Kind::Ack) return true;
  const char* name = rdm::PidName(pidValue);
  std::string what = name ? name : fmt::format("0x{:04X}", pidValue);
  log_.Add(
      fmt::format("{} of 0x{}: answered {}", what, rdm::UidText(uid), rdm::AnsweredText(answer)));
  return false;
}

void DeviceOperations::GetSupportedParameters(rdm::Uid uid) {
  engine_.SetSupportedPidList({});
  LogOp("Getting parameters of 0x", uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::SUPPORTED_PARAMETERS, {}}, uid);
  if (!Acked(a, pid::SUPPORTED_PARAMETERS, uid)) return;
  // Every PID of the answer: fixtures list 20 to 60, and hours, status and inversions
  // are only read when listed.
  std::vector<uint16_t> pids = rdm::DecodePidList(a.Data());
  panel_.ComboBoxID.Clear();
  auto table = rdm::KnownPidTable();
  for (uint16_t p : pids) {
    auto it = std::find_if(table.begin(), table.end(), [&](const auto& e) { return e.pid == p; });
    if (it != table.end()) {
      console_.ComboBoxParameter = static_cast<int>(it - table.begin());
      panel_.ComboBoxID.items.push_back(rdm::KnownPidItemText(*it));
    } else {
      panel_.ComboBoxID.items.push_back(fmt::format("0x{:04X}", p));
    }
  }
  panel_.ComboBoxID.itemIndex = 0;
  reading_.supported = pids;
  engine_.SetSupportedPidList(std::move(pids));
}

void DeviceOperations::GetDeviceInfo(rdm::Uid uid, int row) {
  LogOp("Getting device info of 0x", uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::DEVICE_INFO, {}}, uid);
  if (Acked(a, pid::DEVICE_INFO, uid)) {
    if (auto info = rdm::DecodeDeviceInfo(a.Data()); !info) {
      log_.Add(fmt::format("DEVICE_INFO of 0x{}: answer of {} bytes is too short ({} expected)",
                           rdm::UidText(uid), a.Data().size(), rdm::kDeviceInfoBytes));
    } else {
      DeviceRecord scratch;
      DeviceRecord& r = RecordAt(row) ? *RecordAt(row) : scratch;
      reading_.info = *info;
      panel_.Edit8 = rdm::CategoryText(info->category);
      if (info->footprint >= 1 && info->footprint <= 512) r.Footprint = info->footprint;
      panel_.Edit10 = std::to_string(r.Footprint);
      personalityCount_ = info->personalityCount;
      currentPersonality_ = info->personality;
      StoreStartAddress(r, info->startAddress);
      panel_.UpDown1 = info->startAddress;
      r.SensorCount = info->sensorCount;
    }
  }
  panel_.ComboBoxMode.Clear();
  panel_.ComboBoxChannelMode.Clear();
  for (unsigned p = 1; p <= personalityCount_; ++p) {
    GetPersonalityDescription(uid, row, static_cast<uint8_t>(p));
  }
  if (currentPersonality_ != 0) {
    panel_.ComboBoxMode.SelectNumber(currentPersonality_);
    panel_.ComboBoxChannelMode.SelectNumber(currentPersonality_);
  }
  GetStartAddress(uid, row);
}

void DeviceOperations::GetPersonalityDescription(rdm::Uid uid, int row, uint8_t p) {
  LogOp("Getting dev PersonalityDescription of 0x", uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::DMX_PERSONALITY_DESCRIPTION, {p}}, uid);
  if (!Acked(a, pid::DMX_PERSONALITY_DESCRIPTION, uid)) return;
  auto description = rdm::DecodePersonalityDescription(a.Data());
  if (!description) return;
  const uint16_t footprint = description->footprint;
  if (footprint >= 1 && footprint <= 512 && p == currentPersonality_) {
    DeviceRecord scratch;
    DeviceRecord& r = RecordAt(row) ? *RecordAt(row) : scratch;
    r.Footprint = footprint;
    r.PersonalityDescription = description->text;
  }
  std::string item = fmt::format("Mode {}({}ch)", p, footprint);
  panel_.ComboBoxMode.Add(p, item);
  panel_.ComboBoxChannelMode.Add(p, item);
  reading_.personalities.emplace_back(p, item);
}

void DeviceOperations::GetStartAddress(rdm::Uid uid, int row) {
  LogOp("Getting dev address of 0x", uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::DMX_START_ADDRESS, {}}, uid);
  if (!Acked(a, pid::DMX_START_ADDRESS, uid) || a.Data().size() != 2) return;
  DeviceRecord scratch;
  StoreStartAddress(RecordAt(row) ? *RecordAt(row) : scratch, *rdm::DecodeStartAddress(a.Data()));
}

void DeviceOperations::StoreStartAddress(DeviceRecord& record, uint16_t reported) {
  reading_.startAddress = reported;
  // 0xFFFF: the device has no DMX footprint, so no address (not 512).
  record.StartAddressIndex =
      reported == rdm::kNoStartAddress
          ? kNoStartAddressIndex
          : static_cast<uint16_t>(std::clamp<uint16_t>(reported, 1, 512) - 1);
  panel_.EditAddr = StartAddressText(record.StartAddressIndex, false);
}

void DeviceOperations::GetStatusMessages(rdm::Uid uid) {
  panel_.Edit5 = "/";
  if (!engine_.IsPidSupported(pid::STATUS_MESSAGES)) return;
  LogOp("Getting status of 0x", uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::STATUS_MESSAGES, {0x02}}, uid);
  if (!Acked(a, pid::STATUS_MESSAGES, uid)) return;
  if (a.Data().empty()) {
    panel_.Edit5 = "No status messages";
    reading_.status = panel_.Edit5;
    panel_.Edit5Colour = kLime;
    return;
  }
  const std::vector<rdm::StatusMessage> messages = rdm::DecodeStatusMessages(a.Data());
  if (messages.empty()) {
    log_.Add(fmt::format("STATUS_MESSAGES of 0x{}: answer of {} bytes holds no whole message",
                         rdm::UidText(uid), a.Data().size()));
    return;
  }
  const rdm::StatusMessage& first = messages.front();
  panel_.Edit5Colour = StatusColour(first.type);
  panel_.Edit5 = rdm::StatusText(first.id, first.data1, first.data2);
  reading_.status = panel_.Edit5;
}

std::optional<std::string> DeviceOperations::ReadTextAnswer(uint16_t pidValue, rdm::Uid uid) {
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pidValue, {}}, uid);
  if (!Acked(a, pidValue, uid)) return std::nullopt;
  return rdm::DecodeText(a.Data());
}

bool DeviceOperations::GetDeviceLabel(rdm::Uid uid) {
  LogOp("Getting device name of 0x", uid);
  auto text = ReadTextAnswer(pid::DEVICE_LABEL, uid);
  if (text) panel_.Edit1 = *text;
  if (text) reading_.label = *text;
  return text.has_value();
}

std::string DeviceOperations::SetDeviceLabel(rdm::Uid uid, const std::string& text) {
  LogOp("Setting device name of 0x", uid);
  const std::string label(common::CutUtf8(text, rdm::kMaxLabelBytes));
  if (label.size() < text.size()) {
    log_.Add(fmt::format("The label is longer than {} bytes: \"{}\" is sent", rdm::kMaxLabelBytes,
                         label));
  }
  Transact({rdm::SET_COMMAND, pid::DEVICE_LABEL, {label.begin(), label.end()}}, uid);
  return label;
}

void DeviceOperations::GetManufacturerLabel(int row, rdm::Uid uid) {
  panel_.Edit2 = "/";
  LogOp("Getting manufacturer of 0x", uid);
  if (auto text = ReadTextAnswer(pid::MANUFACTURER_LABEL, uid)) {
    panel_.Edit2 = *text;
    reading_.manufacturer = *text;
    if (DeviceRecord* r = RecordAt(row)) r->ManufacturerLabel = *text;
  }
}

void DeviceOperations::GetDeviceModelDescription(int row, rdm::Uid uid) {
  DeviceRecord* r = RecordAt(row);
  if (r) r->DeviceModelDescription = "/";
  LogOp("Getting Device Model of 0x", uid);
  auto text = ReadTextAnswer(pid::DEVICE_MODEL_DESCRIPTION, uid);
  if (text && r) r->DeviceModelDescription = *text;
  if (text) reading_.model = *text;
}

void DeviceOperations::GetSoftwareVersionLabel(int row, rdm::Uid uid) {
  DeviceRecord* r = RecordAt(row);
  if (r) r->SoftwareVersionLabel = "/";
  LogOp("Getting SoftwareVersionLabel of 0x", uid);
  auto text = ReadTextAnswer(pid::SOFTWARE_VERSION_LABEL, uid);
  if (text && r) r->SoftwareVersionLabel = *text;
  if (text) reading_.software = *text;
  if (r) panel_.Edit9 = r->SoftwareVersionLabel;
}

void DeviceOperations::GetDeviceHours(rdm::Uid uid) {
  GetHours(uid, pid::DEVICE_HOURS, "Getting dev hours of 0x", panel_.Edit33, reading_.deviceHours);
}

void DeviceOperations::GetLampHours(rdm::Uid uid) {
  GetHours(uid, pid::LAMP_HOURS, "Getting lamp hours of 0x", panel_.Edit34, reading_.lampHours);
}

void DeviceOperations::GetHours(rdm::Uid uid, uint16_t hoursPid, const char* logText,
                                std::string& shown, std::optional<uint32_t>& read) {
  shown = "/";
  if (!engine_.IsPidSupported(hoursPid)) return;
  LogOp(logText, uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, hoursPid, {}}, uid);
  if (!Acked(a, hoursPid, uid)) return;
  if (auto hours = rdm::DecodeHours(a.Data())) {
    shown = std::to_string(static_cast<int32_t>(*hours));
    read = *hours;
  }
}

void DeviceOperations::GetIdentify(rdm::Uid uid, int row) {
  LogOp("Getting dev Identify of 0x", uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::IDENTIFY_DEVICE, {}}, uid);
  DeviceRecord* r = RecordAt(row);
  const auto on = rdm::DecodeByte(a.Data());
  if (!Acked(a, pid::IDENTIFY_DEVICE, uid) || !on) return;
  if (r) r->IdentifyOn = *on;
  reading_.identify = *on != 0;
}

void DeviceOperations::GetLampState(rdm::Uid uid, int row) {
  LogOp("Getting dev LAMP_STATE of 0x", uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::LAMP_STATE, {}}, uid);
  DeviceRecord* r = RecordAt(row);
  const auto state = rdm::DecodeByte(a.Data());
  if (Acked(a, pid::LAMP_STATE, uid) && state && r) r->LampState = *state;
}

void DeviceOperations::SetStartAddress(rdm::Uid uid, std::optional<int64_t> value, int offset) {
  LogOp("Setting start address of 0x", uid);
  if (!value) return;
  int64_t a = std::clamp<int64_t>(std::clamp<int64_t>(*value, -100000, 100000) + offset, 1, 512);
  Transact({rdm::SET_COMMAND,
            pid::DMX_START_ADDRESS,
            {static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)}},
           uid);
  Pause(10);
}

void DeviceOperations::SetPersonality(rdm::Uid uid, uint8_t number) {
  LogOp("Setting personality of 0x", uid);
  Transact({rdm::SET_COMMAND, pid::DMX_PERSONALITY, {number}}, uid);
  Pause(10);
}

void DeviceOperations::GetInversions(rdm::Uid uid) {
  panel_.CheckBox1 = panel_.CheckBox2 = panel_.CheckBox3 = false;
  struct Item {
    uint16_t pid;
    const char* text;
    bool* box;
    std::optional<bool>* read;
  };
  const Item items[] = {
      {pid::PAN_INVERT, "Get pan inversion of 0x", &panel_.CheckBox1, &reading_.panInvert},
      {pid::TILT_INVERT, "Get tilt inversion of 0x", &panel_.CheckBox2, &reading_.tiltInvert},
      {pid::PAN_TILT_SWAP, "Get axis swap of 0x", &panel_.CheckBox3, &reading_.panTiltSwap}};
  for (const Item& item : items) {
    if (!engine_.IsPidSupported(item.pid)) continue;
    LogOp(item.text, uid);
    rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, item.pid, {}}, uid);
    if (!Acked(a, item.pid, uid)) continue;
    *item.box = rdm::DecodeFlag(a.Data()).value_or(false);
    *item.read = *item.box;
  }
}

void DeviceOperations::SetInversions(rdm::Uid uid, const Inversions& inversions) {
  const std::tuple<uint16_t, const char*, std::optional<bool>> items[] = {
      {pid::PAN_INVERT, "Set pan inversion of 0x", inversions.pan},
      {pid::TILT_INVERT, "Set tilt inversion of 0x", inversions.tilt},
      {pid::PAN_TILT_SWAP, "Set axis swap of 0x", inversions.swap}};
  for (const auto& [p, text, on] : items) {
    if (!on || !engine_.IsPidSupported(p)) continue;
    LogOp(text, uid);
    Transact({rdm::SET_COMMAND, p, {static_cast<uint8_t>(*on ? 1 : 0)}}, uid);
  }
}

bool DeviceOperations::SetIdentify(rdm::Uid uid, bool on) {
  rdm::RdmAnswer a =
      Transact({rdm::SET_COMMAND, pid::IDENTIFY_DEVICE, {static_cast<uint8_t>(on ? 1 : 0)}}, uid);
  return Acked(a, pid::IDENTIFY_DEVICE, uid);
}

void DeviceOperations::SetLampState(rdm::Uid uid, uint8_t state) {
  Transact({rdm::SET_COMMAND, pid::LAMP_STATE, {state}}, uid);
}

void DeviceOperations::ResetDevice(rdm::Uid uid) {
  Transact({rdm::SET_COMMAND, pid::RESET_DEVICE, {0x01}}, uid);
}

void DeviceOperations::ReadDescriptions(int row, rdm::Uid uid) {
  GetManufacturerLabel(row, uid);
  GetDeviceModelDescription(row, uid);
  GetSoftwareVersionLabel(row, uid);
}

bool DeviceOperations::ReadDevice(int row) {
  auto uid = table_.UidOfListedRow(row);
  if (!uid) return false;
  const int ackedBefore = tally_.acked;
  reading_ = DeviceReading(*uid);
  GetSupportedParameters(*uid);
  GetDeviceInfo(*uid, row);
  GetStatusMessages(*uid);
  GetDeviceLabel(*uid);
  ReadDescriptions(row, *uid);
  GetInversions(*uid);
  GetDeviceHours(*uid);
  GetLampHours(*uid);
  GetIdentify(*uid, row);
  return tally_.acked > ackedBefore;
}

}  // namespace velquor::workbench
