#include "workbench/DeviceTable.h"

#include <fmt/format.h>

#include "common/Files.h"
#include "common/Text.h"

namespace velquor::workbench {

std::optional<std::string> DeviceNameList::Value(std::string_view key) const {
  for (const Entry& e : entries_) {
    if (e.key == key) return e.value;
  }
  return std::nullopt;
}

std::string LabelForFile(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return out;
}

void DeviceNameList::Set(std::string_view key, std::string_view value) {
  for (Entry& e : entries_) {
    if (e.key == key) {
      e.value = LabelForFile(value);
      return;
    }
  }
  entries_.push_back({std::string(key), LabelForFile(value)});
}

DeviceNameList DeviceNameList::Parse(std::string_view text) {
  DeviceNameList list;
  for (const std::string& line : common::SplitLines(text)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    if (KeyProblem(key).empty()) key = NameKey(*UidFromKey(key));  // others stay as written
    list.entries_.push_back({std::move(key), line.substr(eq + 1)});
  }
  return list;
}

std::string DeviceNameList::Text() const {
  std::vector<std::string> lines;
  lines.reserve(entries_.size());
  for (const Entry& e : entries_) lines.push_back(e.key + "=" + e.value);
  return common::JoinLinesCrLf(lines);
}

std::optional<rdm::Uid> UidFromKey(std::string_view key) {
  if (key.empty() || key.size() > 12) return std::nullopt;
  if (key.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
    return std::nullopt;
  }
  auto value = common::ParseUnsigned("0x" + std::string(key));
  if (!value) return std::nullopt;
  return rdm::Uid(*value);
}

std::string StartAddressText(uint16_t startAddressIndex, bool padded) {
  if (startAddressIndex == kNoStartAddressIndex) return "-";
  return padded ? fmt::format("{:03}", startAddressIndex + 1)
                : std::to_string(startAddressIndex + 1);
}

std::string KeyProblem(std::string_view key) {
  const auto uid = UidFromKey(key);
  if (!uid) return "is not a hexadecimal UID";
  if (uid->IsBroadcast()) return "is a broadcast UID, not a device";
  if (*uid == rdm::Uid()) return "is UID 0, not a device";
  return {};
}

int DeviceTable::RowOf(rdm::Uid uid) const {
  for (int row = 0; row < Count(); ++row) {
    if (Devices[static_cast<size_t>(row)].Uid == uid) return row;
  }
  return -1;
}

DeviceRecord* DeviceTable::Find(rdm::Uid uid) {
  const int row = RowOf(uid);
  return row < 0 ? nullptr : &Devices[static_cast<size_t>(row)];
}

const DeviceRecord* DeviceTable::Find(rdm::Uid uid) const {
  const int row = RowOf(uid);
  return row < 0 ? nullptr : &Devices[static_cast<size_t>(row)];
}

std::optional<rdm::Uid> DeviceTable::UidAt(int row) const {
  if (!ValidRow(row)) return std::nullopt;
  return Devices[static_cast<size_t>(row)].Uid;
}

DeviceNameList DeviceTable::Names() const {
  DeviceNameList names;
  for (const DeviceRecord& d : Devices) names.Append({NameKey(d.Uid), LabelForFile(d.Label)});
  return names;
}

namespace {

std::string DeviceName(const DeviceRecord& d) {
  return d.Label.empty() ? "0x" + rdm::UidText12(d.Uid)
                         : fmt::format("0x{} ({})", rdm::UidText12(d.Uid), d.Label);
}

}  // namespace

std::vector<std::string> AddressConflicts(const DeviceTable& table,
                                          const std::vector<AddressAssignment>& changes) {
  struct Block {
    int start = 0;  // 0: no address
    int footprint = 0;
    bool changed = false;
    int end() const { return start + footprint - 1; }
    bool Occupies() const { return start > 0 && footprint > 0; }
  };
  // The listed devices, then the rig's others: a changed device is always a listed one.
  std::vector<const DeviceRecord*> devices;
  for (const auto* list : {&table.Devices, &table.OffList}) {
    for (const DeviceRecord& d : *list) devices.push_back(&d);
  }
  std::vector<Block> blocks;
  for (size_t i = 0; i < devices.size(); ++i) {
    const DeviceRecord& d = *devices[i];
    Block b{d.StartAddressIndex == kNoStartAddressIndex ? 0 : d.StartAddressIndex + 1, d.Footprint,
            false};
    for (const AddressAssignment& c : changes) {
      if (i < table.Devices.size() && c.uid == d.Uid && c.address) {
        b = {*c.address, d.Footprint, true};
      }
    }
    blocks.push_back(b);
  }
  std::vector<std::string> conflicts;
  for (size_t i = 0; i < blocks.size(); ++i) {
    const Block& a = blocks[i];
    if (!a.changed || !a.Occupies()) continue;
    const std::string name = DeviceName(*devices[i]);
    if (a.end() > 512) {
      conflicts.push_back(fmt::format("{} at {}-{} runs past 512", name, a.start, a.end()));
    }
    for (size_t j = 0; j < blocks.size(); ++j) {
      const Block& b = blocks[j];
      if (j == i || !b.Occupies() || (b.changed && j < i)) continue;
      if (a.start <= b.end() && b.start <= a.end()) {
        conflicts.push_back(fmt::format("{} at {}-{} overlaps {} at {}-{}", name, a.start, a.end(),
                                        DeviceName(*devices[j]), b.start, b.end()));
      }
    }
  }
  return conflicts;
}

}  // namespace velquor::workbench
