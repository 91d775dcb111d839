#pragma once
// The known devices: one ordered list of records keyed by UID, each with its own label and
// what the device last answered, and the UID of the selected one. Rows are positions in this
// list, computed when they are drawn; nothing pairs values by row.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rdm/Codec.h"

namespace velquor::workbench {

constexpr int MaxDevices = 530;
// A device without a DMX footprint reports start address 0xFFFF: it has no address to show.
constexpr uint16_t kNoStartAddressIndex = 0xFFFF;
// What the list shows for a description the device was asked for and did not give.
constexpr const char* kNoAnswerText = "/";

struct DeviceRecord {
  rdm::Uid Uid;
  std::string Label;               // as devnames.lst keeps it
  uint16_t StartAddressIndex = 0;  // start address − 1; kNoStartAddressIndex: no footprint
  uint16_t Footprint = 0;
  uint16_t FixtureNumber = 0;
  uint8_t IdentifyOn = 0;
  uint8_t LampState = 0;
  std::string ManufacturerLabel;
  std::string DeviceModelDescription;
  std::string SoftwareVersionLabel;
  std::string PersonalityDescription;
  uint8_t SensorCount = 0;
  uint16_t PlanReserved = 0;  // the address plan's reserved word, written back as it was read
  // Whether StartAddressIndex and Footprint hold a value the device, a plan file or the map
  // gave: until then they are 0 by default, which is no reading (the report leaves them empty).
  bool AddressKnown = false;
  bool FootprintKnown = false;
};

// Ordered key=value entries; key = UidText of the UID, value = the label.
class DeviceNameList {
 public:
  struct Entry {
    std::string key;
    std::string value;
  };

  size_t Count() const { return entries_.size(); }
  const Entry& At(size_t i) const { return entries_[i]; }
  const std::vector<Entry>& Entries() const { return entries_; }
  std::optional<std::string> Value(std::string_view key) const;
  // Replaces the value of a present key in place; appends a new key at the end. A label never
  // carries a line break or another control character into the file: each becomes a space.
  void Set(std::string_view key, std::string_view value);
  // Appends an entry as it is (one kept from the file as it was read).
  void Append(Entry entry) { entries_.push_back(std::move(entry)); }
  void Clear() { entries_.clear(); }

  // One entry per line, "key=label"; the first "=" separates. Lines without one are
  // skipped (a blank last line, say). A key that reads as a UID takes the form the program
  // writes (upper case), so "7ff000000101" and "7FF000000101" are one device.
  static DeviceNameList Parse(std::string_view text);
  std::string Text() const;

 private:
  std::vector<Entry> entries_;
};

// The key form of a UID: upper-case hex, at least six digits.
inline std::string NameKey(rdm::Uid uid) {
  return rdm::UidText(uid);
}
// A key read back as a UID; nothing when it is not hexadecimal or too long.
std::optional<rdm::Uid> UidFromKey(std::string_view key);
// Why a key cannot stand for a listed device (not a UID, a broadcast UID, UID zero); empty
// when it can.
std::string KeyProblem(std::string_view key);
// A label as the file can keep it: control characters become spaces.
std::string LabelForFile(std::string_view label);

// The start address as the table and the panel show it: "001".."512", "-" without one.
std::string StartAddressText(uint16_t startAddressIndex, bool padded);

struct DeviceTable {
  std::vector<DeviceRecord> Devices;  // in row order, each UID once
  // Entries of the file that stand for no device (not a UID, a broadcast UID, a second entry
  // of a UID, past the table's size): kept as they were and written after the devices.
  std::vector<DeviceNameList::Entry> Unlisted;
  std::optional<rdm::Uid> Selected;
  // Fixtures of the rig, as last read, that the list now leaves out (a loaded plan or .pat
  // names only some of them): address checks still see their blocks. Never written to a file.
  std::vector<DeviceRecord> OffList;

  int Count() const { return static_cast<int>(Devices.size()); }
  bool ValidRow(int row) const { return row >= 0 && row < Count(); }
  int RowOf(rdm::Uid uid) const;  // −1 when not listed
  DeviceRecord* Find(rdm::Uid uid);
  const DeviceRecord* Find(rdm::Uid uid) const;
  std::optional<rdm::Uid> UidAt(int row) const;
  int SelectedRow() const { return Selected ? RowOf(*Selected) : -1; }
  DeviceRecord* SelectedDevice() { return Selected ? Find(*Selected) : nullptr; }
  // The devices' entries, in row order, as devnames.lst keeps them.
  DeviceNameList Names() const;
};

// A start address one write will send to one listed device.
struct AddressAssignment {
  rdm::Uid uid;
  std::optional<uint16_t> address;  // 1..512; nothing: no address is sent to it
};

// What the rig would look like after `changes`: each changed device whose footprint would
// overlap another listed device's, or that of a fixture the list leaves out, or run past 512,
// named with both blocks. Devices without a footprint or an address never conflict. Empty
// when the writes are clean.
std::vector<std::string> AddressConflicts(const DeviceTable& table,
                                          const std::vector<AddressAssignment>& changes);

}  // namespace velquor::workbench
