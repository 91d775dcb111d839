#include "rdm/Slots.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>

#include "rdm/Codec.h"
#include "rdm/Decoders.h"

namespace velquor::rdm {

std::vector<SlotInfo> DecodeSlotInfo(std::span<const uint8_t> d) {
  std::vector<SlotInfo> out;
  for (size_t i = 0; i + kSlotInfoBytes <= d.size(); i += kSlotInfoBytes) {
    out.push_back({ReadU16(&d[i]), d[i + 2], ReadU16(&d[i + 3])});
  }
  return out;
}

std::optional<SlotDescription> DecodeSlotDescription(std::span<const uint8_t> d) {
  if (d.size() < 2) return std::nullopt;
  return SlotDescription{ReadU16(d.data()), DecodeText(d.subspan(2))};
}

std::vector<SlotDefault> DecodeDefaultSlotValues(std::span<const uint8_t> d) {
  std::vector<SlotDefault> out;
  for (size_t i = 0; i + kSlotDefaultBytes <= d.size(); i += kSlotDefaultBytes) {
    out.push_back({ReadU16(&d[i]), d[i + 2]});
  }
  return out;
}

std::string SlotTypeName(uint8_t type) {
  static constexpr const char* kTypes[] = {"Primary", "Fine",  "Timing",   "Speed",
                                           "Control", "Index", "Rotation", "Index rotate"};
  if (type < std::size(kTypes)) return kTypes[type];
  return type == 0xFF ? "Undefined" : fmt::format("type 0x{:02X}", type);
}

std::optional<std::string> SlotLabelName(uint16_t labelId) {
  struct Name {
    uint16_t id;
    const char* text;
  };
  // E1.20 Table C-2, in its order.
  static constexpr Name kNames[] = {
      {0x0001, "Intensity"},
      {0x0002, "Intensity Master"},
      {0x0101, "Pan"},
      {0x0102, "Tilt"},
      {0x0201, "Color Wheel"},
      {0x0202, "Cyan"},
      {0x0203, "Yellow"},
      {0x0204, "Magenta"},
      {0x0205, "Red"},
      {0x0206, "Green"},
      {0x0207, "Blue"},
      {0x0208, "Color Correction"},
      {0x0209, "Color Scroll"},
      {0x0210, "Color Semaphore"},
      {0x0211, "Amber"},
      {0x0212, "White"},
      {0x0213, "Warm White"},
      {0x0214, "Cool White"},
      {0x0215, "UV"},
      {0x0216, "Hue"},
      {0x0217, "Saturation"},
      {0x0301, "Static Gobo Wheel"},
      {0x0302, "Rotating Gobo Wheel"},
      {0x0303, "Prism Wheel"},
      {0x0304, "Effects Wheel"},
      {0x0401, "Iris"},
      {0x0402, "Edge"},
      {0x0403, "Frost"},
      {0x0404, "Strobe"},
      {0x0405, "Zoom"},
      {0x0406, "Framing Shutter"},
      {0x0407, "Framing Shutter Rotation"},
      {0x0408, "Douser"},
      {0x0409, "Barn Door"},
      {0x0501, "Lamp Control"},
      {0x0502, "Fixture Control"},
      {0x0503, "Fixture Speed"},
      {0x0504, "Macro"},
      {0x0505, "Power Control"},
      {0x0506, "Fan Control"},
      {0x0507, "Heater Control"},
      {0x0508, "Fountain Control"},
      {0xFFFF, "Undefined"},
  };
  const auto* it = std::find_if(std::begin(kNames), std::end(kNames),
                                [labelId](const Name& n) { return n.id == labelId; });
  if (it == std::end(kNames)) return std::nullopt;
  return std::string(it->text);
}

}  // namespace velquor::rdm
