#include "workbench/MapControllers.h"

#include <fmt/format.h>

#include <algorithm>

#include "common/Files.h"
#include "rdm/Decoders.h"
#include "rdm/KnownPids.h"

namespace velquor::workbench {

namespace pid = rdm::pid;

namespace {

std::vector<PlanRecord> RecordsOf(const DeviceTable& t, const uint16_t* reserved = nullptr) {
  std::vector<PlanRecord> records;
  for (int row = 0; row < t.DeviceCount && row < MaxDevices; ++row) {
    const DeviceRecord& r = t.Records[static_cast<size_t>(row)];
    records.push_back(
        {r.Uid, r.StartAddressIndex, r.Footprint, reserved ? reserved[row] : uint16_t{0}});
  }
  return records;
}

bool WriteWhole(const std::string& path, const std::string& bytes, common::LogSink& log) {
  std::string error;
  if (common::WriteFileAtomic(path, bytes, error)) return true;
  log.Add("Unable to write " + path + ": " + error);
  return false;
}

std::optional<std::string> ReadWhole(const std::string& path, common::LogSink& log) {
  std::string error;
  auto bytes = common::ReadWholeFile(path, error);
  if (!bytes) log.Add("Fail to Open File!!! " + path + ": " + error);
  return bytes;
}

// Reads a plan file (`decode` says which kind) and makes its records the table's rows; the
// records taken, or nothing when the file cannot be read.
std::optional<std::vector<PlanRecord>> LoadRows(DeviceTableService& table, const std::string& path,
                                                PlanFileRead (*decode)(std::string_view),
                                                const std::string& what, common::LogSink& log) {
  const auto bytes = ReadWhole(path, log);
  if (!bytes) return std::nullopt;
  const PlanFileRead read = decode(*bytes);
  for (const std::string& p : read.problems) log.Add(what + " " + path + ": " + p);
  return ReplaceRows(table, read.records, path, log);
}

void SetStart(DeviceOperations& operations, rdm::Uid uid, uint16_t startIndex,
              common::LogSink& log) {
  if (startIndex == kNoStartAddressIndex) {
    log.Add(fmt::format("0x{} has no DMX footprint: no start address sent", rdm::UidText(uid)));
    return;
  }
  const uint16_t a = StartAddressToSend(int64_t{startIndex} + 1);
  operations.Transact({rdm::SET_COMMAND,
                       pid::DMX_START_ADDRESS,
                       {static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)}},
                      uid);
}

}  // namespace

uint16_t StartAddressToSend(int64_t address) {
  return static_cast<uint16_t>(address < 0 ? 1 : address > 512 ? 512 : address);
}

std::vector<PlanRecord> ReplaceRows(DeviceTableService& service,
                                    std::span<const PlanRecord> records, const std::string& file,
                                    common::LogSink& log) {
  DeviceTable& t = service.Table();
  const DeviceNameList old = t.Names;
  DeviceNameList names;
  std::vector<PlanRecord> taken;
  int n = 0;
  for (size_t k = 0; k < records.size() && n < MaxDevices; ++k) {
    const std::string key = NameKey(records[k].uid);
    const std::string problem = KeyProblem(key);
    if (!problem.empty() || names.Value(key)) {
      log.Add(fmt::format("{}: record {} ({}) skipped: {}", file, k + 1, key,
                          problem.empty() ? "the UID is listed already" : problem));
      continue;
    }
    DeviceRecord& r = t.Records[static_cast<size_t>(n)];
    r = DeviceRecord{};
    r.Uid = records[k].uid;
    r.StartAddressIndex = records[k].startIndex;
    r.Footprint = records[k].footprint;
    r.FixtureNumber = static_cast<uint16_t>(n + 1);
    names.Set(key, old.Value(key).value_or(""));
    taken.push_back(records[k]);
    ++n;
  }
  t.DeviceCount = n;
  t.Names = std::move(names);
  service.View().rows.clear();
  for (int row = 0; row < n; ++row) service.AddRow(row);
  service.RebuildUidChoices();
  service.SelectRow(-1);
  return taken;
}

// ---------------------------------------------------------------- the Patch page

PatchPageController::PatchPageController(DeviceTableService& table, DeviceOperations& operations,
                                         DeviceListController& list, common::LogSink& log,
                                         const CommandFlags& flags)
    : table_(table), operations_(operations), list_(list), log_(log), flags_(flags) {}

std::array<CellFill, kMapCells> PatchPageController::Fill() {
  const DeviceTable& t = table_.Table();
  if (t.ValidRow(t.SelectedRow)) cursorText_ = std::to_string(map_.cursor + 1);
  const auto blocks = BlocksOf(t);
  return FillCells(blocks, t.SelectedRow, map_.cursor, false);
}

void PatchPageController::RowClicked(int row) {
  const DeviceTable& t = table_.Table();
  if (t.ValidRow(row)) map_.cursor = t.Records[static_cast<size_t>(row)].StartAddressIndex;
}

bool PatchPageController::Press(int x, int y) {
  const auto row = map_.RowAt(BlocksOf(table_.Table()), x, y);
  if (!row) return false;
  table_.SelectRow(*row);
  // A press without a drag leaves the device where it is: the cursor starts at its address.
  map_.cursor = table_.Table().Records[static_cast<size_t>(*row)].StartAddressIndex;
  return true;
}

bool PatchPageController::Drag(int x, int y, bool leftHeld) {
  const DeviceTable& t = table_.Table();
  if (!leftHeld || !t.ValidRow(t.SelectedRow)) return false;
  return map_.Drag(BlocksOf(t), t.SelectedRow, x, y);
}

void PatchPageController::Release() {
  DeviceTable& t = table_.Table();
  if (!t.ValidRow(t.SelectedRow)) return;
  t.Records[static_cast<size_t>(t.SelectedRow)].StartAddressIndex = map_.cursor;
  table_.UpdateRow(t.SelectedRow);  // nothing is sent: Write does that
}

void PatchPageController::Read(bool rebuildList) {
  for (int row = 0; row < table_.Table().DeviceCount; ++row) {
    if (flags_.Stopping()) break;
    const rdm::Uid uid = table_.Table().Records[static_cast<size_t>(row)].Uid;
    const rdm::RdmAnswer a = operations_.Transact({rdm::GET_COMMAND, pid::DEVICE_INFO, {}}, uid);
    if (!operations_.Acked(a, pid::DEVICE_INFO, uid) || !table_.Table().ValidRow(row)) continue;
    const auto info = rdm::DecodeDeviceInfo(a.Data());
    if (!info) continue;  // too short: the row keeps its values
    DeviceRecord& r = table_.Table().Records[static_cast<size_t>(row)];
    r.Footprint = info->footprint;
    r.StartAddressIndex =
        info->startAddress == rdm::kNoStartAddress
            ? kNoStartAddressIndex
            : static_cast<uint16_t>(std::clamp<int>(info->startAddress, 1, 512) - 1);
    table_.UpdateRow(row);
  }
  table_.SelectRow(-1);
  if (rebuildList) list_.LoadDeviceTable(false);
}

void PatchPageController::Write(bool rebuildList) {
  for (int row = 0; row < table_.Table().DeviceCount; ++row) {
    if (flags_.Stopping()) break;
    const DeviceRecord r = table_.Table().Records[static_cast<size_t>(row)];
    SetStart(operations_, r.Uid, r.StartAddressIndex, log_);
  }
  if (rebuildList) list_.LoadDeviceTable(false);
}

bool PatchPageController::Save(const std::string& path) {
  return WriteWhole(path, EncodePatchFile(RecordsOf(table_.Table())), log_);
}

bool PatchPageController::Load(const std::string& path) {
  return LoadRows(table_, path, DecodePatchFile, "Patch file", log_).has_value();
}

// ---------------------------------------------------------------- the addressing window

AddressingController::AddressingController(DeviceTableService& table, DeviceOperations& operations,
                                           DeviceListController& list, common::LogSink& log,
                                           const CommandFlags& flags)
    : table_(table), operations_(operations), list_(list), log_(log), flags_(flags) {}

std::string AddressingController::UidText() const {
  if (!table_.Table().ValidRow(selected_)) return "UID:666612345678";
  return fmt::format("UID:0x{:02X}",
                     table_.Table().Records[static_cast<size_t>(selected_)].Uid.Value());
}

std::optional<uint16_t> AddressingController::SelectedStart() const {
  if (!table_.Table().ValidRow(selected_)) return std::nullopt;
  return table_.Table().Records[static_cast<size_t>(selected_)].StartAddressIndex;
}

void AddressingController::FitCells(int width, int height) {
  if (height >= 353) map_.cellHeight = (22 * height - 7766) / 353 + 22;
  if (width >= 705) map_.cellWidth = (22 * width - 15510) / 705 + 22;
}

std::array<CellFill, kMapCells> AddressingController::Fill() {
  if (table_.Table().ValidRow(selected_))
    addressText_ = "Address:" + std::to_string(map_.cursor + 1);
  return FillCells(BlocksOf(table_.Table()), selected_, map_.cursor, true);
}

void AddressingController::Open() {
  list_.SortByStartAddress();
  RebuildRows();
}

void AddressingController::RebuildRows() {
  rows_.clear();
  const DeviceTable& t = table_.Table();
  for (int row = 0; row < t.DeviceCount; ++row) {
    const DeviceRecord& r = t.Records[static_cast<size_t>(row)];
    rows_.push_back({std::to_string(row + 1), StartAddressText(r.StartAddressIndex, false),
                     std::to_string(r.Footprint)});
  }
  selected_ = -1;
}

void AddressingController::Select(int row) {
  if (!table_.Table().ValidRow(row) || static_cast<size_t>(row) >= rows_.size()) return;
  selected_ = row;
  map_.cursor = table_.Table().Records[static_cast<size_t>(row)].StartAddressIndex;
}

bool AddressingController::Press(int x, int y) {
  log_.Add("RDM Start Address:" + std::to_string(map_.CellAt(x, y) + 1));
  const auto row = map_.RowAt(BlocksOf(table_.Table()), x, y);
  if (!row || static_cast<size_t>(*row) >= rows_.size()) return false;
  Select(*row);
  return true;
}

bool AddressingController::Drag(int x, int y, bool leftHeld) {
  if (!leftHeld || !table_.Table().ValidRow(selected_)) return false;
  return map_.Drag(BlocksOf(table_.Table()), selected_, x, y);
}

void AddressingController::Release() {
  if (!table_.Table().ValidRow(selected_)) return;
  table_.Table().Records[static_cast<size_t>(selected_)].StartAddressIndex = map_.cursor;
  rows_[static_cast<size_t>(selected_)].address = StartAddressText(map_.cursor, false);
}

void AddressingController::SendIdentify(int row, bool on) {
  if (!table_.Table().ValidRow(row)) return;
  DeviceRecord& r = table_.Table().Records[static_cast<size_t>(row)];
  r.IdentifyOn = on ? 1 : 0;
  operations_.SetIdentify(r.Uid, on);
}

void AddressingController::IdentifyPass() {
  for (int row = 0; row < static_cast<int>(rows_.size()); ++row) {
    if (flags_.Stopping()) break;
    SendIdentify(row, row == selected_);
  }
  // The list shows the identify states once, after the pass.
  list_.RefreshDeviceTable(false);
}

void AddressingController::WriteAll() {
  for (int row = 0; row < static_cast<int>(rows_.size()); ++row) {
    if (flags_.Stopping()) break;
    if (!table_.Table().ValidRow(row)) break;
    // To the device the row shows (not to whatever devnames.lst lists at that row).
    const DeviceRecord r = table_.Table().Records[static_cast<size_t>(row)];
    SetStart(operations_, r.Uid, r.StartAddressIndex, log_);
  }
  Open();
}

void AddressingController::CancelAll() {
  for (int row = 0; row < static_cast<int>(rows_.size()); ++row) {
    if (flags_.Stopping()) break;
    SendIdentify(row, false);
    SendIdentify(row, false);
  }
}

bool AddressingController::SavePlan(const std::string& path) {
  return WriteWhole(path, EncodeAddressPlan(RecordsOf(table_.Table(), reserved_.data())), log_);
}

bool AddressingController::LoadPlan(const std::string& path) {
  const auto taken = LoadRows(table_, path, DecodeAddressPlan, "Address plan", log_);
  if (!taken) return false;
  // The reserved words go back with the records that were taken.
  reserved_.fill(0);
  for (size_t row = 0; row < taken->size(); ++row) reserved_[row] = (*taken)[row].reserved;
  RebuildRows();
  return true;
}

std::string AddressingController::ToggleOddEven() {
  if (oddEvenCaption_ == "Odd") {
    oddEvenCaption_ = "Even";
    oddEvenPhase_ = 1;
  } else {
    oddEvenCaption_ = "Odd";
    oddEvenPhase_ = 0;
  }
  return oddEvenCaption_;
}

}  // namespace velquor::workbench
