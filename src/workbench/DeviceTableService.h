#pragma once
// The one owner of the device table: the records, devnames.lst and devnone.lst beside the
// program's data, the list's columns from UidList.ini and the rows it shows. Commands work
// on it under the model lock; other threads (the Art-Net bridge answering a request for the
// table of devices) take a snapshot.

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/Log.h"
#include "workbench/DevicePanelModel.h"
#include "workbench/DeviceTable.h"
#include "workbench/ModelLock.h"

namespace velquor::workbench {

struct Column {
  std::string caption;
  int width = 0;
};

// What the device list shows: its columns and one row of eleven cells per device, and the
// hidden list of UIDs beside it (ComboBox_UID).
struct DeviceListView {
  std::vector<Column> columns;
  std::vector<std::array<std::string, 11>> rows;
  int selected = -1;
  ChoiceList uidChoices;
};

// A consistent copy of the table for another thread.
struct DeviceTableSnapshot {
  struct Device {
    rdm::Uid uid;
    uint16_t startAddress = 0;  // 1..512; 0: no DMX footprint
    uint16_t footprint = 0;
    std::string label;
  };
  std::vector<Device> devices;
  int selected = -1;
};

class DeviceTableService {
 public:
  DeviceTableService(common::LogSink& log, ModelLock& models, std::string workDir,
                     std::string programDir);

  DeviceTable& Table() { return table_; }
  const DeviceTable& Table() const { return table_; }
  DeviceListView& View() { return view_; }
  const DeviceListView& View() const { return view_; }
  // Takes the model lock unless this thread holds it already.
  DeviceTableSnapshot Snapshot() const;

  std::string DevNamesPath() const;
  std::string DevNonePath() const;
  // Reads a name list; a missing file reads as empty when `missingIsEmpty`. False (with a
  // log line) when it cannot be read.
  bool LoadNames(const std::string& path, DeviceNameList& into, bool missingIsEmpty);
  // Moves the entries of `names` that stand for no row (see DeviceTable::Unlisted) to the
  // table's kept entries, each with a log line naming `file` and the entry.
  void SetAsideUnlisted(DeviceNameList& names, const std::string& file);
  // Writes devnames.lst whole (the rows, then the kept entries); false (with a log line)
  // when it cannot.
  bool Save();
  // The file failures (a list not readable, not writable) since the last call, each as its
  // log line; empty when there were none.
  std::vector<std::string> TakeFileErrors();

  void BuildColumns();
  std::array<std::string, 11> RowCells(int row) const;
  void AddRow(int row);
  void UpdateRow(int row);
  void SelectRow(int row);
  void RebuildUidChoices();

  // Rows again from devnames.lst. `eachRow` runs for each listed device before its row is
  // shown (to ask it for its state); a stop ends the asking, not the list.
  void Reload(bool withLogLines, const std::function<void(rdm::Uid, int)>& eachRow);
  // Whole records move, each label with its own UID; the list follows and is saved.
  void SortBy(bool (*less)(const DeviceRecord&, const DeviceRecord&));
  void SwapRows(int a, int b);
  // Empties the table, devnames.lst goes, the names start again from devnone.lst.
  void Clear();

  // The UID of a listed row, read from its key and stored into the row's record.
  std::optional<rdm::Uid> UidOfListedRow(int row);
  // The selected row's UID; with `selectFirst`, the first row is selected when none is.
  std::optional<rdm::Uid> SelectedUid(bool selectFirst);

 private:
  std::vector<std::string> RowLabels() const;
  void RebuildNamesAndSave(const std::vector<std::string>& labels);
  void FileError(const std::string& line);

  common::LogSink& log_;
  ModelLock& models_;
  std::string workDir_;
  std::string programDir_;
  DeviceTable table_;
  DeviceListView view_;
  std::vector<std::string> fileErrors_;
};

}  // namespace velquor::workbench
