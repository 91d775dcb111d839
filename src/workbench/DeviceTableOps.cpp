// The device list: columns from UidList.ini, rows, devnames.lst and devnone.lst, sorting,
// moving, clearing and fixture numbers.

#include <fmt/format.h>

#include <algorithm>

#include "common/Files.h"
#include "common/Ini.h"
#include "common/Text.h"
#include "workbench/Workbench.h"

namespace velquor::workbench {

Workbench::Workbench(rdm::RdmEngine& engine, common::LogSink& log, common::Clock& clock,
                     std::string workDir, std::string programDir, WorkbenchHooks hooks)
    : engine_(engine),
      log_(log),
      clock_(clock),
      workDir_(std::move(workDir)),
      programDir_(std::move(programDir)),
      hooks_(std::move(hooks)) {
  engine_.SetConsoleSink([this](const std::string& line) { console_.History.push_back(line); });
}

void Workbench::Pump() {
  if (hooks_.pumpUi) hooks_.pumpUi();
}

std::string Workbench::DevNamesPath() const {
  return common::PathIn(workDir_, "devnames.lst");
}
std::string Workbench::DevNonePath() const {
  return common::PathIn(workDir_, "devnone.lst");
}

void Workbench::BuildColumns() {
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

std::array<std::string, 11> Workbench::RowCells(int row) const {
  const DeviceRecord& r = table_.Records[static_cast<size_t>(row)];
  return {fmt::format("{}-{}", row + 1, r.FixtureNumber),
          "0x" + rdm::UidText12(r.Uid),
          fmt::format("{:03}", r.StartAddressIndex + 1),
          fmt::format("{:03}", r.Footprint),
          table_.LabelOfRow(row),
          r.IdentifyOn != 0 ? "identify" : " ",
          r.ManufacturerLabel,
          r.DeviceModelDescription,
          r.PersonalityDescription,
          r.SoftwareVersionLabel,
          std::to_string(r.SensorCount)};
}

void Workbench::AddDeviceRow(int row) {
  row = std::max(row, 0);
  if (row >= MaxDevices) return;
  view_.rows.push_back(RowCells(row));
}

void Workbench::SelectRow(int row) {
  table_.SelectedRow = (row >= 0 && static_cast<size_t>(row) < view_.rows.size()) ? row : -1;
  view_.selected = table_.SelectedRow;
  if (table_.SelectedRow >= 0) panel_.ComboBox_UID.itemIndex = table_.SelectedRow;
}

bool Workbench::LoadNames(const std::string& path, DeviceNameList& into, bool missingIsEmpty) {
  if (missingIsEmpty && !common::PathExists(path)) {
    into.Clear();
    return true;
  }
  std::string error;
  auto text = common::ReadWholeFile(path, error);
  if (!text) {
    log_.Add("Fail to Open File!!! " + path + ": " + error);
    return false;
  }
  into = DeviceNameList::Parse(*text);
  return true;
}

void Workbench::ReloadTable(bool requery, bool withLogLines) {
  const int remembered = table_.SelectedRow;
  if (common::FileExists(DevNamesPath())) {
    DeviceNameList names;
    if (LoadNames(DevNamesPath(), names, false)) {
      view_.rows.clear();
      table_.Names = std::move(names);
      size_t n = table_.Names.Count();
      if (withLogLines) log_.Add("RDM Devices: " + std::to_string(n));
      if (n > static_cast<size_t>(MaxDevices)) {
        log_.Add(fmt::format("devnames.lst lists {} devices; the table holds the first {}", n,
                             MaxDevices));
        n = MaxDevices;
      }
      table_.DeviceCount = 0;
      for (size_t k = 0; k < n; ++k) {
        const std::string& key = table_.Names.At(k).key;
        auto uid = UidFromKey(key);
        if (!uid) {
          log_.Add(
              fmt::format("devnames.lst line {}: \"{}\" is not a hexadecimal UID; loading "
                          "stopped there",
                          k + 1, key));
          break;
        }
        const int row = static_cast<int>(k);
        table_.Records[k].Uid = *uid;
        if (requery) {
          GetIdentify(*uid, row);
          GetDeviceInfo(*uid, row);
        }
        if (withLogLines) log_.Add("_UID:0x" + rdm::UidText12(*uid));
        AddDeviceRow(row);
        table_.DeviceCount = row + 1;
      }
    }
  }
  SelectRow(remembered);
}

void Workbench::LoadDeviceTable(bool requery) {
  ReloadTable(requery, true);
}

void Workbench::RefreshDeviceTable(bool requery) {
  ReloadTable(false, false);
  // The selected row alone is asked again, so that a moved or renumbered fixture shows
  // its current state. Its label stays as the list has it: the label field may hold text
  // read from or typed for another device.
  const int s = table_.SelectedRow;
  if (requery && table_.ValidRow(s)) {
    const rdm::Uid uid = table_.Records[static_cast<size_t>(s)].Uid;
    GetIdentify(uid, s);
    GetDeviceInfo(uid, s);
    view_.rows[static_cast<size_t>(s)] = RowCells(s);
  }
}

bool Workbench::SaveDeviceNames() {
  std::string error;
  if (!common::WriteFileAtomic(DevNamesPath(), table_.Names.Text(), error)) {
    log_.Add("Unable to write " + DevNamesPath() + ": " + error);
    return false;
  }
  return true;
}

void Workbench::RebuildUidChoices() {
  panel_.ComboBox_UID.Clear();
  for (int k = 0; k < table_.DeviceCount; ++k) {
    panel_.ComboBox_UID.items.push_back(
        fmt::format("{} UID:0x{:02X}", k + 1, table_.Records[static_cast<size_t>(k)].Uid));
  }
  if (table_.DeviceCount != 0) panel_.EditEnd = std::to_string(table_.DeviceCount);
}

std::vector<std::string> Workbench::RowLabels() const {
  std::vector<std::string> labels(static_cast<size_t>(table_.DeviceCount));
  for (int k = 0; k < table_.DeviceCount; ++k) {
    const rdm::Uid uid = table_.Records[static_cast<size_t>(k)].Uid;
    labels[static_cast<size_t>(k)] = table_.Names.Value(NameKey(uid)).value_or("");
  }
  return labels;
}

void Workbench::RebuildNamesAndSave(const std::vector<std::string>& labels) {
  table_.Names.Clear();
  for (int k = 0; k < table_.DeviceCount; ++k) {
    table_.Names.Set(NameKey(table_.Records[static_cast<size_t>(k)].Uid),
                     labels[static_cast<size_t>(k)]);
  }
  SaveDeviceNames();
}

// Whole records move, each label with its own UID, and the list follows the new order.
template <class Less>
void Workbench::Reorder(Less less) {
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

void Workbench::SortByFixtureNumber() {
  Reorder([](const DeviceRecord& a, const DeviceRecord& b) {
    return a.FixtureNumber < b.FixtureNumber;
  });
  LoadDeviceTable(false);
}

void Workbench::SortByStartAddress() {
  Reorder([](const DeviceRecord& a, const DeviceRecord& b) {
    return a.StartAddressIndex < b.StartAddressIndex;
  });
  LoadDeviceTable(false);
}

void Workbench::SwapRows(int a, int b) {
  std::vector<std::string> labels = RowLabels();
  std::swap(table_.Records[static_cast<size_t>(a)], table_.Records[static_cast<size_t>(b)]);
  std::swap(labels[static_cast<size_t>(a)], labels[static_cast<size_t>(b)]);
  RebuildNamesAndSave(labels);
}

void Workbench::MoveSelectedUp() {
  const int s = table_.SelectedRow;
  if (s < 1 || s >= table_.DeviceCount) {
    log_.Add("UP On the top ");
    return;
  }
  SwapRows(s, s - 1);
  table_.SelectedRow = s - 1;
  RefreshDeviceTable(true);
  SelectRow(s - 1);
  log_.Add("UP Success ");
}

void Workbench::MoveSelectedDown() {
  const int s = table_.SelectedRow;
  if (s < 0 || s + 1 >= table_.DeviceCount) {
    log_.Add("Down On the bottom ");
    return;
  }
  SwapRows(s, s + 1);
  table_.SelectedRow = s + 1;
  RefreshDeviceTable(true);
  SelectRow(s + 1);
  log_.Add("Down Success ");
}

void Workbench::ClearDeviceList() {
  view_.rows.clear();
  log_.Add("ID List clear");
  table_.DeviceCount = 0;
  SelectRow(-1);
  DeviceNameList reset;
  if (!LoadNames(DevNonePath(), reset, true)) return;
  table_.Names = std::move(reset);
  std::string error;
  if (!common::RemoveFile(DevNamesPath(), error)) {
    log_.Add("Unable to delete " + DevNamesPath() + ": " + error);
  }
  RebuildUidChoices();
}

void Workbench::SetFixtureNumber(const std::string& text) {
  if (table_.SelectedRow < 0 || table_.SelectedRow >= MaxDevices) return;
  auto value = common::ParseUnsigned("0" + text);
  if (!value || text.find_first_not_of("0123456789") != std::string::npos) {
    log_.Add("'" + text + "' is not a valid integer value");
    return;
  }
  table_.Records[static_cast<size_t>(table_.SelectedRow)].FixtureNumber =
      static_cast<uint16_t>(*value);
  RefreshDeviceTable(true);
}

}  // namespace velquor::workbench
