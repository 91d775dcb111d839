#pragma once
// What each channel of a fixture does, as it answered SLOT_INFO, SLOT_DESCRIPTION,
// DEFAULT_SLOT_VALUE and the description of its current personality, and the words the
// window and velquor-cli show for it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rdm/Slots.h"

namespace velquor::workbench {

// One slot: what SLOT_INFO said of it and, where answered, its description and default.
struct SlotReading {
  rdm::SlotInfo info;
  std::optional<std::string> description;
  std::optional<uint8_t> defaultValue;
  bool operator==(const SlotReading&) const = default;
};

// The channels of one fixture as read at one time; nothing where it did not answer.
struct ChannelLayout {
  std::optional<uint16_t> startAddress;  // 1..512; nothing: not answered or no footprint
  uint8_t personality = 0;               // 0: not answered
  std::optional<uint16_t> footprint;
  std::optional<std::string> personalityDescription;
  std::vector<SlotReading> slotReadings;  // empty: SLOT_INFO not listed or not answered
  bool slotsAsked = false;                // the fixture was asked for its slots
  bool operator==(const ChannelLayout&) const = default;
};

struct DeviceReading;
ChannelLayout ChannelLayoutOf(const DeviceReading& reading);

// "Mode 2 (22 ch): Extended"; without a description "Mode 2 (22 ch)"; empty when no
// personality was answered.
std::string PersonalityHeading(const ChannelLayout& layout);

// One line of the channel list.
struct ChannelLine {
  std::optional<uint16_t> address;  // the DMX address; nothing without a start address
  uint16_t offset = 0;              // from the start address
  std::string type;                 // "Primary", "Fine", ...
  std::string name;                 // the description, else E1.20's name for the slot
  std::optional<uint8_t> defaultValue;
};
std::vector<ChannelLine> ChannelLines(const ChannelLayout& layout);
// "17 Pan coarse" (the address, else "+offset", then the name).
std::string ChannelLineText(const ChannelLine& line);

// The name of the channel on DMX address `address` (1..512), when the layout covers it.
std::optional<std::string> ChannelNameAt(const ChannelLayout& layout, int address);

}  // namespace velquor::workbench
