#include "virtualline/Pids.h"

#include <utility>

#include "common/Text.h"

namespace velquor::virtualline::pid {

std::optional<uint16_t> FromName(std::string_view name) {
  static constexpr std::pair<const char*, uint16_t> kNames[] = {
      {"STATUS_MESSAGES", STATUS_MESSAGES},
      {"SUPPORTED_PARAMETERS", SUPPORTED_PARAMETERS},
      {"DEVICE_INFO", DEVICE_INFO},
      {"DEVICE_MODEL_DESCRIPTION", DEVICE_MODEL_DESCRIPTION},
      {"MANUFACTURER_LABEL", MANUFACTURER_LABEL},
      {"DEVICE_LABEL", DEVICE_LABEL},
      {"SOFTWARE_VERSION_LABEL", SOFTWARE_VERSION_LABEL},
      {"DMX_PERSONALITY", DMX_PERSONALITY},
      {"DMX_PERSONALITY_DESCRIPTION", DMX_PERSONALITY_DESCRIPTION},
      {"DMX_START_ADDRESS", DMX_START_ADDRESS},
      {"SLOT_INFO", SLOT_INFO},
      {"SLOT_DESCRIPTION", SLOT_DESCRIPTION},
      {"DEFAULT_SLOT_VALUE", DEFAULT_SLOT_VALUE},
      {"DEVICE_HOURS", DEVICE_HOURS},
      {"LAMP_HOURS", LAMP_HOURS},
      {"LAMP_STATE", LAMP_STATE},
      {"PAN_INVERT", PAN_INVERT},
      {"TILT_INVERT", TILT_INVERT},
      {"PAN_TILT_SWAP", PAN_TILT_SWAP},
      {"IDENTIFY_DEVICE", IDENTIFY_DEVICE},
      {"RESET_DEVICE", RESET_DEVICE},
      {"RADIO_CHANNEL", RADIO_CHANNEL},
      {"SENSOR_DEFINITION", 0x0200},
      {"SENSOR_VALUE", 0x0201},
      {"RECORD_SENSORS", 0x0202},
  };
  if (auto n = common::ParseUnsigned(name); n && *n <= 0xFFFF) return static_cast<uint16_t>(*n);
  std::string upper = common::ToUpper(name);
  for (const auto& [text, value] : kNames) {
    if (upper == text) return value;
  }
  return std::nullopt;
}

}  // namespace velquor::virtualline::pid
