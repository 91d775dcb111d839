#include "dmx/EngineTick.h"

#include <fmt/format.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "rdm/KnownPids.h"

namespace velquor::dmx {

EngineTick::EngineTick(link::UsbLink& link, rdm::RdmEngine& engine, OutputUniverse& universe,
                       std::atomic<bool>& rdmBusy, std::atomic<int32_t>& tickHoldOff,
                       common::LogSink& log, common::Clock& clock, EngineHooks hooks)
    : link_(link),
      engine_(engine),
      universe_(universe),
      rdmBusy_(rdmBusy),
      tickHoldOff_(tickHoldOff),
      log_(log),
      clock_(clock),
      hooks_(std::move(hooks)) {}

EngineTick::~EngineTick() {
  DestroyTimer();
}

bool EngineTick::CreateTimer() {
  if (thread_.joinable()) return true;
  stop_.store(false);
  thread_ = std::thread([this] { ThreadMain(); });
  return true;
}

void EngineTick::DestroyTimer() {
  if (!thread_.joinable()) return;
  stop_.store(true);
  thread_.join();
}

void EngineTick::ThreadMain() {
  pthread_setname_np(pthread_self(), "velquor-tick");  // for top, perf and the idle check
  sched_param param{};
  param.sched_priority = 10;
  int rc = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  if (rc != 0) {
    log_.Add(
        fmt::format("Engine tick runs at normal priority: real-time scheduling is not "
                    "permitted ({})",
                    std::strerror(rc)));
  }
  const common::Duration period = common::FromMs(kTickPeriodMs);
  common::Instant next = clock_.Now() + period;
  std::optional<common::Instant> last;
  while (!stop_.load()) {
    clock_.SleepUntil(next);
    if (stop_.load()) break;
    const common::Instant start = clock_.Now();
    if (last) {
      const auto bin = static_cast<size_t>(common::ToMs(start - *last) * 10.0);
      periodBins_[std::min(bin, TickPeriods::kBins - 1)].fetch_add(1, std::memory_order_relaxed);
    }
    last = start;
    EngineTickOnce();
    next = NextTickDeadline(next, clock_.Now(), period);
  }
}

TickPeriods EngineTick::TakePeriods() {
  TickPeriods periods;
  for (size_t i = 0; i < TickPeriods::kBins; ++i) {
    periods.bins[i] = periodBins_[i].exchange(0, std::memory_order_relaxed);
    periods.count += periods.bins[i];
  }
  return periods;
}

double TickPeriods::Percentile(double q) const {
  const auto wanted = static_cast<uint64_t>(q * static_cast<double>(count));
  uint64_t seen = 0;
  for (size_t i = 0; i < kBins; ++i) {
    seen += bins[i];
    if (seen > wanted || (seen == count && seen > 0)) return (static_cast<double>(i) + 0.5) / 10.0;
  }
  return 0;
}

common::Instant NextTickDeadline(common::Instant deadline, common::Instant now,
                                 common::Duration period) {
  // A tick that overran (an RDM exchange) skips the periods it missed instead of bunching
  // them up; the phase stays on the grid.
  deadline += period;
  if (deadline <= now) deadline += ((now - deadline) / period + 1) * period;
  return deadline;
}

void EngineTick::SetIdentifyTargets(std::vector<IdentifyTarget> targets) {
  std::lock_guard lock(targetsMutex_);
  targets_ = std::move(targets);
}

void EngineTick::EngineTickOnce() {
  ++ticks_;
  const OutputMode mode = view_.mode.load();
  if (mode == OutputMode::Firmware || view_.firmwareUpdateActive.load()) {
    // The firmware update paces its steps and nothing else runs: a step every
    // max(speed index, 1) ticks.
    if (view_.firmwareSpeedIndex.load() <= firmwarePacing_) {
      if (hooks_.firmwareStep) hooks_.firmwareStep();
      firmwarePacing_ = 0;
    }
    ++firmwarePacing_;
    return;
  }
  if (mode == OutputMode::Silent) return;
  if (mode == OutputMode::ArtNet && view_.artNetDirection.load() != 0) {
    for (int i = 0; i < 16; ++i) {
      link_.LinkPollInput([this](size_t offset, std::span<const uint8_t, link::kChunkSize> bytes) {
        universe_.StoreBlock(offset, bytes);
      });
    }
    if (view_.showRunning.load() && hooks_.requestRecordFrame) hooks_.requestRecordFrame();
    if (hooks_.sendArtDmx) hooks_.sendArtDmx();
    return;
  }
  if (mode == OutputMode::ArtNet || mode == OutputMode::Desk) {
    RunDmxSendPath();
    return;
  }

  const int32_t old = tickHoldOff_.fetch_add(1);
  if (old < 1) return;
  tickHoldOff_.store(0);
  if (view_.dmxBetweenExchanges.load()) {
    RunDmxSendPath();
    return;
  }
  tickHoldOff_.store(-2);
  if (rdmBusy_.load()) return;
  size_t rows = 0;
  {
    std::lock_guard lock(targetsMutex_);
    rows = targets_.size();
  }
  const int32_t index = identifyPollIndex_.load();
  if (static_cast<int64_t>(rows) > index) {
    IdentifyPollStep(static_cast<uint8_t>(index));
    identifyPollIndex_.store(index + 1);
  } else {
    identifyPollIndex_.store(0);
  }
}

void EngineTick::RunDmxSendPath() {
  if (rdmBusy_.load()) return;
  int32_t expected = 0;
  if (!tickActive_.compare_exchange_strong(expected, 1)) return;
  if (view_.mode.load() == OutputMode::Desk && view_.sceneRunning.load() && hooks_.sceneStep) {
    hooks_.sceneStep();
  }
  SendDmxFrame();
  tickActive_.store(0);
}

void EngineTick::SendDmxFrame() {
  if (view_.playbackActive.load() && hooks_.playbackStep) hooks_.playbackStep();
  const OutputUniverse::Bytes frame = universe_.Snapshot();
  link_.LinkSend(link::LINK_MODE_DMX, std::span(frame.data(), kFrameBytes));
}

void EngineTick::IdentifyPollStep(uint8_t row) {
  IdentifyTarget target;
  {
    std::lock_guard lock(targetsMutex_);
    if (row >= targets_.size()) return;
    target = targets_[row];
  }
  auto poll = [this, target] {
    engine_.RdmTransact({rdm::SET_COMMAND, rdm::pid::IDENTIFY_DEVICE, {target.identifyOn}},
                        target.uid, true);
  };
  if (executor_) {
    executor_->TryRunIdle(poll);  // a command in hand has the line: this refresh is skipped
  } else {
    poll();
  }
}

}  // namespace velquor::dmx
