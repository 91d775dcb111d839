#include <fmt/format.h>
#include <gtest/gtest.h>

#include "WorkbenchHarness.h"

using namespace velquor;
using namespace velquor::testsupport;
using Edit = workbench::RdmPageController::NumericEdit;
using Strings = std::vector<std::string>;

namespace {

// The default rig's first three spots listed, as after a discovery; the log emptied.
void ListThree(WorkbenchHarness& h) {
  h.LoadList(kThreeSpots);
  h.rdm.log.Clear();
}

// The console's controls as the model holds them, as the window passes them at Send.
void SendShown(WorkbenchHarness& h) {
  const workbench::ConsoleModel& c = h.bench.Console();
  h.bench.ConsolePage().Send({c.command, c.parameter, c.subDevice, c.broadcast, c.data});
}

// Batch addressing as typed into its four edits (nothing: left as it is), then run.
void Batch(WorkbenchHarness& h, const char* start, const char* increment, const char* first,
           const char* last) {
  auto& page = h.bench.RdmPage();
  for (auto [edit, typed] : {std::pair{Edit::StartAddress, start},
                             {Edit::Channel, increment},
                             {Edit::Start, first},
                             {Edit::End, last}}) {
    if (typed) page.EditChange(edit, typed);
  }
  h.rdm.log.Clear();
  const workbench::BatchPlan plan = page.PlanBatch();
  h.bench.List().BatchAddress(plan, workbench::BatchTargets(h.bench.Table(), plan));
}

std::vector<int> RigAddressesOfRows(WorkbenchHarness& h, int first, int last) {
  std::vector<int> addresses;
  for (int row = first; row <= last; ++row)
    addresses.push_back(h.rdm.Fixture(h.bench.Table().Devices[row].Uid).startAddress);
  return addresses;
}

}  // namespace

TEST(Panel, ReadWithoutSelectionTakesTheFirstRowAndWriteSendsEveryFieldBack) {
  WorkbenchHarness h;
  ListThree(h);
  h.bench.RdmPage().Read();
  EXPECT_EQ(h.bench.Table().SelectedRow(), 0);
  const auto& p = h.bench.Panel();
  EXPECT_EQ(std::tuple(p.device, p.label, p.deviceHours, p.writeEnabled),
            std::tuple(std::optional(kSpot1), "Spot 1", "1520", true));
  // The console's parameter list moved to the last parameter the device lists that the
  // program knows: RESET_DEVICE, item 62 of the console's list.
  EXPECT_EQ(h.bench.Console().parameter, 62);

  auto& edited = h.bench.Panel();
  edited.address = "200";
  edited.label = "Upstage";
  edited.personalities.itemIndex = 2;
  edited.tiltInvert = true;
  h.bench.RdmPage().Write(*h.bench.RdmPage().WriteOrder());
  const auto f = h.rdm.Fixture(kSpot1);
  EXPECT_EQ(std::tuple(f.startAddress, f.label, f.personality, f.tiltInvert),
            std::tuple(200, "Upstage", 3, true));
  // Device info is read after the write: the list shows address, footprint and label.
  EXPECT_EQ(h.Cells(0, {2, 3, 4}), (Strings{"200", "012", "Upstage"}));
  EXPECT_NE(h.ListFile().find("7FF000000101=Upstage\r\n"), std::string::npos);
}

TEST(Panel, WithoutADevicesValuesNothingIsSent) {
  WorkbenchHarness h;
  auto& page = h.bench.RdmPage();
  page.Read();  // nothing listed
  EXPECT_FALSE(page.WriteOrder());
  h.LoadList("7FF000000101=Spot 1\r\n123400005678=Gone\r\n");  // listed, none selected
  page.ToggleIdentify();
  page.ToggleLamp();
  page.Reset();
  EXPECT_EQ(h.rdm.log.CountOf("NO device"), 4u);
  EXPECT_EQ(h.rdm.log.CountStartingWith("Write refused: the panel holds no device's values"), 1u);
  EXPECT_EQ(h.rdm.Requests(), 0u);
  // A device that answers nothing leaves nothing of the one read before it.
  page.Read(kSpot1);
  page.Read(kNobody);
  const auto& p = h.bench.Panel();
  EXPECT_EQ(std::tuple(p.device, p.label, p.personalities.items.size()),
            std::tuple(std::nullopt, "", 0u));
  EXPECT_FALSE(page.WriteOrder());
}

TEST(Panel, IdentifySwitchesTheOtherOffFirstAndLampGoesOffFromAnyStateAndOnFromOff) {
  WorkbenchHarness h;
  ListThree(h);
  h.bench.Devices().SelectRow(0);
  h.bench.RdmPage().ToggleIdentify();
  h.bench.Devices().SelectRow(2);
  h.rdm.log.Clear();
  h.bench.RdmPage().ToggleIdentify();
  // IDENTIFY_DEVICE (1000) requests: to whom, and on (01) or off (00).
  Strings sent;
  for (const auto& line : h.rdm.LinesStartingWith("->Request:")) {
    if (line.find(" 30 1000 01 ") == std::string::npos) continue;
    sent.push_back(line.substr(19, 12) + ":" + line.substr(line.size() - 7, 2));
  }
  EXPECT_EQ(sent, (Strings{"7FF000000101:00", "7FF000000103:01"}));
  EXPECT_EQ(std::tuple(h.Cells(0, {5}), h.Cells(2, {5}), h.rdm.Fixture(kSpot3).identify),
            std::tuple(Strings{" "}, Strings{"identify"}, true));
  h.bench.RdmPage().ToggleIdentify();
  EXPECT_EQ(std::tuple(h.Cells(2, {5}), h.rdm.Fixture(kSpot3).identify),
            std::tuple(Strings{" "}, false));

  h.rdm.Set(kSpot1, rdm::pid::LAMP_STATE, {2});  // strike
  h.bench.Devices().SelectRow(0);
  h.bench.RdmPage().ToggleLamp();
  EXPECT_EQ(h.rdm.Fixture(kSpot1).lampState, 0);
  h.bench.RdmPage().ToggleLamp();
  EXPECT_EQ(h.rdm.Fixture(kSpot1).lampState, 1);
}

TEST(Panel, EditsClampAndLogTheirValueAndArrowsStepWithinTheRange) {
  WorkbenchHarness h;
  ListThree(h);
  auto& page = h.bench.RdmPage();
  EXPECT_EQ(page.EditChange(Edit::Addr, "600"), "512");
  EXPECT_EQ(h.bench.Panel().addressArrows, 512);
  // Each: the edit, what is typed, what it shows (corrected only when clamped), the log line.
  const std::tuple<Edit, const char*, const char*, const char*> rows[] = {
      {Edit::Addr, "0", "1", "DMX Address:1"},
      {Edit::Addr, "007", "007", "DMX Address:7"},
      {Edit::StartAddress, "512", "511", "Start Address:511"},
      {Edit::Channel, "", "0", "Inc Channel:0"},
      {Edit::Channel, "900", "511", "Inc Channel:511"},
      {Edit::End, "9", "3", "End Fixture:3"},
      {Edit::Start, "0", "1", "Start Fixture:1"}};
  Strings logged{"DMX Address:512"};
  for (const auto& [edit, typed, shown, line] : rows) {
    EXPECT_EQ(page.EditChange(edit, typed), shown) << line;
    logged.push_back(line);
  }
  EXPECT_EQ(h.rdm.log.Lines(), logged);
  EXPECT_EQ(page.EditChange(Edit::Addr, "1x"), "1x");
  EXPECT_EQ(h.rdm.log.CountOf("'1x' is not a valid integer value"), 1u);

  // The arrows: not below 1, not above 512.
  auto& p = h.bench.Panel();
  for (auto [from, up, to] :
       {std::tuple{"1", false, "1"}, {"1", true, "2"}, {"512", true, "512"}}) {
    p.address = from;
    page.StepAddress(up);
    EXPECT_EQ(std::tuple(p.address, p.addressArrows), std::tuple(to, std::stoi(to))) << from;
  }
  EXPECT_EQ(h.rdm.log.CountOf("DMX Address:512"), 2u);
  h.bench.Devices().SelectRow(1);
  EXPECT_EQ(page.RowNumberEdited("77"), "2") << "shows the selected row, cannot choose one";
}

TEST(Batch, EvenlySpacedAddressesCappedAt512) {
  WorkbenchHarness h(virtualline::GenerateRig(6));
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  ASSERT_EQ(h.bench.Table().Count(), 6);
  // The fixture of row 2 does not hear its new address: its row shows the one it kept.
  const rdm::Uid deaf = h.bench.Table().Devices[1].Uid;
  const int kept = h.rdm.Fixture(deaf).startAddress;
  h.rdm.line.InjectFault(deaf.Value(), {.kind = virtualline::FaultKind::NoAnswer, .count = 2});
  const Strings untouched = h.Cells(4, {2, 3});
  Batch(h, "100", "16", "1", "4");
  EXPECT_EQ(RigAddressesOfRows(h, 0, 3), (std::vector<int>{100, kept, 132, 148}));
  EXPECT_EQ(h.rdm.Requests(), 9u) << "each address set (one retried) and read back, no more";
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(h.Cells(row, {2}), Strings{fmt::format("{:03}", RigAddressesOfRows(h, row, row)[0])})
        << "row " << row << " shows what its fixture reports";
  }
  EXPECT_EQ(h.Cells(4, {2, 3}), untouched);
  Batch(h, "500", "10", "4", "6");
  EXPECT_EQ(RigAddressesOfRows(h, 3, 5), (std::vector<int>{500, 510, 512}));
}

TEST(Batch, PersonalityFollowsEachAddressWhenTicked) {
  WorkbenchHarness h;
  ListThree(h);
  h.bench.Devices().SelectRow(0);
  h.bench.RdmPage().Read();  // fills the personality lists
  h.bench.RdmPage().personalityForAll = true;
  h.bench.RdmPage().batchPersonalities.itemIndex = 2;
  Batch(h, nullptr, "0", "2", "3");
  EXPECT_EQ(h.rdm.LinesStartingWith("Setting"), (Strings{"Setting start address of 0x7FF000000102",
                                                         "Setting personality of 0x7FF000000102",
                                                         "Setting start address of 0x7FF000000103",
                                                         "Setting personality of 0x7FF000000103"}));
  EXPECT_EQ(std::tuple(h.rdm.Fixture(kSpot1).personality, h.rdm.Fixture(kSpot2).personality,
                       h.rdm.Fixture(kSpot3).personality),
            std::tuple(1, 3, 3));
  EXPECT_EQ(
      std::tuple(h.Cells(0, {3, 8}), h.Cells(1, {3, 8}), h.Cells(2, {3, 8})),
      std::tuple(Strings{"016", "Standard"}, Strings{"012", "Basic"}, Strings{"012", "Basic"}))
      << "each row its own fixture's new footprint and personality";
}

TEST(Console, SendLogsTheAnswerAndItsMeaningAndTheHistoryReSendsToTheSelectedDevice) {
  WorkbenchHarness h;
  ListThree(h);
  h.bench.Console().parameter = 13;  // DEVICE_INFO
  SendShown(h);
  EXPECT_EQ(h.rdm.log.CountOf("Raw Command Send: data length:0"), 1u);
  const auto received = h.rdm.LinesStartingWith("Received");
  ASSERT_EQ(received.size(), 1u);
  EXPECT_TRUE(received[0].starts_with("Received 19 Data:") && received[0].size() == 17u + 19u * 3u);
  EXPECT_EQ(
      h.rdm.log.CountStartingWith("Decoded: protocol 1.0, model 0x0350, category Moving Head"), 1u);
  ASSERT_EQ(h.bench.Console().history.size(), 1u);
  const std::string first = h.bench.Console().history[0];
  EXPECT_EQ("->Request:" + first, h.rdm.log.Lines()[1]);
  EXPECT_EQ(first.substr(9, 12), "7FF000000101") << "nothing selected: the first row";

  h.bench.Devices().SelectRow(2);
  h.rdm.log.Clear();
  h.bench.ConsolePage().Resend(0, h.bench.Console().parameter, false);
  ASSERT_EQ(h.bench.Console().history.size(), 1u) << "a re-send is not added again";
  const std::string again = h.rdm.log.Lines()[0].substr(10);
  EXPECT_EQ(again.substr(9, 12), "7FF000000103") << "to the device now selected";
  EXPECT_NE(first.substr(35, 2), again.substr(35, 2)) << "new transaction number";
  EXPECT_NE(first.substr(first.size() - 4), again.substr(again.size() - 4)) << "new checksum";
}

TEST(Console, MistakesAreRefusedAndBroadcastsSubDevicesAndDataGoAsGiven) {
  WorkbenchHarness h;
  SendShown(h);
  EXPECT_EQ(h.rdm.log.CountStartingWith("Raw Command Send"), 0u)
      << "an empty table: not even the first line";
  ListThree(h);
  h.bench.Console().data = {"12", "x"};
  h.bench.Console().parameter = 17;
  SendShown(h);
  EXPECT_EQ(h.rdm.log.CountStartingWith("'x' is not data: "), 1u);
  h.bench.Console().data.assign(231, "1");
  h.bench.ConsolePage().AddData();
  EXPECT_EQ(h.bench.Console().data.size(), 231u);
  EXPECT_EQ(h.rdm.log.CountStartingWith("The data list holds 231 bytes"), 1u);
  // Hex entries are read as the command line reads them; text goes in quotes, and an empty
  // entry is none.
  for (const char* none : {"256", "Stage", "", "\"\""}) {
    EXPECT_FALSE(workbench::ConsoleEntryBytes(none)) << none;
  }
  h.bench.Console().data = {"\"Stage left\""};
  h.bench.Console().command = 1;  // SET DEVICE_LABEL
  SendShown(h);
  EXPECT_EQ(h.rdm.line.FixtureState(0x7FF000000101ULL)->label, "Stage left");

  // The first parameter runs one discovery branch over the whole range.
  h.rdm.log.Clear();
  h.bench.Console().data.clear();
  h.bench.Console().parameter = 0;
  SendShown(h);
  EXPECT_EQ(h.rdm.log.CountStartingWith("->Request:CC 01 24 FFFFFFFFFFFF"), 1u);
  EXPECT_EQ(h.rdm.log.CountOf("Collision detected ..."), 1u);

  // SET to every device, a typed number that is no data, then GET of a missing sub-device.
  auto& c = h.bench.Console();
  c.command = 1;     // SET
  c.parameter = 61;  // IDENTIFY_DEVICE
  c.broadcast = true;
  EXPECT_EQ(h.bench.ConsolePage().DataEdited("300"), "300") << "kept as typed, not clamped";
  h.bench.ConsolePage().AddData();
  EXPECT_EQ(h.rdm.log.CountStartingWith("'300' is not data: give hex bytes"), 1u);
  EXPECT_TRUE(c.data.empty());
  h.bench.ConsolePage().DataEdited("0x01");
  EXPECT_EQ(h.rdm.log.CountOf("RDM Data:01"), 1u);
  h.bench.ConsolePage().DeleteData();  // nothing to delete
  h.bench.ConsolePage().AddData();
  SendShown(h);
  EXPECT_NE(h.rdm.log.Lines().back().find("->Request:CC 01 19 FFFFFFFFFFFF"), std::string::npos);
  EXPECT_TRUE(h.rdm.Fixture(kSpot3).identify) << "every device identifies";

  c.broadcast = false;
  c.command = 0;
  c.parameter = 17;  // DEVICE_LABEL
  c.subDevice = 3;
  h.bench.ConsolePage().DeleteData();
  h.rdm.log.Clear();
  SendShown(h);
  EXPECT_EQ(h.rdm.log.CountStartingWith("Decoded: NACK_REASON NR_SUB_DEVICE_OUT_OF_RANGE"), 1u);
}

// Reading and writing a channel the list holds is the radio page's binding test (app/).
TEST(Radio, AChannelBeyondTheListIsSaidAndNoRadioSetsNothing) {
  WorkbenchHarness nine(OneFixtureRig(11, [](virtualline::Fixture& f) { f.radioChannel = 9; }));
  nine.bench.Console().radioChannel = 4;
  nine.bench.RadioPage().ShowChannel();
  EXPECT_EQ(nine.bench.Console().radioChannel, 4) << "the choice is kept";
  EXPECT_EQ(nine.rdm.log.CountStartingWith("The radio answered channel 9"), 1u);

  WorkbenchHarness none(virtualline::Rig{});
  none.bench.RadioPage().ShowChannel();
  EXPECT_EQ(none.rdm.log.CountOf("RdmRadio Device read:"), 1u);
  EXPECT_EQ(none.rdm.log.CountStartingWith("Successfully"), 0u);
}
