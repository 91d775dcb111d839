#include "rdm/Codec.h"

#include <fmt/format.h>

#include <algorithm>
#include <ostream>

#include "common/Text.h"

namespace velquor::rdm {

std::string UidText(Uid uid) {
  return fmt::format("{:06X}", uid.Value());
}
std::string UidText12(Uid uid) {
  return fmt::format("{:012X}", uid.Value());
}

std::ostream& operator<<(std::ostream& out, Uid uid) {
  return out << fmt::format("{:04X}:{:08X}", uid.Manufacturer(), uid.Device());
}

void Uid::Write(uint8_t* out) const {
  for (int i = 0; i < 6; ++i) out[i] = static_cast<uint8_t>(value_ >> (8 * (5 - i)));
}

Uid Uid::Read(const uint8_t* in) {
  uint64_t value = 0;
  for (int i = 0; i < 6; ++i) value = (value << 8) | in[i];
  return Uid(value);
}

std::optional<Uid> Uid::Parse(std::string_view text) {
  const size_t colon = text.find(':');
  std::string digits;
  if (colon != std::string_view::npos) {
    if (colon != 4 || text.size() != 13) return std::nullopt;
    digits = std::string(text.substr(0, 4)) + std::string(text.substr(5));
  } else {
    if (text.size() == 14 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
      text.remove_prefix(2);
    }
    if (text.size() != 12) return std::nullopt;
    digits = text;
  }
  if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return std::nullopt;
  auto value = common::ParseUnsigned("0x" + digits);
  if (!value) return std::nullopt;
  return Uid(*value);
}

uint16_t ReadU16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t ReadU32(const uint8_t* p) {
  return (static_cast<uint32_t>(ReadU16(p)) << 16) | ReadU16(p + 2);
}

uint16_t RdmChecksum(std::span<const uint8_t> bytes) {
  uint32_t sum = 0;
  for (uint8_t b : bytes) sum += b;
  return static_cast<uint16_t>(sum);
}

void PrimeRequestImage(RdmImage& image) {
  image[kStartCode] = kStartCodeRdm;
  image[kSubStartCode] = kSubStartCodeRdm;
  ControllerUid.Write(&image[kSourceUid]);
  image[kTransaction] = 0;
  image[kPortOrResponseType] = 0;
  image[kMessageCount] = 0;
  image[kSubDevice] = 0;
  image[kSubDevice + 1] = 0;
}

void CompleteRequest(RdmImage& image, Uid destination) {
  ++image[kTransaction];  // 8-bit wrap
  const uint8_t pdl = image[kPdl];
  const size_t length = pdl + 24u;
  image[kMessageLength] = static_cast<uint8_t>(length);
  destination.Write(&image[kDestUid]);
  image[kStartCode] = kStartCodeRdm;
  uint16_t sum = RdmChecksum(std::span(image.data(), length));
  image[kData + pdl] = static_cast<uint8_t>(sum >> 8);
  image[kData + pdl + 1] = static_cast<uint8_t>(sum);
}

bool CheckResponse(const RdmImage& image) {
  if (image[kStartCode] != kStartCodeRdm) return false;
  const size_t length = image[kMessageLength];
  const size_t pdl = image[kPdl];
  uint16_t sum = RdmChecksum(std::span(image.data(), length));
  // Both indices stay below 24 + 255 + 2, well inside the image.
  return image[kData + pdl] == static_cast<uint8_t>(sum >> 8) &&
         image[kData + pdl + 1] == static_cast<uint8_t>(sum);
}

bool AnswersRequest(const RdmImage& answer, const RdmImage& request) {
  const Uid named = Uid::Read(&request[kDestUid]);
  if (named.IsBroadcast()) return true;
  return Uid::Read(&answer[kSourceUid]) == named &&
         answer[kTransaction] == request[kTransaction];
}

DiscoveryResult DecodeDiscoveryAnswer(const RdmImage& image, uint16_t receivedBytes) {
  if (receivedBytes == 0) return {};
  size_t separator = kImageSize;
  for (size_t i = 0; i <= 48; ++i) {
    if (image[i] == 0xAA) {
      separator = i;
      break;
    }
  }
  if (separator == kImageSize) {
    bool any = std::any_of(image.begin(), image.begin() + 50, [](uint8_t b) { return b != 0; });
    return {any ? DiscoveryOutcome::Collision : DiscoveryOutcome::NoAnswer, Uid()};
  }
  const uint8_t* p = &image[separator + 1];  // at most offset 49 + 16, inside the image
  uint64_t value = 0;
  uint16_t sum = 0;
  for (int j = 0; j < 6; ++j) value = value * 256 + (p[2 * j] & p[2 * j + 1]);
  const Uid uid(value);
  for (int j = 0; j < 12; ++j) sum = static_cast<uint16_t>(sum + p[j]);
  uint16_t c = static_cast<uint16_t>(((p[12] & p[13]) << 8) | (p[14] & p[15]));
  // A collision still spells a UID: the OR or AND of the answers that overlapped.
  if (sum != c) return {DiscoveryOutcome::Collision, uid};
  return {DiscoveryOutcome::Valid, uid};
}

DiscoveryResult DecodeDiscoveryResponse(const RdmImage& image, uint16_t receivedBytes, Uid lower,
                                        Uid upper) {
  DiscoveryResult r = DecodeDiscoveryAnswer(image, receivedBytes);
  if (r.outcome == DiscoveryOutcome::Collision ||
      (r.outcome == DiscoveryOutcome::Valid && (r.uid < lower || r.uid > upper))) {
    return {DiscoveryOutcome::Collision, Uid()};
  }
  return r;
}

std::string DiscoveryIdLine(const RdmImage& image, Uid lower, Uid upper) {
  std::string line = "ID:";
  size_t separator = kImageSize;
  for (size_t i = 0; i <= 48; ++i) {
    if (image[i] == 0xAA) {
      separator = i;
      break;
    }
  }
  if (separator == kImageSize) return line;
  const uint8_t* p = &image[separator + 1];
  uint64_t value = 0;
  for (int j = 0; j < 6; ++j) {
    common::AppendHexByte(line, p[2 * j]);
    common::AppendHexByte(line, p[2 * j + 1]);
    value = value * 256 + (p[2 * j] & p[2 * j + 1]);
  }
  const Uid uid(value);
  line += " CRC:";
  if (uid >= lower && uid <= upper) {
    for (int j = 12; j < 16; j += 2) {
      common::AppendHexByte(line, p[j]);
      common::AppendHexByte(line, p[j + 1]);
    }
  }
  return line;
}

std::string ResponseTypeName(uint8_t responseType) {
  switch (responseType) {
    case RESPONSE_TYPE_ACK:
      return "ACK";
    case RESPONSE_TYPE_ACK_TIMER:
      return "ACK_TIMER";
    case RESPONSE_TYPE_NACK_REASON:
      return "NACK_REASON";
    case RESPONSE_TYPE_ACK_OVERFLOW:
      return "ACK_OVERFLOW";
    default:
      return fmt::format("response type 0x{:02X}", responseType);
  }
}

std::string NackReasonName(uint16_t reason) {
  static constexpr const char* kNames[] = {
      "NR_UNKNOWN_PID",
      "NR_FORMAT_ERROR",
      "NR_HARDWARE_FAULT",
      "NR_PROXY_REJECT",
      "NR_WRITE_PROTECT",
      "NR_UNSUPPORTED_COMMAND_CLASS",
      "NR_DATA_OUT_OF_RANGE",
      "NR_BUFFER_FULL",
      "NR_PACKET_SIZE_UNSUPPORTED",
      "NR_SUB_DEVICE_OUT_OF_RANGE",
      "NR_PROXY_BUFFER_FULL",
  };
  if (reason < std::size(kNames)) return kNames[reason];
  return fmt::format("NACK reason 0x{:04X}", reason);
}

}  // namespace velquor::rdm
