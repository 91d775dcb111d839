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
                                           common::LogSink& log, const CommandFlags& flags)
    : table_(table), operations_(operations), log_(log), flags_(flags) {}

void DeviceListController::Requery(rdm::Uid uid) {
  DeviceReading reading(uid);
  operations_.GetIdentify(reading);
  operations_.GetDeviceInfo(reading);
  table_.Apply(reading);
}

void DeviceListController::LoadDeviceTable(bool requery) {
  if (!requery) {
    table_.Reload(true, nullptr);
    return;
  }
  bool told = false;
  int row = 0;
  table_.Reload(true, [&](rdm::Uid uid) {
    ++row;
    if (flags_.Stopping()) {
      if (!told) log_.Add(fmt::format("Loading stopped: devices from row {} not asked", row));
      told = true;
      return;
    }
    Requery(uid);
  });
}

void DeviceListController::RefreshDeviceTable(bool requery) {
  table_.Reload(false, nullptr);
  // The selected device alone is asked again, so that a moved or renumbered fixture shows
  // its current state.
  if (auto uid = table_.Table().Selected; requery && uid) Requery(*uid);
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
  const int s = table_.Table().SelectedRow();
  if (s < 1) {
    log_.Add("UP On the top ");
    return;
  }
  table_.SwapRows(s, s - 1);  // the selection moves with its device
  RefreshDeviceTable(true);
  log_.Add("UP Success ");
}

void DeviceListController::MoveSelectedDown() {
  const int s = table_.Table().SelectedRow();
  if (s < 0 || s + 1 >= table_.Table().Count()) {
    log_.Add("Down On the bottom ");
    return;
  }
  table_.SwapRows(s, s + 1);
  RefreshDeviceTable(true);
  log_.Add("Down Success ");
}

bool DeviceListController::ClearDeviceList() {
  return table_.Clear();
}

void DeviceListController::SetFixtureNumber(const std::string& text) {
  DeviceRecord* device = table_.Table().SelectedDevice();
  if (!device) return;
  auto value = common::ParseUnsigned("0" + text);
  if (!value || text.find_first_not_of("0123456789") != std::string::npos) {
    log_.Add(NotAnInteger(text));
    return;
  }
  device->FixtureNumber = static_cast<uint16_t>(*value);
  RefreshDeviceTable(true);
}

std::vector<AddressAssignment> BatchTargets(const DeviceTable& table, const BatchPlan& plan) {
  std::vector<AddressAssignment> targets;
  for (int64_t i = std::max<int64_t>(plan.firstRow, 0); i <= plan.lastRow && i < table.Count();
       ++i) {
    const int64_t offset = std::min<int64_t>((i - plan.firstRow) * plan.increment, 100000);
    std::optional<uint16_t> address;
    if (plan.startAddress) {
      address =
          StartAddressToSend(std::clamp<int64_t>(*plan.startAddress, -100000, 100000) + offset);
    }
    targets.push_back({table.Devices[static_cast<size_t>(i)].Uid, address});
  }
  return targets;
}

void DeviceListController::BatchAddress(const BatchPlan& plan,
                                        std::span<const AddressAssignment> targets) {
  const std::string line =
      fmt::format("Start ADDR:{} Inc Channel:{} Start Fixture:{} End Fixture:{}", plan.logAddress,
                  plan.increment, plan.firstRow, plan.lastRow);
  // Every fixture is set first and read back after one pause: each has had its 10 ms to take
  // the new values while the others were set, instead of a pause a fixture.
  size_t set = 0;
  for (const AddressAssignment& target : targets) {
    if (flags_.Stopping()) break;
    // A fixture given two values still takes the first before the second is sent.
    operations_.SetStartAddress(target.uid, target.address, plan.personality.has_value());
    if (plan.personality) operations_.SetPersonality(target.uid, *plan.personality, false);
    ++set;
  }
  if (set != 0) operations_.Pause(10);
  // Those set are read back even after a stop, so the list shows what they now hold.
  for (const AddressAssignment& target : targets.first(set)) {
    // Only what was set is read back, into the record of the UID it was set on: a new
    // personality brings its footprint and description with it.
    DeviceReading back(target.uid);
    if (plan.personality) {
      operations_.GetCurrentPersonality(back);
    } else if (target.address) {
      operations_.GetStartAddress(back);
    }
    table_.Apply(back);
  }
  log_.Add(line);
}

// ---------------------------------------------------------------- device panel

void ShowReading(DevicePanelModel& panel, const DeviceReading& r) {
  panel = DevicePanelModel{};
  panel.device = r.uid;
  panel.label = r.label.value_or("");
  panel.manufacturer = r.manufacturer.value_or("/");
  panel.status = r.status.value_or("/");
  panel.statusColour = r.statusColour;
  panel.category = r.info ? rdm::CategoryText(r.info->category) : "";
  panel.software = r.software.value_or("/");
  uint16_t footprint = 0;
  if (r.info && r.info->footprint >= 1 && r.info->footprint <= 512) footprint = r.info->footprint;
  panel.footprint = std::to_string(footprint);
  panel.address = "";
  if (r.startAddress) {
    panel.address = *r.startAddress == rdm::kNoStartAddress
                        ? "-"
                        : std::to_string(std::clamp<uint16_t>(*r.startAddress, 1, 512));
    panel.addressArrows = *r.startAddress;
  }
  panel.deviceHours = r.deviceHours ? std::to_string(static_cast<int32_t>(*r.deviceHours)) : "/";
  panel.lampHours = r.lampHours ? std::to_string(static_cast<int32_t>(*r.lampHours)) : "/";
  panel.panInvert = r.panInvert.value_or(false);
  panel.tiltInvert = r.tiltInvert.value_or(false);
  panel.panTiltSwap = r.panTiltSwap.value_or(false);
  for (const auto& [number, text] : r.personalities) panel.personalities.Add(number, text);
  if (r.info && r.info->personality != 0) panel.personalities.SelectNumber(r.info->personality);
  if (r.supported) {
    for (uint16_t p : *r.supported) {
      const auto k = rdm::KnownPidIndex(p);
      panel.supportedParameters.items.push_back(k ? rdm::KnownPidItemText(rdm::KnownPidTable()[*k])
                                                  : fmt::format("0x{:04X}", p));
    }
    panel.supportedParameters.itemIndex = r.supported->empty() ? -1 : 0;
  }
  panel.channels = ChannelLayoutOf(r);
  panel.supportedPids = r.supported;
}

void RdmPageController::ReadChannels() {
  if (!panel_.device) {
    log_.Add("NO device");
    return;
  }
  DeviceReading reading(*panel_.device);
  reading.supported = panel_.supportedPids;
  operations_.GetSlots(reading);
  // The answers are that fixture's: kept only while the panel still shows it.
  if (panel_.device != reading.uid) return;
  panel_.channels.slotReadings = reading.slotReadings.value_or(std::vector<SlotReading>{});
  panel_.channels.slotsAsked = true;
}

RdmPageController::RdmPageController(DeviceTableService& table, DeviceOperations& operations,
                                     DeviceListController& list, DevicePanelModel& panel,
                                     ConsoleModel& console, common::LogSink& log,
                                     std::function<void()> showRdmPage)
    : table_(table),
      operations_(operations),
      list_(list),
      panel_(panel),
      console_(console),
      log_(log),
      showRdmPage_(std::move(showRdmPage)) {}

void RdmPageController::Read(std::optional<rdm::Uid> device) {
  if (!device) {
    if (!table_.Table().Selected && table_.Table().Count() != 0) rowNumberColour = kYellow;
    device = table_.SelectedUid(true);
  }
  if (!device || !table_.Table().Find(*device)) {
    log_.Add("NO device");
    return;
  }
  const int ackedBefore = operations_.Tally().acked;
  DeviceReading reading = operations_.ReadDevice(*device);
  ShowReading(panel_, reading);
  // A device that answered nothing leaves the panel holding no device's values.
  if (operations_.Tally().acked == ackedBefore) panel_.device.reset();
  table_.Apply(reading);
  // The console's parameter list follows the parameters the device lists.
  if (reading.supported) {
    for (uint16_t p : *reading.supported) {
      if (const auto k = rdm::KnownPidIndex(p)) console_.parameter = static_cast<int>(*k);
    }
  }
  batchPersonalities = panel_.personalities;
  // The address edit was changed by the read: its change handler runs, as for a typed one.
  if (ReadEdit(panel_.address)) EditChange(NumericEdit::Addr, panel_.address);
  panel_.writeEnabled = true;
  list_.RefreshDeviceTable(false);
}

std::optional<PanelWrite> RdmPageController::WriteOrder() {
  if (!panel_.device) {
    log_.Add("Write refused: the panel holds no device's values; Read a device first");
    return std::nullopt;
  }
  if (!table_.Table().Find(*panel_.device)) {
    log_.Add(fmt::format("Write refused: 0x{} is no longer listed; Read a device first",
                         rdm::UidText(*panel_.device)));
    return std::nullopt;
  }
  PanelWrite order;
  order.uid = *panel_.device;
  if (auto typed = common::ParseInteger(panel_.address)) order.address = StartAddressToSend(*typed);
  if (!panel_.personalities.items.empty()) order.personality = panel_.personalities.ChosenNumber();
  order.label = panel_.label;
  order.inversions = {panel_.panInvert, panel_.tiltInvert, panel_.panTiltSwap};
  return order;
}

void RdmPageController::Write(const PanelWrite& order) {
  const rdm::Uid uid = order.uid;
  operations_.ResetRetryCounter();
  operations_.SetStartAddress(uid, order.address);
  DeviceReading supported(uid);
  operations_.GetSupportedParameters(supported);
  if (order.personality) operations_.SetPersonality(uid, *order.personality);
  // A label is only read from a fixture that lists it: the empty field of one that does not
  // must not overwrite the label it may have, nor the list's.
  if (AskedOf(supported, pid::DEVICE_LABEL)) {
    const std::string label = operations_.SetDeviceLabel(uid, order.label);
    // The list shows the label written, and keeps it in devnames.lst.
    if (DeviceRecord* d = table_.Table().Find(uid)) {
      d->Label = LabelForFile(label);
      table_.Save();
    }
  }
  operations_.SetInversions(supported, order.inversions);
  operations_.Pause(10);
  DeviceReading after(uid);
  operations_.GetDeviceInfo(after);
  table_.Apply(after);
  list_.RefreshDeviceTable(false);
}

std::optional<rdm::Uid> RdmPageController::PanelTarget(std::optional<rdm::Uid> device) {
  if (!device) device = table_.Table().Selected;
  if (!device || !table_.Table().Find(*device)) {
    log_.Add("NO device");
    return std::nullopt;
  }
  if (showRdmPage_) showRdmPage_();
  return device;
}

void RdmPageController::ToggleIdentify(std::optional<rdm::Uid> device) {
  const auto target = PanelTarget(device);
  if (!target) return;
  for (DeviceRecord& r : table_.Table().Devices) {
    if (r.Uid == *target || r.IdentifyOn != 1) continue;
    r.IdentifyOn = 0;
    operations_.SetIdentify(r.Uid, false);
  }
  if (DeviceRecord* r = table_.Table().Find(*target)) {
    r->IdentifyOn = r->IdentifyOn != 0 ? 0 : 1;
    operations_.SetIdentify(*target, r->IdentifyOn == 1);
  }
  list_.RefreshDeviceTable(false);
}

void RdmPageController::ToggleLamp(std::optional<rdm::Uid> device) {
  const auto target = PanelTarget(device);
  if (!target) return;
  DeviceReading reading(*target);
  operations_.GetLampState(reading);
  table_.Apply(reading);
  if (DeviceRecord* r = table_.Table().Find(*target)) {
    r->LampState = r->LampState != 0 ? 0 : 1;
    operations_.SetLampState(*target, r->LampState);
  }
}

void RdmPageController::Reset(std::optional<rdm::Uid> device) {
  if (const auto target = PanelTarget(device)) operations_.ResetDevice(*target);
}

std::optional<rdm::Uid> RdmPageController::SelectClickedRow(int row) {
  if (!table_.Table().ValidRow(row)) return std::nullopt;
  SelectRowOnOtherPage(row);
  rowNumberText = std::to_string(row + 1);
  rowNumberColour = kMagenta;
  return table_.Table().UidAt(row);
}

void RdmPageController::SelectRowOnOtherPage(int row) {
  if (!table_.Table().ValidRow(row)) return;
  table_.SelectRow(row);
  panel_.writeEnabled = false;  // the panel still holds the device read before
}

void RdmPageController::ReadClickedDevice(rdm::Uid device) {
  Read(device);
  ToggleIdentify(device);
}

std::string RdmPageController::EditChange(NumericEdit edit, const std::string& text) {
  auto v = ReadEdit(text);
  if (!v) {
    log_.Add(NotAnInteger(text));
    return text;
  }
  const int64_t fixtures = std::max<int64_t>(table_.Table().Count(), 1);
  struct Rule {
    int64_t lo, hi;
    const char* prefix;
    std::string* shown;
  };
  const Rule rules[] = {{1, 512, "DMX Address:", &panel_.address},
                        {0, 511, "Inc Channel:", &incrementText},
                        {1, fixtures, "Start Fixture:", &firstFixtureText},
                        {1, fixtures, "End Fixture:", &lastFixtureText},
                        {1, 511, "Start Address:", &startAddressText}};
  const Rule& rule = rules[static_cast<int>(edit)];
  const int64_t clamped = std::clamp(*v, rule.lo, rule.hi);
  log_.Add(rule.prefix + std::to_string(clamped));
  std::string shown = std::to_string(clamped);
  if (edit == NumericEdit::Addr) {
    // The address edit is corrected only when clamped, so "007" stays as typed.
    if (clamped == *v) shown = text;
    panel_.addressArrows = static_cast<int>(clamped);
  }
  *rule.shown = shown;
  return shown;
}

void RdmPageController::StepAddress(bool up) {
  auto v = ReadEdit(panel_.address);
  if (!v) {
    log_.Add(NotAnInteger(panel_.address));
    return;
  }
  const int64_t next = std::clamp<int64_t>(*v + (up ? 1 : -1), 1, 512);
  panel_.address = std::to_string(next);
  panel_.addressArrows = static_cast<int>(next);
  EditChange(NumericEdit::Addr, panel_.address);
}

std::string RdmPageController::RowNumberEdited(const std::string& text) {
  if (!ReadEdit(text)) log_.Add(NotAnInteger(text));
  rowNumberText = std::to_string(table_.Table().SelectedRow() + 1);
  return rowNumberText;
}

void RdmPageController::FollowListCount() {
  if (table_.Table().Count() == 0) return;
  lastFixtureText = std::to_string(table_.Table().Count());
  log_.Add("End Fixture:" + lastFixtureText);  // the edit's change handler, as when typed
}

// ---------------------------------------------------------------- batch addressing

BatchPlan RdmPageController::PlanBatch() const {
  BatchPlan plan;
  plan.startAddress = common::ParseInteger(startAddressText);
  plan.logAddress = ReadEdit(startAddressText).value_or(0);
  plan.increment = ReadEdit(incrementText).value_or(0);
  plan.firstRow = ReadEdit(firstFixtureText).value_or(0);
  plan.lastRow = ReadEdit(lastFixtureText.empty() ? "1" : lastFixtureText).value_or(0);
  if (plan.firstRow > 0) --plan.firstRow;
  if (plan.lastRow > 0) --plan.lastRow;
  if (personalityForAll) plan.personality = batchPersonalities.ChosenNumber();
  return plan;
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
    console_.history.push_back(line);
  });
}

std::optional<std::vector<uint8_t>> ConsoleEntryBytes(std::string_view entry) {
  std::vector<uint8_t> bytes;
  if (!entry.empty() && entry.front() == '"') {
    entry.remove_prefix(1);
    if (!entry.empty() && entry.back() == '"') entry.remove_suffix(1);
    bytes.assign(entry.begin(), entry.end());
  } else if (auto hex = common::ParseHexBytes(entry)) {
    bytes = std::move(*hex);
  }
  if (bytes.empty()) return std::nullopt;
  return bytes;
}

namespace {

std::string NotAnEntry(const std::string& text) {
  return "'" + text + "' is not data: give hex bytes (FF, 0x1F, 01 02) or text in quotes";
}

}  // namespace

std::string ConsoleController::DataEdited(const std::string& text) {
  // Kept as typed: a half-typed entry is no mistake yet; Add refuses what is not data.
  console_.dataText = text;
  if (const auto bytes = ConsoleEntryBytes(text)) {
    log_.Add("RDM Data:" + common::HexBytes(*bytes));
  }
  return text;
}

void ConsoleController::AddData() {
  const auto bytes = ConsoleEntryBytes(console_.dataText);
  if (!bytes) {
    log_.Add(NotAnEntry(console_.dataText) + "; not added");
    return;
  }
  size_t held = 0;
  for (const std::string& entry : console_.data)
    held += ConsoleEntryBytes(entry).value_or(std::vector<uint8_t>{}).size();
  if (held + bytes->size() > rdm::kMaxPdl) {
    log_.Add(fmt::format("The data list holds {} bytes, the most one RDM request carries is {}",
                         held, rdm::kMaxPdl));
    return;
  }
  console_.data.push_back(console_.dataText);
}

void ConsoleController::DeleteData() {
  if (!console_.data.empty()) console_.data.pop_back();
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

void ConsoleController::Send(const ConsoleRequest& shown) {
  if (table_.Table().Count() == 0) return;
  std::vector<uint8_t> data;
  for (const std::string& entry : shown.data) {
    const auto bytes = ConsoleEntryBytes(entry);
    if (!bytes) {
      log_.Add(NotAnEntry(entry) + "; the request is not sent");
      return;
    }
    data.insert(data.end(), bytes->begin(), bytes->end());
  }
  if (data.size() > rdm::kMaxPdl) {
    log_.Add(fmt::format("{} data bytes: one request carries at most {}; the request is not sent",
                         data.size(), rdm::kMaxPdl));
    return;
  }
  log_.Add("Raw Command Send: data length:" + std::to_string(data.size()));
  static constexpr uint8_t kClasses[] = {rdm::GET_COMMAND, rdm::SET_COMMAND,
                                         rdm::DISCOVERY_COMMAND};
  const auto table = rdm::KnownPidTable();
  const size_t item =
      static_cast<size_t>(std::clamp(shown.parameterIndex, 0, static_cast<int>(table.size()) - 1));
  auto uid = table_.SelectedUid(true);
  if (!uid) return;
  const rdm::Uid destination = shown.broadcast ? rdm::BroadcastUid : *uid;
  if (item == 0) {
    discovery_.DiscUniqueBranch(rdm::kLowestUid, rdm::kHighestUid, true);
    return;
  }
  rdm::RdmRequest request;
  request.commandClass = kClasses[std::clamp(shown.commandIndex, 0, 2)];
  request.pid = table[item].pid;
  request.subDevice = static_cast<uint16_t>(std::clamp(shown.subDevice, 0, 15));
  request.mirrorToConsole = true;
  request.data = std::move(data);
  Exchange(request, destination);
}

void ConsoleController::Resend(int index, int parameterIndex, bool broadcast) {
  if (index < 0 || static_cast<size_t>(index) >= console_.history.size()) return;
  std::string hex;
  for (char c : console_.history[static_cast<size_t>(index)]) {
    if (c != ' ') hex += c;
  }
  if (table_.Table().Count() == 0) return;
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
  const rdm::Uid destination = broadcast ? rdm::BroadcastUid : *uid;
  if (parameterIndex == 0) {
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

void RadioController::ShowChannel() {
  log_.Add("RdmRadio Device read:");
  if (auto channel = ReadRadioChannel()) model_.radioChannel = *channel - 1;
}

void RadioController::SendChannel() {
  log_.Add("RdmRadio Device write: ");
  WriteRadioChannel(static_cast<uint8_t>(std::clamp(model_.radioChannel, 0, 6) + 1));
}

}  // namespace velquor::workbench
