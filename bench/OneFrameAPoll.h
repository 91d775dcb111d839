#pragma once
// The box as the link used to take it: one answer frame per 5 ms poll. A poll right after
// one that brought an RDM frame finds nothing, so the link waits its 5 ms before the next
// frame, as it did before it asked again at once. With BenchClock(true) as the link's clock, for
// before/after figures in one run.

#include <algorithm>

#include "common/Clock.h"
#include "link/LinkFrame.h"
#include "link/LinkTransport.h"

namespace velquor::benchsupport {

// The real clock, adding up what is slept on it; with `wholePolls`, the link's clock as the
// link used to wait: never less than a whole 5 ms poll, also for the rest of an answer whose
// head is in.
class BenchClock final : public common::Clock {
 public:
  explicit BenchClock(bool wholePolls = false) : wholePolls(wholePolls) {}
  common::Instant Now() const override { return common::RealClock().Now(); }
  void SleepUntil(common::Instant deadline) override {
    if (wholePolls) deadline = std::max(deadline, Now() + common::FromMs(5));
    sleptMs += common::ToMs(deadline - Now());
    common::RealClock().SleepUntil(deadline);
  }
  bool wholePolls;
  double sleptMs = 0;
};

class OneFrameAPoll final : public link::LinkTransport {
 public:
  explicit OneFrameAPoll(link::LinkTransport& box) : box_(box) {}
  bool Open(const link::OpenContext& ctx) override { return box_.Open(ctx); }
  void Close() override { box_.Close(); }
  int InterruptOut(const link::LinkFrame& frame) override {
    broughtFrame_ = false;  // a new request: its first poll waits as always
    return box_.InterruptOut(frame);
  }
  int GetReport(link::LinkFrame& frame) override {
    if (broughtFrame_) {
      broughtFrame_ = false;
      frame.fill(0);
      return static_cast<int>(frame.size());
    }
    const int rc = box_.GetReport(frame);
    broughtFrame_ = rc == static_cast<int>(frame.size()) && link::RdmChunkIndex(frame[0]) >= 0;
    return rc;
  }
  void ClearHalt() override { box_.ClearHalt(); }
  std::string ErrorText(int code) const override { return box_.ErrorText(code); }
  std::string OpenFailure() const override { return box_.OpenFailure(); }

 private:
  link::LinkTransport& box_;
  bool broughtFrame_ = false;
};

}  // namespace velquor::benchsupport
