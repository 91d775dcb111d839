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
  // Every device's start address as the map has it, for Write.
  std::vector<AddressAssignment> WriteOrder() const;
  // Button7 / BitBtn5: each target its address.
  void Write(std::span<const AddressAssignment> targets, bool rebuildList);
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

// The rows of `records` become the device table's rows: the names keep the labels of the
// UIDs they had; records that stand for no device are skipped with a log line. Returns the
// records taken, in row order. devnames.lst follows.
std::vector<PlanRecord> ReplaceRows(DeviceTableService& table, std::span<const PlanRecord> records,
                                    const std::string& file, common::LogSink& log);

class AddressingController {
 public:
  AddressingController(DeviceTableService& table, DeviceOperations& operations,
                       DeviceListController& list, common::LogSink& log, const CommandFlags& flags);

  struct Row {
    std::string number, address, channels, label;  // "No.", "Addr", "Ch", "Label"
  };
  AddressMap& Map() { return map_; }
  std::vector<Row> Rows() const;
  int Selected() const;  // the selected device's row, −1 when none
  const std::string& AddressText() const { return addressText_; }  // LabelAddr
  std::string UidText() const;                                     // LabelUID
  std::optional<uint16_t> SelectedStart() const;
  std::array<CellFill, kMapCells> Fill();  // sets LabelAddr's text
  // The cell size for a drawing area of `width` × `height` pixels.
  void FitCells(int width, int height);

  // SpeedButtonRdmClick: sorted by start address, one list row per device.
  void Open();
  // ListView1Click / Change.
  void Select(int row);
  // PaintBox1's mouse: Press selects (true when a row was picked), Drag and Release as on
  // the Patch page.
  bool Press(int x, int y);
  bool Drag(int x, int y, bool leftHeld);
  void Release();

  // The identify pass: the selected device identifies, every other listed one stops.
  void IdentifyPass();
  // Every device's start address as the map has it, for the write.
  std::vector<AddressAssignment> WriteOrder() const;
  // SpeedButton6: each target its address, then the list sorted again.
  void WriteAll(std::span<const AddressAssignment> targets);
  // SpeedButton7: identify off for every device (twice: some miss the first).
  void CancelAll();
  bool SavePlan(const std::string& path);
  bool LoadPlan(const std::string& path);

  // SpeedButton2: "Odd" / "Even" and the slot pattern it sets.
  std::string ToggleOddEven();
  int OddEvenPhase() const { return oddEvenPhase_; }

 private:
  void SendIdentify(rdm::Uid uid, bool on);
  const DeviceRecord* SelectedDevice() const;

  DeviceTableService& table_;
  DeviceOperations& operations_;
  DeviceListController& list_;
  common::LogSink& log_;
  const CommandFlags& flags_;
  AddressMap map_{AddressMap::PressRule::FromCellBefore};
  std::optional<rdm::Uid> selected_;
  std::string addressText_ = "Address:001";
  std::string oddEvenCaption_ = "Odd";
  int oddEvenPhase_ = 0;
};

}  // namespace velquor::workbench
