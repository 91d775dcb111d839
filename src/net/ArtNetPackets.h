#pragma once
// Art-Net (protocol version 14) as byte layouts: what the bridge reads of a datagram, checked
// against what arrived before any field is read, and the packets it sends. No sockets here,
// so every layout is tested byte by byte and fuzzed.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rdm/Uid.h"

namespace velquor::net {

constexpr uint16_t kArtNetPort = 6454;
constexpr uint16_t kOpPoll = 0x2000;
constexpr uint16_t kOpPollReply = 0x2100;
constexpr uint16_t kOpDmx = 0x5000;
constexpr uint16_t kOpTodRequest = 0x8000;
constexpr uint16_t kOpTodData = 0x8100;
constexpr uint16_t kOpTodControl = 0x8200;
constexpr uint16_t kOpRdm = 0x8300;

constexpr size_t kArtDmxBytes = 530;
constexpr size_t kArtPollReplyBytes = 239;
constexpr size_t kTodUidsPerPacket = 200;
constexpr int kMaxPortAddress = 32767;

using Packet = std::vector<uint8_t>;

// What one datagram is, once checked. `kind` Dropped carries the reason for the log line.
struct ArtNetDatagram {
  enum class Kind { Dropped, Poll, Dmx, TodRequest, TodControl, Rdm, Other };
  Kind kind = Kind::Dropped;
  std::string reason;  // Dropped: why ("not Art-Net", "ArtDmx of 12 bytes", ...)
  uint16_t opCode = 0;

  // ArtDmx
  uint8_t sequence = 0;
  int portAddress = 0;            // Net × 256 + SubUni
  uint16_t declaredLength = 0;    // the Length field
  std::span<const uint8_t> data;  // the slots to take: min(Length, what arrived, 512)

  // ArtRdm: the RDM message from its sub-start code to the end of its checksum
  // (Message Length + 1 bytes), present only when it arrived whole.
  std::span<const uint8_t> rdmMessage;
  uint8_t rdmTransaction = 0;
  uint8_t rdmPortId = 0;
};

// Reads `payload` (a UDP payload). Spans point into `payload`.
ArtNetDatagram ParseArtNet(std::span<const uint8_t> payload);

// The port-address fields of a packet: Net (bits 14..8) and Sub-Net/Universe (bits 7..0).
constexpr uint8_t NetOf(int portAddress) {
  return static_cast<uint8_t>((portAddress >> 8) & 0x7F);
}
constexpr uint8_t SubUniOf(int portAddress) {
  return static_cast<uint8_t>(portAddress & 0xFF);
}

// The port-address an edit's digits stand for, as "0" + text read as a number: empty is 0,
// anything past 32767 is 32767, reading stops at the first character that is no digit.
int PortAddressFromText(std::string_view text);

Packet BuildArtDmx(uint8_t sequence, int portAddress, std::span<const uint8_t, 512> slots);

struct PollReplyFields {
  std::array<uint8_t, 4> address{};  // the chosen local address, most significant first
  int portAddress = 0;
  std::string name;      // ShortName (cut to 17 bytes) and LongName (cut to 63)
  int replyCounter = 0;  // the number in the node report
  std::string reportText = "OK: Device started";
  std::array<uint8_t, 6> mac{0x24, 0xF4, 0x32, 0xAB, 0x24, 0x2D};
};
Packet BuildArtPollReply(const PollReplyFields& fields);
// "#0001[17] OK: Device started": the node report of a poll reply, at most 63 bytes.
std::string NodeReport(int replyCounter, std::string_view text);

// The ArtTodData packets listing `uids` (the device table's rows in order): the last row
// first, at most 200 a packet, block numbers from 0. None for an empty table.
std::vector<Packet> BuildArtTodData(int portAddress, std::span<const rdm::Uid> uids);

// An ArtRdm carrying `message`: an RDM message from its sub-start code to the end of its
// checksum.
Packet BuildArtRdm(int portAddress, std::span<const uint8_t> message);

// The ArtDmx output's change and repeat rule, one call per engine tick: a change goes out at
// once and 20 more times, one a tick; an unchanged universe every sixth tick after that.
class ArtDmxOutput {
 public:
  // The packet to send this tick, if any. The sequence advances every call.
  std::optional<Packet> Next(int portAddress, std::span<const uint8_t, 512> slots);
  uint8_t Sequence() const { return sequence_; }
  uint8_t Repeat() const { return repeat_; }

 private:
  uint8_t sequence_ = 0;
  uint8_t repeat_ = 0;
  std::array<uint8_t, 512> last_{};
};

}  // namespace velquor::net
