#include "workbench/MapControllers.h"

#include <fmt/format.h>

#include <algorithm>

#include "common/Files.h"
#include "rdm/Decoders.h"
#include "rdm/KnownPids.h"

namespace velquor::workbench {

namespace pid = rdm::pid;

namespace {

std::vector<PlanRecord> RecordsOf(const DeviceTable& t) {
  std::vector<PlanRecord> records;
  for (const DeviceRecord& r : t.Devices) {
    records.push_back({r.Uid, r.StartAddressIndex, r.Footprint, r.PlanReserved});
  }
  return records;
}

// Every listed device with the address its map block stands at (none without a footprint).
std::vector<AddressAssignment> MapTargets(const DeviceTable& t) {
  std::vector<AddressAssignment> targets;
  for (const DeviceRecord& r : t.Devices) {
    std::optional<uint16_t> address;
    if (r.StartAddressIndex != kNoStartAddressIndex) {
      address = StartAddressToSend(int64_t{r.StartAddressIndex} + 1);
    }
    targets.push_back({r.Uid, address});
  }
  return targets;
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

// Each target its address, as the window showed it when the write was asked for.
void WriteTargets(DeviceOperations& operations, std::span<const AddressAssignment> targets,
                  const CommandFlags& flags, common::LogSink& log) {
  for (const AddressAssignment& target : targets) {
    if (flags.Stopping()) break;
    if (!target.address) {
      log.Add(fmt::format("0x{} has no DMX footprint: no start address sent",
                          rdm::UidText(target.uid)));
      continue;
    }
    const uint16_t a = *target.address;
    operations.Transact({rdm::SET_COMMAND,
                         pid::DMX_START_ADDRESS,
                         {static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)}},
                        target.uid);
  }
}

}  // namespace

std::vector<PlanRecord> ReplaceRows(DeviceTableService& service,
                                    std::span<const PlanRecord> records, const std::string& file,
                                    common::LogSink& log) {
  const DeviceTable& t = service.Table();
  std::vector<DeviceRecord> devices;
  std::vector<PlanRecord> taken;
  for (size_t k = 0; k < records.size() && devices.size() < static_cast<size_t>(MaxDevices); ++k) {
    const rdm::Uid uid = records[k].uid;
    const std::string key = NameKey(uid);
    const std::string problem = KeyProblem(key);
    const bool twice = std::any_of(devices.begin(), devices.end(),
                                   [&](const DeviceRecord& d) { return d.Uid == uid; });
    if (!problem.empty() || twice) {
      log.Add(fmt::format("{}: record {} ({}) skipped: {}", file, k + 1, key,
                          problem.empty() ? "the UID is listed already" : problem));
      continue;
    }
    // A device the list knew keeps its label and what it answered; the file gives its place.
    const DeviceRecord* known = t.Find(uid);
    DeviceRecord d = known ? *known : DeviceRecord{};
    d.Uid = uid;
    d.StartAddressIndex = records[k].startIndex;
    d.Footprint = records[k].footprint;
    d.AddressKnown = d.FootprintKnown = true;
    d.FixtureNumber = static_cast<uint16_t>(devices.size() + 1);
    d.PlanReserved = records[k].reserved;
    devices.push_back(std::move(d));
    taken.push_back(records[k]);
  }
  service.Replace(std::move(devices));
  service.Table().Selected.reset();
  // devnames.lst follows, so a reload finds the same devices, each with its own values.
  service.Save();
  return taken;
}

// ---------------------------------------------------------------- the Patch page

PatchPageController::PatchPageController(DeviceTableService& table, DeviceOperations& operations,
                                         DeviceListController& list, common::LogSink& log,
                                         const CommandFlags& flags)
    : table_(table), operations_(operations), list_(list), log_(log), flags_(flags) {}

std::array<CellFill, kMapCells> PatchPageController::Fill() {
  const DeviceTable& t = table_.Table();
  if (t.SelectedRow() >= 0) cursorText_ = std::to_string(map_.cursor + 1);
  const auto blocks = BlocksOf(t);
  return FillCells(blocks, t.SelectedRow(), map_.cursor, false);
}

void PatchPageController::RowClicked(int row) {
  const DeviceTable& t = table_.Table();
  if (t.ValidRow(row)) map_.cursor = t.Devices[static_cast<size_t>(row)].StartAddressIndex;
}

bool PatchPageController::Press(int x, int y) {
  const auto row = map_.RowAt(BlocksOf(table_.Table()), x, y);
  if (!row) return false;
  table_.SelectRow(*row);
  // A press without a drag leaves the device where it is: the cursor starts at its address.
  map_.cursor = table_.Table().Devices[static_cast<size_t>(*row)].StartAddressIndex;
  return true;
}

bool PatchPageController::Drag(int x, int y, bool leftHeld) {
  const DeviceTable& t = table_.Table();
  if (!leftHeld || t.SelectedRow() < 0) return false;
  return map_.Drag(BlocksOf(t), t.SelectedRow(), x, y);
}

void PatchPageController::Release() {
  // The map is an edit of the list: nothing is sent, Write does that.
  if (DeviceRecord* d = table_.Table().SelectedDevice()) {
    d->StartAddressIndex = map_.cursor;
    d->AddressKnown = true;
  }
}

void PatchPageController::Read(bool rebuildList) {
  std::vector<rdm::Uid> devices;
  for (const DeviceRecord& d : table_.Table().Devices) devices.push_back(d.Uid);
  for (rdm::Uid uid : devices) {
    if (flags_.Stopping()) break;
    const rdm::RdmAnswer a = operations_.Transact({rdm::GET_COMMAND, pid::DEVICE_INFO, {}}, uid);
    if (!operations_.Acked(a, pid::DEVICE_INFO, uid)) continue;
    const auto info = rdm::DecodeDeviceInfo(a.Data());
    DeviceRecord* r = table_.Table().Find(uid);
    if (!info || !r) continue;  // too short, or no longer listed: nothing changes
    r->Footprint = info->footprint;
    r->StartAddressIndex =
        info->startAddress == rdm::kNoStartAddress
            ? kNoStartAddressIndex
            : static_cast<uint16_t>(std::clamp<int>(info->startAddress, 1, 512) - 1);
    r->AddressKnown = r->FootprintKnown = true;
  }
  table_.SelectRow(-1);
  if (rebuildList) list_.LoadDeviceTable(false);
}

std::vector<AddressAssignment> PatchPageController::WriteOrder() const {
  return MapTargets(table_.Table());
}

void PatchPageController::Write(std::span<const AddressAssignment> targets, bool rebuildList) {
  WriteTargets(operations_, targets, flags_, log_);
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

const DeviceRecord* AddressingController::SelectedDevice() const {
  return selected_ ? table_.Table().Find(*selected_) : nullptr;
}

int AddressingController::Selected() const {
  return selected_ ? table_.Table().RowOf(*selected_) : -1;
}

std::string AddressingController::UidText() const {
  const DeviceRecord* d = SelectedDevice();
  if (!d) return "UID:666612345678";
  return fmt::format("UID:0x{:02X}", d->Uid.Value());
}

std::optional<uint16_t> AddressingController::SelectedStart() const {
  const DeviceRecord* d = SelectedDevice();
  if (!d) return std::nullopt;
  return d->StartAddressIndex;
}

void AddressingController::FitCells(int width, int height) {
  if (height >= 353) map_.cellHeight = (22 * height - 7766) / 353 + 22;
  if (width >= 705) map_.cellWidth = (22 * width - 15510) / 705 + 22;
}

std::array<CellFill, kMapCells> AddressingController::Fill() {
  if (SelectedDevice()) addressText_ = "Address:" + std::to_string(map_.cursor + 1);
  return FillCells(BlocksOf(table_.Table()), Selected(), map_.cursor, true);
}

void AddressingController::Open() {
  list_.SortByStartAddress();
  selected_.reset();
}

std::vector<AddressingController::Row> AddressingController::Rows() const {
  std::vector<Row> rows;
  const DeviceTable& t = table_.Table();
  for (int row = 0; row < t.Count(); ++row) {
    const DeviceRecord& r = t.Devices[static_cast<size_t>(row)];
    rows.push_back({std::to_string(row + 1), StartAddressText(r.StartAddressIndex, false),
                    std::to_string(r.Footprint), r.Label});
  }
  return rows;
}

void AddressingController::Select(int row) {
  const auto uid = table_.Table().UidAt(row);
  if (!uid) return;
  selected_ = uid;
  map_.cursor = table_.Table().Devices[static_cast<size_t>(row)].StartAddressIndex;
}

bool AddressingController::Press(int x, int y) {
  log_.Add("RDM Start Address:" + std::to_string(map_.CellAt(x, y) + 1));
  const auto row = map_.RowAt(BlocksOf(table_.Table()), x, y);
  if (!row) return false;
  Select(*row);
  return true;
}

bool AddressingController::Drag(int x, int y, bool leftHeld) {
  if (!leftHeld || !SelectedDevice()) return false;
  return map_.Drag(BlocksOf(table_.Table()), Selected(), x, y);
}

void AddressingController::Release() {
  if (selected_) {
    if (DeviceRecord* d = table_.Table().Find(*selected_)) {
      d->StartAddressIndex = map_.cursor;
      d->AddressKnown = true;
    }
  }
}

void AddressingController::IdentifyPass() {
  std::vector<rdm::Uid> devices;
  for (const DeviceRecord& d : table_.Table().Devices) devices.push_back(d.Uid);
  for (rdm::Uid uid : devices) {
    if (flags_.Stopping()) break;
    SendIdentify(uid, uid == selected_);
  }
  // The list shows the identify states once, after the pass.
  list_.RefreshDeviceTable(false);
}

void AddressingController::SendIdentify(rdm::Uid uid, bool on) {
  if (DeviceRecord* r = table_.Table().Find(uid)) r->IdentifyOn = on ? 1 : 0;
  operations_.SetIdentify(uid, on);
}

std::vector<AddressAssignment> AddressingController::WriteOrder() const {
  return MapTargets(table_.Table());
}

void AddressingController::WriteAll(std::span<const AddressAssignment> targets) {
  WriteTargets(operations_, targets, flags_, log_);
  Open();
}

void AddressingController::CancelAll() {
  std::vector<rdm::Uid> devices;
  for (const DeviceRecord& d : table_.Table().Devices) devices.push_back(d.Uid);
  for (rdm::Uid uid : devices) {
    if (flags_.Stopping()) break;
    SendIdentify(uid, false);
    SendIdentify(uid, false);
  }
}

bool AddressingController::SavePlan(const std::string& path) {
  return WriteWhole(path, EncodeAddressPlan(RecordsOf(table_.Table())), log_);
}

bool AddressingController::LoadPlan(const std::string& path) {
  if (!LoadRows(table_, path, DecodeAddressPlan, "Address plan", log_)) return false;
  selected_.reset();
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
