#include "rdm/RdmEngine.h"

#include <fmt/format.h>

#include <algorithm>
#include <ctime>
#include <mutex>

#include "common/Text.h"
#include "rdm/KnownPids.h"

namespace velquor::rdm {

namespace {

std::string LocalDateTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

void AppendHexRun(std::string& out, const RdmImage& image, size_t from, size_t count) {
  for (size_t i = 0; i < count; ++i) common::AppendHexByte(out, image[from + i]);
}

}  // namespace

std::string FormatRdmLine(const RdmImage& image) {
  std::string line;
  line.reserve(160);
  for (size_t i : {kStartCode, kSubStartCode, kMessageLength}) {
    common::AppendHexByte(line, image[i]);
    line += ' ';
  }
  AppendHexRun(line, image, kDestUid, 6);
  line += ' ';
  AppendHexRun(line, image, kSourceUid, 6);
  line += ' ';
  for (size_t i : {kTransaction, kPortOrResponseType, kMessageCount}) {
    common::AppendHexByte(line, image[i]);
    line += ' ';
  }
  AppendHexRun(line, image, kSubDevice, 2);
  line += ' ';
  common::AppendHexByte(line, image[kCommandClass]);
  line += ' ';
  AppendHexRun(line, image, kPid, 2);
  line += ' ';
  common::AppendHexByte(line, image[kPdl]);
  line += ' ';
  const size_t shown = std::min<size_t>(image[kPdl], 29);
  for (size_t i = 0; i < shown; ++i) {
    common::AppendHexByte(line, image[kData + i]);
    line += ' ';
  }
  const size_t m = std::min<size_t>(image[kMessageLength], 53);
  AppendHexRun(line, image, m, 2);
  return line;
}

void AnswerTimes::Answered(double ms) {
  recent_[count_ % kKept] = ms;
  ++count_;
}

double AnswerTimes::BranchWaitMs(double timeoutMs) const {
  if (count_ == 0) return timeoutMs;
  const size_t kept = std::min(count_, kKept);
  const double slowest = *std::max_element(recent_.begin(), recent_.begin() + kept);
  return std::min(timeoutMs, std::max(kFloorMs, kFactor * slowest));
}

RdmEngine::RdmEngine(link::UsbLink& link, common::LogSink& log)
    : link_(link), log_(log), nowText_(LocalDateTime) {
  PrimeRequestImage();
}

void RdmEngine::PrimeRequestImage() {
  std::lock_guard guard(link_.Lock());
  rdm::PrimeRequestImage(request_);
  primedPort_ = request_[kPortOrResponseType];
}

// Every local request starts from the controller's own header, so nothing that the
// console or a relayed request wrote leaks into it.
void RdmEngine::Compose(const RdmRequest& request) {
  ControllerUid.Write(&request_[kSourceUid]);
  request_[kPortOrResponseType] = primedPort_;
  request_[kMessageCount] = 0;
  request_[kSubDevice] = static_cast<uint8_t>(request.subDevice >> 8);
  request_[kSubDevice + 1] = static_cast<uint8_t>(request.subDevice);
  request_[kCommandClass] = request.commandClass;
  request_[kPid] = static_cast<uint8_t>(request.pid >> 8);
  request_[kPid + 1] = static_cast<uint8_t>(request.pid);
  request_[kPdl] = static_cast<uint8_t>(request.data.size());
  std::copy(request.data.begin(), request.data.end(), request_.begin() + kData);
  mirrorNextToConsole_ = request.mirrorToConsole;
}

RdmAnswer RdmEngine::RdmTransact(const RdmRequest& request, Uid uid, bool reportNoReceive) {
  RdmAnswer answer;
  if (request.data.size() > kMaxPdl) {
    log_.Add(fmt::format("RDM request refused: {} bytes of parameter data, at most {} fit",
                         request.data.size(), kMaxPdl));
    return answer;
  }
  std::lock_guard guard(link_.Lock());
  Compose(request);
  answer.result = TransactLocked(uid, reportNoReceive);
  answer.response = response_;
  answer.receivedBytes = received_;
  return answer;
}

ExchangeOutcome OutcomeOf(const RdmAnswer& a) {
  ExchangeOutcome o;
  if (!a.Ok()) {
    o.kind =
        a.receivedBytes == 0 ? ExchangeOutcome::Kind::NoAnswer : ExchangeOutcome::Kind::BadAnswer;
    return o;
  }
  const auto d = a.Data();
  switch (a.ResponseType()) {
    case RESPONSE_TYPE_ACK:
      o.kind = ExchangeOutcome::Kind::Ack;
      break;
    case RESPONSE_TYPE_NACK_REASON:
      o.kind = ExchangeOutcome::Kind::Nack;
      if (d.size() >= 2) o.nackReason = ReadU16(d.data());
      break;
    case RESPONSE_TYPE_ACK_TIMER:
      o.kind = ExchangeOutcome::Kind::AckTimer;
      if (d.size() >= 2) o.readyInTenths = ReadU16(d.data());
      break;
    case RESPONSE_TYPE_ACK_OVERFLOW:
      o.kind = ExchangeOutcome::Kind::AckOverflow;
      break;
    default:
      o.kind = ExchangeOutcome::Kind::BadAnswer;
  }
  return o;
}

std::string ExchangeOutcome::Text() const {
  switch (kind) {
    case Kind::Ack:
      return "ACK";
    case Kind::Nack:
      return nackReason ? "NACK_REASON " + NackReasonName(*nackReason) : "NACK_REASON";
    case Kind::AckTimer:
      return "ACK_TIMER";
    case Kind::AckOverflow:
      return "ACK_OVERFLOW";
    case Kind::NoAnswer:
      return "no answer";
    case Kind::BadAnswer:
      break;
  }
  return "no valid answer";
}

std::string AnsweredText(const RdmAnswer& answer) {
  const ExchangeOutcome outcome = OutcomeOf(answer);
  return outcome.kind == ExchangeOutcome::Kind::BadAnswer ? ResponseTypeName(answer.ResponseType())
                                                          : outcome.Text();
}

RdmAnswer RdmEngine::RdmTransactJoined(const RdmRequest& request, Uid uid, bool reportNoReceive) {
  RdmAnswer answer = RdmTransact(request, uid, reportNoReceive);
  if (!answer.Ok() || answer.ResponseType() != RESPONSE_TYPE_ACK_OVERFLOW) return answer;
  std::vector<uint8_t> joined(answer.Data().begin(), answer.Data().end());
  for (int n = 1; n < kMaxOverflowAnswers; ++n) {
    answer = RdmTransact(request, uid, reportNoReceive);
    if (!answer.Ok()) return answer;
    const uint8_t type = answer.ResponseType();
    if (type != RESPONSE_TYPE_ACK && type != RESPONSE_TYPE_ACK_OVERFLOW) return answer;
    joined.insert(joined.end(), answer.Data().begin(), answer.Data().end());
    if (type == RESPONSE_TYPE_ACK) {
      answer.joined = std::move(joined);
      return answer;
    }
  }
  const char* name = PidName(request.pid);
  log_.Add(fmt::format("{} of 0x{}: still ACK_OVERFLOW after {} answers; the rest is not read",
                       name ? name : fmt::format("0x{:04X}", request.pid), UidText(uid),
                       kMaxOverflowAnswers));
  return answer;
}

void RdmEngine::SendImage(uint8_t messageLength) {
  std::fill(response_.begin(), response_.end(), 0xFF);
  request_[kStartCode] = kStartCodeRdm;
  const size_t length = link::RdmChunkCount(messageLength) * link::kChunkSize;
  if (link_.LinkSend(link::LINK_MODE_RDM, std::span(request_.data(), length)) < 0) {
    log_.Add("message cannot be sent");
  }
}

double RdmEngine::Receive(double timeoutMs) {
  const double ms = link_.LinkReceiveRdm(response_, timeoutMs);
  received_ = link_.ReceivedByteCount();
  return ms;
}

uint8_t RdmEngine::TransactLocked(Uid uid, bool reportNoReceive) {
  CompleteRequest(request_, uid);
  SendImage(request_[kMessageLength]);
  LogRdmMessage(true);
  const double ms = Receive(link_.RdmResponseTimeoutMs());

  if (received_ == 0) {
    uint8_t c = retryCounter_.load();
    retryCounter_.store(static_cast<uint8_t>(c + 1));
    if (c == 0) {
      if (TransactLocked(uid, false) == RESULT_OK) {
        retryCounter_.store(0);
        return RESULT_OK;
      }
      return 0;
    }
    retryCounter_.store(0);
    if (reportNoReceive) log_.Add("no receive response");
    return 0;
  }

  if (response_[kStartCode] != kStartCodeRdm) {
    log_.Add("no response");
    uint8_t c = retryCounter_.load();
    retryCounter_.store(static_cast<uint8_t>(c + 1));
    if (c >= 3) {
      retryCounter_.store(0);
      return 0;
    }
    if (TransactLocked(uid, true) == RESULT_OK) {
      retryCounter_.store(0);
      return RESULT_OK;
    }
    return 0;
  }

  LogRdmMessage(false);
  if (!CheckResponse(response_)) {
    log_.Add("Check sum is Wrong");
    return 0;
  }
  // A whole message from another device, or to another request (a late answer, a frame the
  // box held), says nothing of this one: never taken as this fixture's values.
  if (!AnswersRequest(response_, request_)) {
    log_.Add(fmt::format("Answer dropped: from 0x{} with transaction {}, not the answer of 0x{} "
                         "to transaction {}",
                         UidText(Uid::Read(&response_[kSourceUid])), response_[kTransaction],
                         UidText(uid), request_[kTransaction]));
    return 0;
  }
  if (response_[kPortOrResponseType] == RESPONSE_TYPE_ACK) retryCounter_.store(0);
  LearnAnswerTime(ms);
  return RESULT_OK;
}

RdmAnswer RdmEngine::RdmRelay(std::span<const uint8_t> message) {
  RdmAnswer answer;
  if (message.size() < 25 || message.size() > kImageSize - 1) {
    log_.Add(fmt::format("Relayed RDM request of {} bytes refused: not a whole RDM message",
                         message.size()));
    return answer;
  }
  std::lock_guard guard(link_.Lock());
  const RdmImage saved = request_;
  std::copy(message.begin(), message.end(), request_.begin() + 1);
  const bool savedMirror = mirrorNextToConsole_;
  mirrorNextToConsole_ = false;
  retryCounter_.store(0);

  SendImage(request_[kMessageLength]);
  LogRdmMessage(true);
  const double ms = Receive(link_.RdmResponseTimeoutMs());

  if (received_ == 0) {
    log_.Add("no receive response");
  } else if (response_[kStartCode] != kStartCodeRdm) {
    log_.Add("no response");
    retryCounter_.store(0);
  } else {
    LogRdmMessage(false);
    if (CheckResponse(response_)) {
      if (response_[kPortOrResponseType] == RESPONSE_TYPE_ACK) retryCounter_.store(0);
      LearnAnswerTime(ms);
      answer.result = RESULT_OK;
    } else {
      log_.Add("Check sum is Wrong");
    }
  }
  answer.response = response_;
  answer.receivedBytes = received_;
  request_ = saved;
  mirrorNextToConsole_ = savedMirror;
  return answer;
}

namespace {

// Whether the first frame holds a whole discovery answer: its separator and the 16 bytes
// after it. Only noise before the preamble makes an answer longer than one frame.
bool BranchAnswerInFirstFrame(const RdmImage& image) {
  const auto end = image.begin() + link::kChunkSize;
  const auto separator = std::find(image.begin(), end, 0xAA);
  return separator != end &&
         (separator - image.begin()) + 17 <= static_cast<long>(link::kChunkSize);
}

}  // namespace

// Poll by poll until the first frame: a silent branch ends at the learned wait, an answered
// one as soon as its answer is in, not at the end of the wait.
void RdmEngine::ReceiveBranch(double waitMs) {
  const double waited = link_.LinkReceiveRdm(response_, waitMs, link::ReceiveUntil::FirstFrame);
  received_ = link_.ReceivedByteCount();
  if (received_ == 0 || waited >= waitMs || BranchAnswerInFirstFrame(response_)) return;
  // The rest of a long answer: its further frames, for the rest of the wait.
  RdmImage rest;
  rest.fill(0xFF);
  link_.LinkReceiveRdm(rest, waitMs - waited);
  if (link_.ReceivedByteCount() == 0) return;
  std::copy(rest.begin() + link::kChunkSize, rest.end(), response_.begin() + link::kChunkSize);
  received_ = static_cast<uint16_t>(received_ + link_.ReceivedByteCount());
}

// Only answers of one frame, as a discovery answer is: a longer one also waits a poll for
// each further frame, which says nothing of how soon an answer starts to come back.
void RdmEngine::LearnAnswerTime(double ms) {
  if (link::RdmChunkCount(response_[kMessageLength]) == 1) answerTimes_.Answered(ms);
}

double RdmEngine::LearnedBranchWaitMs() {
  std::lock_guard guard(link_.Lock());
  return answerTimes_.BranchWaitMs(link_.RdmResponseTimeoutMs());
}

RdmAnswer RdmEngine::DiscoveryBranch(Uid lower, Uid upper, BranchWait wait) {
  RdmAnswer answer;
  std::lock_guard guard(link_.Lock());
  std::vector<uint8_t> bounds(12);
  lower.Write(bounds.data());
  upper.Write(bounds.data() + 6);
  Compose({DISCOVERY_COMMAND, 0x0001, bounds});
  CompleteRequest(request_, BroadcastUid);

  LogRdmMessage(true);
  std::fill(response_.begin(), response_.end(), 0xFF);
  request_[kStartCode] = kStartCodeRdm;
  const size_t length = link::RdmChunkCount(request_[kMessageLength]) * link::kChunkSize;
  if (link_.LinkSend(link::LINK_MODE_RDM, std::span(request_.data(), length)) < 0) {
    log_.Add("Discovery msg was not sent");
  }
  const double timeout = link_.RdmResponseTimeoutMs();
  if (wait == BranchWait::Learned && branchWaitLearned_.load()) {
    ReceiveBranch(answerTimes_.BranchWaitMs(timeout));
  } else {
    // A discovery answer is never a whole RDM message: this receive runs to the time-out.
    Receive(timeout);
  }
  answer.response = response_;
  answer.receivedBytes = received_;
  return answer;
}

void RdmEngine::LogResponseImage(const RdmImage& image) {
  log_.Add("Response:" + FormatRdmLine(image));
  log_.Add(std::string(115, '-') + nowText_());
}

void RdmEngine::LogRdmMessage(bool isRequest) {
  if (!traced_ && !mirrorNextToConsole_) return;
  std::string hex = FormatRdmLine(isRequest ? request_ : response_);
  if (traced_ && isRequest) log_.Add("->Request:" + hex);
  if (traced_ && !isRequest) LogResponseImage(response_);
  if (mirrorNextToConsole_) {
    mirrorNextToConsole_ = false;
    if (consoleSink_) consoleSink_(hex);
  }
}

RdmImage RdmEngine::RequestImage() {
  std::lock_guard guard(link_.Lock());
  return request_;
}

}  // namespace velquor::rdm
