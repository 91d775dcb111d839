#pragma once
// One RDM exchange at a time: complete the request, send it, wait for the answer, check
// it, retry by the fixed rules, and write request and response lines to the log.

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/Log.h"
#include "link/UsbLink.h"
#include "rdm/Codec.h"
#include "rdm/DiscoverySearch.h"

namespace velquor::rdm {

constexpr uint8_t RESULT_OK = 2;

struct RdmRequest {
  uint8_t commandClass = GET_COMMAND;
  uint16_t pid = 0;
  std::vector<uint8_t> data;
  // Only the raw console addresses sub-devices; every other request goes to the root.
  uint16_t subDevice = 0;
  // Copy the request line to the console's history.
  bool mirrorToConsole = false;
};

// The outcome of one call, with its own copy of the answer so that another thread's
// exchange cannot change it while the caller decodes.
struct RdmAnswer {
  uint8_t result = 0;
  RdmImage response{};  // the last message received
  uint16_t receivedBytes = 0;
  // The parameter data of every piece of an answer that came with ACK_OVERFLOW, joined.
  std::optional<std::vector<uint8_t>> joined;

  bool Ok() const { return result == RESULT_OK; }
  uint8_t ResponseType() const { return response[kPortOrResponseType]; }
  uint8_t Pdl() const { return response[kPdl]; }
  // The parameter data as far as PDL says (never past the image), or the joined pieces.
  std::span<const uint8_t> Data() const {
    if (joined) return *joined;
    return {response.data() + kData, Pdl()};
  }
};

// What an exchange came to, as a value.
struct ExchangeOutcome {
  enum class Kind { Ack, Nack, AckTimer, AckOverflow, NoAnswer, BadAnswer };
  Kind kind = Kind::NoAnswer;
  std::optional<uint16_t> nackReason;  // Nack, when the answer carries one
  uint16_t readyInTenths = 0;          // AckTimer: when to ask again, in tenths of a second
  // "ACK", "NACK_REASON NR_DATA_OUT_OF_RANGE", "ACK_TIMER", "no answer", ...
  std::string Text() const;
};
ExchangeOutcome OutcomeOf(const RdmAnswer& answer);
// What a valid answer said, for a log line: its outcome, or the name of a response type the
// program does not know.
std::string AnsweredText(const RdmAnswer& answer);

// How many answers one GET may take before the rest of an ACK_OVERFLOW answer is dropped.
constexpr int kMaxOverflowAnswers = 16;

// The log form of an image: header groups, up to 29 data bytes, then two bytes at
// min(length, 53), all upper-case hex.
std::string FormatRdmLine(const RdmImage& image);

// How long this box takes to bring answers back, from the exchanges it answered; it sets how
// long a DISC_UNIQUE_BRANCH is listened to before it counts as silent. Silent branches are
// most of a search over scattered UIDs, and each would otherwise cost the whole time-out.
class AnswerTimes {
 public:
  // A branch waits this multiple of the slowest of the last kKept answers, so a relay that
  // varies or a responder slower than those heard so far is still heard.
  static constexpr double kFactor = 1.5;
  static constexpr size_t kKept = 16;
  // Never less than two of the link's 5 ms polls: E1.20 gives a responder 2 ms to start, its
  // discovery answer takes about 1.1 ms on the line, and the box still has to relay it.
  static constexpr double kFloorMs = 10;

  // An answer that came back whole `ms` after its request was sent.
  void Answered(double ms);
  // The wait for a branch; the time-out itself until something has answered.
  double BranchWaitMs(double timeoutMs) const;

 private:
  std::array<double, kKept> recent_{};
  size_t count_ = 0;
};

class RdmEngine {
 public:
  RdmEngine(link::UsbLink& link, common::LogSink& log);

  // Start-up values of the request image.
  void PrimeRequestImage();

  RdmAnswer RdmTransact(const RdmRequest& request, Uid uid, bool reportNoReceive);
  // As RdmTransact; while the device answers ACK_OVERFLOW the same request is asked again
  // and the parameter data are joined, as E1.20 prescribes. A piece that does not arrive
  // loses the whole answer.
  RdmAnswer RdmTransactJoined(const RdmRequest& request, Uid uid, bool reportNoReceive);
  // A request that arrived complete from the network: `message` holds the image from
  // offset 1 to the end of its checksum. It goes out exactly as received and leaves the
  // request image as it found it.
  RdmAnswer RdmRelay(std::span<const uint8_t> message);

  // One DISC_UNIQUE_BRANCH to the broadcast UID over [lower, upper]: logged before it is
  // sent, no retries. The answer is a discovery response, not an RDM message. It is listened
  // to for the response time-out, or for the wait learned from this box's answers.
  RdmAnswer DiscoveryBranch(Uid lower, Uid upper, BranchWait wait = BranchWait::FullTimeOut);
  // How long a branch with the learned wait is listened to now, in milliseconds.
  double LearnedBranchWaitMs();
  // Off: every branch waits the whole time-out, as before the wait was learned (benchmarks).
  void SetBranchWaitLearned(bool on) { branchWaitLearned_.store(on); }

  // Logs the request (true) or response image as the "->Request:" / "Response:" line.
  void LogRdmMessage(bool isRequest);
  // Off: exchanges leave their request and response lines out of the log (a poll repeated
  // every second would bury everything else); failures are still logged. Executor thread.
  void SetTraced(bool traced) { traced_ = traced; }
  // Logs `image` as a "Response:" line with its separator line.
  void LogResponseImage(const RdmImage& image);

  // The exit counter of the retry rules; the device panel's write and the relay reset it.
  uint8_t RetryCounter() const { return retryCounter_.load(); }
  void ResetRetryCounter() { retryCounter_.store(0); }

  // Receives the bare request line of a console request.
  void SetConsoleSink(std::function<void(const std::string&)> sink) {
    consoleSink_ = std::move(sink);
  }
  // Local date and time after the response separator line.
  void SetNowText(std::function<std::string()> nowText) { nowText_ = std::move(nowText); }

  // Snapshots for diagnostics and tests.
  RdmImage RequestImage();
  link::UsbLink& Link() { return link_; }
  common::LogSink& Log() { return log_; }

 private:
  void Compose(const RdmRequest& request);
  uint8_t TransactLocked(Uid uid, bool reportNoReceive);
  void SendImage(uint8_t messageLength);
  // Receives into response_ for `timeoutMs`; the milliseconds it took.
  double Receive(double timeoutMs);
  void LearnAnswerTime(double ms);
  void ReceiveBranch(double waitMs);

  link::UsbLink& link_;
  common::LogSink& log_;
  RdmImage request_{};
  RdmImage response_{};
  uint16_t received_ = 0;
  AnswerTimes answerTimes_;  // under the link's lock, as the images
  std::atomic<bool> branchWaitLearned_{true};
  uint8_t primedPort_ = 0;
  std::atomic<uint8_t> retryCounter_{0};
  bool mirrorNextToConsole_ = false;
  bool traced_ = true;
  std::function<void(const std::string&)> consoleSink_;
  std::function<std::string()> nowText_;
};

}  // namespace velquor::rdm
