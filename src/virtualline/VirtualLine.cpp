#include "virtualline/VirtualLine.h"

#include <fmt/format.h>

#include <algorithm>

#include "virtualline/Pids.h"

namespace velquor::virtualline {

namespace {

constexpr int kErrorNoDevice = -4;  // LIBUSB_ERROR_NO_DEVICE
constexpr uint64_t kBroadcast = 0xFFFFFFFFFFFFULL;

uint16_t Sum(const uint8_t* p, size_t n) {
  uint32_t s = 0;
  for (size_t i = 0; i < n; ++i) s += p[i];
  return static_cast<uint16_t>(s);
}

uint64_t Uid48(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 6; ++i) v = (v << 8) | p[i];
  return v;
}

void PutUid(std::vector<uint8_t>& out, uint64_t uid) {
  for (int i = 5; i >= 0; --i) out.push_back(static_cast<uint8_t>(uid >> (8 * i)));
}

// Chunks the box uses for a message of length byte L: one more than L + 2 strictly needs
// when L + 2 is a multiple of 31.
size_t ChunksFor(size_t length) {
  return (length + 2) / link::kChunkSize + 1;
}

// The line's pace (250 kbaud, 11 bits a slot): a break and mark-after-break before each
// message, then its bytes; a responder starts its answer a little after the request ends
// (E1.20 allows 0.176 to 2 ms). The box holds each 31 bytes of an answer as one frame.
constexpr double kByteMs = 0.044;
constexpr double kBreakMs = 0.188;
constexpr double kTurnaroundMs = 1.0;

double WireMs(size_t bytes) {
  return kBreakMs + static_cast<double>(bytes) * kByteMs;
}

bool IsBroadcastTo(uint64_t destination, uint64_t uid) {
  if (destination == kBroadcast) return true;
  return (destination & 0xFFFFFFFFULL) == 0xFFFFFFFFULL && (destination >> 32) == (uid >> 32);
}

// E1.20 discovery answer: 7 × 0xFE, 0xAA, each UID byte as (b|AA, b|55), checksum likewise.
std::vector<uint8_t> EncodeDiscoveryAnswer(uint64_t uid) {
  std::vector<uint8_t> out(7, 0xFE);
  out.push_back(0xAA);
  uint16_t sum = 0;
  for (int i = 5; i >= 0; --i) {
    uint8_t b = static_cast<uint8_t>(uid >> (8 * i));
    uint8_t e1 = b | 0xAA, e2 = b | 0x55;
    out.push_back(e1);
    out.push_back(e2);
    sum = static_cast<uint16_t>(sum + e1 + e2);
  }
  uint8_t hi = static_cast<uint8_t>(sum >> 8), lo = static_cast<uint8_t>(sum);
  for (uint8_t b : {hi, lo}) {
    out.push_back(b | 0xAA);
    out.push_back(b | 0x55);
  }
  return out;
}

}  // namespace

VirtualLine::VirtualLine(Rig rig, common::Clock& clock)
    : clock_(clock), collisions_(rig.collisions), relay_(rig.relay) {
  for (Fixture& f : rig.fixtures) responders_.emplace_back(std::move(f));
}

double VirtualLine::RelayMs() {
  if (relay_.baseMs <= 0 && relay_.jitterMs <= 0) return 0;
  const double jitter =
      relay_.jitterMs * static_cast<double>(jitter_() % 1001) / 1000.0;  // 0 .. jitterMs
  return relay_.baseMs + jitter;
}

bool VirtualLine::Open(const link::OpenContext& ctx) {
  std::lock_guard lock(mutex_);
  if (unplugged_) return false;
  open_ = true;
  ctx.log.Add("1 Device Opened");
  return true;
}

void VirtualLine::Close() {
  std::lock_guard lock(mutex_);
  open_ = false;
  outbound_.clear();
  assembly_.clear();
  assembledChunks_ = 0;
}

std::string VirtualLine::ErrorText(int code) const {
  switch (code) {
    case kErrorNoDevice:
      return "No such device (it may have been disconnected)";
    case -7:
      return "Operation timed out";
    case -9:
      return "Pipe error";
    default:
      return fmt::format("USB error {}", code);
  }
}

bool VirtualLine::Unplugged() {
  if (unplugIn_ && (*unplugIn_)-- == 0) {
    unplugIn_.reset();
    unplugged_ = true;
    open_ = false;
    outbound_.clear();
  }
  return unplugged_;
}

int VirtualLine::InterruptOut(const link::LinkFrame& frame) {
  std::lock_guard lock(mutex_);
  if (Unplugged() || !open_) return kErrorNoDevice;
  link::Chunk payload = link::UnscrambleChunk(frame);

  if (int s = link::DmxChunkIndex(frame[0]); s >= 0) {
    ++stats_.dmxFrames;
    std::copy(payload.begin(), payload.end(),
              lineDmx_.begin() + static_cast<ptrdiff_t>(s) * link::kChunkSize);
    return 0;
  }
  int s = link::RdmChunkIndex(frame[0]);
  if (s < 0) return 0;  // the box ignores codes it does not know
  ++stats_.requestFrames;
  if (s == 0) {
    // A new request: whatever is left of the previous answer is stale.
    outbound_.clear();
    assembly_.assign(link::kMaxMessage, 0);
    assembledChunks_ = 0;
  } else if (assembly_.empty()) {
    return 0;  // a tail without its head
  }
  std::copy(payload.begin(), payload.end(),
            assembly_.begin() + static_cast<ptrdiff_t>(s) * link::kChunkSize);
  assembledChunks_ |= 1u << s;

  if ((assembledChunks_ & 1u) == 0) return 0;
  size_t needed = ChunksFor(assembly_[2]);
  uint32_t mask = (1u << needed) - 1;
  if ((assembledChunks_ & mask) == mask) {
    std::vector<uint8_t> message = std::move(assembly_);
    assembly_.clear();
    assembledChunks_ = 0;
    Process(message);
  }
  return 0;
}

int VirtualLine::GetReport(link::LinkFrame& frame) {
  std::lock_guard lock(mutex_);
  if (Unplugged() || !open_) return kErrorNoDevice;
  ++stats_.reportsServed;
  if (!outbound_.empty() && outbound_.front().readyAt <= clock_.Now()) {
    frame = outbound_.front().frame;
    outbound_.pop_front();
    return static_cast<int>(frame.size());
  }
  if (!inputUniverse_.empty()) {
    size_t k = nextInputChunk_;
    nextInputChunk_ = (nextInputChunk_ + 1) % link::kMaxChunks;
    frame = link::ScrambleChunk(link::kDmxBase, k,
                                std::span<const uint8_t, link::kChunkSize>(
                                    inputUniverse_.data() + k * link::kChunkSize, link::kChunkSize),
                                static_cast<uint8_t>(keys_() % 245));
    return static_cast<int>(frame.size());
  }
  frame.fill(0);  // nothing to report: a frame of no known code
  return static_cast<int>(frame.size());
}

void VirtualLine::Process(const std::vector<uint8_t>& m) {
  // Framing check the way a responder makes it: start codes, length, checksum.
  const size_t length = m[2];
  if (m[0] != 0xCC || m[1] != 0x01 || length < 24 || m[23] + 24u != length ||
      Sum(m.data(), length) != ((m[length] << 8) | m[length + 1])) {
    ++stats_.badRequests;
    return;
  }
  ++stats_.requests;
  // The request is on the line until its checksum has gone out.
  requestEnd_ = clock_.Now() + common::FromMs(WireMs(length + 2));
  WireRequest r;
  r.destination = Uid48(&m[3]);
  r.source = Uid48(&m[9]);
  r.transaction = m[15];
  r.portId = m[16];
  r.subDevice = static_cast<uint16_t>((m[18] << 8) | m[19]);
  r.commandClass = m[20];
  r.pid = static_cast<uint16_t>((m[21] << 8) | m[22]);
  r.data.assign(m.begin() + 24, m.begin() + static_cast<ptrdiff_t>(length));

  if (r.commandClass == 0x10) {
    HandleDiscovery(r);
    return;
  }

  for (Responder& responder : responders_) {
    const bool unicast = r.destination == responder.Uid();
    if (!unicast && !IsBroadcastTo(r.destination, responder.Uid())) continue;
    Fault* fault = ActiveFault(responder.Uid());
    if (fault && fault->kind == FaultKind::NoAnswer) {
      if (unicast) ConsumeFault(responder.Uid());
      continue;
    }
    if (responder.HasSensors()) {
      responder.Sensors().Advance(std::chrono::duration<double>(clock_.Now()).count(),
                                  responder.State().lampState == 1);
    }
    std::optional<Reply> reply = responder.Handle(r);
    // Broadcasts get no answer, except the radio channel: wireless receivers answer the
    // channel query of their own maker's transmitter whoever it is addressed to.
    if (!unicast && r.pid != pid::RADIO_CHANNEL) continue;
    if (!reply || (!unicast && reply->responseType != 0)) continue;
    Answer(responder, r, std::move(*reply));
  }
}

void VirtualLine::HandleDiscovery(const WireRequest& r) {
  if (r.pid == pid::DISC_UNIQUE_BRANCH) {
    if (r.data.size() != 12) return;
    uint64_t lower = Uid48(&r.data[0]), upper = Uid48(&r.data[6]);
    std::vector<std::vector<uint8_t>> answers;
    double slowest = 0;  // the overlap lasts until the slowest answer ends
    for (Responder& responder : responders_) {
      Fault* fault = ActiveFault(responder.Uid());
      if (fault && fault->kind == FaultKind::NoAnswer) continue;
      if (auto answerUid = responder.DiscoveryAnswer(lower, upper)) {
        answers.push_back(EncodeDiscoveryAnswer(*answerUid));
        slowest = std::max(slowest, responder.State().turnaroundMs);
      }
    }
    if (answers.empty()) return;
    std::vector<uint8_t> wire = answers[0];
    for (size_t k = 1; k < answers.size(); ++k) {
      for (size_t i = 0; i < wire.size(); ++i) {
        wire[i] = collisions_ == CollisionMode::Or ? static_cast<uint8_t>(wire[i] | answers[k][i])
                                                   : static_cast<uint8_t>(wire[i] & answers[k][i]);
      }
    }
    if (answers.size() > 1 && collisions_ == CollisionMode::Garbled) {
      wire.back() = static_cast<uint8_t>(wire.back() ^ 0x0F);  // framing errors of the overlap
    }
    ++stats_.answers;
    const size_t bytes = wire.size();
    QueueMessage(std::move(wire), 1, bytes, nullptr, slowest);
    return;
  }

  if (r.pid != pid::DISC_MUTE && r.pid != pid::DISC_UN_MUTE) return;
  for (Responder& responder : responders_) {
    const bool unicast = r.destination == responder.Uid();
    if (!unicast && !IsBroadcastTo(r.destination, responder.Uid())) continue;
    Fault* fault = ActiveFault(responder.Uid());
    if (fault && fault->kind == FaultKind::NoAnswer) continue;
    if (r.pid == pid::DISC_MUTE && fault && fault->kind == FaultKind::IgnoreMute) {
      if (unicast) ConsumeFault(responder.Uid());
      continue;
    }
    if (!responder.TakeMute(r.pid == pid::DISC_MUTE)) continue;
    if (unicast) Answer(responder, r, Reply{0x00, {0x00, 0x00}});  // control field
  }
}

void VirtualLine::Answer(Responder& responder, const WireRequest& r, Reply reply) {
  Fault* fault = ActiveFault(responder.Uid());
  const bool unicast = r.destination == responder.Uid();
  // Faults of the answer itself; silence and mute faults are handled before an answer.
  if (!unicast ||
      (fault && (fault->kind == FaultKind::NoAnswer || fault->kind == FaultKind::IgnoreMute))) {
    fault = nullptr;
  }
  if (fault) {
    switch (fault->kind) {
      case FaultKind::Nack:
        reply = Reply{0x02,
                      {static_cast<uint8_t>(fault->nackReason >> 8),
                       static_cast<uint8_t>(fault->nackReason)}};
        break;
      case FaultKind::AckTimer:
        reply = Reply{0x01, {0x00, 0x0A}};  // ready in one second
        break;
      default:
        break;
    }
  }

  std::vector<uint8_t> m{0xCC, 0x01, static_cast<uint8_t>(24 + reply.data.size())};
  PutUid(m, r.source);
  PutUid(m, responder.Uid());
  const bool stale = fault && fault->kind == FaultKind::StaleAnswer;
  m.push_back(static_cast<uint8_t>(r.transaction - (stale ? 1 : 0)));
  m.push_back(reply.responseType);
  m.push_back(0);  // message count
  m.push_back(static_cast<uint8_t>(r.subDevice >> 8));
  m.push_back(static_cast<uint8_t>(r.subDevice));
  m.push_back(static_cast<uint8_t>(r.commandClass + 1));
  m.push_back(static_cast<uint8_t>(r.pid >> 8));
  m.push_back(static_cast<uint8_t>(r.pid));
  m.push_back(static_cast<uint8_t>(reply.data.size()));
  m.insert(m.end(), reply.data.begin(), reply.data.end());
  uint16_t sum = Sum(m.data(), m.size());
  if (fault && fault->kind == FaultKind::BadChecksum) ++sum;
  m.push_back(static_cast<uint8_t>(sum >> 8));
  m.push_back(static_cast<uint8_t>(sum));
  size_t chunks = ChunksFor(m[2]);
  const size_t bytes = m.size();

  if (fault && fault->kind == FaultKind::NonRdm) {
    m.assign(link::kChunkSize, 0x55);  // line noise, not a message
    chunks = 1;
  }
  ++stats_.answers;
  QueueMessage(std::move(m), chunks, bytes, fault, responder.State().turnaroundMs);
  if (fault) ConsumeFault(responder.Uid());
}

void VirtualLine::QueueMessage(std::vector<uint8_t> bytes, size_t chunkCount, size_t wireBytes,
                               const Fault* fault, double turnaroundMs) {
  bytes.resize(chunkCount * link::kChunkSize, 0);
  // A frame exists once its last byte has crossed the line and the box has relayed it, never
  // before the request ended.
  const double turnaround = turnaroundMs > 0 ? turnaroundMs : kTurnaroundMs;
  const double startMs = fault && fault->kind == FaultKind::LateAnswer
                             ? std::max(fault->delayMs, turnaround)
                             : turnaround;
  const common::Instant start = requestEnd_ + common::FromMs(startMs + RelayMs());
  for (size_t k = 0; k < chunkCount; ++k) {
    if (fault && fault->kind == FaultKind::LoseFrame && fault->frameIndex == k) continue;
    const size_t through = std::min((k + 1) * link::kChunkSize, wireBytes);
    const common::Instant ready = start + common::FromMs(WireMs(through));
    link::LinkFrame frame =
        link::ScrambleChunk(link::kRdmBase, k,
                            std::span<const uint8_t, link::kChunkSize>(
                                bytes.data() + k * link::kChunkSize, link::kChunkSize),
                            static_cast<uint8_t>(keys_() % 245));
    outbound_.push_back({ready, frame});
    if (fault && fault->kind == FaultKind::RepeatFrame && fault->frameIndex == k) {
      outbound_.push_back({ready, frame});
    }
  }
}

Fault* VirtualLine::ActiveFault(uint64_t uid) {
  auto it = faults_.find(uid);
  if (it == faults_.end()) return nullptr;
  auto& queue = it->second;
  while (!queue.empty() && queue.front().count == 0) {
    queue.pop_front();
  }
  return queue.empty() ? nullptr : &queue.front();
}

void VirtualLine::ConsumeFault(uint64_t uid) {
  if (Fault* fault = ActiveFault(uid); fault && fault->count > 0) --fault->count;
}

void VirtualLine::InjectFault(uint64_t uid, Fault fault) {
  std::lock_guard lock(mutex_);
  faults_[uid].push_back(fault);
}

void VirtualLine::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

void VirtualLine::SetUnplugged(bool unplugged) {
  std::lock_guard lock(mutex_);
  unplugged_ = unplugged;
  unplugIn_.reset();
  if (unplugged) {
    open_ = false;
    outbound_.clear();
  }
}

void VirtualLine::UnplugAfter(unsigned transfers) {
  std::lock_guard lock(mutex_);
  unplugIn_ = transfers;
}

void VirtualLine::SetInputUniverse(std::vector<uint8_t> levels) {
  std::lock_guard lock(mutex_);
  if (!levels.empty()) levels.resize(link::kMaxMessage, 0);
  inputUniverse_ = std::move(levels);
  nextInputChunk_ = 0;
}

std::array<uint8_t, 512> VirtualLine::LineDmx() const {
  std::lock_guard lock(mutex_);
  std::array<uint8_t, 512> out{};
  std::copy_n(lineDmx_.begin(), out.size(), out.begin());
  return out;
}

std::optional<Fixture> VirtualLine::FixtureState(uint64_t uid) const {
  std::lock_guard lock(mutex_);
  for (const Responder& r : responders_) {
    if (r.Uid() == uid) return r.State();
  }
  return std::nullopt;
}

std::optional<bool> VirtualLine::IsMuted(uint64_t uid) const {
  std::lock_guard lock(mutex_);
  for (const Responder& r : responders_) {
    if (r.Uid() == uid) return r.Muted();
  }
  return std::nullopt;
}

std::vector<uint64_t> VirtualLine::Uids() const {
  std::lock_guard lock(mutex_);
  std::vector<uint64_t> out;
  for (const Responder& r : responders_) out.push_back(r.Uid());
  return out;
}

LineStats VirtualLine::Stats() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

size_t VirtualLine::QueuedFrames() const {
  std::lock_guard lock(mutex_);
  return outbound_.size();
}

}  // namespace velquor::virtualline
