// The device table: columns from UidList.ini, rows, devnames.lst and devnone.lst, sorting,
// moving and clearing.

#include "workbench/DeviceTableService.h"

#include <fmt/format.h>

#include <algorithm>
#include <set>
#include <utility>

#include "common/Encoding.h"
#include "common/Files.h"
#include "common/Ini.h"
#include "common/Text.h"

namespace velquor::workbench {

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
  snapshot.selected = table_.SelectedRow;
  for (int row = 0; row < table_.DeviceCount; ++row) {
    const DeviceRecord& r = table_.Records[static_cast<size_t>(row)];
    const uint16_t address =
        r.StartAddressIndex == kNoStartAddressIndex ? 0 : r.StartAddressIndex + 1;
    snapshot.devices.push_back({r.Uid, address, r.Footprint, table_.LabelOfRow(row)});
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
  view_.rows.clear();
  view_.columns.clear();
  view_.columns.push_back({"No.", 30});
  for (const ColumnDef& c : kColumns) {
    view_.columns.push_back({ini->ReadString("General", c.captionKey, c.caption),
                             ini->ReadInteger("General", c.widthKey, c.width)});
  }
}

std::array<std::string, 11> DeviceTableService::RowCells(int row) const {
  const DeviceRecord& r = table_.Records[static_cast<size_t>(row)];
  return {fmt::format("{}-{}", row + 1, r.FixtureNumber),
          "0x" + rdm::UidText12(r.Uid),
          StartAddressText(r.StartAddressIndex, true),
          fmt::format("{:03}", r.Footprint),
          table_.LabelOfRow(row),
          r.IdentifyOn != 0 ? "identify" : " ",
          r.ManufacturerLabel,
          r.DeviceModelDescription,
          r.PersonalityDescription,
          r.SoftwareVersionLabel,
          std::to_string(r.SensorCount)};
}

void DeviceTableService::AddRow(int row) {
  row = std::max(row, 0);
  if (row >= MaxDevices) return;
  view_.rows.push_back(RowCells(row));
}

void DeviceTableService::UpdateRow(int row) {
  if (row >= 0 && static_cast<size_t>(row) < view_.rows.size() && row < MaxDevices) {
    view_.rows[static_cast<size_t>(row)] = RowCells(row);
  }
}

void DeviceTableService::SelectRow(int row) {
  table_.SelectedRow = (row >= 0 && static_cast<size_t>(row) < view_.rows.size()) ? row : -1;
  view_.selected = table_.SelectedRow;
  if (table_.SelectedRow >= 0) view_.uidChoices.itemIndex = table_.SelectedRow;
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

void DeviceTableService::SetAsideUnlisted(DeviceNameList& names, const std::string& file) {
  std::set<std::string> seen;
  size_t entry = 0;
  for (size_t k = 0; k < names.Count();) {
    ++entry;
    const DeviceNameList::Entry e = names.At(k);
    std::string problem = KeyProblem(e.key);
    if (problem.empty() && !seen.insert(e.key).second) problem = "lists a UID a second time";
    if (problem.empty() && k >= static_cast<size_t>(MaxDevices)) {
      problem = fmt::format("is past the {} devices the table holds", MaxDevices);
    }
    if (problem.empty()) {
      ++k;
      continue;
    }
    log_.Add(fmt::format("{} entry {}: \"{}\" {}; kept in the file, not listed", file, entry, e.key,
                         problem));
    table_.Unlisted.push_back(e);
    names.RemoveAt(k);
  }
}

void DeviceTableService::Reload(bool withLogLines,
                                const std::function<void(rdm::Uid, int)>& eachRow) {
  const int remembered = table_.SelectedRow;
  if (common::FileExists(DevNamesPath())) {
    DeviceNameList names;
    if (LoadNames(DevNamesPath(), names, false)) {
      view_.rows.clear();
      if (withLogLines) log_.Add("RDM Devices: " + std::to_string(names.Count()));
      table_.Unlisted.clear();
      SetAsideUnlisted(names, "devnames.lst");
      table_.Names = std::move(names);
      table_.DeviceCount = 0;
      for (size_t k = 0; k < table_.Names.Count(); ++k) {
        const rdm::Uid uid = *UidFromKey(table_.Names.At(k).key);
        const int row = static_cast<int>(k);
        table_.Records[k].Uid = uid;
        if (eachRow) eachRow(uid, row);
        if (withLogLines) log_.Add("_UID:0x" + rdm::UidText12(uid));
        AddRow(row);
        table_.DeviceCount = row + 1;
      }
    }
  }
  SelectRow(remembered);
}

bool DeviceTableService::Save() {
  std::string error;
  DeviceNameList file = table_.Names;
  for (const DeviceNameList::Entry& e : table_.Unlisted) file.Append(e);
  if (!common::WriteFileAtomic(DevNamesPath(), file.Text(), error)) {
    FileError("Unable to write " + DevNamesPath() + ": " + error);
    return false;
  }
  return true;
}

void DeviceTableService::RebuildUidChoices() {
  view_.uidChoices.Clear();
  for (int k = 0; k < table_.DeviceCount; ++k) {
    view_.uidChoices.items.push_back(
        fmt::format("{} UID:0x{:02X}", k + 1, table_.Records[static_cast<size_t>(k)].Uid.Value()));
  }
}

void DeviceTableService::FileError(const std::string& line) {
  log_.Add(line);
  fileErrors_.push_back(line);
}

std::vector<std::string> DeviceTableService::TakeFileErrors() {
  return std::exchange(fileErrors_, {});
}

std::vector<std::string> DeviceTableService::RowLabels() const {
  std::vector<std::string> labels(static_cast<size_t>(table_.DeviceCount));
  for (int k = 0; k < table_.DeviceCount; ++k) {
    const rdm::Uid uid = table_.Records[static_cast<size_t>(k)].Uid;
    labels[static_cast<size_t>(k)] = table_.Names.Value(NameKey(uid)).value_or("");
  }
  return labels;
}

void DeviceTableService::RebuildNamesAndSave(const std::vector<std::string>& labels) {
  table_.Names.Clear();
  for (int k = 0; k < table_.DeviceCount; ++k) {
    table_.Names.Set(NameKey(table_.Records[static_cast<size_t>(k)].Uid),
                     labels[static_cast<size_t>(k)]);
  }
  Save();
}

void DeviceTableService::SortBy(bool (*less)(const DeviceRecord&, const DeviceRecord&)) {
  const int rows = std::min<int>(static_cast<int>(view_.rows.size()), table_.DeviceCount);
  std::vector<std::string> labels = RowLabels();
  for (int p = 0; p + 1 < rows; ++p) {
    for (int j = 0; j + p + 1 < rows; ++j) {
      auto& a = table_.Records[static_cast<size_t>(j)];
      auto& b = table_.Records[static_cast<size_t>(j + 1)];
      if (less(b, a)) {
        std::swap(a, b);
        std::swap(labels[static_cast<size_t>(j)], labels[static_cast<size_t>(j + 1)]);
      }
    }
  }
  RebuildNamesAndSave(labels);
}

void DeviceTableService::SwapRows(int a, int b) {
  std::vector<std::string> labels = RowLabels();
  std::swap(table_.Records[static_cast<size_t>(a)], table_.Records[static_cast<size_t>(b)]);
  std::swap(labels[static_cast<size_t>(a)], labels[static_cast<size_t>(b)]);
  RebuildNamesAndSave(labels);
}

void DeviceTableService::Clear() {
  view_.rows.clear();
  log_.Add("ID List clear");
  table_.DeviceCount = 0;
  SelectRow(-1);
  DeviceNameList reset;
  if (!LoadNames(DevNonePath(), reset, true)) return;
  SetAsideUnlisted(reset, "devnone.lst");  // named in the log
  table_.Unlisted.clear();                 // a cleared list keeps nothing
  table_.Names = std::move(reset);
  std::string error;
  if (!common::RemoveFile(DevNamesPath(), error)) {
    FileError("Unable to delete " + DevNamesPath() + ": " + error);
  }
  RebuildUidChoices();
}

std::optional<rdm::Uid> DeviceTableService::UidOfListedRow(int row) {
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

std::optional<rdm::Uid> DeviceTableService::SelectedUid(bool selectFirst) {
  if (table_.SelectedRow < 0 && selectFirst && table_.DeviceCount > 0) {
    table_.SelectedRow = 0;
    view_.selected = 0;
  }
  return UidOfListedRow(table_.SelectedRow);
}

}  // namespace velquor::workbench
