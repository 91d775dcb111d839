#pragma once
// One simulated E1.20 responder: its state from the rig and the answers it gives.

#include <cstdint>
#include <optional>
#include <vector>

#include "virtualline/Rig.h"
#include "virtualline/Sensors.h"

namespace velquor::virtualline {

// A request as the responder sees it after the line has checked its framing.
struct WireRequest {
  uint64_t destination = 0;
  uint64_t source = 0;
  uint8_t transaction = 0;
  uint8_t portId = 0;
  uint16_t subDevice = 0;
  uint8_t commandClass = 0;
  uint16_t pid = 0;
  std::vector<uint8_t> data;
};

struct Reply {
  uint8_t responseType = 0;  // 0 ACK, 1 ACK_TIMER, 2 NACK_REASON
  std::vector<uint8_t> data;
};

// E1.20 NACK reasons the responders give.
constexpr uint16_t kNackUnknownPid = 0x0000;
constexpr uint16_t kNackFormatError = 0x0001;
constexpr uint16_t kNackUnsupportedCommandClass = 0x0005;
constexpr uint16_t kNackDataOutOfRange = 0x0006;
constexpr uint16_t kNackSubDeviceOutOfRange = 0x0009;

class Responder {
 public:
  explicit Responder(Fixture fixture) : fixture_(std::move(fixture)) {}

  uint64_t Uid() const { return fixture_.uid; }
  const Fixture& State() const { return fixture_; }
  bool Muted() const { return muted_; }
  void SetMuted(bool muted) { muted_ = muted; }
  // Whether it answers DISC_UNIQUE_BRANCH over [lower, upper], and with which UID.
  std::optional<uint64_t> DiscoveryAnswer(uint64_t lower, uint64_t upper) const;
  // Takes a DISC_MUTE (true) or DISC_UN_MUTE; false when it ignores it (no answer).
  bool TakeMute(bool mute);
  bool Answers(uint16_t pid) const;

  // The reply to a GET or SET (state changes applied); nothing for an unknown class.
  std::optional<Reply> Handle(const WireRequest& request);
  // The sensors of a fixture that lists SENSOR_DEFINITION (none otherwise); the line moves
  // them on to its clock before every request.
  bool HasSensors() const;
  SimulatedSensors& Sensors() { return sensors_; }

 private:
  Reply Get(const WireRequest& request);
  // The next piece of a long GET answer (ACK_OVERFLOW until the last one).
  Reply Piece(uint16_t pid, Reply whole);
  Reply Set(const WireRequest& request);
  uint16_t Footprint() const;

  Fixture fixture_;
  SimulatedSensors sensors_;
  bool muted_ = false;
  unsigned muteRequests_ = 0;
  uint16_t overflowPid_ = 0;
  std::vector<uint8_t> overflowRest_;  // what the repeated GET of overflowPid_ gets next
};

}  // namespace velquor::virtualline
