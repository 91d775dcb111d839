#pragma once
// The parameter IDs the program knows by name, in the order of the console's list.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velquor::rdm {

struct KnownPid {
  uint16_t pid;
  const char* name;  // E1.20 or E1.37-1 name
  bool e137;         // defined by E1.37-1
};

std::span<const KnownPid> KnownPidTable();
// "0x0060_E120_DEVICE_INFO", "0x0140_E137_1_DMX_BLOCK_ADDRESS"
std::string KnownPidItemText(const KnownPid& entry);
// The PID for a name ("DEVICE_INFO", "device_info", an item text) or a number ("0x0060", "96").
std::optional<uint16_t> ParsePid(std::string_view text);
// The item of a known PID in the table (and the console's list); nothing when unknown.
std::optional<size_t> KnownPidIndex(uint16_t pid);
// The bare name of a known PID, or nullptr.
const char* PidName(uint16_t pid);

// Parameter IDs used by the program's own operations.
namespace pid {
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
constexpr uint16_t DEVICE_HOURS = 0x0400;
constexpr uint16_t LAMP_HOURS = 0x0401;
constexpr uint16_t LAMP_STATE = 0x0403;
constexpr uint16_t LAMP_ON_MODE = 0x0404;
constexpr uint16_t PAN_INVERT = 0x0600;
constexpr uint16_t TILT_INVERT = 0x0601;
constexpr uint16_t PAN_TILT_SWAP = 0x0602;
constexpr uint16_t IDENTIFY_DEVICE = 0x1000;
constexpr uint16_t RESET_DEVICE = 0x1001;
constexpr uint16_t RADIO_CHANNEL = 0x859A;  // manufacturer-specific
}  // namespace pid

}  // namespace velquor::rdm
