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

// The words the program shows for a device category and a status message ("/" for codes
// it does not know).
std::string CategoryText(uint16_t category);
std::string StatusText(uint16_t id, int16_t data1, int16_t data2);

struct RdmAnswer;
// The parameter data of an answer in words, for the parameters the program knows (the
// console's "Decoded:" line); empty when it has none to give.
std::string DescribeAnswer(uint16_t pid, uint8_t commandClass, const RdmAnswer& answer);

}  // namespace velquor::rdm
