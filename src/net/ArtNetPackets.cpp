#include "net/ArtNetPackets.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>

#include "common/Text.h"

namespace velquor::net {

namespace {

constexpr std::array<uint8_t, 8> kArtNetId{'A', 'r', 't', '-', 'N', 'e', 't', 0};
constexpr uint8_t kProtocolVersion = 14;
constexpr uint8_t kRdmSubStartCode = 0x01;
constexpr size_t kRdmMinMessageLength = 24;  // start code to PDL, no data

// The smallest datagram of each operation that holds every field the bridge reads.
constexpr size_t kHeaderBytes = 10;     // ID and OpCode
constexpr size_t kPollMinBytes = 12;    // + protocol version
constexpr size_t kDmxHeaderBytes = 18;  // up to Length
constexpr size_t kTodMinBytes = 24;     // up to AdCount
constexpr size_t kRdmHeaderBytes = 26;  // up to the RDM Message Length
constexpr size_t kRdmPacketOffset = 24;

Packet Header(uint16_t opCode, size_t size) {
  Packet p(size, 0);
  std::copy(kArtNetId.begin(), kArtNetId.end(), p.begin());
  p[8] = static_cast<uint8_t>(opCode & 0xFF);
  p[9] = static_cast<uint8_t>(opCode >> 8);
  return p;
}

void PutText(Packet& p, size_t offset, std::string_view text, size_t maxBytes) {
  const std::string_view cut = common::CutUtf8(text, maxBytes);
  std::memcpy(p.data() + offset, cut.data(), cut.size());
}

ArtNetDatagram Dropped(std::string reason, uint16_t opCode = 0) {
  ArtNetDatagram d;
  d.reason = std::move(reason);
  d.opCode = opCode;
  return d;
}

}  // namespace

ArtNetDatagram ParseArtNet(std::span<const uint8_t> payload) {
  if (payload.size() < kHeaderBytes) {
    return Dropped(fmt::format("datagram of {} bytes, too short for Art-Net", payload.size()));
  }
  if (!std::equal(kArtNetId.begin(), kArtNetId.end(), payload.begin())) {
    return Dropped("not Art-Net (no \"Art-Net\" ID)");
  }
  const uint16_t opCode = static_cast<uint16_t>(payload[8] | (payload[9] << 8));
  const auto tooShort = [&](const char* name) {
    return Dropped(fmt::format("{} of {} bytes, too short", name, payload.size()), opCode);
  };

  ArtNetDatagram d;
  d.opCode = opCode;
  switch (opCode) {
    case kOpPoll:
      if (payload.size() < kPollMinBytes) return tooShort("ArtPoll");
      d.kind = ArtNetDatagram::Kind::Poll;
      return d;
    case kOpTodRequest:
    case kOpTodControl:
      if (payload.size() < kTodMinBytes) {
        return tooShort(opCode == kOpTodRequest ? "ArtTodRequest" : "ArtTodControl");
      }
      d.kind = opCode == kOpTodRequest ? ArtNetDatagram::Kind::TodRequest
                                       : ArtNetDatagram::Kind::TodControl;
      return d;
    case kOpDmx: {
      if (payload.size() < kDmxHeaderBytes) return tooShort("ArtDmx");
      d.kind = ArtNetDatagram::Kind::Dmx;
      d.sequence = payload[12];
      d.portAddress = payload[15] * 256 + payload[14];
      d.declaredLength = static_cast<uint16_t>((payload[16] << 8) | payload[17]);
      const size_t arrived = payload.size() - kDmxHeaderBytes;
      const size_t take = std::min<size_t>({d.declaredLength, arrived, 512});
      d.data = payload.subspan(kDmxHeaderBytes, take);
      return d;
    }
    case kOpRdm: {
      if (payload.size() < kRdmHeaderBytes) return tooShort("ArtRdm");
      const size_t messageLength = payload[25];
      if (payload[24] != kRdmSubStartCode) {
        return Dropped(fmt::format("ArtRdm with sub-start code {:02X}, not RDM", payload[24]),
                       opCode);
      }
      if (messageLength < kRdmMinMessageLength) {
        return Dropped(fmt::format("ArtRdm with RDM message length {}", messageLength), opCode);
      }
      // Sub-start code to the end of the checksum: Message Length - 1 + 2 bytes.
      const size_t whole = messageLength + 1;
      if (payload.size() < kRdmPacketOffset + whole) {
        return Dropped(fmt::format("ArtRdm of {} bytes, its RDM message of {} bytes cut short",
                                   payload.size(), whole),
                       opCode);
      }
      d.kind = ArtNetDatagram::Kind::Rdm;
      d.rdmMessage = payload.subspan(kRdmPacketOffset, whole);
      d.rdmTransaction = payload[38];
      d.rdmPortId = payload[39];
      return d;
    }
    default:
      d.kind = ArtNetDatagram::Kind::Other;
      return d;
  }
}

int PortAddressFromText(std::string_view text) {
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = std::min(value * 10 + (c - '0'), kMaxPortAddress + 1);
  }
  return std::min(value, kMaxPortAddress);
}

Packet BuildArtDmx(uint8_t sequence, int portAddress, std::span<const uint8_t, 512> slots) {
  Packet p = Header(kOpDmx, kArtDmxBytes);
  p[11] = kProtocolVersion;
  p[12] = sequence;
  p[14] = SubUniOf(portAddress);
  p[15] = NetOf(portAddress);
  p[16] = 0x02;  // Length 512, high byte first
  p[17] = 0x00;
  std::copy(slots.begin(), slots.end(), p.begin() + 18);
  return p;
}

std::string NodeReport(int replyCounter, std::string_view text) {
  std::string counter = std::to_string(replyCounter);
  if (counter.size() > 6) counter.resize(6);
  std::string report = fmt::format("#{:04x}[{}] ", 1, counter);
  report += text;
  return std::string(common::CutUtf8(report, 63));
}

Packet BuildArtPollReply(const PollReplyFields& f) {
  Packet p = Header(kOpPollReply, kArtPollReplyBytes);
  std::copy(f.address.begin(), f.address.end(), p.begin() + 10);
  p[14] = static_cast<uint8_t>(kArtNetPort & 0xFF);
  p[15] = static_cast<uint8_t>(kArtNetPort >> 8);
  p[18] = static_cast<uint8_t>((f.portAddress >> 8) & 0xFF);  // NetSwitch
  p[19] = static_cast<uint8_t>((f.portAddress >> 4) & 0x0F);  // SubSwitch
  p[20] = 0x00;                                               // Oem 0x0072
  p[21] = 0x72;
  p[23] = 0xF2;  // Status1
  p[24] = 0x4C;  // EstaMan 0x414C, low byte first
  p[25] = 0x41;
  // Names and report keep a terminating zero: consoles read them as C strings.
  PutText(p, 26, f.name, 17);
  PutText(p, 44, f.name, 63);
  PutText(p, 108, NodeReport(f.replyCounter, f.reportText), 63);
  p[172] = 0x00;  // NumPorts 1
  p[173] = 0x01;
  p[174] = 0xC0;  // port 1 takes and gives DMX512
  // SwOut: the whole low byte of the port-address, which controllers compare to subscribe.
  for (size_t i = 0; i < 4; ++i) p[190 + i] = SubUniOf(f.portAddress);
  std::copy(f.mac.begin(), f.mac.end(), p.begin() + 201);
  std::copy(f.address.begin(), f.address.end(), p.begin() + 207);
  p[211] = 1;     // BindIndex
  p[212] = 0x1F;  // Status2
  return p;
}

std::vector<Packet> BuildArtTodData(int portAddress, std::span<const rdm::Uid> uids) {
  std::vector<Packet> packets;
  const size_t total = uids.size();
  size_t next = total;  // the last row goes first
  for (uint8_t block = 0; next > 0; ++block) {
    const size_t count = std::min(next, kTodUidsPerPacket);
    Packet p = Header(kOpTodData, 28 + 6 * count);
    p[11] = kProtocolVersion;
    p[12] = 1;  // RdmVer
    p[13] = 1;  // Port
    p[20] = 1;  // BindIndex
    p[21] = NetOf(portAddress);
    p[22] = 0;  // TodFull
    p[23] = SubUniOf(portAddress);
    p[24] = static_cast<uint8_t>((total >> 8) & 0xFF);
    p[25] = static_cast<uint8_t>(total & 0xFF);
    p[26] = block;
    p[27] = static_cast<uint8_t>(count);
    for (size_t k = 0; k < count; ++k) uids[--next].Write(p.data() + 28 + 6 * k);
    packets.push_back(std::move(p));
  }
  return packets;
}

Packet BuildArtRdm(int portAddress, std::span<const uint8_t> message) {
  Packet p = Header(kOpRdm, kRdmPacketOffset + message.size());
  p[11] = kProtocolVersion;
  p[12] = 1;  // RdmVer
  p[21] = NetOf(portAddress);
  p[22] = 0;  // ArProcess
  p[23] = SubUniOf(portAddress);
  std::copy(message.begin(), message.end(), p.begin() + kRdmPacketOffset);
  return p;
}

std::optional<Packet> ArtDmxOutput::Next(int portAddress, std::span<const uint8_t, 512> slots) {
  const uint8_t sequence = sequence_++;
  bool send = false;
  if (!std::equal(slots.begin(), slots.end(), last_.begin())) {
    std::copy(slots.begin(), slots.end(), last_.begin());
    repeat_ = 20;
    send = true;
  } else if (repeat_ > 30) {
    --repeat_;
  } else if (repeat_ >= 21) {
    repeat_ = 35;
    send = true;
  } else if (repeat_ >= 1) {
    --repeat_;
    send = true;
  } else {
    repeat_ = 35;
  }
  if (!send) return std::nullopt;
  return BuildArtDmx(sequence, portAddress, slots);
}

}  // namespace velquor::net
