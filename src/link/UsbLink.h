#pragma once
// The road to the box: messages cut into scrambled 33-byte frames, DMX chunks sent only
// when they changed, RDM answers polled back, and the link reopened after failures.

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <span>
#include <string>

#include "common/Clock.h"
#include "common/Log.h"
#include "link/ExchangeLock.h"
#include "link/LinkFrame.h"
#include "link/LinkTransport.h"

namespace velquor::link {

inline constexpr const char* kNotConnected = "Not connected";
inline constexpr const char* kConnected = "Connected successfully";

struct LinkHooks {
  std::function<void()> onRdmFrameSent;  // the engine tick's hold-off
};

// Receives the 31 bytes of one DMX chunk the box received, at `offset` in the universe.
using DmxInputStore = std::function<void(size_t offset, std::span<const uint8_t, kChunkSize>)>;

// The response time-outs offered for choice: item 0..5 is 40..90 ms; an item out of range
// (none chosen) takes the nearer end.
constexpr uint32_t ResponseTimeoutOfItem(int item) {
  return static_cast<uint32_t>(std::clamp(item, 0, 5) * 10 + 40);
}

// What ends a receive before its time-out: a whole RDM answer, or any frame of one (a
// discovery answer is no RDM message and may be cut short by noise).
enum class ReceiveUntil { WholeAnswer, FirstFrame };

class UsbLink {
 public:
  UsbLink(LinkTransport& transport, common::LogSink& log, common::Clock& clock,
          LinkHooks hooks = {}, KeyGenerator* keys = nullptr);

  void LinkOpen();
  // Sends floor(data.size() / 31) chunks; returns the code of the last transfer tried.
  int32_t LinkSend(uint8_t mode, std::span<const uint8_t> data);
  // Polls RDM answer frames into `response` until `until` or the time-out: 5 ms apart, at
  // once after a frame that brought a new piece of the answer, and once, after a new piece,
  // when the rest of the answer should have crossed the line. The first poll after an RDM
  // request comes when this box's answers have lately begun to be in (never later than 5 ms);
  // if it finds nothing, the polls go on 5 ms after the receive began, as without it.
  double LinkReceiveRdm(std::span<uint8_t> response, double timeoutMs,
                        ReceiveUntil until = ReceiveUntil::WholeAnswer);
  // Lets UI events run, receives with the selected time-out; bytes received.
  uint16_t LinkReceive(std::span<uint8_t> response);
  // One poll for a chunk of the DMX the box receives.
  void LinkPollInput(const DmxInputStore& store);
  // Waits at least `ms` (sleeping, not spinning); the elapsed milliseconds.
  double BusyWaitMs(double ms);
  // The time-out of the receives that name none (LinkReceive).
  void SetResponseTimeout(uint32_t ms) { responseTimeoutMs_.store(ms); }

  bool IsOpen() const { return open_.load(); }
  // Why the box could not be opened (the transport's words); empty when it is simply absent.
  std::string OpenFailure() const { return transport_.OpenFailure(); }
  std::string DeviceConnect() const { return open_.load() ? kConnected : kNotConnected; }
  // The box as the technician should hear of it (any thread): Connected while open, else how
  // the last attempt to open it ended (NotFound before any, and after the box went away).
  BoxState Box() const;
  uint32_t RdmResponseTimeoutMs() const { return responseTimeoutMs_.load(); }

  // Held by an RDM exchange for its whole run; every entry point also takes it.
  ExchangeLock& Lock() { return lock_; }

  // Link counters, for the tests and the diagnostics.
  int8_t ReconnectCounter() const { return reconnectCounter_; }
  uint16_t ReceivedByteCount() const { return receivedByteCount_; }
  double FirstLookMs() const { return firstLookMs_; }
  const std::array<uint8_t, kMaxMessage>& LastSentDmx() const { return lastSentDmx_; }

 private:
  void SetOpen(bool open);
  void CloseAfterFailure(int code);
  void IncrementReconnect(int limit);
  bool ReadFrame(LinkFrame& frame, int& rc);

  LinkTransport& transport_;
  common::LogSink& log_;
  common::Clock& clock_;
  LinkHooks hooks_;
  KeyGenerator ownKeys_;
  KeyGenerator* keys_;
  ExchangeLock lock_;

  std::atomic<bool> open_{false};
  std::atomic<BoxState> lastOpen_{BoxState::NotFound};
  int8_t reconnectCounter_ = 0;
  uint32_t idleSendCounter_ = 0;
  std::array<uint8_t, kMaxMessage> lastSentDmx_{};
  uint16_t receivedByteCount_ = 0;
  // When the first poll after a request comes, learned from the answers' heads.
  double firstLookMs_ = 5.0;
  bool firstLookDue_ = false;  // an RDM request went out since the last receive
  std::atomic<uint32_t> responseTimeoutMs_{35};
};

}  // namespace velquor::link
