#include "rdm/KnownPids.h"

#include <fmt/format.h>

#include <array>
#include <string>
#include <vector>

#include "common/Text.h"

namespace velquor::rdm {

namespace {
constexpr std::array<KnownPid, 73> kTable{{
    {0x0001, "DISC_UNIQUE_BRANCH", false},
    {0x0002, "DISC_MUTE", false},
    {0x0003, "DISC_UN_MUTE", false},
    {0x0010, "PROXIED_DEVICES", false},
    {0x0011, "PROXIED_DEVICE_COUNT", false},
    {0x0015, "COMMS_STATUS", false},
    {0x0020, "QUEUED_MESSAGE", false},
    {0x0030, "STATUS_MESSAGES", false},
    {0x0031, "STATUS_ID_DESCRIPTION", false},
    {0x0032, "CLEAR_STATUS_ID", false},
    {0x0033, "SUB_DEVICE_STATUS_REPORT_THRESHOLD", false},
    {0x0050, "SUPPORTED_PARAMETERS", false},
    {0x0051, "PARAMETER_DESCRIPTION", false},
    {0x0060, "DEVICE_INFO", false},
    {0x0070, "PRODUCT_DETAIL_ID_LIST", false},
    {0x0080, "DEVICE_MODEL_DESCRIPTION", false},
    {0x0081, "MANUFACTURER_LABEL", false},
    {0x0082, "DEVICE_LABEL", false},
    {0x0090, "FACTORY_DEFAULTS", false},
    {0x00A0, "LANGUAGE_CAPABILITIES", false},
    {0x00B0, "LANGUAGE", false},
    {0x00C0, "SOFTWARE_VERSION_LABEL", false},
    {0x00C1, "BOOT_SOFTWARE_VERSION_ID", false},
    {0x00C2, "BOOT_SOFTWARE_VERSION_LABEL", false},
    {0x00E0, "DMX_PERSONALITY", false},
    {0x00E1, "DMX_PERSONALITY_DESCRIPTION", false},
    {0x00F0, "DMX_START_ADDRESS", false},
    {0x0120, "SLOT_INFO", false},
    {0x0121, "SLOT_DESCRIPTION", false},
    {0x0122, "DEFAULT_SLOT_VALUE", false},
    {0x0140, "DMX_BLOCK_ADDRESS", true},
    {0x0141, "DMX_FAIL_MODE", true},
    {0x0142, "DMX_STARTUP_MODE", true},
    {0x0200, "SENSOR_DEFINITION", false},
    {0x0201, "SENSOR_VALUE", false},
    {0x0202, "RECORD_SENSORS", false},
    {0x0340, "DIMMER_INFO", true},
    {0x0341, "MINIMUM_LEVEL", true},
    {0x0342, "MAXIMUM_LEVEL", true},
    {0x0343, "CURVE", true},
    {0x0344, "CURVE_DESCRIPTION", true},
    {0x0345, "OUTPUT_RESPONSE_TIME", true},
    {0x0346, "OUTPUT_RESPONSE_TIME_DESCRIPTION", true},
    {0x0347, "MODULATION_FREQUENCY", true},
    {0x0348, "MODULATION_FREQUENCY_DESCRIPTION", true},
    {0x0400, "DEVICE_HOURS", false},
    {0x0401, "LAMP_HOURS", false},
    {0x0402, "LAMP_STRIKES", false},
    {0x0403, "LAMP_STATE", false},
    {0x0404, "LAMP_ON_MODE", false},
    {0x0405, "DEVICE_POWER_CYCLES", false},
    {0x0440, "BURN_IN", true},
    {0x0500, "DISPLAY_INVERT", false},
    {0x0501, "DISPLAY_LEVEL", false},
    {0x0600, "PAN_INVERT", false},
    {0x0601, "TILT_INVERT", false},
    {0x0602, "PAN_TILT_SWAP", false},
    {0x0603, "REAL_TIME_CLOCK", false},
    {0x0640, "LOCK_PIN", true},
    {0x0641, "LOCK_STATE", true},
    {0x0642, "LOCK_STATE_DESCRIPTION", true},
    {0x1000, "IDENTIFY_DEVICE", false},
    {0x1001, "RESET_DEVICE", false},
    {0x1010, "POWER_STATE", false},
    {0x1020, "PERFORM_SELFTEST", false},
    {0x1021, "SELF_TEST_DESCRIPTION", false},
    {0x1030, "CAPTURE_PRESET", false},
    {0x1031, "PRESET_PLAYBACK", false},
    {0x1040, "IDENTIFY_MODE", true},
    {0x1041, "PRESET_INFO", true},
    {0x1042, "PRESET_STATUS", true},
    {0x1043, "PRESET_MERGEMODE", true},
    {0x1044, "POWER_ON_SELF_TEST", true},
}};
}  // namespace

std::span<const KnownPid> KnownPidTable() {
  return kTable;
}

std::string KnownPidItemText(const KnownPid& entry) {
  return fmt::format("0x{:04X}_{}_{}", entry.pid, entry.e137 ? "E137_1" : "E120", entry.name);
}

std::optional<size_t> KnownPidIndex(uint16_t pidValue) {
  for (size_t k = 0; k < std::size(kTable); ++k) {
    if (kTable[k].pid == pidValue) return k;
  }
  return std::nullopt;
}

const char* PidName(uint16_t pidValue) {
  const auto k = KnownPidIndex(pidValue);
  return k ? kTable[*k].name : nullptr;
}

std::optional<uint16_t> ParsePid(std::string_view text) {
  if (auto n = common::ParseUnsigned(text)) {
    if (*n <= 0xFFFF) return static_cast<uint16_t>(*n);
    return std::nullopt;
  }
  // The list's item texts, upper-cased once: a script may name thousands of parameters.
  static const std::vector<std::string> kItemTexts = [] {
    std::vector<std::string> texts;
    for (const auto& e : kTable) texts.push_back(common::ToUpper(KnownPidItemText(e)));
    return texts;
  }();
  std::string upper = common::ToUpper(text);
  for (size_t k = 0; k < std::size(kTable); ++k) {
    if (upper == kTable[k].name || upper == kItemTexts[k]) return kTable[k].pid;
  }
  if (upper == "RADIO_CHANNEL") return pid::RADIO_CHANNEL;
  return std::nullopt;
}

}  // namespace velquor::rdm
