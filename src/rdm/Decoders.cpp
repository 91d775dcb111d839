#include "rdm/Decoders.h"

#include <fmt/format.h>

#include "rdm/Codec.h"
#include "rdm/KnownPids.h"
#include "rdm/RdmEngine.h"
#include "rdm/Slots.h"

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

std::optional<bool> DecodeFlag(std::span<const uint8_t> d) {
  if (d.empty()) return std::nullopt;
  return d[0] == 1;
}

std::optional<uint8_t> DecodeByte(std::span<const uint8_t> d) {
  if (d.empty()) return std::nullopt;
  return d[0];
}

std::optional<uint16_t> DecodeStartAddress(std::span<const uint8_t> d) {
  if (d.size() < 2) return std::nullopt;
  return ReadU16(d.data());
}

std::string LampStateName(uint8_t state) {
  static constexpr const char* kStates[] = {"off", "on", "strike", "standby", "not present"};
  if (state < 5) return kStates[state];
  return state == 0x7F ? "error" : fmt::format("state {}", state);
}

std::string LampOnModeName(uint8_t mode) {
  static constexpr const char* kModes[] = {"off", "DMX", "on", "after calibration"};
  return mode < 4 ? kModes[mode] : fmt::format("mode {}", mode);
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

std::string DescribeAnswer(uint16_t p, uint8_t commandClass, const RdmAnswer& a) {
  const uint8_t type = a.ResponseType();
  auto d = a.Data();
  if (type == RESPONSE_TYPE_NACK_REASON) {
    return d.size() >= 2 ? "NACK_REASON " + NackReasonName(ReadU16(d.data())) : "NACK_REASON";
  }
  if (type != RESPONSE_TYPE_ACK) return ResponseTypeName(type);
  if (commandClass == SET_COMMAND) return "acknowledged";
  auto text = [&] { return "\"" + std::string(d.begin(), d.end()) + "\""; };
  switch (p) {
    case pid::DEVICE_LABEL:
    case pid::MANUFACTURER_LABEL:
    case pid::DEVICE_MODEL_DESCRIPTION:
    case pid::SOFTWARE_VERSION_LABEL:
      return text();
    case pid::DEVICE_INFO: {
      const auto i = DecodeDeviceInfo(d);
      if (!i) return "";
      return fmt::format(
          "protocol {}.{}, model 0x{:04X}, category {} (0x{:04X}), software 0x{:08X}, "
          "footprint {}, personality {} of {}, start address {}, sub-devices {}, sensors {}",
          i->protocolMajor, i->protocolMinor, i->model, CategoryText(i->category), i->category,
          i->softwareVersion, i->footprint, i->personality, i->personalityCount, i->startAddress,
          i->subDeviceCount, i->sensorCount);
    }
    case pid::DMX_START_ADDRESS: {
      const auto address = DecodeStartAddress(d);
      if (!address) return "";
      return *address == kNoStartAddress ? "no start address (no DMX footprint)"
                                         : fmt::format("start address {}", *address);
    }
    case pid::DMX_PERSONALITY:
      return d.size() >= 2 ? fmt::format("personality {} of {}", d[0], d[1]) : "";
    case pid::DMX_PERSONALITY_DESCRIPTION: {
      const auto p = DecodePersonalityDescription(d);
      return p ? fmt::format("personality {}: {} slots, \"{}\"", p->number, p->footprint, p->text)
               : "";
    }
    case pid::DEVICE_HOURS:
    case pid::LAMP_HOURS: {
      const auto hours = DecodeHours(d);
      return hours ? fmt::format("{} hours", static_cast<int32_t>(*hours)) : "";
    }
    case pid::IDENTIFY_DEVICE:
    case pid::PAN_INVERT:
    case pid::TILT_INVERT:
    case pid::PAN_TILT_SWAP: {
      const auto on = DecodeFlag(d);
      return on ? (*on ? "on" : "off") : "";
    }
    case pid::LAMP_STATE: {
      const auto state = DecodeByte(d);
      return state ? LampStateName(*state) : "";
    }
    case pid::LAMP_ON_MODE: {
      const auto mode = DecodeByte(d);
      return mode ? "lamp on mode " + LampOnModeName(*mode) : "";
    }
    case pid::STATUS_MESSAGES: {
      if (d.empty()) return "no status messages";
      std::string out;
      for (const StatusMessage& m : DecodeStatusMessages(d)) {
        if (!out.empty()) out += "; ";
        out += StatusText(m.id, m.data1, m.data2);
      }
      return out;
    }
    case pid::SUPPORTED_PARAMETERS: {
      std::string out;
      for (const uint16_t v : DecodePidList(d)) {
        const char* name = PidName(v);
        if (!out.empty()) out += ", ";
        out += name ? std::string(name) : fmt::format("0x{:04X}", v);
      }
      return out;
    }
    case pid::RADIO_CHANNEL:
      return d.empty() ? "" : fmt::format("radio channel {}", d[0]);
    case pid::SLOT_INFO: {
      std::string out;
      for (const SlotInfo& s : DecodeSlotInfo(d)) {
        if (!out.empty()) out += "; ";
        const auto label = SlotLabelName(s.labelId);
        out += fmt::format(
            "slot {} {} {}", s.offset, SlotTypeName(s.type),
            s.type == kSlotPrimary && label ? *label : fmt::format("0x{:04X}", s.labelId));
      }
      return out;
    }
    case pid::SLOT_DESCRIPTION: {
      const auto s = DecodeSlotDescription(d);
      return s ? fmt::format("slot {}: \"{}\"", s->offset, s->text) : "";
    }
    case pid::DEFAULT_SLOT_VALUE: {
      std::string out;
      for (const SlotDefault& s : DecodeDefaultSlotValues(d)) {
        out += fmt::format("{}slot {} = {}", out.empty() ? "" : "; ", s.offset, s.value);
      }
      return out;
    }
    default:
      return "";
  }
}

}  // namespace velquor::rdm
