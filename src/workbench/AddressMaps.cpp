#include "workbench/AddressMaps.h"

#include <fmt/format.h>

#include <algorithm>

namespace velquor::workbench {

std::vector<MapBlock> BlocksOf(const DeviceTable& table) {
  std::vector<MapBlock> blocks;
  for (const DeviceRecord& r : table.Devices) blocks.push_back({r.StartAddressIndex, r.Footprint});
  return blocks;
}

std::array<CellFill, kMapCells> FillCells(std::span<const MapBlock> blocks, int selected,
                                          uint16_t cursor, bool markHeads) {
  std::array<int, kMapCells> count{};
  std::array<bool, kMapCells> head{};
  for (size_t i = 0; i < blocks.size(); ++i) {
    const bool isSelected = static_cast<int>(i) == selected;
    const int first = isSelected ? cursor : blocks[i].start;
    const int layers = isSelected ? 2 : 1;
    for (int c = first; c < first + blocks[i].footprint && c < kMapCells; ++c) count[c] += layers;
    if (first < kMapCells) head[first] = true;
  }
  std::array<CellFill, kMapCells> fill{};
  for (int c = 0; c < kMapCells; ++c) {
    const int n = count[c];
    fill[c] = n == 0   ? CellFill::Free
              : n == 1 ? CellFill::One
              : n == 2 ? CellFill::Two
                       : CellFill::Many;
    if (markHeads && head[c] && (n == 1 || n == 2)) fill[c] = CellFill::Head;
  }
  return fill;
}

uint16_t AddressMap::CellAt(int x, int y) const {
  // Integer division toward zero and a 16-bit result, as the map has always counted.
  return static_cast<uint16_t>((y / cellHeight) * kMapColumns + x / cellWidth);
}

std::optional<int> AddressMap::RowAt(std::span<const MapBlock> blocks, int x, int y) const {
  const int a = static_cast<uint16_t>(CellAt(x, y) + 1);  // the address under the pointer
  for (size_t i = 0; i < blocks.size(); ++i) {
    const int start = blocks[i].start;
    const int end = start + blocks[i].footprint;
    const bool picked =
        rule_ == PressRule::OwnSlots ? (start < a && a <= end) : (start <= a && a <= end);
    if (picked) return static_cast<int>(i);
  }
  return std::nullopt;
}

bool AddressMap::Drag(std::span<const MapBlock> blocks, int selected, int x, int y) {
  if (selected < 0 || static_cast<size_t>(selected) >= blocks.size()) return false;
  const uint16_t c = CellAt(x, y);
  if (c + blocks[static_cast<size_t>(selected)].footprint <= kMapCells) cursor = c;
  if (c == lastCell) return false;
  lastCell = c;
  return true;
}

namespace {

void PutLe(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint64_t GetLe(std::string_view in, size_t at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    value |= static_cast<uint64_t>(static_cast<uint8_t>(in[at + static_cast<size_t>(i)]))
             << (8 * i);
  }
  return value;
}

std::string Encode(std::span<const PlanRecord> records, bool plan) {
  std::string out;
  PutLe(out, records.size(), 4);
  for (const PlanRecord& r : records) {
    PutLe(out, r.uid.Value(), 8);  // the plan's low and high words are the same bytes
    PutLe(out, r.startIndex, 2);
    PutLe(out, r.footprint, 2);
    if (plan) PutLe(out, r.reserved, 2);
  }
  return out;
}

PlanFileRead Decode(std::string_view bytes, bool plan) {
  PlanFileRead read;
  const size_t recordBytes = plan ? 14 : 12;
  if (bytes.size() < 4) {
    read.problems.push_back(fmt::format("the file has {} bytes, not even a count", bytes.size()));
    return read;
  }
  const int32_t count = static_cast<int32_t>(GetLe(bytes, 0, 4));
  const size_t present = (bytes.size() - 4) / recordBytes;
  size_t take = count < 0 ? 0 : static_cast<size_t>(count);
  if (count < 0) read.problems.push_back(fmt::format("its count {} is negative", count));
  if (take > present) {
    read.problems.push_back(
        fmt::format("it counts {} records but holds {}: those read", count, present));
    take = present;
  }
  if (take > static_cast<size_t>(MaxDevices)) {
    read.problems.push_back(
        fmt::format("it holds {} records, the device table {}: the first {} read", take, MaxDevices,
                    MaxDevices));
    take = MaxDevices;
  }
  for (size_t i = 0; i < take; ++i) {
    const size_t at = 4 + recordBytes * i;
    PlanRecord r;
    r.uid = rdm::Uid(GetLe(bytes, at, 8));
    r.startIndex = static_cast<uint16_t>(GetLe(bytes, at + 8, 2));
    r.footprint = static_cast<uint16_t>(GetLe(bytes, at + 10, 2));
    if (plan) r.reserved = static_cast<uint16_t>(GetLe(bytes, at + 12, 2));
    read.records.push_back(r);
  }
  return read;
}

}  // namespace

std::string EncodePatchFile(std::span<const PlanRecord> records) {
  return Encode(records, false);
}
PlanFileRead DecodePatchFile(std::string_view bytes) {
  return Decode(bytes, false);
}
std::string EncodeAddressPlan(std::span<const PlanRecord> records) {
  return Encode(records, true);
}
PlanFileRead DecodeAddressPlan(std::string_view bytes) {
  return Decode(bytes, true);
}

}  // namespace velquor::workbench
