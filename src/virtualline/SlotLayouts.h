#pragma once
// What each DMX slot of the simulated fixtures does, by layout name and personality, and the
// answers to SLOT_INFO, SLOT_DESCRIPTION and DEFAULT_SLOT_VALUE built from it.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "virtualline/Responder.h"

namespace velquor::virtualline {

struct SimSlot {
  uint8_t type;             // E1.20 slot type: 0 primary, 1 fine, 3 speed, 6 rotation, ...
  uint16_t labelId;         // primary: E1.20 slot label ID; secondary: its primary's offset
  const char* description;  // nullptr: the firmware has none and NACKs the request
  uint8_t defaultValue;
};

// The slots of personality `personality` (1-based) of the layout `name` ("orbit-350-spot");
// empty when the layout has no such personality or no such layout exists.
std::span<const SimSlot> SlotLayout(std::string_view name, uint8_t personality);
bool SlotLayoutExists(std::string_view name);

// The answer of `fixture` to a GET of one of the three slot parameters; nothing for
// another parameter.
std::optional<Reply> SlotAnswer(const Fixture& fixture, const WireRequest& request);

}  // namespace velquor::virtualline
