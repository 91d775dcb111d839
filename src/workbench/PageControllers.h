#pragma once
// One controller per page of the main window: each turns the page's edit texts and choices
// into typed device operations, with the page's checks and log lines. Handlers named after a
// control are the window's slots; the window runs those that reach the line as commands on
// the line's executor.

#include <optional>
#include <string>

#include "common/Clock.h"
#include "common/Log.h"
#include "workbench/Console.h"
#include "workbench/DeviceOperations.h"
#include "workbench/DeviceTableService.h"
#include "workbench/Discovery.h"

namespace velquor::workbench {

// Row k of firstRow..lastRow gets startAddress + (k - firstRow) * increment (clamped to
// 1..512) and the personality if one is given; then the list is read again.
struct BatchPlan {
  std::optional<int64_t> startAddress;  // nothing: no address is sent
  int64_t logAddress = 0;               // as the log line shows it
  int64_t increment = 0;
  int64_t firstRow = 0;  // table rows, from 0
  int64_t lastRow = 0;
  std::optional<uint8_t> personality;
};

// The device list beside every page: loading, re-reading, ordering, clearing, numbering,
// and batch addressing of its rows.
class DeviceListController {
 public:
  DeviceListController(DeviceTableService& table, DeviceOperations& operations,
                       DevicePanelModel& panel, common::LogSink& log, const CommandFlags& flags);

  // Rows from devnames.lst; with `requery` each device is asked for its identify state and
  // device info (a stop ends the asking, the rows stay).
  void LoadDeviceTable(bool requery);
  // The start-up load: every listed device asked, the UID list and last fixture set.
  void LoadAtStartUp();
  // Rows again from the file; with `requery` the selected row alone is asked again.
  void RefreshDeviceTable(bool requery);
  void SortByFixtureNumber();
  void SortByStartAddress();
  void MoveSelectedUp();
  void MoveSelectedDown();
  void ClearDeviceList();
  void SetFixtureNumber(const std::string& text);  // MaskEdit_SNUM
  void BatchAddress(const BatchPlan& plan);

 private:
  DeviceTableService& table_;
  DeviceOperations& operations_;
  DevicePanelModel& panel_;
  common::LogSink& log_;
  const CommandFlags& flags_;
};

// The device panel and batch addressing of the RDM page.
class RdmPageController {
 public:
  RdmPageController(DeviceTableService& table, DeviceOperations& operations,
                    DeviceListController& list, DevicePanelModel& panel, common::LogSink& log,
                    std::function<void()> showRdmPage);

  void SpeedButtonRdmReadClick();
  void SpeedButtonRdmWriteClick();
  void SpeedButton_BClick();  // identify toggle of the selected row
  void SpeedButton_AClick();  // lamp toggle
  void SpeedButtonResetClick();
  // A click on a row of the device list while the RDM page shows: the selection on the
  // window's thread, then the read and identify as a command.
  bool SelectClickedRow(int row);
  void ReadClickedRow();
  // A row clicked on another page: selected, and Write waits for a Read of it.
  void SelectRowOnOtherPage(int row);

  // Edit validation: each returns the text the edit should show afterwards.
  enum class NumericEdit { Addr, Channel, Start, End, StartAddress };
  std::string EditChange(NumericEdit edit, const std::string& text);
  void UpDown1Click(bool up);
  std::string Edit35Change(const std::string& text);

  // Batch addressing (the page's edits as typed).
  bool personalityForAll = false;  // CheckBoxChannel
  std::string startAddressText = "1", firstFixtureText = "1", incrementText = "0";
  void SpeedButtonAddressClick();

 private:
  int PanelTargetRow();

  DeviceTableService& table_;
  DeviceOperations& operations_;
  DeviceListController& list_;
  DevicePanelModel& panel_;
  common::LogSink& log_;
  std::function<void()> showRdmPage_;
};

// The raw RDM console.
class ConsoleController {
 public:
  ConsoleController(rdm::RdmEngine& engine, ModelLock& models, ConsoleModel& model,
                    DeviceTableService& table, DeviceOperations& operations, Discovery& discovery,
                    common::LogSink& log);

  ConsoleModel& Model() { return console_; }
  std::string EditRdmDataChange(const std::string& text);
  void SpeedButtonAddrdmClick();
  void SpeedButtonDeleteClick();
  void SpeedButtonSendRDMClick();
  void ListBox_RDMClick(int index);

 private:
  void LogReceived(uint16_t pid, uint8_t commandClass, const rdm::RdmAnswer& answer);
  void Exchange(const rdm::RdmRequest& request, rdm::Uid uid);

  rdm::RdmEngine& engine_;
  DeviceTableService& table_;
  DeviceOperations& operations_;
  Discovery& discovery_;
  common::LogSink& log_;
  ConsoleModel& console_;
};

// The radio channel page: the channel of the wireless receivers, by broadcast.
class RadioController {
 public:
  RadioController(DeviceOperations& operations, ConsoleModel& model, common::LogSink& log);
  void SpeedButtonReadClick();
  void SpeedButton1Click();
  // The channel (1..7) the radio receiver reports; nothing when none was read.
  std::optional<uint8_t> ReadRadioChannel();
  // True when the receiver acknowledged the channel.
  bool WriteRadioChannel(uint8_t channel);

 private:
  DeviceOperations& operations_;
  ConsoleModel& model_;
  common::LogSink& log_;
};

}  // namespace velquor::workbench
