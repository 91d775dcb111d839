// The page controllers: device list, device panel and batch addressing, raw console, radio.

#include "workbench/PageControllers.h"

#include <fmt/format.h>

#include <algorithm>

#include "common/Text.h"
#include "rdm/Decoders.h"
#include "rdm/KnownPids.h"

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

// ---------------------------------------------------------------- device list

DeviceListController::DeviceListController(DeviceTableService& table, DeviceOperations& operations,
                                           DevicePanelModel& panel, common::LogSink& log,
                                           const CommandFlags& flags)
    : table_(table), operations_(operations), panel_(panel), log_(log), flags_(flags) {}

void DeviceListController::LoadDeviceTable(bool requery) {
  if (!requery) {
    table_.Reload(true, nullptr);
    return;
  }
  bool told = false;
  table_.Reload(true, [&](rdm::Uid uid, int row) {
    if (flags_.Stopping()) {
      if (!told) log_.Add(fmt::format("Loading stopped: devices from row {} not asked", row + 1));
      told = true;
      return;
    }
    operations_.GetIdentify(uid, row);
    operations_.GetDeviceInfo(uid, row);
  });
}

void DeviceListController::LoadAtStartUp() {
  LoadDeviceTable(true);
  table_.RebuildUidChoices();
  if (table_.Table().DeviceCount != 0) {
    panel_.EditEnd = std::to_string(table_.Table().DeviceCount);
    log_.Add("End Fixture:" + panel_.EditEnd);  // the edit's change handler, as when typed
  }
}

void DeviceListController::RefreshDeviceTable(bool requery) {
  table_.Reload(false, nullptr);
  // The selected row alone is asked again, so that a moved or renumbered fixture shows
  // its current state. Its label stays as the list has it: the label field may hold text
  // read from or typed for another device.
  DeviceTable& t = table_.Table();
  const int s = t.SelectedRow;
  if (requery && t.ValidRow(s)) {
    const rdm::Uid uid = t.Records[static_cast<size_t>(s)].Uid;
    operations_.GetIdentify(uid, s);
    operations_.GetDeviceInfo(uid, s);
    table_.UpdateRow(s);
  }
}

void DeviceListController::SortByFixtureNumber() {
  table_.SortBy([](const DeviceRecord& a, const DeviceRecord& b) {
    return a.FixtureNumber < b.FixtureNumber;
  });
  LoadDeviceTable(false);
}

void DeviceListController::SortByStartAddress() {
  table_.SortBy([](const DeviceRecord& a, const DeviceRecord& b) {
    return a.StartAddressIndex < b.StartAddressIndex;
  });
  LoadDeviceTable(false);
}

void DeviceListController::MoveSelectedUp() {
  const int s = table_.Table().SelectedRow;
  if (s < 1 || s >= table_.Table().DeviceCount) {
    log_.Add("UP On the top ");
    return;
  }
  table_.SwapRows(s, s - 1);
  table_.Table().SelectedRow = s - 1;
  RefreshDeviceTable(true);
  table_.SelectRow(s - 1);
  log_.Add("UP Success ");
}

void DeviceListController::MoveSelectedDown() {
  const int s = table_.Table().SelectedRow;
  if (s < 0 || s + 1 >= table_.Table().DeviceCount) {
    log_.Add("Down On the bottom ");
    return;
  }
  table_.SwapRows(s, s + 1);
  table_.Table().SelectedRow = s + 1;
  RefreshDeviceTable(true);
  table_.SelectRow(s + 1);
  log_.Add("Down Success ");
}

void DeviceListController::ClearDeviceList() {
  table_.Clear();
}

void DeviceListController::SetFixtureNumber(const std::string& text) {
  DeviceTable& t = table_.Table();
  if (t.SelectedRow < 0 || t.SelectedRow >= MaxDevices) return;
  auto value = common::ParseUnsigned("0" + text);
  if (!value || text.find_first_not_of("0123456789") != std::string::npos) {
    log_.Add(NotAnInteger(text));
    return;
  }
  t.Records[static_cast<size_t>(t.SelectedRow)].FixtureNumber = static_cast<uint16_t>(*value);
  RefreshDeviceTable(true);
}

void DeviceListController::BatchAddress(const BatchPlan& plan) {
  const std::string line =
      fmt::format("Start ADDR:{} Inc Channel:{} Start Fixture:{} End Fixture:{}", plan.logAddress,
                  plan.increment, plan.firstRow, plan.lastRow);
  const DeviceTable& t = table_.Table();
  for (int64_t i = plan.firstRow; i <= plan.lastRow && i < t.DeviceCount; ++i) {
    const rdm::Uid uid = t.Records[static_cast<size_t>(i)].Uid;
    const int offset =
        static_cast<int>(std::min<int64_t>((i - plan.firstRow) * plan.increment, 100000));
    operations_.SetStartAddress(uid, plan.startAddress, offset);
    if (plan.personality) operations_.SetPersonality(uid, *plan.personality);
  }
  log_.Add(line);
  LoadDeviceTable(true);
}

// ---------------------------------------------------------------- device panel

RdmPageController::RdmPageController(DeviceTableService& table, DeviceOperations& operations,
                                     DeviceListController& list, DevicePanelModel& panel,
                                     common::LogSink& log, std::function<void()> showRdmPage)
    : table_(table),
      operations_(operations),
      list_(list),
      panel_(panel),
      log_(log),
      showRdmPage_(std::move(showRdmPage)) {}

void RdmPageController::SpeedButtonRdmReadClick() {
  DeviceTable& t = table_.Table();
  if (t.SelectedRow < 0 && t.DeviceCount != 0) {
    table_.SelectRow(0);
    panel_.Edit35Colour = kYellow;
  }
  if (t.SelectedRow < 0) {
    log_.Add("NO device");
    return;
  }
  const int row = t.SelectedRow;
  panel_.readFrom.reset();
  if (operations_.ReadDevice(row)) panel_.readFrom = t.Records[static_cast<size_t>(row)].Uid;
  // The address edit was changed by the read: its change handler runs, as for a typed one.
  if (ReadEdit(panel_.EditAddr)) EditChange(NumericEdit::Addr, panel_.EditAddr);
  panel_.SpeedButtonRdmWriteEnabled = true;
  list_.RefreshDeviceTable(false);
}

void RdmPageController::SpeedButtonRdmWriteClick() {
  DeviceTable& t = table_.Table();
  if (t.SelectedRow < 0) {
    log_.Add("NO device");
    return;
  }
  const int s = t.SelectedRow;
  auto uid = table_.SelectedUid(false);
  if (!uid) return;
  // The panel's values belong to the device they were read from: never to another row.
  if (panel_.readFrom != uid) {
    log_.Add(panel_.readFrom
                 ? fmt::format("Write refused: the panel holds the values of 0x{}, the selected "
                               "device is 0x{}; Read it first",
                               rdm::UidText(*panel_.readFrom), rdm::UidText(*uid))
                 : fmt::format("Write refused: the panel holds no values read from 0x{}; Read "
                               "it first",
                               rdm::UidText(*uid)));
    return;
  }
  operations_.ResetRetryCounter();
  operations_.SetStartAddress(*uid, common::ParseInteger(panel_.EditAddr), 0);
  operations_.GetSupportedParameters(*uid);
  operations_.SetPersonality(*uid, panel_.ComboBoxMode.ChosenNumber());
  const std::string label = operations_.SetDeviceLabel(*uid, panel_.Edit1);
  // The list shows the label written, and keeps it in devnames.lst.
  t.Names.Set(NameKey(*uid), label);
  table_.Save();
  operations_.SetInversions(*uid, {panel_.CheckBox1, panel_.CheckBox2, panel_.CheckBox3});
  operations_.Pause(10);
  operations_.GetDeviceInfo(*uid, s);
  list_.RefreshDeviceTable(false);
}

// The selected row for identify, lamp and reset; -1 (with "NO device") when none, since
// there is then no device to address.
int RdmPageController::PanelTargetRow() {
  const int s = table_.Table().SelectedRow;
  if (!table_.Table().ValidRow(s)) {
    log_.Add("NO device");
    return -1;
  }
  if (showRdmPage_) showRdmPage_();
  return s;
}

void RdmPageController::SpeedButton_BClick() {
  const int s = PanelTargetRow();
  if (s < 0) return;
  DeviceTable& t = table_.Table();
  for (int k = 0; k < t.DeviceCount; ++k) {
    DeviceRecord& r = t.Records[static_cast<size_t>(k)];
    if (k == s || r.IdentifyOn != 1) continue;
    r.IdentifyOn = 0;
    operations_.SetIdentify(r.Uid, false);
  }
  DeviceRecord& target = t.Records[static_cast<size_t>(s)];
  target.IdentifyOn = target.IdentifyOn != 0 ? 0 : 1;
  operations_.SetIdentify(target.Uid, target.IdentifyOn == 1);
  list_.RefreshDeviceTable(false);
}

void RdmPageController::SpeedButton_AClick() {
  const int s = PanelTargetRow();
  if (s < 0) return;
  DeviceRecord& r = table_.Table().Records[static_cast<size_t>(s)];
  operations_.GetLampState(r.Uid, s);
  r.LampState = r.LampState != 0 ? 0 : 1;
  operations_.SetLampState(r.Uid, r.LampState);
}

void RdmPageController::SpeedButtonResetClick() {
  const int s = PanelTargetRow();
  if (s < 0) return;
  operations_.ResetDevice(table_.Table().Records[static_cast<size_t>(s)].Uid);
}

bool RdmPageController::SelectClickedRow(int row) {
  if (row < 0 || static_cast<size_t>(row) >= table_.View().rows.size()) return false;
  SelectRowOnOtherPage(row);
  panel_.readFrom.reset();  // the read that follows replaces the panel's values
  panel_.Edit35 = std::to_string(row + 1);
  panel_.Edit35Colour = kMagenta;
  return true;
}

void RdmPageController::SelectRowOnOtherPage(int row) {
  if (row < 0 || static_cast<size_t>(row) >= table_.View().rows.size()) return;
  table_.SelectRow(row);
  panel_.SpeedButtonRdmWriteEnabled = false;  // the panel still holds the device read before
}

void RdmPageController::ReadClickedRow() {
  SpeedButtonRdmReadClick();
  SpeedButton_BClick();
}

std::string RdmPageController::EditChange(NumericEdit edit, const std::string& text) {
  auto v = ReadEdit(text);
  if (!v) {
    log_.Add(NotAnInteger(text));
    return text;
  }
  const int64_t fixtures = std::max<int64_t>(table_.Table().DeviceCount, 1);
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
      incrementText = shown;
      break;
    case NumericEdit::Start:
      firstFixtureText = shown;
      break;
    case NumericEdit::End:
      panel_.EditEnd = shown;
      break;
    case NumericEdit::StartAddress:
      startAddressText = shown;
      break;
  }
  return shown;
}

void RdmPageController::UpDown1Click(bool up) {
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

std::string RdmPageController::Edit35Change(const std::string& text) {
  if (!ReadEdit(text)) log_.Add(NotAnInteger(text));
  panel_.Edit35 = std::to_string(table_.Table().SelectedRow + 1);
  return panel_.Edit35;
}

// ---------------------------------------------------------------- batch addressing

void RdmPageController::SpeedButtonAddressClick() {
  BatchPlan plan;
  plan.startAddress = common::ParseInteger(startAddressText);
  plan.logAddress = ReadEdit(startAddressText).value_or(0);
  plan.increment = ReadEdit(incrementText).value_or(0);
  plan.firstRow = ReadEdit(firstFixtureText).value_or(0);
  plan.lastRow = ReadEdit(panel_.EditEnd).value_or(0);
  if (plan.firstRow > 0) --plan.firstRow;
  if (plan.lastRow > 0) --plan.lastRow;
  if (personalityForAll) plan.personality = panel_.ComboBoxChannelMode.ChosenNumber();
  list_.BatchAddress(plan);
}

// ---------------------------------------------------------------- raw console

ConsoleController::ConsoleController(rdm::RdmEngine& engine, ModelLock& models, ConsoleModel& model,
                                     DeviceTableService& table, DeviceOperations& operations,
                                     Discovery& discovery, common::LogSink& log)
    : engine_(engine),
      table_(table),
      operations_(operations),
      discovery_(discovery),
      log_(log),
      console_(model) {
  // Request lines arrive during an exchange, with the model lock let go.
  engine_.SetConsoleSink([this, &models](const std::string& line) {
    std::unique_lock<ModelLock> lock(models, std::defer_lock);
    if (!models.HeldByThisThread()) lock.lock();
    console_.History.push_back(line);
  });
}

std::string ConsoleController::EditRdmDataChange(const std::string& text) {
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

void ConsoleController::SpeedButtonAddrdmClick() {
  if (console_.Data.size() >= rdm::kMaxPdl) {
    log_.Add(fmt::format("The data list holds {} bytes, the most one RDM request carries",
                         rdm::kMaxPdl));
    return;
  }
  console_.Data.push_back(console_.EditRdmData);
}

void ConsoleController::SpeedButtonDeleteClick() {
  if (!console_.Data.empty()) console_.Data.pop_back();
}

void ConsoleController::LogReceived(uint16_t pidValue, uint8_t commandClass,
                                    const rdm::RdmAnswer& a) {
  std::string line = fmt::format("Received {} Data:", a.Pdl());
  for (uint8_t b : a.Data()) {
    common::AppendHexByte(line, b);
    line += ' ';
  }
  log_.Add(line);
  std::string decoded = rdm::DescribeAnswer(pidValue, commandClass, a);
  if (!decoded.empty()) log_.Add("Decoded: " + decoded);
}

void ConsoleController::Exchange(const rdm::RdmRequest& request, rdm::Uid uid) {
  rdm::RdmAnswer a = operations_.OnWire([&] { return engine_.RdmTransact(request, uid, true); });
  if (a.Ok()) LogReceived(request.pid, request.commandClass, a);
}

void ConsoleController::SpeedButtonSendRDMClick() {
  if (table_.Table().DeviceCount == 0) return;
  log_.Add("Raw Command Send: data length:" + std::to_string(console_.Data.size() & 0xFF));
  static constexpr uint8_t kClasses[] = {rdm::GET_COMMAND, rdm::SET_COMMAND,
                                         rdm::DISCOVERY_COMMAND};
  const uint8_t cc = kClasses[std::clamp(console_.ComboBoxCommand, 0, 2)];
  const auto table = rdm::KnownPidTable();
  const size_t item = static_cast<size_t>(
      std::clamp(console_.ComboBoxParameter, 0, static_cast<int>(table.size()) - 1));
  auto uid = table_.SelectedUid(true);
  if (!uid) return;
  const rdm::Uid destination = console_.CheckBoxRdmAll ? rdm::BroadcastUid : *uid;
  if (item == 0) {
    discovery_.DiscUniqueBranch(rdm::kLowestUid, rdm::kHighestUid, true);
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
  Exchange(request, destination);
}

void ConsoleController::ListBox_RDMClick(int index) {
  if (index < 0 || static_cast<size_t>(index) >= console_.History.size()) return;
  std::string hex;
  for (char c : console_.History[static_cast<size_t>(index)]) {
    if (c != ' ') hex += c;
  }
  if (table_.Table().DeviceCount == 0) return;
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
  auto uid = table_.SelectedUid(true);
  if (!uid) return;
  const rdm::Uid destination = console_.CheckBoxRdmAll ? rdm::BroadcastUid : *uid;
  if (console_.ComboBoxParameter == 0) {
    discovery_.DiscUniqueBranch(rdm::kLowestUid, rdm::kHighestUid, true);
    return;
  }
  rdm::RdmRequest request;
  request.commandClass = image[rdm::kCommandClass];
  request.pid = rdm::ReadU16(&image[rdm::kPid]);
  request.subDevice = rdm::ReadU16(&image[rdm::kSubDevice]);
  const size_t pdl = std::min<size_t>(image[rdm::kPdl], rdm::kMaxPdl);
  request.data.assign(image.begin() + rdm::kData,
                      image.begin() + rdm::kData + static_cast<ptrdiff_t>(pdl));
  Exchange(request, destination);
}

// ---------------------------------------------------------------- radio page

RadioController::RadioController(DeviceOperations& operations, ConsoleModel& model,
                                 common::LogSink& log)
    : operations_(operations), model_(model), log_(log) {}

std::optional<uint8_t> RadioController::ReadRadioChannel() {
  rdm::RdmAnswer a =
      operations_.Transact({rdm::GET_COMMAND, pid::RADIO_CHANNEL, {}}, rdm::BroadcastUid);
  const auto channel = rdm::DecodeByte(a.Data());
  if (!operations_.Acked(a, pid::RADIO_CHANNEL, rdm::BroadcastUid) || !channel) return std::nullopt;
  const uint8_t c = *channel;
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

bool RadioController::WriteRadioChannel(uint8_t channel) {
  rdm::RdmAnswer a =
      operations_.Transact({rdm::SET_COMMAND, pid::RADIO_CHANNEL, {channel}}, rdm::BroadcastUid);
  if (!operations_.Acked(a, pid::RADIO_CHANNEL, rdm::BroadcastUid)) return false;
  log_.Add("Write device successful device channel: " + std::to_string(channel));
  return true;
}

void RadioController::SpeedButtonReadClick() {
  log_.Add("RdmRadio Device read:");
  if (auto channel = ReadRadioChannel()) model_.ComboBoxRdmCh = *channel - 1;
}

void RadioController::SpeedButton1Click() {
  log_.Add("RdmRadio Device write: ");
  WriteRadioChannel(static_cast<uint8_t>(std::clamp(model_.ComboBoxRdmCh, 0, 6) + 1));
}

}  // namespace velquor::workbench
