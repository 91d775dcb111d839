#include <gtest/gtest.h>

#include "common/Clock.h"

using namespace velquor::common;

TEST(Clock, ManualClockJumpsToDeadlinesAndNeverGoesBack) {
  ManualClock clock;
  clock.SleepFor(FromMs(5));
  EXPECT_EQ(clock.Now(), FromMs(5));
  clock.SleepUntil(FromMs(2));  // already past: no change
  EXPECT_EQ(clock.Now(), FromMs(5));
  clock.Advance(FromMs(1.5));
  EXPECT_DOUBLE_EQ(ToMs(clock.Now()), 6.5);
  EXPECT_EQ(clock.SleepCount(), 2u);
}
