#pragma once
// One controller per page of the main window: each turns the page's edit texts and choices
// into typed device operations, with the page's checks and log lines, and puts what the
// devices answered where the window shows it. The window runs those that reach the line as
// commands on the line's executor.

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "common/Log.h"
#include "workbench/Console.h"
#include "workbench/DeviceOperations.h"
#include "workbench/DeviceTableService.h"
#include "workbench/Discovery.h"

namespace velquor::workbench {

// Row k of firstRow..lastRow gets startAddress + (k - firstRow) * increment (clamped to
// 1..512) and the personality if one is given; each fixture's row is read back.
struct BatchPlan {
  std::optional<int64_t> startAddress;  // nothing: no address is sent
  int64_t logAddress = 0;               // as the log line shows it
  int64_t increment = 0;
  int64_t firstRow = 0;  // table rows, from 0
  int64_t lastRow = 0;
  std::optional<uint8_t> personality;
};

// The devices a batch plan reaches, each with the address it gets, from the rows as the list
// shows them now.
std::vector<AddressAssignment> BatchTargets(const DeviceTable& table, const BatchPlan& plan);

// What the panel's Write sends, taken from the panel as it stands when Write is pressed.
struct PanelWrite {
  rdm::Uid uid;                     // the device the panel was read from
  std::optional<uint16_t> address;  // nothing: none typed
  std::optional<uint8_t> personality;
  std::string label;
  Inversions inversions;
};

// The device list beside every page: loading, re-reading, ordering, clearing, numbering,
// and batch addressing of its devices.
class DeviceListController {
 public:
  DeviceListController(DeviceTableService& table, DeviceOperations& operations,
                       common::LogSink& log, const CommandFlags& flags);

  // The list from devnames.lst; with `requery` each device is asked for its identify state
  // and device info (a stop ends the asking, the list stays).
  void LoadDeviceTable(bool requery);
  // The list again from the file; with `requery` the selected device alone is asked again.
  void RefreshDeviceTable(bool requery);
  void SortByFixtureNumber();
  void SortByStartAddress();
  void MoveSelectedUp();
  void MoveSelectedDown();
  // False when devnone.lst cannot be read (the list is empty, devnames.lst stays).
  bool ClearDeviceList();
  void SetFixtureNumber(const std::string& text);
  // Sends each target its address (and the plan's personality) and reads back what changed
  // into that UID's record.
  void BatchAddress(const BatchPlan& plan, std::span<const AddressAssignment> targets);

 private:
  // Identify state and device info of one device, into its record.
  void Requery(rdm::Uid uid);

  DeviceTableService& table_;
  DeviceOperations& operations_;
  common::LogSink& log_;
  const CommandFlags& flags_;
};

// Puts a reading into the panel: a snapshot of that device alone ("/" where it did not
// answer), never mixed with the device shown before.
void ShowReading(DevicePanelModel& panel, const DeviceReading& reading);

// The device panel and batch addressing of the RDM page.
class RdmPageController {
 public:
  RdmPageController(DeviceTableService& table, DeviceOperations& operations,
                    DeviceListController& list, DevicePanelModel& panel, ConsoleModel& console,
                    common::LogSink& log, std::function<void()> showRdmPage);

  // Reads `device` (the selected one when none is named; the first row when nothing is
  // selected) into the panel.
  void Read(std::optional<rdm::Uid> device = std::nullopt);
  // Asks the panel's fixture what each of its channels does (SLOT_INFO, SLOT_DESCRIPTION,
  // DEFAULT_SLOT_VALUE) and puts the answers on the panel, as long as it still shows that
  // fixture.
  void ReadChannels();
  // What Write sends, from the panel as it stands; nothing (with a log line) when the panel
  // holds no device's values.
  std::optional<PanelWrite> WriteOrder();
  void Write(const PanelWrite& order);
  // Identify on for `device` (or off when it was on) and off for every other listed device.
  void ToggleIdentify(std::optional<rdm::Uid> device = std::nullopt);
  void ToggleLamp(std::optional<rdm::Uid> device = std::nullopt);
  void Reset(std::optional<rdm::Uid> device = std::nullopt);
  // A click on a row while the RDM page shows: the selection on the window's thread; the
  // read and identify of that device follow as a command. Returns the device clicked.
  std::optional<rdm::Uid> SelectClickedRow(int row);
  void ReadClickedDevice(rdm::Uid device);
  // A row clicked on another page: selected, and Write waits for a Read of it.
  void SelectRowOnOtherPage(int row);

  // Edit validation: each returns the text the edit should show afterwards.
  enum class NumericEdit { Addr, Channel, Start, End, StartAddress };
  std::string EditChange(NumericEdit edit, const std::string& text);
  void StepAddress(bool up);
  std::string RowNumberEdited(const std::string& text);
  // The End Fixture edit follows the list's count when the list was found or loaded.
  void FollowListCount();

  // The row-number edit (Edit35).
  std::string rowNumberText;  // empty until a row is picked
  Rgb rowNumberColour = kWhite;
  // Batch addressing: the page's edits as typed and its personality list.
  bool personalityForAll = false;
  std::string startAddressText = "1", firstFixtureText = "1", incrementText = "0";
  std::string lastFixtureText;
  PersonalityList batchPersonalities;  // ComboBoxChannelMode
  BatchPlan PlanBatch() const;

 private:
  // The device a panel button acts on; nothing (with "NO device") when none is listed.
  std::optional<rdm::Uid> PanelTarget(std::optional<rdm::Uid> device);

  DeviceTableService& table_;
  DeviceOperations& operations_;
  DeviceListController& list_;
  DevicePanelModel& panel_;
  ConsoleModel& console_;
  common::LogSink& log_;
  std::function<void()> showRdmPage_;
};

// The raw console's controls as they stand when Send is pressed.
struct ConsoleRequest {
  int commandIndex = 0;    // 0 GET, 1 SET, 2 DISCOVERY
  int parameterIndex = 0;  // item of the known parameters
  int subDevice = 0;
  bool broadcast = false;
  std::vector<std::string> data;  // byte k as typed
};

// One entry of the console's data list as the bytes it sends: hex bytes as velquor-cli takes
// them ("FF", "0x1F", "01 02") or text in double quotes (a label: "\"Stage left\""); nothing
// for anything else (a number past a byte, a word without quotes, an empty entry).
std::optional<std::vector<uint8_t>> ConsoleEntryBytes(std::string_view entry);

// The raw RDM console.
class ConsoleController {
 public:
  ConsoleController(rdm::RdmEngine& engine, ModelLock& models, ConsoleModel& model,
                    DeviceTableService& table, DeviceOperations& operations, Discovery& discovery,
                    common::LogSink& log);

  ConsoleModel& Model() { return console_; }
  std::string DataEdited(const std::string& text);
  void AddData();
  void DeleteData();
  // The request the controls show, to the selected device (the first row when none is).
  void Send(const ConsoleRequest& request);
  // A history line sent again; `parameterIndex` as the parameter list shows it.
  void Resend(int index, int parameterIndex, bool broadcast);

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
  // The receiver's channel into the page's list.
  void ShowChannel();
  // The list's channel to the receivers.
  void SendChannel();
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
