#include "workbench/Slots.h"

#include <fmt/format.h>

#include <algorithm>

#include "workbench/DeviceOperations.h"

namespace velquor::workbench {

namespace pid = rdm::pid;

ChannelLayout ChannelLayoutOf(const DeviceReading& r) {
  ChannelLayout layout;
  if (r.startAddress && *r.startAddress >= 1 && *r.startAddress <= 512) {
    layout.startAddress = *r.startAddress;
  }
  if (r.info) {
    layout.personality = r.info->personality;
    layout.footprint = r.info->footprint;
  }
  layout.personalityDescription = r.personalityDescription;
  if (r.slotReadings) {
    layout.slotReadings = *r.slotReadings;
    layout.slotsAsked = true;
  }
  return layout;
}

std::string PersonalityHeading(const ChannelLayout& layout) {
  if (layout.personality == 0) return {};
  std::string text = fmt::format("Mode {}", layout.personality);
  if (layout.footprint) text += fmt::format(" ({} ch)", *layout.footprint);
  if (layout.personalityDescription && !layout.personalityDescription->empty()) {
    text += ": " + *layout.personalityDescription;
  }
  return text;
}

namespace {
// What E1.20 calls a slot that has no description: a primary by its label ID, a secondary
// by its primary's name and its own type ("Pan" "Fine": "Pan fine").
std::string NameWithoutDescription(const ChannelLayout& layout, const rdm::SlotInfo& info) {
  if (info.type == rdm::kSlotPrimary) {
    return rdm::SlotLabelName(info.labelId).value_or(fmt::format("0x{:04X}", info.labelId));
  }
  std::string type = rdm::SlotTypeName(info.type);
  std::transform(type.begin(), type.end(), type.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto primary =
      std::find_if(layout.slotReadings.begin(), layout.slotReadings.end(), [&](const auto& s) {
        return s.info.offset == info.labelId && s.info.type == rdm::kSlotPrimary;
      });
  if (primary == layout.slotReadings.end()) return type;
  const auto name = rdm::SlotLabelName(primary->info.labelId);
  return name ? *name + " " + type : type;
}
}  // namespace

std::vector<ChannelLine> ChannelLines(const ChannelLayout& layout) {
  std::vector<ChannelLine> lines;
  for (const SlotReading& slot : layout.slotReadings) {
    ChannelLine line;
    line.offset = slot.info.offset;
    if (layout.startAddress) {
      const int address = *layout.startAddress + slot.info.offset;
      if (address <= 512) line.address = static_cast<uint16_t>(address);
    }
    line.type = rdm::SlotTypeName(slot.info.type);
    line.name = slot.description && !slot.description->empty()
                    ? *slot.description
                    : NameWithoutDescription(layout, slot.info);
    line.defaultValue = slot.defaultValue;
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string ChannelLineText(const ChannelLine& line) {
  const std::string where =
      line.address ? std::to_string(*line.address) : fmt::format("+{}", line.offset);
  return where + " " + line.name;
}

std::optional<std::string> ChannelNameAt(const ChannelLayout& layout, int address) {
  for (const ChannelLine& line : ChannelLines(layout)) {
    if (line.address && *line.address == address) return line.name;
  }
  return std::nullopt;
}

}  // namespace velquor::workbench

namespace velquor::workbench {

void DeviceOperations::GetSlots(DeviceReading& into) {
  const rdm::Uid uid = into.uid;
  into.slotReadings.reset();
  if (!AskedOf(into, pid::SLOT_INFO)) return;
  LogOp("Getting slot info of 0x", uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::SLOT_INFO, {}}, uid);
  if (!Acked(a, pid::SLOT_INFO, uid)) return;
  std::vector<rdm::SlotInfo> infos = rdm::DecodeSlotInfo(a.Data());
  if (a.Data().size() % rdm::kSlotInfoBytes != 0) {
    log_.Add(fmt::format("SLOT_INFO of 0x{}: answer of {} bytes ends in part of a slot, left out",
                         rdm::UidText(uid), a.Data().size()));
  }
  // A universe has 512 slots: more is a broken answer, not more to ask about.
  constexpr size_t kMostSlots = 512;
  if (infos.size() > kMostSlots) {
    log_.Add(fmt::format("SLOT_INFO of 0x{}: {} slots listed, the first {} kept", rdm::UidText(uid),
                         infos.size(), kMostSlots));
    infos.resize(kMostSlots);
  }
  std::vector<SlotReading> found;
  for (const rdm::SlotInfo& info : infos) found.push_back({info, std::nullopt, std::nullopt});
  if (AskedOf(into, pid::SLOT_DESCRIPTION) && !found.empty()) {
    LogOp("Getting slot descriptions of 0x", uid);
    for (SlotReading& slot : found) {
      const uint16_t offset = slot.info.offset;
      rdm::RdmAnswer d =
          Transact({rdm::GET_COMMAND,
                    pid::SLOT_DESCRIPTION,
                    {static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset)}},
                   uid);
      if (!Acked(d, pid::SLOT_DESCRIPTION, uid)) continue;  // the other slots go on
      const auto description = rdm::DecodeSlotDescription(d.Data());
      // An answer about another slot says nothing of this one.
      if (!description || description->offset != offset) {
        log_.Add(fmt::format("SLOT_DESCRIPTION of 0x{}: the answer for slot {} is not about it",
                             rdm::UidText(uid), offset));
        continue;
      }
      slot.description = description->text;
    }
  }
  if (AskedOf(into, pid::DEFAULT_SLOT_VALUE) && !found.empty()) {
    LogOp("Getting default slot values of 0x", uid);
    rdm::RdmAnswer v = Transact({rdm::GET_COMMAND, pid::DEFAULT_SLOT_VALUE, {}}, uid);
    if (Acked(v, pid::DEFAULT_SLOT_VALUE, uid)) {
      for (const rdm::SlotDefault& value : rdm::DecodeDefaultSlotValues(v.Data())) {
        for (SlotReading& slot : found) {
          if (slot.info.offset == value.offset) slot.defaultValue = value.value;
        }
      }
    }
  }
  into.slotReadings = std::move(found);
}

}  // namespace velquor::workbench
