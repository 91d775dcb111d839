#include "rdm/Decoders.h"

#include <fmt/format.h>

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

std::string CategoryText(uint16_t category) {
  switch (category) {
    case 0x0101:
      return "Fixed Fixture";
    case 0x0102:
      return "Moving Head";
    case 0x0103:
      return "Scanner";
    case 0x0300:
      return "Projector";
    case 0x0401:
      return "Fog & Haze";
    case 0x0501:
      return "Dimmer";
    case 0x0502:
      return "CFL Dimmer";
    case 0x0504:
      return "Switch";
    case 0x0509:
      return "LED Dimmer";
    default:
      return "/";
  }
}

std::string StatusText(uint16_t id, int16_t d1, int16_t d2) {
  const unsigned t = static_cast<uint16_t>(d2) & 0xFF;
  switch (id) {
    case 0x0001:
      return fmt::format("Calibration {} failed", d1);
    case 0x0002:
      return fmt::format("Sensor {} not found", d1);
    case 0x0003:
      return fmt::format("Sensor {} always on", d1);
    case 0x0011:
      return "Lamp doused";
    case 0x0012:
      return "Lamp strike";
    case 0x0021:
      return fmt::format("Hot, {} ", t);
    case 0x0022:
      return fmt::format("Temperature {} too low, {}", d1, d2);
    case 0x0023:
      return fmt::format("Sensor {} out of range", d1);
    case 0x0031:
      return fmt::format("Voltage of Phase{} to high, {}V", d1, d2);
    case 0x0032:
      return fmt::format("Voltage of Phase{} too low, {}V", d1, d2);
    case 0x0033:
      return fmt::format("Current of Phase{} to high, {}A", d1, d2);
    case 0x0036:
      return fmt::format("Error of Phase {}", d1);
    case 0x0042:
      return fmt::format("Breaker {} tripped", d1);
    case 0x0044:
      return "Dimming Failure";
    case 0x0050:
      return fmt::format("OK; Temp. {} ", t);
    case 0x0051:
      return "Not Ready";
    case 0x0052:
      return "Low Fluid";
    default:
      return "/";
  }
}

}  // namespace velquor::rdm
