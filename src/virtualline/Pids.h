#pragma once
// The parameters the simulated responders know. Kept apart from the controller's own
// tables so that a fault there shows up as a failed exchange, not a mirrored one.

#include <cstdint>
#include <optional>
#include <string_view>

namespace velquor::virtualline::pid {

constexpr uint16_t DISC_UNIQUE_BRANCH = 0x0001;
constexpr uint16_t DISC_MUTE = 0x0002;
constexpr uint16_t DISC_UN_MUTE = 0x0003;
constexpr uint16_t STATUS_MESSAGES = 0x0030;
constexpr uint16_t SUPPORTED_PARAMETERS = 0x0050;
constexpr uint16_t DEVICE_INFO = 0x0060;
constexpr uint16_t DEVICE_MODEL_DESCRIPTION = 0x0080;
constexpr uint16_t MANUFACTURER_LABEL = 0x0081;
constexpr uint16_t DEVICE_LABEL = 0x0082;
constexpr uint16_t SOFTWARE_VERSION_LABEL = 0x00C0;
constexpr uint16_t DMX_PERSONALITY = 0x00E0;
constexpr uint16_t DMX_PERSONALITY_DESCRIPTION = 0x00E1;
constexpr uint16_t DMX_START_ADDRESS = 0x00F0;
constexpr uint16_t SLOT_INFO = 0x0120;
constexpr uint16_t SLOT_DESCRIPTION = 0x0121;
constexpr uint16_t DEFAULT_SLOT_VALUE = 0x0122;
constexpr uint16_t DEVICE_HOURS = 0x0400;
constexpr uint16_t LAMP_HOURS = 0x0401;
constexpr uint16_t LAMP_STATE = 0x0403;
constexpr uint16_t PAN_INVERT = 0x0600;
constexpr uint16_t TILT_INVERT = 0x0601;
constexpr uint16_t PAN_TILT_SWAP = 0x0602;
constexpr uint16_t IDENTIFY_DEVICE = 0x1000;
constexpr uint16_t RESET_DEVICE = 0x1001;
constexpr uint16_t RADIO_CHANNEL = 0x859A;

// The number for a name a rig file may use ("DEVICE_LABEL"), or for "0x0082" / "130".
std::optional<uint16_t> FromName(std::string_view name);

}  // namespace velquor::virtualline::pid
