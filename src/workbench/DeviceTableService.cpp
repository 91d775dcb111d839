// The device table: columns from UidList.ini, rows, devnames.lst and devnone.lst, sorting,
// moving and clearing.

#include "workbench/DeviceTableService.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <utility>

#include "common/Encoding.h"
#include "common/Files.h"
#include "common/Ini.h"
#include "common/Text.h"

namespace velquor::workbench {

namespace {

// A device new to the list: the first 256 rows start numbered as their row.
DeviceRecord NewDevice(rdm::Uid uid, int row) {
  DeviceRecord d;
  d.Uid = uid;
  if (row < 256) d.FixtureNumber = static_cast<uint16_t>(row + 1);
  return d;
}

}  // namespace

DeviceTableService::DeviceTableService(common::LogSink& log, ModelLock& models, std::string workDir,
                                       std::string programDir)
    : log_(log),
      models_(models),
      workDir_(std::move(workDir)),
      programDir_(std::move(programDir)) {}

DeviceTableSnapshot DeviceTableService::Snapshot() const {
  std::unique_lock<ModelLock> lock(models_, std::defer_lock);
  if (!models_.HeldByThisThread()) lock.lock();
  DeviceTableSnapshot snapshot;
  snapshot.selected = table_.SelectedRow();
  for (const DeviceRecord& r : table_.Devices) {
    const uint16_t address =
        r.StartAddressIndex == kNoStartAddressIndex ? 0 : r.StartAddressIndex + 1;
    snapshot.devices.push_back({r.Uid, address, r.Footprint, r.Label});
  }
  return snapshot;
}

std::string DeviceTableService::DevNamesPath() const {
  return common::PathIn(workDir_, "devnames.lst");
}
std::string DeviceTableService::DevNonePath() const {
  return common::PathIn(workDir_, "devnone.lst");
}

void DeviceTableService::BuildColumns() {
  std::string path = common::PathIn(programDir_, "UidList.ini");
  if (!common::FileExists(path)) return;
  std::string error;
  auto ini = common::IniFile::Load(path, error);
  if (!ini) {
    log_.Add("UidList.ini cannot be read: " + error);
    return;
  }
  struct ColumnDef {
    const char* captionKey;
    const char* caption;
    const char* widthKey;
    int width;
  };
  static constexpr ColumnDef kColumns[] = {
      {"UID", "UID", "UID_Width", 150},
      {"Address", "Addr", "Address_Width", 50},
      {"Footprint", "Chan", "Footprint_Width", 50},
      {"DeviceLabel", "Device Label", "DeviceLabel_Width", 130},
      {"Identify", "Identify", "Identify_Width", 80},
      {"ManufacturerLabel", "Manufacturer Label", "Manufacturer_Width", 150},
      {"DeviceModel", "Device Model", "DeviceModel_Width", 150},
      {"PersonalityDescription", "Personality Description", "PersonalityDescription_Width", 180},
      {"SoftwareVersion", "Software Version", "SoftwareVersion_Width", 150},
      {"SensorCount", "Sensor Count", "SensorCount_Width", 120},
  };
  columns_.clear();
  columns_.push_back({"No.", 30});
  for (const ColumnDef& c : kColumns) {
    columns_.push_back({ini->ReadString("General", c.captionKey, c.caption),
                        ini->ReadInteger("General", c.widthKey, c.width)});
  }
}

std::array<std::string, 11> DeviceTableService::RowCells(int row) const {
  const DeviceRecord& r = table_.Devices[static_cast<size_t>(row)];
  return {fmt::format("{}-{}", row + 1, r.FixtureNumber),
          "0x" + rdm::UidText12(r.Uid),
          StartAddressText(r.StartAddressIndex, true),
          fmt::format("{:03}", r.Footprint),
          r.Label,
          r.IdentifyOn != 0 ? "identify" : " ",
          r.ManufacturerLabel,
          r.DeviceModelDescription,
          r.PersonalityDescription,
          r.SoftwareVersionLabel,
          std::to_string(r.SensorCount)};
}

DeviceListView DeviceTableService::View() const {
  DeviceListView view;
  view.columns = columns_;
  for (int row = 0; row < table_.Count(); ++row) {
    view.rows.push_back(RowCells(row));
    view.uidChoices.items.push_back(fmt::format(
        "{} UID:0x{:02X}", row + 1, table_.Devices[static_cast<size_t>(row)].Uid.Value()));
  }
  view.selected = table_.SelectedRow();
  view.uidChoices.itemIndex = view.selected;
  return view;
}

void DeviceTableService::SelectRow(int row) {
  table_.Selected = table_.UidAt(row);
}

void DeviceTableService::Apply(const DeviceReading& reading) {
  DeviceRecord* r = table_.Find(reading.uid);
  if (!r) return;
  if (reading.info) {
    if (reading.info->footprint >= 1 && reading.info->footprint <= 512) {
      r->Footprint = reading.info->footprint;
      r->FootprintKnown = true;
    }
    r->SensorCount = reading.info->sensorCount;
  }
  if (reading.personalityFootprint) {
    r->Footprint = *reading.personalityFootprint;
    r->FootprintKnown = true;
  }
  if (reading.personalityDescription) r->PersonalityDescription = *reading.personalityDescription;
  if (reading.startAddress) {
    // 0xFFFF: the device has no DMX footprint, so no address (not 512).
    r->StartAddressIndex =
        *reading.startAddress == rdm::kNoStartAddress
            ? kNoStartAddressIndex
            : static_cast<uint16_t>(std::clamp<uint16_t>(*reading.startAddress, 1, 512) - 1);
    r->AddressKnown = true;
  }
  if (reading.manufacturer) r->ManufacturerLabel = *reading.manufacturer;
  if (reading.descriptionsAsked) {
    r->DeviceModelDescription = reading.model.value_or(kNoAnswerText);
    r->SoftwareVersionLabel = reading.software.value_or(kNoAnswerText);
  }
  if (reading.identify) r->IdentifyOn = *reading.identify ? 1 : 0;
  if (reading.lampState) r->LampState = *reading.lampState;
}

bool DeviceTableService::LoadNames(const std::string& path, DeviceNameList& into,
                                   bool missingIsEmpty) {
  if (missingIsEmpty && !common::PathExists(path)) {
    into.Clear();
    return true;
  }
  std::string error;
  auto text = common::ReadWholeFile(path, error);
  if (!text) {
    FileError("Fail to Open File!!! " + path + ": " + error);
    return false;
  }
  // A list written by a Chinese Windows install is GB18030; it is saved back as UTF-8.
  into = DeviceNameList::Parse(common::DecodeTextFile(*text));
  return true;
}

void DeviceTableService::SetAsideUnlisted(DeviceNameList& names, const std::string& file,
                                          std::vector<DeviceNameList::Entry>& unlisted) {
  // The kept entries are gathered rather than the others erased one by one, so a long file
  // of lines that are not devices loads in one pass.
  DeviceNameList kept;
  std::set<std::string> seen;
  size_t entry = 0;
  for (const DeviceNameList::Entry& e : names.Entries()) {
    ++entry;
    std::string problem = KeyProblem(e.key);
    if (problem.empty() && !seen.insert(e.key).second) problem = "lists a UID a second time";
    if (problem.empty() && kept.Count() >= static_cast<size_t>(MaxDevices)) {
      problem = fmt::format("is past the {} devices the table holds", MaxDevices);
    }
    if (problem.empty()) {
      kept.Append(e);
      continue;
    }
    log_.Add(fmt::format("{} entry {}: \"{}\" {}; kept in the file, not listed", file, entry, e.key,
                         problem));
    unlisted.push_back(e);
  }
  names = std::move(kept);
}

void DeviceTableService::Reload(bool withLogLines,
                                const std::function<void(rdm::Uid)>& eachDevice) {
  if (!common::FileExists(DevNamesPath())) {
    onDisk_.clear();
    return;
  }
  DeviceNameList names;
  if (!LoadNames(DevNamesPath(), names, false)) return;
  if (withLogLines) log_.Add("RDM Devices: " + std::to_string(names.Count()));
  std::vector<DeviceNameList::Entry> unlisted;
  SetAsideUnlisted(names, "devnames.lst", unlisted);
  RememberOnDisk(names);
  std::vector<DeviceRecord> devices;
  for (const DeviceNameList::Entry& e : names.Entries()) {
    const rdm::Uid uid = *UidFromKey(e.key);
    // A device keeps what its own record held; a device new to the list starts empty.
    const DeviceRecord* known = table_.Find(uid);
    DeviceRecord d = known ? *known : NewDevice(uid, static_cast<int>(devices.size()));
    d.Label = e.value;
    devices.push_back(std::move(d));
  }
  table_.Unlisted = std::move(unlisted);
  Replace(std::move(devices));
  for (size_t k = 0; k < table_.Devices.size(); ++k) {
    const rdm::Uid uid = table_.Devices[k].Uid;
    if (eachDevice) eachDevice(uid);
    if (withLogLines) log_.Add("_UID:0x" + rdm::UidText12(uid));
  }
}

void DeviceTableService::Replace(std::vector<DeviceRecord> devices) {
  if (devices.size() > static_cast<size_t>(MaxDevices)) devices.resize(MaxDevices);
  auto listed = [&devices](rdm::Uid uid) {
    return std::any_of(devices.begin(), devices.end(),
                       [uid](const DeviceRecord& d) { return d.Uid == uid; });
  };
  // A fixture the new list leaves out is still on the rig at its last address.
  for (DeviceRecord& d : table_.Devices) {
    if (!listed(d.Uid)) KeepOffList(std::move(d));
  }
  std::erase_if(table_.OffList, [&](const DeviceRecord& d) { return listed(d.Uid); });
  table_.Devices = std::move(devices);
  if (table_.Selected && !table_.Find(*table_.Selected)) table_.Selected.reset();
}

bool DeviceTableService::Append(DeviceRecord device) {
  if (const std::string problem = KeyProblem(NameKey(device.Uid)); !problem.empty()) {
    log_.Add(fmt::format("0x{} {}: not added", rdm::UidText(device.Uid), problem));
    return false;
  }
  if (table_.Find(device.Uid)) return false;
  if (table_.Count() >= MaxDevices) {
    log_.Add(fmt::format("The device table is full ({} devices): 0x{} is not added", MaxDevices,
                         rdm::UidText(device.Uid)));
    return false;
  }
  device.Label = LabelForFile(device.Label);
  std::erase_if(table_.OffList, [&device](const DeviceRecord& d) { return d.Uid == device.Uid; });
  if (device.FixtureNumber == 0)
    device.FixtureNumber = NewDevice(device.Uid, table_.Count()).FixtureNumber;
  table_.Devices.push_back(std::move(device));
  return true;
}

void DeviceTableService::KeepOffList(DeviceRecord device) {
  std::erase_if(table_.OffList, [&device](const DeviceRecord& d) { return d.Uid == device.Uid; });
  if (device.Footprint > 0 && device.StartAddressIndex != kNoStartAddressIndex) {
    table_.OffList.push_back(std::move(device));
  }
}

void DeviceTableService::RememberOnDisk(const DeviceNameList& names) {
  onDisk_.clear();
  for (const DeviceNameList::Entry& e : names.Entries()) {
    if (auto uid = UidFromKey(e.key); uid && KeyProblem(e.key).empty())
      onDisk_.try_emplace(*uid, e.value);
  }
}

void DeviceTableService::MergeOtherSaves() {
  if (!common::FileExists(DevNamesPath())) return;
  std::string error;
  auto text = common::ReadWholeFile(DevNamesPath(), error);
  if (!text) return;  // written anew from this program's list
  const DeviceNameList file = DeviceNameList::Parse(common::DecodeTextFile(*text));
  int taken = 0;
  std::set<rdm::Uid> inFile;
  for (const DeviceNameList::Entry& e : file.Entries()) {
    const auto uid = UidFromKey(e.key);
    // A second entry of a UID is kept in the file, never listed: only the first counts.
    if (!uid || !KeyProblem(e.key).empty() || !inFile.insert(*uid).second) continue;
    DeviceRecord* mine = table_.Find(*uid);
    const auto known = onDisk_.find(*uid);
    if (known == onDisk_.end()) {
      // Added by the other program (a device both added keeps this one's label).
      DeviceRecord added = NewDevice(*uid, table_.Count());
      added.Label = e.value;
      if (!mine && Append(std::move(added))) ++taken;
    } else if (mine && mine->Label == known->second && e.value != known->second) {
      mine->Label = LabelForFile(e.value);  // relabelled by the other program only
      ++taken;
    }
    // Listed when this program last saw the file and not now: this program removed it.
  }
  // Taken off the list by the other program, unchanged here since.
  taken += static_cast<int>(std::erase_if(table_.Devices, [&](const DeviceRecord& d) {
    const auto known = onDisk_.find(d.Uid);
    return known != onDisk_.end() && !inFile.contains(d.Uid) && d.Label == known->second;
  }));
  if (table_.Selected && !table_.Find(*table_.Selected)) table_.Selected.reset();
  if (taken > 0) {
    log_.Add(
        fmt::format("devnames.lst: {} entries another program saved meanwhile are kept", taken));
  }
}

bool DeviceTableService::Save() {
  common::FileLock lock(DevNamesPath() + ".lock", std::chrono::seconds(5));
  if (!lock.Held()) {
    FileError("Unable to write " + DevNamesPath() + ": " + lock.Error());
    return false;
  }
  MergeOtherSaves();
  std::string error;
  DeviceNameList file = table_.Names();
  for (const DeviceNameList::Entry& e : table_.Unlisted) file.Append(e);
  if (!common::WriteFileAtomic(DevNamesPath(), file.Text(), error)) {
    FileError("Unable to write " + DevNamesPath() + ": " + error);
    return false;
  }
  RememberOnDisk(file);
  return true;
}

void DeviceTableService::FileError(const std::string& line) {
  log_.Add(line);
  fileErrors_.push_back(line);
}

std::vector<std::string> DeviceTableService::TakeFileErrors() {
  return std::exchange(fileErrors_, {});
}

void DeviceTableService::SortBy(bool (*less)(const DeviceRecord&, const DeviceRecord&)) {
  // Stable: devices with equal keys keep their order.
  std::stable_sort(table_.Devices.begin(), table_.Devices.end(),
                   [less](const DeviceRecord& a, const DeviceRecord& b) { return less(a, b); });
  Save();
}

void DeviceTableService::SwapRows(int a, int b) {
  if (!table_.ValidRow(a) || !table_.ValidRow(b)) return;
  std::swap(table_.Devices[static_cast<size_t>(a)], table_.Devices[static_cast<size_t>(b)]);
  Save();
}

bool DeviceTableService::Clear() {
  log_.Add("ID List clear");
  table_.Devices.clear();
  table_.Selected.reset();
  DeviceNameList reset;
  if (!LoadNames(DevNonePath(), reset, true)) return false;
  table_.Unlisted.clear();  // a cleared list keeps nothing
  table_.OffList.clear();
  std::string error;
  common::FileLock lock(DevNamesPath() + ".lock", std::chrono::seconds(5));
  if (!common::RemoveFile(DevNamesPath(), error)) {
    FileError("Unable to delete " + DevNamesPath() + ": " + error);
  }
  onDisk_.clear();
  return true;
}

std::optional<rdm::Uid> DeviceTableService::SelectedUid(bool selectFirst) {
  if (!table_.Selected && selectFirst && table_.Count() > 0) table_.Selected = table_.UidAt(0);
  return table_.Selected;
}

}  // namespace velquor::workbench
