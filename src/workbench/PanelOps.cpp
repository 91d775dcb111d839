// The RDM pages: device panel, batch addressing, raw console and radio channel.

#include <fmt/format.h>

#include <algorithm>

#include "common/Text.h"
#include "rdm/Decoders.h"
#include "rdm/KnownPids.h"
#include "workbench/Workbench.h"

namespace velquor::workbench {

namespace pid = rdm::pid;

namespace {

// Text typed into a numeric edit, read with "0" in front so that an empty field reads 0.
std::optional<int64_t> ReadEdit(const std::string& text) {
  if (text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  auto v = common::ParseUnsigned("0" + text);
  if (!v || *v > 0x7FFFFFFF) return std::nullopt;
  return static_cast<int64_t>(*v);
}

std::string NotAnInteger(const std::string& text) {
  return "'" + text + "' is not a valid integer value";
}

}  // namespace

std::optional<rdm::Uid> Workbench::UidOfListedRow(int row) {
  if (row < 0 || static_cast<size_t>(row) >= table_.Names.Count() || row >= MaxDevices) {
    return std::nullopt;
  }
  auto uid = UidFromKey(table_.Names.At(static_cast<size_t>(row)).key);
  if (!uid) {
    log_.Add(fmt::format("Device list entry {} has no hexadecimal UID", row + 1));
    return std::nullopt;
  }
  table_.Records[static_cast<size_t>(row)].Uid = *uid;
  return uid;
}

std::optional<rdm::Uid> Workbench::SelectedUid(bool selectFirst) {
  if (table_.SelectedRow < 0 && selectFirst && table_.DeviceCount > 0) {
    table_.SelectedRow = 0;
    view_.selected = 0;
  }
  return UidOfListedRow(table_.SelectedRow);
}

// ---------------------------------------------------------------- device panel

void Workbench::SpeedButtonRdmReadClick() {
  BusyScope busy(rdmBusy_);
  if (!busy.Owned()) return;
  if (table_.SelectedRow < 0 && table_.DeviceCount != 0) {
    SelectRow(0);
    panel_.Edit35Colour = kYellow;
  }
  if (table_.SelectedRow < 0) {
    log_.Add("NO device");
    return;
  }
  const int s = table_.SelectedRow;
  ReadDevice(s);
  panel_.SpeedButtonRdmWriteEnabled = true;
  RefreshDeviceTable(false);
}

void Workbench::SpeedButtonRdmWriteClick() {
  BusyScope busy(rdmBusy_);
  if (!busy.Owned()) return;
  Pump();
  if (table_.SelectedRow < 0) {
    log_.Add("NO device");
    return;
  }
  const int s = table_.SelectedRow;
  auto uid = SelectedUid(false);
  if (!uid) return;
  engine_.ResetRetryCounter();
  SetStartAddress(*uid, panel_.EditAddr, 0);
  GetSupportedParameters(*uid);
  SetPersonality(*uid, panel_.ComboBoxMode);
  SetDeviceLabel(*uid);
  SetInversions(*uid);
  clock_.SleepFor(common::FromMs(10));
  GetDeviceInfo(*uid, s);
  RefreshDeviceTable(false);
}

// The selected row for identify, lamp and reset; -1 (with "NO device") when none, since
// there is then no device to address.
int Workbench::PanelTargetRow() {
  const int s = table_.SelectedRow;
  if (!table_.ValidRow(s)) {
    log_.Add("NO device");
    return -1;
  }
  if (hooks_.showRdmPage) hooks_.showRdmPage();
  return s;
}

void Workbench::SpeedButton_BClick() {
  {
    BusyScope busy(rdmBusy_);
    if (!busy.Owned()) return;
    const int s = PanelTargetRow();
    if (s < 0) return;
    for (int k = 0; k < table_.DeviceCount; ++k) {
      DeviceRecord& r = table_.Records[static_cast<size_t>(k)];
      if (k == s || r.IdentifyOn != 1) continue;
      r.IdentifyOn = 0;
      SetIdentify(r.Uid, false);
    }
    DeviceRecord& target = table_.Records[static_cast<size_t>(s)];
    target.IdentifyOn = target.IdentifyOn != 0 ? 0 : 1;
    SetIdentify(target.Uid, target.IdentifyOn == 1);
  }
  RefreshDeviceTable(false);  // with the line free again
}

void Workbench::SpeedButton_AClick() {
  BusyScope busy(rdmBusy_);
  if (!busy.Owned()) return;
  const int s = PanelTargetRow();
  if (s < 0) return;
  DeviceRecord& r = table_.Records[static_cast<size_t>(s)];
  GetLampState(r.Uid, s);
  r.LampState = r.LampState != 0 ? 0 : 1;
  Transact(rdm::SET_COMMAND, pid::LAMP_STATE, {r.LampState}, r.Uid);
}

void Workbench::SpeedButtonResetClick() {
  BusyScope busy(rdmBusy_);
  if (!busy.Owned()) return;
  const int s = PanelTargetRow();
  if (s < 0) return;
  Transact(rdm::SET_COMMAND, pid::RESET_DEVICE, {0x01}, table_.Records[static_cast<size_t>(s)].Uid);
}

void Workbench::RowClickOnRdmPage(int row) {
  if (row < 0 || static_cast<size_t>(row) >= view_.rows.size()) return;
  SelectRow(row);
  panel_.SpeedButtonRdmWriteEnabled = false;
  panel_.Edit35 = std::to_string(row + 1);
  panel_.Edit35Colour = kMagenta;
  SpeedButtonRdmReadClick();
  SpeedButton_BClick();
}

std::string Workbench::EditChange(NumericEdit edit, const std::string& text) {
  auto v = ReadEdit(text);
  if (!v) {
    log_.Add(NotAnInteger(text));
    return text;
  }
  const int64_t fixtures = std::max<int64_t>(table_.DeviceCount, 1);
  struct Rule {
    int64_t lo, hi;
    const char* prefix;
  };
  Rule rule{};
  switch (edit) {
    case NumericEdit::Addr:
      rule = {1, 512, "DMX Address:"};
      break;
    case NumericEdit::Channel:
      rule = {0, 511, "Inc Channel:"};
      break;
    case NumericEdit::Start:
      rule = {1, fixtures, "Start Fixture:"};
      break;
    case NumericEdit::End:
      rule = {1, fixtures, "End Fixture:"};
      break;
    case NumericEdit::StartAddress:
      rule = {1, 511, "Start Address:"};
      break;
  }
  const int64_t clamped = std::clamp(*v, rule.lo, rule.hi);
  log_.Add(rule.prefix + std::to_string(clamped));
  std::string shown = std::to_string(clamped);
  switch (edit) {
    case NumericEdit::Addr:
      // The address edit is corrected only when clamped, so "007" stays as typed.
      if (clamped == *v) shown = text;
      panel_.EditAddr = shown;
      panel_.UpDown1 = static_cast<int>(clamped);
      break;
    case NumericEdit::Channel:
      EditChannel = shown;
      break;
    case NumericEdit::Start:
      EditStart = shown;
      break;
    case NumericEdit::End:
      panel_.EditEnd = shown;
      break;
    case NumericEdit::StartAddress:
      EditStartAddress = shown;
      break;
  }
  return shown;
}

void Workbench::UpDown1Click(bool up) {
  auto v = ReadEdit(panel_.EditAddr);
  if (!v) {
    log_.Add(NotAnInteger(panel_.EditAddr));
    return;
  }
  const int64_t next = std::clamp<int64_t>(*v + (up ? 1 : -1), 1, 512);
  panel_.EditAddr = std::to_string(next);
  panel_.UpDown1 = static_cast<int>(next);
  EditChange(NumericEdit::Addr, panel_.EditAddr);
}

std::string Workbench::Edit35Change(const std::string& text) {
  if (!ReadEdit(text)) log_.Add(NotAnInteger(text));
  panel_.Edit35 = std::to_string(table_.SelectedRow + 1);
  return panel_.Edit35;
}

// ---------------------------------------------------------------- batch addressing

void Workbench::SpeedButtonAddressClick() {
  // Holds the line like the panel: a Read in the middle of a batch would interleave.
  BusyScope busy(rdmBusy_);
  if (!busy.Owned()) return;
  Pump();
  BatchPlan plan;
  plan.startAddress = common::ParseInteger(EditStartAddress);
  plan.logAddress = ReadEdit(EditStartAddress).value_or(0);
  plan.increment = ReadEdit(EditChannel).value_or(0);
  plan.firstRow = ReadEdit(EditStart).value_or(0);
  plan.lastRow = ReadEdit(panel_.EditEnd).value_or(0);
  if (plan.firstRow > 0) --plan.firstRow;
  if (plan.lastRow > 0) --plan.lastRow;
  if (CheckBoxChannel) plan.personality = panel_.ComboBoxChannelMode.ChosenNumber();
  BatchAddress(plan);
}

void Workbench::BatchAddress(const BatchPlan& plan) {
  const std::string line =
      fmt::format("Start ADDR:{} Inc Channel:{} Start Fixture:{} End Fixture:{}", plan.logAddress,
                  plan.increment, plan.firstRow, plan.lastRow);
  for (int64_t i = plan.firstRow; i <= plan.lastRow && i < table_.DeviceCount; ++i) {
    const rdm::Uid uid = table_.Records[static_cast<size_t>(i)].Uid;
    const int offset =
        static_cast<int>(std::min<int64_t>((i - plan.firstRow) * plan.increment, 100000));
    SetStartAddress(uid, plan.startAddress, offset);
    if (plan.personality) SetPersonality(uid, *plan.personality);
  }
  log_.Add(line);
  LoadDeviceTable(true);
}

// ---------------------------------------------------------------- raw console

std::string Workbench::EditRdmDataChange(const std::string& text) {
  auto v = ReadEdit(text);
  if (!v) {
    log_.Add(NotAnInteger(text));
    return text;
  }
  std::string shown = text;
  if (*v > 255) {
    v = 255;
    shown = "255";
  }
  console_.EditRdmData = shown;
  log_.Add("RDM Data:" + std::to_string(*v));
  return shown;
}

void Workbench::SpeedButtonAddrdmClick() {
  if (console_.Data.size() >= rdm::kMaxPdl) {
    log_.Add(fmt::format("The data list holds {} bytes, the most one RDM request carries",
                         rdm::kMaxPdl));
    return;
  }
  console_.Data.push_back(console_.EditRdmData);
}

void Workbench::SpeedButtonDeleteClick() {
  if (!console_.Data.empty()) console_.Data.pop_back();
}

void Workbench::LogReceived(uint16_t pidValue, uint8_t commandClass, const rdm::RdmAnswer& a) {
  std::string line = fmt::format("Received {} Data:", a.Pdl());
  for (uint8_t b : a.Data()) {
    common::AppendHexByte(line, b);
    line += ' ';
  }
  log_.Add(line);
  std::string decoded = DescribeAnswer(pidValue, commandClass, a);
  if (!decoded.empty()) log_.Add("Decoded: " + decoded);
}

void Workbench::ConsoleExchange(const rdm::RdmRequest& request, rdm::Uid uid) {
  rdm::RdmAnswer a = engine_.RdmTransact(request, uid, true);
  if (a.Ok()) LogReceived(request.pid, request.commandClass, a);
}

void Workbench::SpeedButtonSendRDMClick() {
  if (table_.DeviceCount == 0) return;
  log_.Add("Raw Command Send: data length:" + std::to_string(console_.Data.size() & 0xFF));
  BusyScope busy(rdmBusy_);
  if (!busy.Owned()) return;
  static constexpr uint8_t kClasses[] = {rdm::GET_COMMAND, rdm::SET_COMMAND,
                                         rdm::DISCOVERY_COMMAND};
  const uint8_t cc = kClasses[std::clamp(console_.ComboBoxCommand, 0, 2)];
  const auto table = rdm::KnownPidTable();
  const size_t item = static_cast<size_t>(
      std::clamp(console_.ComboBoxParameter, 0, static_cast<int>(table.size()) - 1));
  auto uid = SelectedUid(true);
  if (!uid) return;
  const rdm::Uid destination = console_.CheckBoxRdmAll ? rdm::BroadcastUid : *uid;
  if (item == 0) {
    DiscUniqueBranch(0, 0xFFFFFFFFFFFEULL, true);
    return;
  }
  rdm::RdmRequest request;
  request.commandClass = cc;
  request.pid = table[item].pid;
  request.subDevice = static_cast<uint16_t>(std::clamp(console_.ComboBoxSubdevice, 0, 15));
  request.mirrorToConsole = true;
  for (const std::string& entry : console_.Data) {
    auto v = common::ParseInteger(entry);
    if (!v) {
      log_.Add(NotAnInteger(entry) + "; the request is not sent");
      return;
    }
    request.data.push_back(static_cast<uint8_t>(*v & 0xFF));
  }
  ConsoleExchange(request, destination);
}

void Workbench::ListBox_RDMClick(int index) {
  if (index < 0 || static_cast<size_t>(index) >= console_.History.size()) return;
  std::string hex;
  for (char c : console_.History[static_cast<size_t>(index)]) {
    if (c != ' ') hex += c;
  }
  if (table_.DeviceCount == 0) return;
  BusyScope busy(rdmBusy_);
  if (!busy.Owned()) return;
  // The line is the request image from its start code: restore it over the image as it is.
  rdm::RdmImage image = engine_.RequestImage();
  for (size_t i = 0; i + 1 < hex.size() && i / 2 < image.size(); i += 2) {
    auto v = common::ParseUnsigned("0x" + hex.substr(i, 2));
    if (!v) {
      log_.Add("'" + hex.substr(i, 2) +
               "' is not a valid hexadecimal value; the request is not sent");
      return;
    }
    image[i / 2] = static_cast<uint8_t>(*v);
  }
  // Nothing selected: the history click goes where a send would.
  auto uid = SelectedUid(true);
  if (!uid) return;
  const rdm::Uid destination = console_.CheckBoxRdmAll ? rdm::BroadcastUid : *uid;
  if (console_.ComboBoxParameter == 0) {
    DiscUniqueBranch(0, 0xFFFFFFFFFFFEULL, true);
    return;
  }
  rdm::RdmRequest request;
  request.commandClass = image[rdm::kCommandClass];
  request.pid = rdm::ReadU16(&image[rdm::kPid]);
  request.subDevice = rdm::ReadU16(&image[rdm::kSubDevice]);
  const size_t pdl = std::min<size_t>(image[rdm::kPdl], rdm::kMaxPdl);
  request.data.assign(image.begin() + rdm::kData,
                      image.begin() + rdm::kData + static_cast<ptrdiff_t>(pdl));
  ConsoleExchange(request, destination);
}

// ---------------------------------------------------------------- radio page

void Workbench::SpeedButtonReadClick() {
  log_.Add("RdmRadio Device read:");
  BusyScope busy(rdmBusy_);
  if (!busy.Owned()) return;
  if (auto channel = ReadRadioChannel()) console_.ComboBoxRdmCh = *channel - 1;
}

std::optional<uint8_t> Workbench::ReadRadioChannel() {
  rdm::RdmAnswer a = Transact(rdm::GET_COMMAND, pid::RADIO_CHANNEL, {}, rdm::BroadcastUid);
  if (!Acked(a, pid::RADIO_CHANNEL, rdm::BroadcastUid) || a.Data().empty()) return std::nullopt;
  const uint8_t c = a.Data()[0];
  if (c == 0) return std::nullopt;
  if (c > 7) {
    log_.Add(
        fmt::format("The radio answered channel {}; the list has channels 1 to 7 and keeps "
                    "its choice",
                    c));
    return std::nullopt;
  }
  log_.Add("Successfully read the device channel: " + std::to_string(c));
  return c;
}

void Workbench::SpeedButton1Click() {
  log_.Add("RdmRadio Device write: ");
  BusyScope busy(rdmBusy_);
  if (!busy.Owned()) return;
  WriteRadioChannel(static_cast<uint8_t>(std::clamp(console_.ComboBoxRdmCh, 0, 6) + 1));
}

bool Workbench::WriteRadioChannel(uint8_t channel) {
  rdm::RdmAnswer a = Transact(rdm::SET_COMMAND, pid::RADIO_CHANNEL, {channel}, rdm::BroadcastUid);
  if (!Acked(a, pid::RADIO_CHANNEL, rdm::BroadcastUid)) return false;
  log_.Add("Write device successful device channel: " + std::to_string(channel));
  return true;
}

// ---------------------------------------------------------------- decoded answers

std::string Workbench::DescribeAnswer(uint16_t p, uint8_t commandClass, const rdm::RdmAnswer& a) {
  const uint8_t type = a.ResponseType();
  auto d = a.Data();
  if (type == rdm::RESPONSE_TYPE_NACK_REASON) {
    return d.size() >= 2 ? "NACK_REASON " + rdm::NackReasonName(rdm::ReadU16(d.data()))
                         : "NACK_REASON";
  }
  if (type != rdm::RESPONSE_TYPE_ACK) return rdm::ResponseTypeName(type);
  if (commandClass == rdm::SET_COMMAND) return "acknowledged";
  auto text = [&] { return "\"" + std::string(d.begin(), d.end()) + "\""; };
  auto onOff = [&] { return d.empty() ? std::string() : (d[0] ? "on" : "off"); };
  switch (p) {
    case pid::DEVICE_LABEL:
    case pid::MANUFACTURER_LABEL:
    case pid::DEVICE_MODEL_DESCRIPTION:
    case pid::SOFTWARE_VERSION_LABEL:
      return text();
    case pid::DEVICE_INFO: {
      const auto i = rdm::DecodeDeviceInfo(d);
      if (!i) return "";
      return fmt::format(
          "protocol {}.{}, model 0x{:04X}, category {} (0x{:04X}), software 0x{:08X}, "
          "footprint {}, personality {} of {}, start address {}, sub-devices {}, sensors {}",
          i->protocolMajor, i->protocolMinor, i->model, CategoryText(i->category), i->category,
          i->softwareVersion, i->footprint, i->personality, i->personalityCount, i->startAddress,
          i->subDeviceCount, i->sensorCount);
    }
    case pid::DMX_START_ADDRESS:
      if (d.size() < 2) return "";
      return rdm::ReadU16(d.data()) == 0xFFFF
                 ? "no start address (no DMX footprint)"
                 : fmt::format("start address {}", rdm::ReadU16(d.data()));
    case pid::DMX_PERSONALITY:
      return d.size() >= 2 ? fmt::format("personality {} of {}", d[0], d[1]) : "";
    case pid::DMX_PERSONALITY_DESCRIPTION: {
      const auto p = rdm::DecodePersonalityDescription(d);
      return p ? fmt::format("personality {}: {} slots, \"{}\"", p->number, p->footprint, p->text)
               : "";
    }
    case pid::DEVICE_HOURS:
    case pid::LAMP_HOURS: {
      const auto hours = rdm::DecodeHours(d);
      return hours ? fmt::format("{} hours", static_cast<int32_t>(*hours)) : "";
    }
    case pid::IDENTIFY_DEVICE:
    case pid::PAN_INVERT:
    case pid::TILT_INVERT:
    case pid::PAN_TILT_SWAP:
      return onOff();
    case pid::LAMP_STATE: {
      if (d.empty()) return "";
      static constexpr const char* kStates[] = {"off", "on", "strike", "standby", "not present"};
      return d[0] < 5 ? kStates[d[0]] : (d[0] == 0x7F ? "error" : fmt::format("state {}", d[0]));
    }
    case pid::STATUS_MESSAGES: {
      if (d.empty()) return "no status messages";
      std::string out;
      for (const rdm::StatusMessage& m : rdm::DecodeStatusMessages(d)) {
        if (!out.empty()) out += "; ";
        out += StatusText(m.id, m.data1, m.data2);
      }
      return out;
    }
    case pid::SUPPORTED_PARAMETERS: {
      std::string out;
      for (const uint16_t v : rdm::DecodePidList(d)) {
        const char* name = rdm::PidName(v);
        if (!out.empty()) out += ", ";
        out += name ? std::string(name) : fmt::format("0x{:04X}", v);
      }
      return out;
    }
    case pid::RADIO_CHANNEL:
      return d.empty() ? "" : fmt::format("radio channel {}", d[0]);
    default:
      return "";
  }
}

}  // namespace velquor::workbench
