#include "rdm/Decoders.h"

#include "rdm/Codec.h"

namespace velquor::rdm {

std::optional<DeviceInfo> DecodeDeviceInfo(std::span<const uint8_t> d) {
  if (d.size() < kDeviceInfoBytes) return std::nullopt;
  DeviceInfo info;
  info.protocolMajor = d[0];
  info.protocolMinor = d[1];
  info.model = ReadU16(&d[2]);
  info.category = ReadU16(&d[4]);
  info.softwareVersion = ReadU32(&d[6]);
  info.footprint = ReadU16(&d[10]);
  info.personality = d[12];
  info.personalityCount = d[13];
  info.startAddress = ReadU16(&d[14]);
  info.subDeviceCount = ReadU16(&d[16]);
  info.sensorCount = d[18];
  return info;
}

std::vector<StatusMessage> DecodeStatusMessages(std::span<const uint8_t> d) {
  std::vector<StatusMessage> out;
  for (size_t i = 0; i + kStatusMessageBytes <= d.size(); i += kStatusMessageBytes) {
    out.push_back({ReadU16(&d[i]), d[i + 2], ReadU16(&d[i + 3]),
                   static_cast<int16_t>(ReadU16(&d[i + 5])),
                   static_cast<int16_t>(ReadU16(&d[i + 7]))});
  }
  return out;
}

std::optional<PersonalityDescription> DecodePersonalityDescription(std::span<const uint8_t> d) {
  if (d.size() < 3) return std::nullopt;
  return PersonalityDescription{d[0], ReadU16(&d[1]), DecodeText(d.subspan(3))};
}

std::vector<uint16_t> DecodePidList(std::span<const uint8_t> d) {
  std::vector<uint16_t> pids;
  for (size_t i = 0; i + 1 < d.size(); i += 2) pids.push_back(ReadU16(&d[i]));
  return pids;
}

std::optional<uint32_t> DecodeHours(std::span<const uint8_t> d) {
  if (d.size() < 4) return std::nullopt;
  return ReadU32(d.data());
}

std::string DecodeText(std::span<const uint8_t> d) {
  return {d.begin(), d.end()};
}

}  // namespace velquor::rdm
