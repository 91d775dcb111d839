#pragma once
// sACN (ANSI E1.31-2018) as byte layouts and rules without sockets: what a datagram is once
// every layer has been checked, the packets a source sends, the receiver's sequence rule, the
// merge of several sources, and the send rhythm. Tested byte by byte and fuzzed.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/Clock.h"
#include "net/HostInterfaces.h"

namespace velquor::net {

constexpr uint16_t kSacnPort = 5568;
constexpr int kSacnMinUniverse = 1;
constexpr int kSacnMaxUniverse = 63999;
constexpr int kSacnDiscoveryUniverse = 64214;
constexpr int kSacnMaxPriority = 200;
constexpr int kSacnDefaultPriority = 100;
constexpr size_t kSacnDataBytes = 638;  // a data packet with 512 levels

using Cid = std::array<uint8_t, 16>;
using SacnPacket = std::vector<uint8_t>;

// "5f1d8e4a-..." and back; nothing for text that is not 32 hex digits in 8-4-4-4-12 groups.
std::string CidText(const Cid& cid);
std::optional<Cid> ParseCid(std::string_view text);
// A random (version 4) UUID.
Cid MakeCid();

// 239.255.hi.lo: the multicast group of a universe.
Ipv4 SacnGroup(int universe);

// One datagram, once checked. Spans point into the datagram.
struct SacnDatagram {
  enum class Kind { Dropped, Data, Sync, Discovery };
  Kind kind = Kind::Dropped;
  std::string reason;  // Dropped: why, for the log line
  Cid cid{};
  std::string sourceName;  // up to its first zero byte
  // Data
  uint8_t priority = 0;
  uint8_t sequence = 0;
  uint8_t options = 0;
  int universe = 0;
  uint8_t startCode = 0;
  std::span<const uint8_t> levels;  // after the start code, at most 512
  bool Preview() const { return options & 0x80; }
  bool Terminated() const { return options & 0x40; }
};

SacnDatagram ParseSacn(std::span<const uint8_t> datagram);

struct SacnSourceFields {
  Cid cid{};
  std::string name;  // cut to 63 bytes, zero-padded to 64
  uint8_t priority = kSacnDefaultPriority;
  int universe = 1;
};
// A data packet: start code 0 and the 512 levels.
SacnPacket BuildSacnData(const SacnSourceFields& source, uint8_t sequence, bool terminated,
                         std::span<const uint8_t, 512> levels);
// A universe discovery packet (one page) listing `universes`, sorted.
SacnPacket BuildSacnDiscovery(const Cid& cid, std::string_view name,
                              std::vector<uint16_t> universes);

// The receiver's sequence rule: a packet 0..19 behind the last one taken from that source is
// late or a copy; anything else (ahead, or 20 and more behind: the source restarted) is taken.
constexpr bool SequenceTaken(uint8_t last, uint8_t next) {
  const int diff = static_cast<int8_t>(static_cast<uint8_t>(next - last));
  return !(diff <= 0 && diff > -20);
}

// The sources of one universe and their merge: the highest priority wins, equal priorities
// merge slot by slot, highest level first. A source is forgotten 2.5 s after its last packet
// (its levels hold until then) or at once when it says its stream ends.
class SacnMerger {
 public:
  static constexpr size_t kMaxSources = 32;
  static constexpr std::chrono::milliseconds kSourceTimeout{2500};

  struct Source {
    std::string name;
    Ipv4 address = 0;
    uint8_t priority = 0;
    uint8_t sequence = 0;
    std::array<uint8_t, 512> levels{};
    common::Instant last{};
  };
  enum class Result {
    Merged,   // the levels of the merge may have changed
    Late,     // out of sequence: dropped
    Ended,    // the source said its stream ends; it is forgotten
    TooMany,  // a new source past kMaxSources: not heard until one leaves
    Ignored,  // preview data, another start code
  };
  Result Take(const SacnDatagram& d, Ipv4 from, common::Instant now);
  // Forgets the sources silent for 2.5 s; the names of those forgotten.
  std::vector<std::string> Expire(common::Instant now);
  // The merge of the sources that have the highest priority; nothing without sources.
  std::optional<std::array<uint8_t, 512>> Levels() const;
  const std::map<Cid, Source>& Sources() const { return sources_; }
  void Clear() { sources_.clear(); }

 private:
  std::map<Cid, Source> sources_;
};

// When a source sends: at once on a change (at most 44 packets a second), three more of the
// unchanged levels after it, then a keep-alive every 800 ms.
class SacnSendRule {
 public:
  static constexpr std::chrono::microseconds kMinGap{22727};  // 44 a second
  static constexpr std::chrono::milliseconds kKeepAlive{800};
  bool Due(common::Instant now, std::span<const uint8_t, 512> levels);
  void Reset() { sentAny_ = false; }

 private:
  bool sentAny_ = false;
  common::Instant lastSent_{};
  int repeats_ = 0;
  std::array<uint8_t, 512> last_{};
};

// "sACN universe 1 from 'console' 10.0.0.5, priority 100, 44 fps" and the like.
struct SacnStatus {
  enum class Mode { Off, Receiving, Sending } mode = Mode::Off;
  int universe = 1;
  int priority = kSacnDefaultPriority;
  int sources = 0;   // receiving: sources of the universe heard within 2.5 s
  std::string name;  // the winning source's name
  Ipv4 from = 0;
  int framesPerSecond = 0;  // packets taken (or sent) within the last second
  bool portShared = false;
};
std::string SacnStatusText(const SacnStatus& status, bool chinese);

}  // namespace velquor::net
