#pragma once
// The controllers of the two address maps: the Patch page (read and write every device's
// start address, the .pat file) and the visual addressing window (a list sorted by address,
// the identify pass that makes the selected device show itself, write all, the plan file).
// Exchanges run on the line's executor; the window draws from Fill() and forwards the mouse.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "common/Log.h"
#include "workbench/AddressMaps.h"
#include "workbench/DeviceOperations.h"
#include "workbench/DeviceTableService.h"
#include "workbench/Discovery.h"
#include "workbench/PageControllers.h"

namespace velquor::workbench {

class PatchPageController {
 public:
  PatchPageController(DeviceTableService& table, DeviceOperations& operations,
                      DeviceListController& list, common::LogSink& log, const CommandFlags& flags);

  AddressMap& Map() { return map_; }
  // The cells as PaintBox1 draws them; sets the cursor label when a row is selected.
  std::array<CellFill, kMapCells> Fill();
  const std::string& CursorText() const { return cursorText_; }  // Label28

  // A row click on the Patch page: the device is drawn where it stands.
  void RowClicked(int row);
  // PaintBox1's mouse: true when the map needs drawing again.
  bool Press(int x, int y);
  bool Drag(int x, int y, bool leftHeld);
  void Release();

  // Button6 / BitBtn4 (with `rebuildList`): every device's footprint and start address.
  void Read(bool rebuildList);
  // Button7 / BitBtn5: every device's start address as the map has it.
  void Write(bool rebuildList);
  // Button8 / Button9: false (with a log line) when the file cannot be written or read.
  bool Save(const std::string& path);
  bool Load(const std::string& path);

 private:
  DeviceTableService& table_;
  DeviceOperations& operations_;
  DeviceListController& list_;
  common::LogSink& log_;
  const CommandFlags& flags_;
  AddressMap map_{AddressMap::PressRule::OwnSlots};
  std::string cursorText_ = "000";
};

// The start address a SET sends for `address`: below 0 is 1, above 512 is 512.
uint16_t StartAddressToSend(int64_t address);

// The rows of `records` become the device table's rows: the names keep the labels of the
// UIDs they had; records that stand for no device are skipped with a log line. Returns the
// records taken, in row order.
std::vector<PlanRecord> ReplaceRows(DeviceTableService& table, std::span<const PlanRecord> records,
                                    const std::string& file, common::LogSink& log);

class AddressingController {
 public:
  AddressingController(DeviceTableService& table, DeviceOperations& operations,
                       DeviceListController& list, common::LogSink& log, const CommandFlags& flags);

  struct Row {
    std::string number, address, channels;  // "No.", "Addr", "Ch"
  };
  AddressMap& Map() { return map_; }
  const std::vector<Row>& Rows() const { return rows_; }
  int Selected() const { return selected_; }
  const std::string& AddressText() const { return addressText_; }  // LabelAddr
  std::string UidText() const;                                     // LabelUID
  std::optional<uint16_t> SelectedStart() const;
  std::array<CellFill, kMapCells> Fill();  // sets LabelAddr's text
  // The cell size for a drawing area of `width` × `height` pixels.
  void FitCells(int width, int height);

  // SpeedButtonRdmClick: sorted by start address, one list row per device.
  void Open();
  void RebuildRows();
  // ListView1Click / Change.
  void Select(int row);
  // PaintBox1's mouse: Press selects (true when a row was picked), Drag and Release as on
  // the Patch page.
  bool Press(int x, int y);
  bool Drag(int x, int y, bool leftHeld);
  void Release();

  // The identify pass: the selected device identifies, every other listed one stops.
  void IdentifyPass();
  // SpeedButton6: each row's start address, then the list sorted again.
  void WriteAll();
  // SpeedButton7: identify off for every device (twice: some miss the first).
  void CancelAll();
  bool SavePlan(const std::string& path);
  bool LoadPlan(const std::string& path);

  // SpeedButton2: "Odd" / "Even" and the slot pattern it sets.
  std::string ToggleOddEven();
  int OddEvenPhase() const { return oddEvenPhase_; }

 private:
  void SendIdentify(int row, bool on);

  DeviceTableService& table_;
  DeviceOperations& operations_;
  DeviceListController& list_;
  common::LogSink& log_;
  const CommandFlags& flags_;
  AddressMap map_{AddressMap::PressRule::FromCellBefore};
  std::vector<Row> rows_;
  std::array<uint16_t, MaxDevices> reserved_{};  // the plan file's reserved word per row
  int selected_ = -1;
  std::string addressText_ = "Address:001";
  std::string oddEvenCaption_ = "Odd";
  int oddEvenPhase_ = 0;
};

}  // namespace velquor::workbench
