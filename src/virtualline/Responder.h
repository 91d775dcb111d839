#pragma once
// One simulated E1.20 responder: its state from the rig and the answers it gives.

#include <cstdint>
#include <optional>
#include <vector>

#include "virtualline/Rig.h"

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
  bool Answers(uint16_t pid) const;

  // The reply to a GET or SET (state changes applied); nothing for an unknown class.
  std::optional<Reply> Handle(const WireRequest& request);

 private:
  Reply Get(const WireRequest& request);
  Reply Set(const WireRequest& request);
  uint16_t Footprint() const;

  Fixture fixture_;
  bool muted_ = false;
};

}  // namespace velquor::virtualline
