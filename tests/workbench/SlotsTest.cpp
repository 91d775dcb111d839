#include <gtest/gtest.h>

#include "WorkbenchHarness.h"
#include "workbench/Sensors.h"

using namespace velquor;
using namespace velquor::testsupport;
using namespace velquor::workbench;

namespace {

std::vector<std::string> Texts(const ChannelLayout& layout) {
  std::vector<std::string> texts;
  for (const auto& line : ChannelLines(layout)) texts.push_back(ChannelLineText(line));
  return texts;
}

}  // namespace

// The panel's channels are the fixture read last, asked for after its Read, whichever row is
// picked meanwhile; a slot whose description is refused keeps E1.20's name, and the others go
// on.
TEST(Slots, ThePanelKeepsTheChannelsOfTheFixtureReadLast) {
  WorkbenchHarness h;
  constexpr rdm::Uid kPar4{0x7FF100000204ULL};
  h.LoadList("7FF000000101=Spot 1\r\n7FF100000204=Wash Par 4\r\n7FF300000401=Hazer\r\n");
  h.bench.Operations().SetPersonality(kSpot1, 2);
  auto& page = h.bench.RdmPage();
  const ChannelLayout& shown = h.bench.Panel().channels;

  page.Read(kSpot1);
  EXPECT_EQ(workbench::PersonalityHeading(shown), "Mode 2 (22 ch): Extended");
  EXPECT_FALSE(shown.slotsAsked) << "a Read asks no slots";
  page.SelectRowOnOtherPage(1);
  page.ReadChannels();
  const auto spot = Texts(shown);
  ASSERT_EQ(spot.size(), 22u);
  EXPECT_EQ(std::vector(spot.begin(), spot.begin() + 3),
            (std::vector<std::string>{"1 Pan coarse", "2 Pan fine", "3 Tilt coarse"}));
  EXPECT_EQ(spot.back(), "22 Lamp");
  EXPECT_EQ(shown.slotReadings[0].defaultValue, 128);

  page.SelectClickedRow(2);
  EXPECT_EQ(h.bench.Panel().device, kSpot1);
  EXPECT_EQ(workbench::ChannelNameAt(shown, 2), "Pan fine");

  h.rdm.log.Clear();
  page.Read(kPar4);
  EXPECT_EQ(workbench::ChannelNameAt(shown, 2), std::nullopt) << "Spot 1's names are gone";
  page.ReadChannels();
  EXPECT_EQ(Texts(shown),
            (std::vector<std::string>{"89 Red", "90 Green", "91 Blue", "92 White", "93 Dimmer",
                                      "94 Strobe", "95 Program", "96 Program speed"}));
  EXPECT_FALSE(shown.slotReadings[5].description);
  EXPECT_EQ(h.rdm.log.CountOf("SLOT_DESCRIPTION of 0x7FF100000204: answered NACK_REASON "
                              "NR_DATA_OUT_OF_RANGE"),
            1u);

  page.Read(rdm::Uid{0x7FF300000401ULL});  // lists no SLOT_INFO: not asked
  page.ReadChannels();
  EXPECT_EQ(workbench::PersonalityHeading(shown), "Mode 1 (2 ch)");
  EXPECT_TRUE(shown.slotReadings.empty());

  // Slots without a description: a primary by its label ID, a secondary by its primary and its
  // type; past 512 a slot has no address.
  ChannelLayout layout;
  layout.startAddress = 510;
  layout.slotReadings = {
      SlotReading{{0, 0x00, 0x0101}, std::nullopt, std::nullopt},  // pan
      SlotReading{{1, 0x01, 0x0000}, std::nullopt, std::nullopt},  // fine of slot 0
      SlotReading{{2, 0x03, 0x0007}, std::nullopt, std::nullopt},  // speed of a missing slot
      SlotReading{{3, 0x00, 0x0999}, std::string(), std::nullopt},
  };
  EXPECT_EQ(Texts(layout),
            (std::vector<std::string>{"510 Pan", "511 Pan fine", "512 speed", "+3 0x0999"}));
  EXPECT_EQ(workbench::PersonalityHeading(layout), "") << "no personality answered";
}

// The Sensors view opens for the panel's fixture and goes on asking that fixture only, while
// the user picks and reads another one.
TEST(Sensors, TheViewPollsTheFixtureItWasOpenedForWhateverIsPickedOrReadSince) {
  testsupport::WorkbenchHarness h;
  h.LoadList(testsupport::kThreeSpots);
  Workbench& bench = h.bench;
  bench.Run([&] { bench.RdmPage().Read(kSpot1); });
  const std::optional<rdm::Uid> target = SensorViewTarget(bench.Panel());
  ASSERT_EQ(target, kSpot1);
  SensorWatch watch(*target);
  bench.Run([&] {
    bench.Table().Selected = kSpot2;
    bench.RdmPage().Read();
  });
  ASSERT_EQ(bench.Panel().device, kSpot2);

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
  bench.Run([&] { bench.RdmPage().Read(kSpot1); });
  EXPECT_GT(h.rdm.LinesStartingWith("->Request:").size(), traced) << "a Read after it is logged";
  const SensorSet& set = watch.Set();
  ASSERT_EQ(set.sensors.size(), 4u);
  EXPECT_EQ(set.sensors[0].value->present, 95) << "the lamp has been on: the housing is hot";
  EXPECT_FALSE(set.sensors[3].value);
  EXPECT_EQ(set.sensors[3].failure->nackReason, 0x0006) << "NR_DATA_OUT_OF_RANGE";
  EXPECT_EQ(watch.Histories()[0].Samples().size(), 2u);
}
