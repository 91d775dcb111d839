#pragma once
// What each DMX slot of a personality does: SLOT_INFO, SLOT_DESCRIPTION and
// DEFAULT_SLOT_VALUE as values, and E1.20's names for slot types and slot label IDs.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velquor::rdm {

namespace pid {
constexpr uint16_t SLOT_INFO = 0x0120;
constexpr uint16_t SLOT_DESCRIPTION = 0x0121;
constexpr uint16_t DEFAULT_SLOT_VALUE = 0x0122;
}  // namespace pid

// Slot types: primary, or a secondary whose label ID is the offset of its primary slot.
constexpr uint8_t kSlotPrimary = 0x00;

struct SlotInfo {
  uint16_t offset = 0;  // from the start address, 0-based
  uint8_t type = 0;
  uint16_t labelId = 0;  // primary: what it controls; secondary: its primary's offset
  bool operator==(const SlotInfo&) const = default;
};
constexpr size_t kSlotInfoBytes = 5;
// Every whole entry; a trailing part of an entry is left out.
std::vector<SlotInfo> DecodeSlotInfo(std::span<const uint8_t> data);

struct SlotDescription {
  uint16_t offset = 0;
  std::string text;
};
std::optional<SlotDescription> DecodeSlotDescription(std::span<const uint8_t> data);

struct SlotDefault {
  uint16_t offset = 0;
  uint8_t value = 0;
  bool operator==(const SlotDefault&) const = default;
};
constexpr size_t kSlotDefaultBytes = 3;
std::vector<SlotDefault> DecodeDefaultSlotValues(std::span<const uint8_t> data);

// "Primary", "Fine", "Speed", ... ("type 0x42" for one E1.20 does not name).
std::string SlotTypeName(uint8_t type);
// "Intensity", "Pan", "Color Wheel", ...; nothing for a label ID E1.20 does not name.
std::optional<std::string> SlotLabelName(uint16_t labelId);

}  // namespace velquor::rdm
