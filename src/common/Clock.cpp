#include "common/Clock.h"

#include <thread>

namespace velquor::common {

Instant SteadyClock::Now() const {
  return std::chrono::duration_cast<Instant>(std::chrono::steady_clock::now().time_since_epoch());
}

void SteadyClock::SleepUntil(Instant deadline) {
  std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(deadline)));
}

Clock& RealClock() {
  static SteadyClock clock;
  return clock;
}

void ManualClock::SleepUntil(Instant deadline) {
  ++sleeps_;
  int64_t current = now_.load();
  while (current < deadline.count() && !now_.compare_exchange_weak(current, deadline.count())) {
  }
}

}  // namespace velquor::common
