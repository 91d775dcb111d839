#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "rdm/LineExecutor.h"

using namespace velquor;

namespace {

// A command that holds the line until the test lets it go.
struct Gate {
  std::promise<void> entered, release;
  std::shared_future<void> released{release.get_future().share()};
  std::function<void()> Job() {
    return [this] {
      entered.set_value();
      released.wait();
    };
  }
};

// One executor, its line-busy flag and a gate for its first command.
struct LineExecutor : ::testing::Test {
  std::atomic<bool> busy{false};
  rdm::LineExecutor executor{busy};
  Gate gate;
  const std::chrono::steady_clock::time_point later =
      std::chrono::steady_clock::now() + std::chrono::hours(1);
};

}  // namespace

TEST_F(LineExecutor, OneCommandAtATimeTheOthersAreRefusedWithTheRunningName) {
  std::promise<std::thread::id> doneOn;
  ASSERT_FALSE(executor.Start(
      {"Discover", gate.Job(), [&] { doneOn.set_value(std::this_thread::get_id()); }}));
  gate.entered.get_future().wait();
  EXPECT_TRUE(busy.load()) << "the tick sends no DMX while a command holds the line";
  EXPECT_EQ(executor.ActiveName(), "Discover");
  bool ran = false;
  EXPECT_EQ(executor.Start({"Read", [&] { ran = true; }, {}}), "Discover");
  EXPECT_FALSE(executor.TryRunIdle([&] { ran = true; })) << "the identify poll waits its turn";
  gate.release.set_value();
  EXPECT_NE(doneOn.get_future().get(), std::this_thread::get_id()) << "done on the executor";
  bool busyInside = true;
  executor.RunAndWait([&] { busyInside = busy.load(); }, false);
  EXPECT_FALSE(busyInside) << "a command that lets DMX go on leaves the flag alone";
  EXPECT_FALSE(ran || busy.load() || executor.CommandActive());
}

TEST_F(LineExecutor, IdleJobRunsOnTheExecutorAndACommandWaitsForIt) {
  ASSERT_TRUE(executor.TryRunIdle(gate.Job()));
  gate.entered.get_future().wait();
  EXPECT_FALSE(busy.load()) << "the identify poll is no user command";
  std::promise<void> commandRan;
  // A click during the poll is taken, not refused: it runs when the poll's exchange ends.
  EXPECT_FALSE(executor.Start({"Read", [&] { commandRan.set_value(); }, {}}));
  EXPECT_FALSE(executor.TryRunIdle([] {})) << "a waiting command comes first";
  gate.release.set_value();
  commandRan.get_future().wait();
}

TEST_F(LineExecutor, ShutdownEndsAfterTheJobInHandAndDropsTheRest) {
  auto own = std::make_unique<rdm::LineExecutor>(busy);  // to be destroyed here
  int doneCalls = 0;
  ASSERT_FALSE(own->Start({"Load", gate.Job(), [&] { ++doneCalls; }}));
  gate.entered.get_future().wait();
  std::thread closer([&] { own->Shutdown(); });
  gate.release.set_value();
  closer.join();
  EXPECT_EQ(doneCalls, 1);
  EXPECT_TRUE(own->Start({"Read", [] {}, {}}).has_value()) << "nothing after shutdown";
  EXPECT_FALSE(own->TryRunIdle([] {}));
  own->Shutdown();  // twice is fine
  own.reset();
  EXPECT_FALSE(busy.load());
}

// A relayed request waits for the command in hand, runs after it (never inside it), before
// an identify poll, and is dropped once it waited too long; the queue is bounded.
TEST_F(LineExecutor, QueuedJobsWaitForTheCommandAndExpireWhenItTakesTooLong) {
  ASSERT_FALSE(executor.Start({"Discover", gate.Job(), {}}));
  gate.entered.get_future().wait();

  std::vector<std::string> order;  // one thread at a time: the executor waits on the gate
  const auto past = std::chrono::steady_clock::now() - std::chrono::seconds(1);
  bool insideCommand = true;
  auto queue = [&](const std::string& name, std::chrono::steady_clock::time_point deadline) {
    return executor.Queue({[&, name] {
                             insideCommand = busy.load();
                             order.push_back(name);
                           },
                           [&, name](const std::string& heldBy) {
                             order.push_back(name + " expired behind " + heldBy);
                           },
                           deadline,
                           {}});
  };
  ASSERT_TRUE(queue("first", later));
  ASSERT_TRUE(queue("stale", past));
  EXPECT_FALSE(executor.TryRunIdle([&] { order.push_back("poll"); }))
      << "no identify poll ahead of a waiting request";
  size_t more = 0;
  while (queue("more", later)) ++more;
  // The stale one left at the next request, though the command still holds the line; its
  // place was taken.
  EXPECT_EQ(order, std::vector<std::string>{"stale expired behind Discover"});
  EXPECT_EQ(1 + more, rdm::LineExecutor::kMaxQueuedJobs);

  gate.release.set_value();
  executor.WaitUntilIdle();
  ASSERT_EQ(order.size(), 1 + rdm::LineExecutor::kMaxQueuedJobs);
  EXPECT_EQ(order[1], "first");
  EXPECT_FALSE(insideCommand) << "the line is free when a queued job runs";
}

// A button pressed while a relayed request is on the line runs next, before the requests
// that came after it: a console sending many cannot keep the user off the line.
TEST_F(LineExecutor, AUserCommandGoesBeforeLaterQueuedJobs) {
  std::vector<std::string> order;
  ASSERT_TRUE(executor.Queue({gate.Job(), {}, later, {}}));
  gate.entered.get_future().wait();
  ASSERT_FALSE(executor.Start({"Read", [&] { order.push_back("Read"); }, {}}))
      << "a command is taken while a relay runs";
  ASSERT_TRUE(executor.Queue({[&] { order.push_back("relay"); }, {}, later, {}}));
  gate.release.set_value();
  executor.WaitUntilIdle();
  EXPECT_EQ(order, (std::vector<std::string>{"Read", "relay"}));
}

// A request whose deadline passed while the command held the line, with no later request to
// sweep it out, is dropped when its turn comes, not sent late.
TEST_F(LineExecutor, AQueuedJobThatExpiredWhileItWaitedIsDroppedWhenItsTurnComes) {
  ASSERT_FALSE(executor.Start({"Discover", gate.Job(), {}}));
  gate.entered.get_future().wait();
  std::vector<std::string> said;
  ASSERT_TRUE(executor.Queue({[&] { said.push_back("ran"); },
                              [&](const std::string& heldBy) { said.push_back(heldBy); },
                              std::chrono::steady_clock::now() + std::chrono::milliseconds(20),
                              {}}));
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  gate.release.set_value();
  executor.WaitUntilIdle();
  EXPECT_EQ(said, std::vector<std::string>{"Discover"});
}
