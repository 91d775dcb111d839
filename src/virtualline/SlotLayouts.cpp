#include "virtualline/SlotLayouts.h"

#include <string>

#include "virtualline/Pids.h"

namespace velquor::virtualline {

namespace {

constexpr uint8_t P = 0x00;  // primary
constexpr uint8_t FINE = 0x01;
constexpr uint8_t SPEED = 0x03;
constexpr uint8_t ROT = 0x06;  // rotation

// E1.20 slot label IDs.
constexpr uint16_t INTENSITY = 0x0001, MASTER = 0x0002, PAN = 0x0101, TILT = 0x0102,
                   COLOR_WHEEL = 0x0201, CYAN = 0x0202, YELLOW = 0x0203, MAGENTA = 0x0204,
                   RED = 0x0205, GREEN = 0x0206, BLUE = 0x0207, WHITE = 0x0212, GOBO = 0x0302,
                   PRISM = 0x0303, IRIS = 0x0401, EDGE = 0x0402, FROST = 0x0403, STROBE = 0x0404,
                   ZOOM = 0x0405, LAMP = 0x0501, CONTROL = 0x0502, SPEED_ID = 0x0503,
                   MACRO = 0x0504;

constexpr SimSlot kSpotStandard[] = {
    {P, PAN, "Pan", 128},
    {P, TILT, "Tilt", 128},
    {P, SPEED_ID, "Pan/tilt speed", 0},
    {P, COLOR_WHEEL, "Color wheel", 0},
    {P, GOBO, "Gobo wheel", 0},
    {ROT, 4, "Gobo rotation", 0},
    {P, PRISM, "Prism", 0},
    {P, EDGE, "Focus", 128},
    {P, ZOOM, "Zoom", 128},
    {P, FROST, "Frost", 0},
    {P, IRIS, "Iris", 0},
    {P, STROBE, "Shutter", 32},
    {P, INTENSITY, "Dimmer", 0},
    {FINE, 12, "Dimmer fine", 0},
    {P, CONTROL, "Control", 0},
    {P, LAMP, "Lamp", 0},
};
constexpr SimSlot kSpotExtended[] = {
    {P, PAN, "Pan coarse", 128},
    {FINE, 0, "Pan fine", 0},
    {P, TILT, "Tilt coarse", 128},
    {FINE, 2, "Tilt fine", 0},
    {P, SPEED_ID, "Pan/tilt speed", 0},
    {P, COLOR_WHEEL, "Color wheel", 0},
    {P, CYAN, "Cyan", 0},
    {P, MAGENTA, "Magenta", 0},
    {P, YELLOW, "Yellow", 0},
    {P, GOBO, "Gobo wheel", 0},
    {ROT, 9, "Gobo rotation", 0},
    {P, PRISM, "Prism", 0},
    {ROT, 11, "Prism rotation", 0},
    {P, EDGE, "Focus", 128},
    {P, ZOOM, "Zoom", 128},
    {P, FROST, "Frost", 0},
    {P, IRIS, "Iris", 0},
    {P, STROBE, "Shutter", 32},
    {P, INTENSITY, "Dimmer", 0},
    {FINE, 18, "Dimmer fine", 0},
    {P, CONTROL, "Control", 0},
    {P, LAMP, "Lamp", 0},
};
constexpr SimSlot kSpotBasic[] = {
    {P, PAN, "Pan", 128},        {P, TILT, "Tilt", 128},     {P, COLOR_WHEEL, "Color wheel", 0},
    {P, GOBO, "Gobo wheel", 0},  {P, PRISM, "Prism", 0},     {P, EDGE, "Focus", 128},
    {P, ZOOM, "Zoom", 128},      {P, IRIS, "Iris", 0},       {P, STROBE, "Shutter", 32},
    {P, INTENSITY, "Dimmer", 0}, {P, CONTROL, "Control", 0}, {P, LAMP, "Lamp", 0},
};
constexpr SimSlot kParRgbw[] = {
    {P, RED, "Red", 0}, {P, GREEN, "Green", 0}, {P, BLUE, "Blue", 0}, {P, WHITE, "White", 0}};
constexpr SimSlot kParRgbwDimStrobe[] = {
    {P, RED, "Red", 0},       {P, GREEN, "Green", 0},         {P, BLUE, "Blue", 0},
    {P, WHITE, "White", 0},   {P, INTENSITY, "Dimmer", 255},  {P, STROBE, "Strobe", 0},
    {P, MACRO, "Program", 0}, {SPEED, 6, "Program speed", 0},
};
// An older firmware of the same par: it has no text for the strobe slot and NACKs it.
constexpr SimSlot kParRgbwDimStrobeOld[] = {
    {P, RED, "Red", 0},       {P, GREEN, "Green", 0},         {P, BLUE, "Blue", 0},
    {P, WHITE, "White", 0},   {P, INTENSITY, "Dimmer", 255},  {P, STROBE, nullptr, 0},
    {P, MACRO, "Program", 0}, {SPEED, 6, "Program speed", 0},
};
constexpr SimSlot kParRgb[] = {{P, RED, "Red", 0}, {P, GREEN, "Green", 0}, {P, BLUE, "Blue", 0}};
constexpr SimSlot kDimmerSix[] = {
    {P, INTENSITY, "Channel 1", 0}, {P, INTENSITY, "Channel 2", 0}, {P, INTENSITY, "Channel 3", 0},
    {P, INTENSITY, "Channel 4", 0}, {P, INTENSITY, "Channel 5", 0}, {P, INTENSITY, "Channel 6", 0},
};
constexpr SimSlot kDimmerMaster[] = {{P, MASTER, "Master", 0}};

struct Layout {
  const char* name;
  std::span<const SimSlot> personalities[3];
};
const Layout kLayouts[] = {
    {"orbit-350-spot", {kSpotStandard, kSpotExtended, kSpotBasic}},
    {"colorpar-18", {kParRgbw, kParRgbwDimStrobe, kParRgb}},
    {"colorpar-18-old", {kParRgbw, kParRgbwDimStrobeOld, kParRgb}},
    {"dp-6", {kDimmerSix, kDimmerMaster, {}}},
};

const Layout* Find(std::string_view name) {
  for (const Layout& layout : kLayouts) {
    if (name == layout.name) return &layout;
  }
  return nullptr;
}

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

Reply NackOf(uint16_t reason) {
  Reply r{0x02, {}};
  PutU16(r.data, reason);
  return r;
}

}  // namespace

std::span<const SimSlot> SlotLayout(std::string_view name, uint8_t personality) {
  const Layout* layout = Find(name);
  if (!layout || personality < 1 || personality > 3) return {};
  return layout->personalities[personality - 1];
}

bool SlotLayoutExists(std::string_view name) {
  return Find(name) != nullptr;
}

std::optional<Reply> SlotAnswer(const Fixture& f, const WireRequest& request) {
  if (request.pid != pid::SLOT_INFO && request.pid != pid::SLOT_DESCRIPTION &&
      request.pid != pid::DEFAULT_SLOT_VALUE) {
    return std::nullopt;
  }
  const std::span<const SimSlot> slots = SlotLayout(f.slotLayout, f.personality);
  const auto& d = request.data;
  Reply ack{0x00, {}};
  if (request.pid == pid::SLOT_DESCRIPTION) {
    if (d.size() != 2) return NackOf(kNackFormatError);
    const uint16_t offset = static_cast<uint16_t>((d[0] << 8) | d[1]);
    if (offset >= slots.size() || !slots[offset].description) {
      return NackOf(kNackDataOutOfRange);
    }
    PutU16(ack.data, offset);
    const std::string text = slots[offset].description;
    ack.data.insert(ack.data.end(), text.begin(), text.end());
    return ack;
  }
  if (!d.empty()) return NackOf(kNackFormatError);
  for (size_t i = 0; i < slots.size(); ++i) {
    PutU16(ack.data, static_cast<uint16_t>(i));
    if (request.pid == pid::SLOT_INFO) {
      ack.data.push_back(slots[i].type);
      PutU16(ack.data, slots[i].labelId);
    } else {
      ack.data.push_back(slots[i].defaultValue);
    }
  }
  return ack;
}

}  // namespace velquor::virtualline
