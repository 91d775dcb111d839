#pragma once
// The two address maps of the program: the Patch page's grid and the visual addressing
// window's map. Both draw the 512 slots of one universe as 16 lines of 32 cells, paint the
// slots each device occupies, and let the user drag the selected device to another start
// address. Here they are models: cells, fills, cursor and drag, tested without a display;
// the widgets only paint them and forward the mouse. Also the two files that keep a plan:
// the Patch page's .pat and the addressing window's plan file.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rdm/Uid.h"
#include "workbench/DeviceTable.h"

namespace velquor::workbench {

constexpr int kMapCells = 512;
constexpr int kMapColumns = 32;

// One device on a map: StartAddressIndex and Footprint of its record.
struct MapBlock {
  uint16_t start = 0;
  uint16_t footprint = 0;
};
std::vector<MapBlock> BlocksOf(const DeviceTable& table);

// White (free), green (one layer), purple (two), red (three or more); blue marks the first
// slot of a device under one or two layers on the addressing map.
enum class CellFill : uint8_t { Free, One, Two, Many, Head };

// Every block but the selected one adds one layer over its slots, the selected one two
// layers at `cursor`; cells past 511 are not drawn. With `markHeads`, a first slot under
// one or two layers is a Head.
std::array<CellFill, kMapCells> FillCells(std::span<const MapBlock> blocks, int selected,
                                          uint16_t cursor, bool markHeads);

class AddressMap {
 public:
  // Which cells of a device a press picks it by: its own slots (the Patch page), or the cell
  // before its first slot too (the addressing window counts the press 1-based).
  enum class PressRule { OwnSlots, FromCellBefore };
  explicit AddressMap(PressRule rule) : rule_(rule) {}

  int cellWidth = 18;
  int cellHeight = 18;
  uint16_t cursor = 0;    // PatchCursor / MapCursor: where the selected device is drawn
  uint16_t lastCell = 0;  // LastDragCell / MapLastCell

  // The cell under pixel (x, y), as the map computes it (16-bit, so a pointer left of or
  // above the map gives a cell far past the end).
  uint16_t CellAt(int x, int y) const;
  // The first row whose cells the press at (x, y) picks; nothing when none.
  std::optional<int> RowAt(std::span<const MapBlock> blocks, int x, int y) const;
  // A move with the left button held while `selected` is chosen: the cursor follows the
  // pointer where the device fits. True when the pointer entered another cell (repaint).
  bool Drag(std::span<const MapBlock> blocks, int selected, int x, int y);

 private:
  PressRule rule_;
};

// A record of a plan file.
struct PlanRecord {
  rdm::Uid uid;
  uint16_t startIndex = 0;
  uint16_t footprint = 0;
  uint16_t reserved = 0;  // the addressing window's plan only
};

struct PlanFileRead {
  std::vector<PlanRecord> records;
  std::vector<std::string> problems;  // a count past the table or the file, as log lines
};

// .pat: count (32-bit), then per record the 64-bit UID, start index and footprint (12 bytes),
// all little-endian.
std::string EncodePatchFile(std::span<const PlanRecord> records);
PlanFileRead DecodePatchFile(std::string_view bytes);
// The addressing window's plan: count, then per record the UID's low and high 32 bits, start
// index, footprint and a reserved word (14 bytes), all little-endian.
std::string EncodeAddressPlan(std::span<const PlanRecord> records);
PlanFileRead DecodeAddressPlan(std::string_view bytes);

}  // namespace velquor::workbench
