#include "link/UsbLink.h"

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <mutex>
#include <utility>

namespace velquor::link {

namespace {
constexpr double kPollIntervalMs = 5.0;
constexpr int kPipeError = -9;  // LIBUSB_ERROR_PIPE
// The line carries 250 kbaud, 11 bits a byte: 44 us. Once the head of an answer is in, the
// rest is already on its way; the box hands a frame to USB a little after its last byte.
constexpr double kLineByteMs = 0.044;
constexpr double kBoxRelayMs = 0.3;
// The first look moves earlier by a little after each answer whose head it found, and back by
// more after one it missed: it settles just after the time this box's answers come in,
// missing about one in six. A miss costs no time (the polls keep their 5 ms rhythm), only a
// transfer. No E1.20 answer can be in sooner than the floor: a request and an answer of 26
// bytes each and the shortest turnaround.
constexpr double kFirstLookFloorMs = 2.5;
constexpr double kFirstLookEarlierMs = 0.1;
constexpr double kFirstLookLaterMs = 0.5;

// How long the part of an answer of `messageLength` not yet in (`placed`: bit s for chunk s)
// takes to cross the line and reach the box's USB side.
double RestOnLineMs(uint8_t messageLength, uint32_t placed) {
  const uint32_t needed = (1u << RdmChunkCount(messageLength)) - 1;
  const auto chunksIn = static_cast<unsigned>(std::popcount(placed & needed));
  const unsigned total = messageLength + 2u;  // the checksum follows the message
  const unsigned in = std::min<unsigned>(total, chunksIn * static_cast<unsigned>(kChunkSize));
  return static_cast<double>(total - in) * kLineByteMs + kBoxRelayMs;
}
}  // namespace

UsbLink::UsbLink(LinkTransport& transport, common::LogSink& log, common::Clock& clock,
                 LinkHooks hooks, KeyGenerator* keys)
    : transport_(transport),
      log_(log),
      clock_(clock),
      hooks_(std::move(hooks)),
      keys_(keys ? keys : &ownKeys_) {}

void UsbLink::SetOpen(bool open) {
  open_.store(open);
}

void UsbLink::LinkOpen() {
  std::lock_guard guard(lock_);
  if (open_.load()) return;
  OpenContext ctx{log_, clock_};
  const bool opened = transport_.Open(ctx);
  const BoxState state = transport_.LastOpen();
  lastOpen_.store(opened ? BoxState::Connected
                         : (state == BoxState::Connected ? BoxState::NotFound : state));
  SetOpen(opened);
}

BoxState UsbLink::Box() const {
  if (open_.load()) return BoxState::Connected;
  const BoxState last = lastOpen_.load();
  return last == BoxState::Connected ? BoxState::NotFound : last;  // open once, gone since
}

void UsbLink::CloseAfterFailure(int code) {
  log_.Add(transport_.ErrorText(code));
  SetOpen(false);
  transport_.Close();
}

// A closed link counts the calls made to it and tries to reopen once `limit` is passed.
void UsbLink::IncrementReconnect(int limit) {
  int8_t old = reconnectCounter_;
  reconnectCounter_ = static_cast<int8_t>(old + 1);
  if (old > limit) {
    LinkOpen();
    reconnectCounter_ = 0;
  }
}

int32_t UsbLink::LinkSend(uint8_t mode, std::span<const uint8_t> data) {
  std::lock_guard guard(lock_);
  int32_t result = 0;

  uint32_t old = idleSendCounter_++;
  if (old > 5) ++lastSentDmx_[0];  // keep-alive: chunk 0 counts as changed

  size_t chunks = data.size() / kChunkSize;
  if (chunks > kMaxChunks) {
    log_.Add(fmt::format("Link: {} bytes asked to be sent, only the first {} fit a message",
                         data.size(), kMaxMessage));
    chunks = kMaxChunks;
  }

  for (size_t k = 0; k < chunks; ++k) {
    std::span<const uint8_t, kChunkSize> d(data.data() + k * kChunkSize, kChunkSize);
    LinkFrame frame;
    if (mode == LINK_MODE_DMX) {
      bool changed = false;
      for (size_t i = 0; i < kChunkSize; ++i) {
        uint8_t& shadow = lastSentDmx_[k * kChunkSize + i];
        if (shadow != d[i]) {
          shadow = d[i];
          changed = true;
        }
      }
      if (!changed) continue;
      frame = ScrambleChunk(kDmxBase, k, d, keys_->Next());
    } else {
      frame = ScrambleChunk(kRdmBase, k, d, keys_->Next());
      if (hooks_.onRdmFrameSent) hooks_.onRdmFrameSent();
      firstLookDue_ = true;
    }

    if (open_.load()) {
      receivedByteCount_ = 0;
      idleSendCounter_ = 0;
      result = transport_.InterruptOut(frame);
      if (result >= 0) {
        reconnectCounter_ = 0;
      } else {
        CloseAfterFailure(result);
      }
    } else {
      // RDM reopens at once; DMX on every 12th attempt. This chunk is not transmitted.
      if (mode == LINK_MODE_RDM) {
        LinkOpen();
        reconnectCounter_ = 0;
      } else {
        IncrementReconnect(10);
      }
    }
  }
  return result;
}

// One GET_REPORT. False when nothing usable came back; `rc` holds the transfer's code.
bool UsbLink::ReadFrame(LinkFrame& frame, int& rc) {
  rc = transport_.GetReport(frame);
  if (rc < 0) return false;
  if (static_cast<size_t>(rc) < kFrameSize) {
    log_.Add(fmt::format("Link: short frame of {} bytes from the box dropped ({} expected)", rc,
                         kFrameSize));
    return false;
  }
  return true;
}

double UsbLink::LinkReceiveRdm(std::span<uint8_t> response, double timeoutMs,
                               ReceiveUntil until) {
  std::lock_guard guard(lock_);
  const common::Instant start = clock_.Now();
  const common::Instant end = start + common::FromMs(timeoutMs);
  const bool looking = std::exchange(firstLookDue_, false);
  const double look = firstLookMs_;
  bool headAtLook = false;
  int polls = 0;
  if (response.size() >= 2) {
    response[0] = 0;
    response[1] = 0;
  }
  uint16_t count = 0;
  uint32_t placed = 0;  // bit s: chunk s of the answer is in `response`
  bool arriving = false;
  bool restAwaited = false;  // the short wait for the rest of this answer has been taken
  double elapsed = 0;

  for (;;) {
    // While an answer is arriving the next frame may be waiting already: each frame carries
    // its place, so asking again at once cannot misplace one. Otherwise the first look, or
    // the 5 ms rhythm (a closed link waits too, never spinning a core). With the head of an
    // answer in, the first wait after a new frame is only as long as the rest takes on the
    // line.
    // No wait runs past the time-out: the last poll comes at it.
    if (!arriving) {
      const common::Instant now = clock_.Now();
      common::Instant next = now + common::FromMs(kPollIntervalMs);
      if (polls == 0 && looking) {
        next = now + common::FromMs(look);
      } else if (polls == 1 && looking && placed == 0 && look < kPollIntervalMs) {
        next = start + common::FromMs(kPollIntervalMs);  // back on the rhythm
      } else if (!restAwaited && (placed & 1u) != 0 && response.size() >= 3) {
        next = now + common::FromMs(std::min(kPollIntervalMs, RestOnLineMs(response[2], placed)));
        restAwaited = true;
      }
      clock_.SleepUntil(std::min(next, end));
    }
    arriving = false;
    ++polls;
    if (open_.load()) {
      LinkFrame frame;
      int rc = 0;
      if (ReadFrame(frame, rc)) {
        int s = RdmChunkIndex(frame[0]);
        size_t offset = static_cast<size_t>(s) * kChunkSize;
        if (s >= 0 && offset + kChunkSize <= response.size()) {
          Chunk chunk = UnscrambleChunk(frame);
          std::copy(chunk.begin(), chunk.end(), response.begin() + static_cast<ptrdiff_t>(offset));
          count = static_cast<uint16_t>(std::min<unsigned>(count + kChunkSize, 0xFFFFu));
          // A frame repeated by the box adds nothing new: wait before asking again.
          arriving = (placed & (1u << s)) == 0;
          placed |= 1u << s;
          if (arriving) restAwaited = false;
          if (polls == 1 && s == 0) headAtLook = looking;
        }
      } else if (rc == kPipeError) {
        transport_.ClearHalt();
      }
    }

    const common::Instant now = clock_.Now();
    elapsed = common::ToMs(now - start);

    // Whole when every chunk the length asks for has come, each counted once.
    bool complete = false;
    if (response.size() >= 3 && response[0] == 0xCC && response[1] == 0x01) {
      const uint32_t needed = (1u << RdmChunkCount(response[2])) - 1;
      complete = (placed & needed) == needed;
    }
    if (until == ReceiveUntil::FirstFrame && placed != 0) complete = true;
    if (complete || now >= end) break;
  }
  // Only answered requests teach: silence after a request says nothing of the box's pace.
  if (headAtLook) {
    firstLookMs_ = std::max(kFirstLookFloorMs, look - kFirstLookEarlierMs);
  } else if (looking && (placed & 1u) != 0) {
    firstLookMs_ = std::min(kPollIntervalMs, look + kFirstLookLaterMs);
  }
  receivedByteCount_ = count;
  return elapsed;
}

uint16_t UsbLink::LinkReceive(std::span<uint8_t> response) {
  std::lock_guard guard(lock_);
  LinkReceiveRdm(response, static_cast<double>(responseTimeoutMs_.load()));
  return receivedByteCount_;
}

void UsbLink::LinkPollInput(const DmxInputStore& store) {
  std::lock_guard guard(lock_);
  if (!open_.load()) {
    IncrementReconnect(100);
    return;
  }
  LinkFrame frame;
  int rc = 0;
  if (ReadFrame(frame, rc)) {
    reconnectCounter_ = 0;
    int s = DmxChunkIndex(frame[0]);
    if (s >= 0 && store) {
      Chunk chunk = UnscrambleChunk(frame);
      store(static_cast<size_t>(s) * kChunkSize, chunk);
    }
    return;
  }
  if (rc >= 0) return;  // a short frame: already reported, the link stays up
  log_.Add(transport_.ErrorText(rc));
  if (rc == kPipeError) transport_.ClearHalt();
  SetOpen(false);
  transport_.Close();
}

double UsbLink::BusyWaitMs(double ms) {
  const common::Instant start = clock_.Now();
  clock_.SleepUntil(start + common::FromMs(ms));
  return common::ToMs(clock_.Now() - start);
}

}  // namespace velquor::link
