#pragma once
// The one owner of the device list: the devices keyed by UID, devnames.lst and devnone.lst,
// the list's columns from UidList.ini and the rows it shows. Commands work
// on it under the model lock; other threads (the Art-Net bridge answering a request for the
// table of devices) take a snapshot.

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/Log.h"
#include "workbench/DeviceOperations.h"
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
  // The list as the window shows it, computed from the devices.
  DeviceListView View() const;
  // Takes the model lock unless this thread holds it already.
  DeviceTableSnapshot Snapshot() const;

  std::string DevNamesPath() const;
  std::string DevNonePath() const;
  // Reads a name list; a missing file reads as empty when `missingIsEmpty`. False (with a
  // log line) when it cannot be read.
  bool LoadNames(const std::string& path, DeviceNameList& into, bool missingIsEmpty);
  // Moves the entries of `names` that stand for no device (see DeviceTable::Unlisted) to
  // `unlisted`, each with a log line naming `file` and the entry.
  void SetAsideUnlisted(DeviceNameList& names, const std::string& file,
                        std::vector<DeviceNameList::Entry>& unlisted);
  // Writes devnames.lst whole (the devices, then the kept entries); false (with a log line)
  // when it cannot. Another program (the window and velquor-cli) may have saved it since this
  // one last read or wrote it: under a lock on devnames.lst.lock, the file is read again and
  // what the other changed is merged in first (a label only it changed, a device only it
  // added or removed); this program's own changes win for their UIDs. A file deleted
  // meanwhile is written anew from this program's list.
  bool Save();
  // The file failures (a list not readable, not writable) since the last call, each as its
  // log line; empty when there were none.
  std::vector<std::string> TakeFileErrors();

  void BuildColumns();
  std::array<std::string, 11> RowCells(int row) const;

  // What a device answered goes into its own record; nothing when it is not listed.
  void Apply(const DeviceReading& reading);
  // The list again from devnames.lst: a new list of the file's devices, in its order, each
  // keeping what its own UID's record held, replaces the old one in one step. `eachDevice`
  // runs for each listed device afterwards (to ask it for its state); a stop ends the
  // asking, not the list.
  void Reload(bool withLogLines, const std::function<void(rdm::Uid)>& eachDevice);
  // The list becomes `devices` in one step; the selection stays with its UID if listed. A
  // device the new list leaves out is kept off the list with its block, for address checks.
  void Replace(std::vector<DeviceRecord> devices);
  // A search of the whole line has ended: what it did not find is not on the rig.
  void ForgetOffList() { table_.OffList.clear(); }
  // Appends a device not yet listed; false (with a log line) when it cannot be listed.
  bool Append(DeviceRecord device);
  void SelectRow(int row);
  // Whole records move, each label with its own UID; the list is saved.
  void SortBy(bool (*less)(const DeviceRecord&, const DeviceRecord&));
  void SwapRows(int a, int b);
  // Empties the list and deletes devnames.lst; false when devnone.lst cannot be read (the
  // list is empty, devnames.lst stays).
  bool Clear();

  // The selected device's UID; with `selectFirst`, the first row is selected when none is.
  std::optional<rdm::Uid> SelectedUid(bool selectFirst);

 private:
  void FileError(const std::string& line);
  void KeepOffList(DeviceRecord device);
  void MergeOtherSaves();
  void RememberOnDisk(const DeviceNameList& names);

  common::LogSink& log_;
  ModelLock& models_;
  std::string workDir_;
  std::string programDir_;
  DeviceTable table_;
  std::vector<Column> columns_;
  std::vector<std::string> fileErrors_;
  // devnames.lst's devices as this program last read or wrote it, label by UID.
  std::map<rdm::Uid, std::string> onDisk_;
};

}  // namespace velquor::workbench
