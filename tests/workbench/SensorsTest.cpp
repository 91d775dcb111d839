#include <gtest/gtest.h>

#include "WorkbenchHarness.h"
#include "workbench/Sensors.h"

using namespace velquor;
using namespace velquor::workbench;

// The Sensors view opens for the panel's fixture and goes on asking that fixture only, while
// the user picks and reads another one.
TEST(Sensors, TheViewPollsTheFixtureItWasOpenedForWhateverIsPickedOrReadSince) {
  testsupport::WorkbenchHarness h;
  h.LoadList(testsupport::kThreeSpots);
  Workbench& bench = h.bench;
  const rdm::Uid spot1(0x7FF000000101), spot2(0x7FF000000102);
  bench.Run([&] { bench.RdmPage().Read(spot1); });
  const std::optional<rdm::Uid> target = SensorViewTarget(bench.Panel());
  ASSERT_EQ(target, spot1);
  SensorWatch watch(*target);
  bench.Run([&] {
    bench.Table().Selected = spot2;
    bench.RdmPage().Read();
  });
  ASSERT_EQ(bench.Panel().device, spot2);

  size_t before = h.rdm.log.Lines().size();
  auto poll = [&](int second) {
    SensorSet polled;
    bench.Run([&] { polled = watch.NextPoll()(bench.Operations()); });
    watch.Take(polled, second);
  };
  poll(0);
  // "->Request:CC 01 19 <to> ..." for every sensor parameter asked (0x0200, 0x0201).
  size_t asked = 0;
  auto lines = h.rdm.log.Lines();
  for (size_t i = before; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (!l.starts_with("->Request:") || l.find(" 20 020") == std::string::npos) continue;
    ++asked;
    EXPECT_NE(l.find(" 7FF000000101 "), std::string::npos) << l;
  }
  EXPECT_EQ(asked, 4u + 4u) << "4 definitions, then 4 values";
  // The values of every later second are asked without a line in the log, even the NACK.
  before = h.rdm.log.Lines().size();
  const unsigned requests = h.rdm.line.Stats().requests;
  poll(1);
  EXPECT_EQ(std::pair(h.rdm.log.Lines().size() - before, h.rdm.line.Stats().requests - requests),
            std::pair(size_t{0}, 4u));
  const size_t traced = h.rdm.LinesStartingWith("->Request:").size();
  bench.Run([&] { bench.RdmPage().Read(spot1); });
  EXPECT_GT(h.rdm.LinesStartingWith("->Request:").size(), traced) << "a Read after it is logged";
  const SensorSet& set = watch.Set();
  ASSERT_EQ(set.sensors.size(), 4u);
  EXPECT_EQ(set.sensors[0].value->present, 95) << "the lamp has been on: the housing is hot";
  EXPECT_FALSE(set.sensors[3].value);
  EXPECT_EQ(set.sensors[3].failure->nackReason, 0x0006) << "NR_DATA_OUT_OF_RANGE";
  EXPECT_EQ(watch.Histories()[0].Samples().size(), 2u);
}
