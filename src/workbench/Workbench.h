#pragma once
// The RDM workbench below the windows: the device table and its files, the parameter
// operations that fill the table and the device panel, and discovery. The window and
// the command line drive it; nothing here touches a widget.

#include <array>
#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "common/Log.h"
#include "rdm/Decoders.h"
#include "rdm/DiscoverySearch.h"
#include "rdm/RdmEngine.h"
#include "workbench/Console.h"
#include "workbench/DevicePanelModel.h"
#include "workbench/DeviceTable.h"

namespace velquor::workbench {

struct Column {
  std::string caption;
  int width = 0;
};

// What the device list shows: its columns and one row of eleven cells per device.
struct DeviceListView {
  std::vector<Column> columns;
  std::vector<std::array<std::string, 11>> rows;
  int selected = -1;
};

// How far a running discovery has come, for a status line that does not scroll.
struct DiscoveryStatus {
  bool running = false;
  size_t found = 0;
  size_t branches = 0;
  double seconds = 0;
};
std::string DiscoveryStatusText(const DiscoveryStatus& status, bool chinese);

// Where the workbench reaches out: the UI pump, the page shown, questions to the user.
struct WorkbenchHooks {
  common::UiPump pumpUi;
  std::function<void()> showRdmPage;
  // Yes/No question; true = Yes. Without it the answer is Yes.
  std::function<bool(const std::string& title, const std::string& text)> askYesNo;
  std::function<bool()> artNetPageShown;
  std::function<void()> updateScreen;
  // Called on the discovery's thread after every exchange and when it ends.
  std::function<void(const DiscoveryStatus&)> discoveryProgress;
};

class Workbench {
 public:
  Workbench(rdm::RdmEngine& engine, common::LogSink& log, common::Clock& clock,
            std::string workDir = ".", std::string programDir = ".", WorkbenchHooks hooks = {});

  DeviceTable& Table() { return table_; }
  const DeviceTable& Table() const { return table_; }
  DevicePanelModel& Panel() { return panel_; }
  ConsoleModel& Console() { return console_; }
  DeviceListView& View() { return view_; }
  std::atomic<bool>& RdmBusy() { return rdmBusy_; }
  rdm::RdmEngine& Engine() { return engine_; }

  // ---- Parameter operations (result 2 = a valid answer arrived) ----
  void GetSupportedParameters(rdm::Uid uid);
  void GetDeviceInfo(rdm::Uid uid, int row);
  void GetPersonalityDescription(rdm::Uid uid, int row, uint8_t p);
  void GetStartAddress(rdm::Uid uid, int row);
  void GetStatusMessages(rdm::Uid uid);
  bool GetDeviceLabel(rdm::Uid uid);
  void SetDeviceLabel(rdm::Uid uid);  // the label the panel holds (Edit1)
  void SetDeviceLabel(rdm::Uid uid, const std::string& label);
  void GetManufacturerLabel(int row, rdm::Uid uid);
  void GetDeviceModelDescription(int row, rdm::Uid uid);
  void GetSoftwareVersionLabel(int row, rdm::Uid uid);
  void GetDeviceHours(rdm::Uid uid);
  void GetLampHours(rdm::Uid uid);
  void GetIdentify(rdm::Uid uid, int row);
  void GetLampState(rdm::Uid uid, int row);
  // The address typed (a text the edit holds, or nothing when it holds no number) plus an
  // offset, clamped to 1..512.
  void SetStartAddress(rdm::Uid uid, const std::string& sourceText, int offset);
  void SetStartAddress(rdm::Uid uid, std::optional<int64_t> address, int offset);
  void SetPersonality(rdm::Uid uid, const PersonalityList& source);
  void SetPersonality(rdm::Uid uid, uint8_t number);
  void GetInversions(rdm::Uid uid);
  void SetInversions(rdm::Uid uid);
  // Switches identify of `uid` on or off; true when the device acknowledged.
  bool SetIdentify(rdm::Uid uid, bool on);

  // The device panel's read sequence for one row (its record's UID taken from the list).
  void ReadDevice(int row);

  // ---- Device panel ----
  void SpeedButtonRdmReadClick();
  void SpeedButtonRdmWriteClick();
  void SpeedButton_BClick();  // identify toggle of the selected row
  void SpeedButton_AClick();  // lamp toggle
  void SpeedButtonResetClick();
  // A click on a row of the device list while the RDM page shows.
  void RowClickOnRdmPage(int row);

  // Edit validation: each returns the text the edit should show afterwards.
  enum class NumericEdit { Addr, Channel, Start, End, StartAddress };
  std::string EditChange(NumericEdit edit, const std::string& text);
  void UpDown1Click(bool up);
  std::string Edit35Change(const std::string& text);

  // ---- Batch addressing ----
  bool CheckBoxChannel = false;
  std::string EditStartAddress = "1", EditStart = "1", EditChannel = "0";
  void SpeedButtonAddressClick();
  struct BatchPlan {
    std::optional<int64_t> startAddress;  // nothing: no address is sent
    int64_t logAddress = 0;               // as the log line shows it
    int64_t increment = 0;
    int64_t firstRow = 0;  // table rows, from 0
    int64_t lastRow = 0;
    std::optional<uint8_t> personality;
  };
  // Row k of firstRow..lastRow gets startAddress + (k - firstRow) * increment (clamped to
  // 1..512) and the personality if one is given; then the list is read again.
  void BatchAddress(const BatchPlan& plan);

  // ---- Raw console ----
  std::string EditRdmDataChange(const std::string& text);
  void SpeedButtonAddrdmClick();
  void SpeedButtonDeleteClick();
  void SpeedButtonSendRDMClick();
  void ListBox_RDMClick(int index);

  // ---- Radio page ----
  void SpeedButtonReadClick();
  void SpeedButton1Click();
  // The channel (1..7) the radio receiver reports; nothing when none was read.
  std::optional<uint8_t> ReadRadioChannel();
  // True when the receiver acknowledged the channel.
  bool WriteRadioChannel(uint8_t channel);

  // The parameter data of an answer in words, for the parameters the program knows.
  static std::string DescribeAnswer(uint16_t pid, uint8_t commandClass,
                                    const rdm::RdmAnswer& answer);

  // ---- Device table and its files ----
  void BuildColumns();
  std::array<std::string, 11> RowCells(int row) const;
  void AddDeviceRow(int row);
  void LoadDeviceTable(bool requery);
  void RefreshDeviceTable(bool requery);
  bool SaveDeviceNames();
  void RebuildUidChoices();
  void SortByFixtureNumber();
  void SortByStartAddress();
  void MoveSelectedUp();
  void MoveSelectedDown();
  void ClearDeviceList();
  void SetFixtureNumber(const std::string& text);
  void SelectRow(int row);

  std::string DevNamesPath() const;
  std::string DevNonePath() const;

  // ---- Discovery ----
  uint8_t DiscUniqueBranch(rdm::Uid lower, rdm::Uid upper, bool muteAndAdd);
  // One logged DISC_UNIQUE_BRANCH; the answer decoded whatever range was asked.
  rdm::BranchReply BranchExchange(rdm::Uid lower, rdm::Uid upper);
  // A logged DISC_MUTE; true when the device itself acknowledged it with an ACK.
  bool RdmMute(rdm::Uid uid);
  void RdmUnMute(rdm::Uid uid);
  // Adds the device as the next row unless it is listed already; false when not added.
  bool AddFoundDevice(rdm::Uid uid, const std::string& logText);
  void SpeedButtonDiscoverClick();
  void SpeedButtonAddClick();
  void SpeedButton6Click();
  // Returns the next interval of the timer in milliseconds.
  int Timer1Timer();

  bool CheckBoxTest = false;
  std::string EditTime = "3000";
  std::atomic<bool> StopDiscovery{false};
  // Set when the program closes: a running discovery ends at its next exchange, saving
  // nothing (the list on disk stays as it was).
  std::atomic<bool> AbortRequested{false};

  rdm::Uid LastFoundUid = 0;  // the last valid answer of the console's branch request
  const DiscoveryStatus& LastDiscoveryStatus() const { return discoveryStatus_; }

 private:
  rdm::RdmAnswer Transact(uint8_t commandClass, uint16_t pid, std::vector<uint8_t> data,
                          rdm::Uid uid);
  // A valid ACK. A valid answer of another type is logged and counts as no answer.
  bool Acked(const rdm::RdmAnswer& answer, uint16_t pid, rdm::Uid uid);
  void LogOp(const char* text, rdm::Uid uid);
  DeviceRecord* RecordAt(int row);
  DeviceRecord& RecordOr(int row, DeviceRecord& scratch);
  std::optional<std::string> ReadTextAnswer(uint16_t pid, rdm::Uid uid);
  void Pump();

  bool LoadNames(const std::string& path, DeviceNameList& into, bool missingIsEmpty);
  void ReloadTable(bool requery, bool withLogLines);
  template <class Less>
  void Reorder(Less less);
  void SwapRows(int a, int b);
  std::vector<std::string> RowLabels() const;
  void RebuildNamesAndSave(const std::vector<std::string>& labels);
  void RunDiscovery(bool incremental);
  // The UID of a row read from its list key, stored into the row's record.
  std::optional<rdm::Uid> UidOfListedRow(int row);
  std::optional<rdm::Uid> SelectedUid(bool selectFirst);
  int PanelTargetRow();
  void LogReceived(uint16_t pid, uint8_t commandClass, const rdm::RdmAnswer& answer);
  void ConsoleExchange(const rdm::RdmRequest& request, rdm::Uid uid);
  void ReportDiscovery(const rdm::DiscoveryProgress& progress, bool running);

  rdm::RdmEngine& engine_;
  common::LogSink& log_;
  common::Clock& clock_;
  std::string workDir_;
  std::string programDir_;
  WorkbenchHooks hooks_;

  DeviceTable table_;
  DevicePanelModel panel_;
  ConsoleModel console_;
  DeviceListView view_;
  std::atomic<bool> rdmBusy_{false};
  uint8_t personalityCount_ = 0;
  uint8_t currentPersonality_ = 0;
  bool incremental_ = false;
  DiscoveryStatus discoveryStatus_;
  common::Instant discoveryStart_{};
  uint8_t timerTicks_ = 0;
};

// Releases RdmBusy when a command ends, however it ends.
class BusyScope {
 public:
  explicit BusyScope(std::atomic<bool>& busy) : busy_(busy), owned_(!busy.exchange(true)) {}
  ~BusyScope() {
    if (owned_) busy_.store(false);
  }
  bool Owned() const { return owned_; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  std::atomic<bool>& busy_;
  bool owned_;
};

using rdm::CategoryText;
using rdm::StatusText;
Rgb StatusColour(uint8_t type);

}  // namespace velquor::workbench
