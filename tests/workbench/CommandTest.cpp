// Commands on the line's executor: one at a time, stoppable, and ended at once by a close.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <future>

#include "WorkbenchHarness.h"

using namespace velquor;
using namespace velquor::testsupport;

namespace {

// A list of `n` devices that are not on the line: each asked device costs its full time-out.
void ListSilentDevices(WorkbenchHarness& h, int n) {
  std::string text;
  for (int k = 0; k < n; ++k) text += fmt::format("12340000{:04X}=silent {}\r\n", k, k + 1);
  WriteBytes(h.Path("devnames.lst"), text);
}

// Counts, on the executor's thread, the requests sent and the devices asked; at the
// `at`-th device asked, `act` runs (a stop or a close pressed while the command runs).
struct LoadWatch {
  std::atomic<int> requests{0}, asked{0}, requestsWhenActed{-1};
  void Attach(WorkbenchHarness& h, int at, std::function<void()> act) {
    h.rdm.log.SetListener([this, at, act](const std::string& line) {
      if (line.starts_with("->Request:")) ++requests;
      if (line.starts_with("Getting device info of 0x") && ++asked == at) {
        act();
        requestsWhenActed = requests.load();
      }
    });
  }
};

}  // namespace

TEST(Commands, StartUpLoadOfSilentDevicesCanBeStoppedAndListsEveryRow) {
  WorkbenchHarness h(virtualline::Rig{});
  ListSilentDevices(h, workbench::MaxDevices);
  LoadWatch watch;
  watch.Attach(h, 12, [&] { h.bench.Flags().stopRequested = true; });
  std::promise<void> ended;
  ASSERT_TRUE(h.bench.StartCommand(
      "Loading the device list", [&] { h.bench.List().LoadDeviceTable(true); },
      [&] { ended.set_value(); }, false));
  ended.get_future().wait();
  h.rdm.log.SetListener(nullptr);
  EXPECT_EQ(watch.asked.load(), 12) << "no device asked after the stop";
  EXPECT_EQ(h.rdm.log.CountOf("Loading stopped: devices from row 13 not asked"), 1u);
  EXPECT_EQ(h.bench.Table().Count(), workbench::MaxDevices) << "every listed row stays";
  EXPECT_EQ(h.bench.View().rows.size(), static_cast<size_t>(workbench::MaxDevices));
}

TEST(Commands, AButtonPressedMeanwhileIsRefusedWithTheReason) {
  WorkbenchHarness h(virtualline::Rig{});
  ListSilentDevices(h, 40);
  std::promise<void> inside, release, ended;
  std::shared_future<void> released = release.get_future().share();
  ASSERT_TRUE(h.bench.StartCommand(
      "Discover",
      [&] {
        inside.set_value();
        released.wait();
      },
      [&] { ended.set_value(); }));
  inside.get_future().wait();
  EXPECT_TRUE(h.bench.LineBusy().load());
  EXPECT_FALSE(h.bench.StartCommand("Read", [&] { h.bench.RdmPage().Read(); }));
  EXPECT_TRUE(h.bench.RefusedWhileBusy("Read"));
  EXPECT_EQ(h.rdm.log.CountOf("Read not started: Discover is still running"), 2u);
  // The models are the command's while it works on them, free while it waits.
  EXPECT_FALSE(h.bench.Models().try_lock());
  release.set_value();
  ended.get_future().wait();
  EXPECT_FALSE(h.bench.LineBusy().load());
  EXPECT_EQ(h.rdm.Requests(), 0u) << "the refused Read sent nothing";
}

TEST(Commands, ClosingEndsTheCommandInHandAtItsNextExchange) {
  WorkbenchHarness h(virtualline::Rig{});
  ListSilentDevices(h, 200);
  LoadWatch watch;
  // The close comes while device 5's request is being logged, before it is sent.
  watch.Attach(h, 5, [&] { h.bench.Flags().closing = true; });
  h.bench.Run([&] { h.bench.List().LoadDeviceTable(true); });
  h.rdm.log.SetListener(nullptr);
  EXPECT_EQ(watch.requests.load(), watch.requestsWhenActed.load()) << "nothing sent after it";
  EXPECT_EQ(h.bench.Table().Count(), 200);
  h.bench.Shutdown();
  bool ran = false;
  EXPECT_FALSE(h.bench.StartCommand("Read", [&] { ran = true; }));
  EXPECT_FALSE(ran);
}

// The box pulled out in the middle of a command, at any transfer: the command ends, the log
// names the loss once, the link says "Not connected" and devnames.lst keeps every device (a
// discovery does not take the silence of a dead line for an empty rig). Plugged back, the
// next command opens the box again and reads the fixture.
TEST(Commands, TheBoxPulledOutMidCommandEndsItAndTheNextCommandReopens) {
  const std::pair<const char*, void (*)(WorkbenchHarness&)> commands[] = {
      {"Read", [](WorkbenchHarness& h) { h.bench.RdmPage().Read(kSpot2); }},
      {"Discover",
       [](WorkbenchHarness& h) { h.bench.Discover().Run(workbench::Discovery::Mode::Full); }},
      {"Load and ask", [](WorkbenchHarness& h) { h.bench.List().LoadDeviceTable(true); }},
  };
  for (const auto& [name, command] : commands) {
    for (unsigned transfers : {0u, 1u, 3u, 8u, 40u}) {
      SCOPED_TRACE(fmt::format("{} unplugged after {} transfers", name, transfers));
      WorkbenchHarness h;
      h.LoadList(kThreeSpots);
      h.rdm.log.Clear();
      h.rdm.line.UnplugAfter(transfers);
      h.bench.Run([&h, run = command] { run(h); });
      EXPECT_EQ(h.rdm.log.CountOf("No such device (it may have been disconnected)"), 1u);
      EXPECT_EQ(h.rdm.link.DeviceConnect(), "Not connected");
      if (name == std::string("Discover")) {
        EXPECT_EQ(h.rdm.log.CountStartingWith("Discovery stopped: the interface box is lost"), 1u);
      }
      EXPECT_EQ(h.ListFile(), kThreeSpots) << "every device kept";
      h.rdm.line.SetUnplugged(false);
      h.bench.Run([&] { h.bench.RdmPage().Read(kSpot2); });
      EXPECT_EQ(h.rdm.link.DeviceConnect(), "Connected successfully");
      EXPECT_EQ(h.bench.Panel().label, "Spot 2");
    }
  }
}
