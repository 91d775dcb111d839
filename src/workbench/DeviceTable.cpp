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

namespace {

std::string WithoutControlCharacters(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return out;
}

}  // namespace

void DeviceNameList::Set(std::string_view key, std::string_view value) {
  for (Entry& e : entries_) {
    if (e.key == key) {
      e.value = WithoutControlCharacters(value);
      return;
    }
  }
  entries_.push_back({std::string(key), WithoutControlCharacters(value)});
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

std::string DeviceTable::LabelOfRow(int row) const {
  if (row < 0 || static_cast<size_t>(row) >= Names.Count()) return {};
  return Names.At(static_cast<size_t>(row)).value;
}

}  // namespace velquor::workbench
