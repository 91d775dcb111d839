#include "net/SacnPackets.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace velquor::net {

namespace {

constexpr uint8_t kAcnId[12] = {'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0};
constexpr uint32_t kRootData = 0x00000004;
constexpr uint32_t kRootExtended = 0x00000008;
constexpr uint32_t kFramingData = 0x00000002;
constexpr uint32_t kFramingSync = 0x00000001;
constexpr uint32_t kFramingDiscovery = 0x00000002;
constexpr uint32_t kDiscoveryList = 0x00000001;
constexpr size_t kRootBytes = 38;    // to the end of the CID
constexpr size_t kDataHeader = 126;  // to the end of the start code
constexpr size_t kNameBytes = 64;

uint16_t Be16(std::span<const uint8_t> p, size_t at) {
  return static_cast<uint16_t>(p[at] << 8 | p[at + 1]);
}
uint32_t Be32(std::span<const uint8_t> p, size_t at) {
  return uint32_t{p[at]} << 24 | uint32_t{p[at + 1]} << 16 | uint32_t{p[at + 2]} << 8 | p[at + 3];
}
void Put16(SacnPacket& p, size_t at, uint16_t v) {
  p[at] = static_cast<uint8_t>(v >> 8);
  p[at + 1] = static_cast<uint8_t>(v);
}
void Put32(SacnPacket& p, size_t at, uint32_t v) {
  Put16(p, at, static_cast<uint16_t>(v >> 16));
  Put16(p, at + 2, static_cast<uint16_t>(v));
}
// A PDU's flags and length: the flags nibble is always 7, the length counts from this field
// to the end of the packet.
void PutFlagsLength(SacnPacket& p, size_t at) {
  Put16(p, at, static_cast<uint16_t>(0x7000 | (p.size() - at)));
}
// The length a PDU's flags-and-length field gives, or nothing when its flags are not 7.
std::optional<size_t> PduLength(std::span<const uint8_t> p, size_t at) {
  const uint16_t v = Be16(p, at);
  if ((v >> 12) != 0x7) return std::nullopt;
  return v & 0x0FFF;
}

void PutRoot(SacnPacket& p, uint32_t vector, const Cid& cid) {
  Put16(p, 0, 0x0010);
  Put16(p, 2, 0x0000);
  std::memcpy(p.data() + 4, kAcnId, sizeof kAcnId);
  PutFlagsLength(p, 16);
  Put32(p, 18, vector);
  std::copy(cid.begin(), cid.end(), p.begin() + 22);
}
void PutName(SacnPacket& p, size_t at, std::string_view name) {
  const size_t n = std::min(name.size(), kNameBytes - 1);  // always zero-terminated
  std::memcpy(p.data() + at, name.data(), n);
}

SacnDatagram Dropped(std::string reason) {
  SacnDatagram d;
  d.reason = std::move(reason);
  return d;
}

}  // namespace

std::string CidText(const Cid& c) {
  return fmt::format(
      "{:02x}{:02x}{:02x}{:02x}-{:02x}{:02x}-{:02x}{:02x}-{:02x}{:02x}-{:02x}{:02x}{:02x}{:02x}{:"
      "02x}{:02x}",
      c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10], c[11], c[12], c[13], c[14],
      c[15]);
}

std::optional<Cid> ParseCid(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  Cid cid{};
  size_t digit = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (ch != '-') return std::nullopt;
      continue;
    }
    int v = 0;
    if (ch >= '0' && ch <= '9') {
      v = ch - '0';
    } else if (ch >= 'a' && ch <= 'f') {
      v = ch - 'a' + 10;
    } else if (ch >= 'A' && ch <= 'F') {
      v = ch - 'A' + 10;
    } else {
      return std::nullopt;
    }
    cid[digit / 2] = static_cast<uint8_t>(cid[digit / 2] << 4 | v);
    ++digit;
  }
  return cid;
}

Cid MakeCid() {
  std::random_device random;
  Cid cid{};
  for (uint8_t& b : cid) b = static_cast<uint8_t>(random());
  cid[6] = static_cast<uint8_t>((cid[6] & 0x0F) | 0x40);  // version 4
  cid[8] = static_cast<uint8_t>((cid[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return cid;
}

Ipv4 SacnGroup(int universe) {
  return 0xEFFF0000u | static_cast<uint32_t>(universe & 0xFFFF);
}

SacnDatagram ParseSacn(std::span<const uint8_t> p) {
  if (p.size() < kRootBytes)
    return Dropped(fmt::format("{} bytes, shorter than its header", p.size()));
  if (Be16(p, 0) != 0x0010 || Be16(p, 2) != 0 || std::memcmp(p.data() + 4, kAcnId, 12) != 0) {
    return Dropped("not sACN (no ACN packet identifier)");
  }
  const auto rootLength = PduLength(p, 16);
  if (!rootLength || *rootLength < kRootBytes - 16 || 16 + *rootLength > p.size()) {
    return Dropped(fmt::format("root layer length {} in {} bytes", Be16(p, 16) & 0x0FFF, p.size()));
  }
  // What follows the root layer's own length is not part of the packet.
  p = p.first(16 + *rootLength);
  SacnDatagram d;
  std::copy(p.begin() + 22, p.begin() + 38, d.cid.begin());
  const uint32_t rootVector = Be32(p, 18);
  if (rootVector != kRootData && rootVector != kRootExtended) {
    return Dropped(fmt::format("root vector 0x{:08x}", rootVector));
  }
  if (p.size() < kRootBytes + 6)
    return Dropped(fmt::format("{} bytes, no framing layer", p.size()));
  const auto framingLength = PduLength(p, 38);
  if (!framingLength || *framingLength != p.size() - 38) {
    return Dropped(
        fmt::format("framing layer length {} in {} bytes", Be16(p, 38) & 0x0FFF, p.size()));
  }
  const uint32_t framingVector = Be32(p, 40);
  auto name = [&] {
    const auto field = p.subspan(44, kNameBytes);
    const auto end = std::find(field.begin(), field.end(), 0);
    return std::string(field.begin(), end);
  };

  if (rootVector == kRootExtended) {
    if (framingVector == kFramingSync && p.size() == 49) {
      d.kind = SacnDatagram::Kind::Sync;
      return d;
    }
    if (framingVector == kFramingDiscovery && p.size() >= 120) {
      d.kind = SacnDatagram::Kind::Discovery;
      d.sourceName = name();
      return d;
    }
    return Dropped(
        fmt::format("extended packet, framing vector 0x{:08x}, {} bytes", framingVector, p.size()));
  }

  if (framingVector != kFramingData) {
    return Dropped(fmt::format("framing vector 0x{:08x}", framingVector));
  }
  if (p.size() < kDataHeader) return Dropped(fmt::format("data packet of {} bytes", p.size()));
  d.sourceName = name();
  d.priority = p[108];
  d.sequence = p[111];
  d.options = p[112];
  d.universe = Be16(p, 113);
  if (d.priority > kSacnMaxPriority) return Dropped(fmt::format("priority {}", d.priority));
  if (d.universe < kSacnMinUniverse || d.universe > kSacnMaxUniverse) {
    return Dropped(fmt::format("universe {}", d.universe));
  }
  const auto dmpLength = PduLength(p, 115);
  if (!dmpLength || *dmpLength != p.size() - 115) {
    return Dropped(fmt::format("DMP layer length {} in {} bytes", Be16(p, 115) & 0x0FFF, p.size()));
  }
  if (p[117] != 0x02 || p[118] != 0xA1 || Be16(p, 119) != 0 || Be16(p, 121) != 1) {
    return Dropped("DMP layer is not a set of slots from 0 by 1");
  }
  const uint16_t count = Be16(p, 123);
  if (count < 1 || count > 513 || count != p.size() - 125) {
    return Dropped(fmt::format("{} property values in {} bytes", count, p.size()));
  }
  d.startCode = p[125];
  d.levels = p.subspan(kDataHeader, count - 1u);
  d.kind = SacnDatagram::Kind::Data;
  return d;
}

SacnPacket BuildSacnData(const SacnSourceFields& source, uint8_t sequence, bool terminated,
                         std::span<const uint8_t, 512> slots) {
  SacnPacket p(kSacnDataBytes, 0);
  PutRoot(p, kRootData, source.cid);
  PutFlagsLength(p, 38);
  Put32(p, 40, kFramingData);
  PutName(p, 44, source.name);
  p[108] = source.priority;
  // 109..110: no synchronisation universe
  p[111] = sequence;
  p[112] = terminated ? 0x40 : 0x00;
  Put16(p, 113, static_cast<uint16_t>(source.universe));
  PutFlagsLength(p, 115);
  p[117] = 0x02;  // set property
  p[118] = 0xA1;  // address and data type
  Put16(p, 119, 0);
  Put16(p, 121, 1);
  Put16(p, 123, 513);
  p[125] = 0x00;  // levels
  std::copy(slots.begin(), slots.end(), p.begin() + kDataHeader);
  return p;
}

SacnPacket BuildSacnDiscovery(const Cid& cid, std::string_view name,
                              std::vector<uint16_t> universes) {
  std::sort(universes.begin(), universes.end());
  if (universes.size() > 512) universes.resize(512);
  SacnPacket p(120 + 2 * universes.size(), 0);
  PutRoot(p, kRootExtended, cid);
  PutFlagsLength(p, 38);
  Put32(p, 40, kFramingDiscovery);
  PutName(p, 44, name);
  // 108..111 reserved
  PutFlagsLength(p, 112);
  Put32(p, 114, kDiscoveryList);
  p[118] = 0;  // page
  p[119] = 0;  // last page
  for (size_t i = 0; i < universes.size(); ++i) Put16(p, 120 + 2 * i, universes[i]);
  return p;
}

SacnMerger::Result SacnMerger::Take(const SacnDatagram& d, Ipv4 from, common::Instant now) {
  // Preview data is for visualisers, not for the rig; other start codes carry no levels.
  if (d.Preview() || d.startCode != 0) return Result::Ignored;
  auto it = sources_.find(d.cid);
  if (it != sources_.end() && !SequenceTaken(it->second.sequence, d.sequence)) return Result::Late;
  if (d.Terminated()) {
    // Its levels leave the merge now, not 2.5 s later.
    if (it != sources_.end()) sources_.erase(it);
    return Result::Ended;
  }
  if (it == sources_.end()) {
    if (sources_.size() >= kMaxSources) return Result::TooMany;
    it = sources_.emplace(d.cid, Source{}).first;
  }
  Source& s = it->second;
  s.name = d.sourceName;
  s.address = from;
  s.priority = d.priority;
  s.sequence = d.sequence;
  s.last = now;
  // Slots a short packet does not carry are at zero.
  s.levels.fill(0);
  std::copy(d.levels.begin(), d.levels.begin() + std::min<size_t>(d.levels.size(), 512),
            s.levels.begin());
  return Result::Merged;
}

std::vector<std::string> SacnMerger::Expire(common::Instant now) {
  std::vector<std::string> gone;
  for (auto it = sources_.begin(); it != sources_.end();) {
    if (now - it->second.last > kSourceTimeout) {
      gone.push_back(it->second.name);
      it = sources_.erase(it);
    } else {
      ++it;
    }
  }
  return gone;
}

std::optional<std::array<uint8_t, 512>> SacnMerger::Levels() const {
  if (sources_.empty()) return std::nullopt;
  uint8_t top = 0;
  for (const auto& [cid, s] : sources_) top = std::max(top, s.priority);
  std::array<uint8_t, 512> merged{};
  for (const auto& [cid, s] : sources_) {
    if (s.priority != top) continue;
    for (size_t i = 0; i < merged.size(); ++i) merged[i] = std::max(merged[i], s.levels[i]);
  }
  return merged;
}

bool SacnSendRule::Due(common::Instant now, std::span<const uint8_t, 512> slots) {
  bool send = false;
  if (!sentAny_ || !std::equal(slots.begin(), slots.end(), last_.begin())) {
    // Three more of the same follow a change, so a receiver that missed it catches up.
    repeats_ = 3;
    send = true;
  } else if (repeats_ > 0) {
    --repeats_;
    send = true;
  } else {
    send = now - lastSent_ >= kKeepAlive;
  }
  if (send) {
    std::copy(slots.begin(), slots.end(), last_.begin());
    lastSent_ = now;
    sentAny_ = true;
  }
  return send;
}

std::string SacnStatusText(const SacnStatus& s, bool chinese) {
  std::string text;
  switch (s.mode) {
    case SacnStatus::Mode::Off:
      return chinese ? "sACN: 关闭" : "sACN: off";
    case SacnStatus::Mode::Sending:
      text = chinese ? fmt::format("sACN: 正在发送 Universe {}，优先级 {}，{} fps", s.universe,
                                   s.priority, s.framesPerSecond)
                     : fmt::format("sACN: sending universe {}, priority {}, {} fps", s.universe,
                                   s.priority, s.framesPerSecond);
      break;
    case SacnStatus::Mode::Receiving:
      if (s.sources == 0) {
        text = chinese ? fmt::format("sACN: Universe {} 空闲", s.universe)
                       : fmt::format("sACN universe {}: idle", s.universe);
      } else {
        text = chinese
                   ? fmt::format("sACN Universe {}，来自 '{}' {}，优先级 {}，{} fps", s.universe,
                                 s.name, Ipv4Text(s.from), s.priority, s.framesPerSecond)
                   : fmt::format("sACN universe {} from '{}' {}, priority {}, {} fps", s.universe,
                                 s.name, Ipv4Text(s.from), s.priority, s.framesPerSecond);
        if (s.sources > 1) {
          text += chinese ? fmt::format("（共 {} 个源）", s.sources)
                          : fmt::format(" ({} sources)", s.sources);
        }
      }
      break;
  }
  if (s.portShared) {
    text += chinese ? fmt::format("（另一个程序也在使用 UDP 端口 {}）", kSacnPort)
                    : fmt::format(" (another program has UDP port {} too)", kSacnPort);
  }
  return text;
}

}  // namespace velquor::net
