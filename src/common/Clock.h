#pragma once
// The one time source of the link waits, time-outs and engine deadlines.
// Tests inject a ManualClock so 50 ms time-outs run without waiting for them.

#include <atomic>
#include <chrono>
#include <functional>

namespace velquor::common {

using Duration = std::chrono::nanoseconds;
// Time since an arbitrary fixed origin (monotonic).
using Instant = std::chrono::nanoseconds;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual Instant Now() const = 0;
  // Blocks until Now() >= deadline. Never spins.
  virtual void SleepUntil(Instant deadline) = 0;
  void SleepFor(Duration d) { SleepUntil(Now() + d); }
};

// std::chrono::steady_clock with real sleeps.
class SteadyClock final : public Clock {
 public:
  Instant Now() const override;
  void SleepUntil(Instant deadline) override;
};

// The process-wide real clock.
Clock& RealClock();

// A clock that only moves when told to or when someone sleeps on it: a sleep
// jumps the time to its deadline at once. Thread-safe.
class ManualClock final : public Clock {
 public:
  Instant Now() const override { return Instant(now_.load()); }
  void SleepUntil(Instant deadline) override;
  void Advance(Duration d) { now_ += d.count(); }
  unsigned SleepCount() const { return sleeps_.load(); }

 private:
  std::atomic<int64_t> now_{0};
  std::atomic<unsigned> sleeps_{0};
};

inline double ToMs(Duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}
inline Duration FromMs(double ms) {
  return std::chrono::duration_cast<Duration>(std::chrono::duration<double, std::milli>(ms));
}

}  // namespace velquor::common
