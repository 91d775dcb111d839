#pragma once
// The parameter data of the answers the program reads, as values. Each decoder checks the
// length E1.20 gives before it reads a byte; nothing comes back from data that is too short.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velquor::rdm {

struct DeviceInfo {
  uint8_t protocolMajor = 0;
  uint8_t protocolMinor = 0;
  uint16_t model = 0;
  uint16_t category = 0;
  uint32_t softwareVersion = 0;
  uint16_t footprint = 0;
  uint8_t personality = 0;
  uint8_t personalityCount = 0;
  uint16_t startAddress = 0;  // 0xFFFF: no DMX footprint
  uint16_t subDeviceCount = 0;
  uint8_t sensorCount = 0;
};
constexpr size_t kDeviceInfoBytes = 19;
std::optional<DeviceInfo> DecodeDeviceInfo(std::span<const uint8_t> data);

struct StatusMessage {
  uint16_t subDevice = 0;
  uint8_t type = 0;  // STATUS_ADVISORY 2, STATUS_WARNING 3, STATUS_ERROR 4
  uint16_t id = 0;
  int16_t data1 = 0;
  int16_t data2 = 0;
};
constexpr size_t kStatusMessageBytes = 9;
// Every whole message; a trailing part of a message is left out.
std::vector<StatusMessage> DecodeStatusMessages(std::span<const uint8_t> data);

struct PersonalityDescription {
  uint8_t number = 0;
  uint16_t footprint = 0;
  std::string text;
};
std::optional<PersonalityDescription> DecodePersonalityDescription(std::span<const uint8_t> data);

std::vector<uint16_t> DecodePidList(std::span<const uint8_t> data);
// DEVICE_HOURS, LAMP_HOURS: an unsigned 32-bit count.
std::optional<uint32_t> DecodeHours(std::span<const uint8_t> data);
std::string DecodeText(std::span<const uint8_t> data);
// IDENTIFY_DEVICE, PAN_INVERT, TILT_INVERT, PAN_TILT_SWAP: one byte, 1 is on.
std::optional<bool> DecodeFlag(std::span<const uint8_t> data);
// LAMP_STATE, LAMP_ON_MODE, the radio channel: one byte.
std::optional<uint8_t> DecodeByte(std::span<const uint8_t> data);
// DMX_START_ADDRESS: the address; 0xFFFF means the device has no DMX footprint.
constexpr uint16_t kNoStartAddress = 0xFFFF;
std::optional<uint16_t> DecodeStartAddress(std::span<const uint8_t> data);
// E1.20's lamp states and lamp-on modes in words ("state 9" for one E1.20 does not name).
std::string LampStateName(uint8_t state);
std::string LampOnModeName(uint8_t mode);

// The words the program shows for a device category and a status message ("/" for codes
// it does not know).
std::string CategoryText(uint16_t category);
std::string StatusText(uint16_t id, int16_t data1, int16_t data2);

struct RdmAnswer;
// The parameter data of an answer in words, for the parameters the program knows (the
// console's "Decoded:" line); empty when it has none to give.
std::string DescribeAnswer(uint16_t pid, uint8_t commandClass, const RdmAnswer& answer);

}  // namespace velquor::rdm
