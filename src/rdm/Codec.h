#pragma once
// The RDM vocabulary: UIDs, the message image and its checksum, the response check and
// the decoding of discovery answers.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "rdm/Uid.h"

namespace velquor::rdm {

constexpr Uid ControllerUid{0x888800000001ULL};
constexpr Uid BroadcastUid = Uid::Broadcast();

constexpr size_t kImageSize = 1060;
// DEVICE_LABEL and the other texts of E1.20 carry at most 32 bytes.
constexpr size_t kMaxLabelBytes = 32;
using RdmImage = std::array<uint8_t, kImageSize>;

// Offsets in the message image.
enum Offset : size_t {
  kStartCode = 0,
  kSubStartCode = 1,
  kMessageLength = 2,
  kDestUid = 3,
  kSourceUid = 9,
  kTransaction = 15,
  kPortOrResponseType = 16,
  kMessageCount = 17,
  kSubDevice = 18,
  kCommandClass = 20,
  kPid = 21,
  kPdl = 23,
  kData = 24,
};

constexpr uint8_t kStartCodeRdm = 0xCC;
constexpr uint8_t kSubStartCodeRdm = 0x01;
constexpr size_t kMaxPdl = 231;  // largest parameter data a request may carry

constexpr uint8_t DISCOVERY_COMMAND = 0x10;
constexpr uint8_t DISCOVERY_COMMAND_RESPONSE = 0x11;
constexpr uint8_t GET_COMMAND = 0x20;
constexpr uint8_t GET_COMMAND_RESPONSE = 0x21;
constexpr uint8_t SET_COMMAND = 0x30;
constexpr uint8_t SET_COMMAND_RESPONSE = 0x31;

constexpr uint8_t RESPONSE_TYPE_ACK = 0x00;
constexpr uint8_t RESPONSE_TYPE_ACK_TIMER = 0x01;
constexpr uint8_t RESPONSE_TYPE_NACK_REASON = 0x02;
constexpr uint8_t RESPONSE_TYPE_ACK_OVERFLOW = 0x03;

// Sum of the bytes, each unsigned, modulo 65536.
uint16_t RdmChecksum(std::span<const uint8_t> bytes);

// Sets the fields the program starts with: start codes, source UID, counters, port, sub-device.
void PrimeRequestImage(RdmImage& image);

// Transaction number + 1, message length = PDL + 24, destination, checksum, start code.
void CompleteRequest(RdmImage& image, Uid destination);

// Start code 0xCC and a checksum over the length byte's count that matches the two bytes
// at 24 + PDL. Any response type passes.
bool CheckResponse(const RdmImage& image);
// Whether a checked answer is the one to `request`: from the device it named, with its
// transaction number. An answer to a broadcast is never expected; any is let through.
bool AnswersRequest(const RdmImage& answer, const RdmImage& request);

uint16_t ReadU16(const uint8_t* p);
uint32_t ReadU32(const uint8_t* p);  // big-endian, as RDM sends it

enum class DiscoveryOutcome { NoAnswer, Collision, Valid };
struct DiscoveryResult {
  DiscoveryOutcome outcome = DiscoveryOutcome::NoAnswer;
  Uid uid;
};

// Decodes a discovery answer whatever range was asked: Valid when its checksum holds (the
// UID may still lie outside the range, or be the overlap of several answers). A Collision
// with a separator carries the UID its bytes spell, unchecked.
DiscoveryResult DecodeDiscoveryAnswer(const RdmImage& image, uint16_t receivedBytes);

// Decodes the answer to DISC_UNIQUE_BRANCH in the response image; `receivedBytes` is what
// the link delivered, lower/upper the bounds that were asked.
DiscoveryResult DecodeDiscoveryResponse(const RdmImage& image, uint16_t receivedBytes, Uid lower,
                                        Uid upper);

// The "ID:" line of a discovery answer: the six received UID byte pairs, " CRC:", and the
// two checksum pairs when the UID lies within the bounds; just "ID:" without a separator.
std::string DiscoveryIdLine(const RdmImage& image, Uid lower, Uid upper);

// Response type names and NACK reason names, for the log.
std::string ResponseTypeName(uint8_t responseType);
std::string NackReasonName(uint16_t reason);

}  // namespace velquor::rdm
