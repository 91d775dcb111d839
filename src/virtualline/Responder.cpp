#include "virtualline/Responder.h"

#include <algorithm>
#include <utility>

#include "virtualline/Pids.h"
#include "virtualline/SlotLayouts.h"

namespace velquor::virtualline {

namespace {

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, static_cast<uint16_t>(v >> 16));
  PutU16(out, static_cast<uint16_t>(v));
}
uint16_t U16(const std::vector<uint8_t>& d, size_t at) {
  return static_cast<uint16_t>((d[at] << 8) | d[at + 1]);
}
uint32_t U32(const std::vector<uint8_t>& d, size_t at) {
  return (static_cast<uint32_t>(U16(d, at)) << 16) | U16(d, at + 2);
}

Reply Ack(std::vector<uint8_t> data = {}) {
  return {0x00, std::move(data)};
}
Reply Nack(uint16_t reason) {
  Reply r{0x02, {}};
  PutU16(r.data, reason);
  return r;
}
Reply Text(const std::string& s) {
  return Ack({s.begin(), s.end()});
}

// Parameters every responder answers, whatever its rig entry lists.
constexpr uint16_t kAlwaysAnswered[] = {pid::SUPPORTED_PARAMETERS, pid::DEVICE_INFO,
                                        pid::SOFTWARE_VERSION_LABEL, pid::DMX_START_ADDRESS,
                                        pid::IDENTIFY_DEVICE};

}  // namespace

bool Responder::Answers(uint16_t p) const {
  if (std::find(std::begin(kAlwaysAnswered), std::end(kAlwaysAnswered), p) !=
      std::end(kAlwaysAnswered)) {
    return true;
  }
  if (p == pid::RADIO_CHANNEL) return fixture_.radioChannel.has_value();
  return std::find(fixture_.supportedPids.begin(), fixture_.supportedPids.end(), p) !=
         fixture_.supportedPids.end();
}

bool Responder::HasSensors() const {
  return std::find(fixture_.supportedPids.begin(), fixture_.supportedPids.end(),
                   pid::SENSOR_DEFINITION) != fixture_.supportedPids.end();
}

uint16_t Responder::Footprint() const {
  return fixture_.personalities[fixture_.personality - 1].footprint;
}

std::optional<Reply> Responder::Handle(const WireRequest& request) {
  if (request.subDevice != 0 && request.subDevice != 0xFFFF) {
    return Nack(kNackSubDeviceOutOfRange);
  }
  if (!Answers(request.pid)) return Nack(kNackUnknownPid);
  if (auto sensor = sensors_.Handle(request.commandClass, request.pid, request.data)) {
    return Reply{sensor->responseType, std::move(sensor->data)};
  }
  if (request.commandClass == 0x20) {
    if (request.subDevice == 0xFFFF) return Nack(kNackSubDeviceOutOfRange);
    if (overflowPid_ == request.pid && !overflowRest_.empty()) {
      return Piece(request.pid, Ack(std::exchange(overflowRest_, {})));
    }
    return Piece(request.pid, Get(request));
  }
  overflowRest_.clear();
  if (request.commandClass == 0x30) return Set(request);
  return std::nullopt;
}

Reply Responder::Piece(uint16_t pid, Reply whole) {
  overflowRest_.clear();
  const size_t most = fixture_.overflowAfter > 0 ? fixture_.overflowAfter : 230;
  if (whole.responseType != 0 || whole.data.size() <= most) return whole;
  if (fixture_.overflowAfter == 0) {
    whole.data.resize(most);  // a responder that cannot split sends what fits
    return whole;
  }
  overflowPid_ = pid;
  overflowRest_.assign(whole.data.begin() + static_cast<ptrdiff_t>(most), whole.data.end());
  whole.data.resize(most);
  whole.responseType = 0x03;  // ACK_OVERFLOW: ask again for the rest
  return whole;
}

std::optional<uint64_t> Responder::DiscoveryAnswer(uint64_t lower, uint64_t upper) const {
  const DiscoveryFault fault = fixture_.discoveryFault;
  if (muted_ && fault != DiscoveryFault::AnswersWhenMuted) return std::nullopt;
  const bool inRange = fixture_.uid >= lower && fixture_.uid <= upper;
  if (!inRange && fault != DiscoveryFault::AnyRange) return std::nullopt;
  return fault == DiscoveryFault::OtherUid ? fixture_.discoveryUid : fixture_.uid;
}

bool Responder::TakeMute(bool mute) {
  if (mute) {
    ++muteRequests_;
    if (fixture_.discoveryFault == DiscoveryFault::IgnoreMute) return false;
    if (fixture_.discoveryFault == DiscoveryFault::FlakyMute && muteRequests_ % 3 != 0) {
      return false;
    }
  }
  muted_ = mute;
  return true;
}

Reply Responder::Get(const WireRequest& request) {
  const auto& d = request.data;
  Fixture& f = fixture_;
  auto expect = [&](size_t n) { return d.size() == n; };
  if (auto slots = SlotAnswer(f, request)) return *std::move(slots);
  switch (request.pid) {
    case pid::SUPPORTED_PARAMETERS: {
      if (!expect(0)) return Nack(kNackFormatError);
      std::vector<uint8_t> out;
      for (uint16_t p : f.supportedPids) PutU16(out, p);
      if (f.radioChannel && std::find(f.supportedPids.begin(), f.supportedPids.end(),
                                      pid::RADIO_CHANNEL) == f.supportedPids.end()) {
        PutU16(out, pid::RADIO_CHANNEL);
      }
      return Ack(out);
    }
    case pid::DEVICE_INFO: {
      if (!expect(0)) return Nack(kNackFormatError);
      std::vector<uint8_t> out;
      PutU16(out, 0x0100);
      PutU16(out, f.modelId);
      PutU16(out, f.category);
      PutU32(out, f.softwareVersionId);
      PutU16(out, Footprint());
      out.push_back(f.personality);
      out.push_back(static_cast<uint8_t>(f.personalities.size()));
      PutU16(out, Footprint() == 0 ? 0xFFFF : f.startAddress);
      PutU16(out, 0);  // sub-devices
      out.push_back(HasSensors() ? SimulatedSensors::kCount : 0);
      return Ack(out);
    }
    case pid::DEVICE_MODEL_DESCRIPTION:
      return expect(0) ? Text(f.model) : Nack(kNackFormatError);
    case pid::MANUFACTURER_LABEL:
      return expect(0) ? Text(f.manufacturer) : Nack(kNackFormatError);
    case pid::DEVICE_LABEL:
      return expect(0) ? Text(f.label) : Nack(kNackFormatError);
    case pid::SOFTWARE_VERSION_LABEL:
      return expect(0) ? Text(f.softwareVersion) : Nack(kNackFormatError);
    case pid::DMX_PERSONALITY:
      if (!expect(0)) return Nack(kNackFormatError);
      return Ack({f.personality, static_cast<uint8_t>(f.personalities.size())});
    case pid::DMX_PERSONALITY_DESCRIPTION: {
      if (!expect(1)) return Nack(kNackFormatError);
      if (d[0] < 1 || d[0] > f.personalities.size()) return Nack(kNackDataOutOfRange);
      const Personality& p = f.personalities[d[0] - 1];
      std::vector<uint8_t> out{d[0]};
      PutU16(out, p.footprint);
      out.insert(out.end(), p.description.begin(), p.description.end());
      return Ack(out);
    }
    case pid::DMX_START_ADDRESS: {
      if (!expect(0)) return Nack(kNackFormatError);
      std::vector<uint8_t> out;
      PutU16(out, Footprint() == 0 ? 0xFFFF : f.startAddress);
      return Ack(out);
    }
    case pid::STATUS_MESSAGES: {
      if (!expect(1)) return Nack(kNackFormatError);
      if (d[0] > 0x04) return Nack(kNackDataOutOfRange);
      std::vector<uint8_t> out;
      for (const StatusMessage& m : f.statusMessages) {
        if (d[0] == 0x00 || m.type < d[0]) continue;  // STATUS_NONE asks for nothing
        PutU16(out, m.subDevice);
        out.push_back(m.type);
        PutU16(out, m.id);
        PutU16(out, static_cast<uint16_t>(m.data1));
        PutU16(out, static_cast<uint16_t>(m.data2));
        if (out.size() > 225) break;
      }
      return Ack(out);
    }
    case pid::DEVICE_HOURS:
    case pid::LAMP_HOURS: {
      if (!expect(0)) return Nack(kNackFormatError);
      std::vector<uint8_t> out;
      PutU32(out, request.pid == pid::DEVICE_HOURS ? f.deviceHours : f.lampHours);
      return Ack(out);
    }
    case pid::LAMP_STATE:
      return expect(0) ? Ack({f.lampState}) : Nack(kNackFormatError);
    case pid::PAN_INVERT:
      return expect(0) ? Ack({f.panInvert}) : Nack(kNackFormatError);
    case pid::TILT_INVERT:
      return expect(0) ? Ack({f.tiltInvert}) : Nack(kNackFormatError);
    case pid::PAN_TILT_SWAP:
      return expect(0) ? Ack({f.panTiltSwap}) : Nack(kNackFormatError);
    case pid::IDENTIFY_DEVICE:
      return expect(0) ? Ack({f.identify}) : Nack(kNackFormatError);
    case pid::RADIO_CHANNEL:
      return expect(0) ? Ack({*f.radioChannel}) : Nack(kNackFormatError);
    default:
      return Nack(kNackUnsupportedCommandClass);  // listed but SET-only (RESET_DEVICE)
  }
}

Reply Responder::Set(const WireRequest& request) {
  const auto& d = request.data;
  Fixture& f = fixture_;
  auto setBool = [&](bool& target) {
    if (d.size() != 1) return Nack(kNackFormatError);
    if (d[0] > 1) return Nack(kNackDataOutOfRange);
    target = d[0] == 1;
    return Ack();
  };
  switch (request.pid) {
    case pid::DEVICE_LABEL:
      if (d.size() > 32) return Nack(kNackFormatError);
      f.label.assign(d.begin(), d.end());
      return Ack();
    case pid::DMX_PERSONALITY:
      if (d.size() != 1) return Nack(kNackFormatError);
      if (d[0] < 1 || d[0] > f.personalities.size()) return Nack(kNackDataOutOfRange);
      f.personality = d[0];
      return Ack();
    case pid::DMX_START_ADDRESS: {
      if (d.size() != 2) return Nack(kNackFormatError);
      uint16_t address = U16(d, 0);
      if (address < 1 || address > 512) return Nack(kNackDataOutOfRange);
      f.startAddress = address;
      return Ack();
    }
    case pid::DEVICE_HOURS:
    case pid::LAMP_HOURS:
      if (d.size() != 4) return Nack(kNackFormatError);
      (request.pid == pid::DEVICE_HOURS ? f.deviceHours : f.lampHours) = U32(d, 0);
      return Ack();
    case pid::LAMP_STATE:
      if (d.size() != 1) return Nack(kNackFormatError);
      if (d[0] > 0x04 && d[0] != 0x7F) return Nack(kNackDataOutOfRange);
      f.lampState = d[0];
      return Ack();
    case pid::PAN_INVERT:
      return setBool(f.panInvert);
    case pid::TILT_INVERT:
      return setBool(f.tiltInvert);
    case pid::PAN_TILT_SWAP:
      return setBool(f.panTiltSwap);
    case pid::IDENTIFY_DEVICE:
      return setBool(f.identify);
    case pid::RESET_DEVICE:
      if (d.size() != 1) return Nack(kNackFormatError);
      if (d[0] != 0x01 && d[0] != 0xFF) return Nack(kNackDataOutOfRange);
      f.identify = false;
      return Ack();
    case pid::RADIO_CHANNEL:
      if (d.size() != 1) return Nack(kNackFormatError);
      if (d[0] < 1 || d[0] > 7) return Nack(kNackDataOutOfRange);
      f.radioChannel = d[0];
      return Ack();
    default:
      return Nack(kNackUnsupportedCommandClass);  // GET-only parameters
  }
}

}  // namespace velquor::virtualline
