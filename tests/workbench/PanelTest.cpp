#include <gtest/gtest.h>

#include "WorkbenchHarness.h"

using namespace velquor;
using namespace velquor::testsupport;
using Edit = workbench::RdmPageController::NumericEdit;

namespace {

constexpr rdm::Uid kSpot3{0x7FF000000103ULL};

// The default rig's first three spots listed, as after a discovery.
void ListThree(WorkbenchHarness& h) {
  WriteText(h.Path("devnames.lst"),
            "7FF000000101=Spot 1\r\n7FF000000102=Spot 2\r\n7FF000000103=Spot 3\r\n");
  h.bench.List().LoadDeviceTable(false);
  h.rdm.log.Clear();
}

// The console's controls as the model holds them, as the window passes them at Send.
void SendShown(WorkbenchHarness& h) {
  const workbench::ConsoleModel& c = h.bench.Console();
  h.bench.ConsolePage().Send({c.command, c.parameter, c.subDevice, c.broadcast, c.data});
}

void Batch(WorkbenchHarness& h) {
  const workbench::BatchPlan plan = h.bench.RdmPage().PlanBatch();
  h.bench.List().BatchAddress(plan, workbench::BatchTargets(h.bench.Table(), plan));
}

void Write(WorkbenchHarness& h) {
  if (auto order = h.bench.RdmPage().WriteOrder()) h.bench.RdmPage().Write(*order);
}

std::vector<std::string> IdentifyRequests(WorkbenchHarness& h) {
  std::vector<std::string> out;
  for (const auto& line : h.rdm.log.Lines()) {
    if (line.rfind("->Request:", 0) == 0 && line.find(" 30 1000 01 ") != std::string::npos) {
      out.push_back(line.substr(19, 12) + ":" + line.substr(line.size() - 7, 2));
    }
  }
  return out;
}

}  // namespace

TEST(Panel, ReadWithoutSelectionTakesTheFirstRowAndMarksIt) {
  WorkbenchHarness h;
  ListThree(h);
  h.bench.RdmPage().Read();
  EXPECT_EQ(h.bench.Table().SelectedRow(), 0);
  EXPECT_EQ(h.bench.RdmPage().rowNumberColour, workbench::kYellow);
  EXPECT_EQ(h.bench.Panel().label, "Spot 1");
  EXPECT_EQ(h.bench.Panel().deviceHours, "1520");
  EXPECT_TRUE(h.bench.Panel().writeEnabled);
  EXPECT_EQ(h.bench.Panel().device, kSpot1);
  EXPECT_EQ(h.rdm.log.CountOf("DMX Address:1"), 1u) << "the address edit's change handler ran";
  // The console's parameter list moved to the last parameter the device lists that the
  // program knows: RESET_DEVICE, item 62 of the console's list.
  EXPECT_EQ(h.bench.Console().parameter, 62);

  WorkbenchHarness empty;
  empty.bench.RdmPage().Read();
  EXPECT_FALSE(empty.bench.RdmPage().WriteOrder());
  EXPECT_EQ(empty.rdm.log.CountOf("NO device"), 1u);
  EXPECT_EQ(empty.rdm.log.CountStartingWith("Write refused: the panel holds no device's values"),
            1u);
  EXPECT_EQ(empty.rdm.Requests(), 0u);
}

TEST(Panel, IdentifySwitchesTheOtherOffFirstAndTogglesItsOwn) {
  WorkbenchHarness h;
  ListThree(h);
  h.bench.Devices().SelectRow(0);
  h.bench.RdmPage().ToggleIdentify();
  h.bench.Devices().SelectRow(2);
  h.rdm.log.Clear();
  h.bench.RdmPage().ToggleIdentify();
  EXPECT_EQ(IdentifyRequests(h), (std::vector<std::string>{"7FF000000101:00", "7FF000000103:01"}));
  EXPECT_EQ(h.bench.View().rows[0][5], " ");
  EXPECT_EQ(h.bench.View().rows[2][5], "identify");
  EXPECT_TRUE(h.rdm.line.FixtureState(kSpot3.Value())->identify);
  EXPECT_FALSE(h.rdm.line.FixtureState(kSpot1.Value())->identify);
  h.bench.RdmPage().ToggleIdentify();
  EXPECT_FALSE(h.rdm.line.FixtureState(kSpot3.Value())->identify);
  EXPECT_EQ(h.bench.View().rows[2][5], " ");
}

TEST(Panel, LampGoesOffFromAnyStateAndOnFromOff) {
  WorkbenchHarness h;
  ListThree(h);
  h.rdm.Set(kSpot1, rdm::pid::LAMP_STATE, {2});  // strike
  h.bench.Devices().SelectRow(0);
  h.bench.RdmPage().ToggleLamp();
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->lampState, 0);
  EXPECT_EQ(h.rdm.log.CountOf("Getting dev LAMP_STATE of 0x7FF000000101"), 1u);
  h.bench.RdmPage().ToggleLamp();
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->lampState, 1);
}

TEST(Panel, NoSelectionMeansNothingIsSent) {
  WorkbenchHarness h;
  ListThree(h);
  h.bench.RdmPage().ToggleIdentify();
  h.bench.RdmPage().ToggleLamp();
  h.bench.RdmPage().Reset();
  EXPECT_EQ(h.rdm.log.CountOf("NO device"), 3u);
  EXPECT_EQ(h.rdm.Requests(), 0u);
}

TEST(Panel, WriteSendsEveryFieldAndReadsBack) {
  WorkbenchHarness h;
  ListThree(h);
  h.bench.Devices().SelectRow(0);
  h.bench.RdmPage().Read();
  auto& p = h.bench.Panel();
  p.address = "200";
  p.label = "Upstage";
  p.personalities.itemIndex = 2;
  p.tiltInvert = true;
  Write(h);
  auto f = h.rdm.line.FixtureState(kSpot1.Value());
  EXPECT_EQ(f->startAddress, 200);
  EXPECT_EQ(f->label, "Upstage");
  EXPECT_EQ(f->personality, 3);
  EXPECT_TRUE(f->tiltInvert);
  EXPECT_EQ(h.bench.View().rows[0][3], "012") << "device info read after the write";
  EXPECT_EQ(h.bench.View().rows[0][2], "200");
  EXPECT_EQ(h.bench.View().rows[0][4], "Upstage") << "the list shows the label written";
  EXPECT_NE(ReadText(h.Path("devnames.lst")).find("7FF000000101=Upstage\r\n"), std::string::npos);
}

TEST(Panel, EditsClampAndLogTheirValue) {
  WorkbenchHarness h;
  ListThree(h);
  EXPECT_EQ(h.bench.RdmPage().EditChange(Edit::Addr, "600"), "512");
  EXPECT_EQ(h.bench.Panel().addressArrows, 512);
  EXPECT_EQ(h.bench.RdmPage().EditChange(Edit::Addr, "0"), "1");
  EXPECT_EQ(h.bench.RdmPage().EditChange(Edit::Addr, "007"), "007")
      << "corrected only when clamped";
  EXPECT_EQ(h.bench.RdmPage().EditChange(Edit::StartAddress, "512"), "511");
  EXPECT_EQ(h.bench.RdmPage().EditChange(Edit::Channel, ""), "0");
  EXPECT_EQ(h.bench.RdmPage().EditChange(Edit::Channel, "900"), "511");
  EXPECT_EQ(h.bench.RdmPage().EditChange(Edit::End, "9"), "3");
  EXPECT_EQ(h.bench.RdmPage().EditChange(Edit::Start, "0"), "1");
  EXPECT_EQ(h.rdm.log.Lines(),
            (std::vector<std::string>{"DMX Address:512", "DMX Address:1", "DMX Address:7",
                                      "Start Address:511", "Inc Channel:0", "Inc Channel:511",
                                      "End Fixture:3", "Start Fixture:1"}));
  EXPECT_EQ(h.bench.RdmPage().EditChange(Edit::Addr, "1x"), "1x");
  EXPECT_EQ(h.rdm.log.CountOf("'1x' is not a valid integer value"), 1u);
}

TEST(Panel, ArrowsStepTheAddressWithinItsRange) {
  WorkbenchHarness h;
  ListThree(h);
  h.bench.Panel().address = "1";
  h.bench.RdmPage().StepAddress(false);
  EXPECT_EQ(h.bench.Panel().address, "1");
  h.bench.RdmPage().StepAddress(true);
  EXPECT_EQ(h.bench.Panel().address, "2");
  EXPECT_EQ(h.bench.Panel().addressArrows, 2);
  h.bench.Panel().address = "512";
  h.bench.RdmPage().StepAddress(true);
  EXPECT_EQ(h.bench.Panel().address, "512");
  EXPECT_EQ(h.rdm.log.CountOf("DMX Address:512"), 1u);
  h.bench.Devices().SelectRow(1);
  EXPECT_EQ(h.bench.RdmPage().RowNumberEdited("77"), "2")
      << "shows the selected row, cannot choose one";
}

TEST(Batch, EvenlySpacedAddressesCappedAt512) {
  WorkbenchHarness h(virtualline::GenerateRig(6));
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  ASSERT_EQ(h.bench.Table().Count(), 6);
  h.rdm.log.Clear();
  h.bench.RdmPage().EditChange(Edit::StartAddress, "1");
  h.bench.RdmPage().EditChange(Edit::Channel, "16");
  h.bench.RdmPage().EditChange(Edit::Start, "1");
  h.bench.RdmPage().EditChange(Edit::End, "4");
  h.rdm.log.Clear();
  Batch(h);
  EXPECT_EQ(h.rdm.log.CountOf("Start ADDR:1 Inc Channel:16 Start Fixture:0 End Fixture:3"), 1u);
  std::vector<int> addresses;
  for (int row = 0; row < 4; ++row) {
    addresses.push_back(
        h.rdm.line.FixtureState(h.bench.Table().Devices[static_cast<size_t>(row)].Uid.Value())
            ->startAddress);
  }
  EXPECT_EQ(addresses, (std::vector<int>{1, 17, 33, 49}));
  EXPECT_EQ(h.bench.View().rows[3][2], "049") << "the table shows what the devices report";

  h.bench.RdmPage().EditChange(Edit::StartAddress, "500");
  h.bench.RdmPage().EditChange(Edit::Channel, "10");
  h.bench.RdmPage().EditChange(Edit::Start, "4");
  h.bench.RdmPage().EditChange(Edit::End, "6");
  Batch(h);
  addresses.clear();
  for (int row = 3; row < 6; ++row) {
    addresses.push_back(
        h.rdm.line.FixtureState(h.bench.Table().Devices[static_cast<size_t>(row)].Uid.Value())
            ->startAddress);
  }
  EXPECT_EQ(addresses, (std::vector<int>{500, 510, 512}));
}

TEST(Batch, PersonalityFollowsEachAddressWhenTicked) {
  WorkbenchHarness h;
  ListThree(h);
  h.bench.Devices().SelectRow(0);
  h.bench.RdmPage().Read();  // fills the personality lists
  h.bench.RdmPage().personalityForAll = true;
  h.bench.RdmPage().batchPersonalities.itemIndex = 2;
  h.bench.RdmPage().EditChange(Edit::Start, "2");
  h.bench.RdmPage().EditChange(Edit::End, "3");
  h.bench.RdmPage().EditChange(Edit::Channel, "0");
  h.rdm.log.Clear();
  Batch(h);
  std::vector<std::string> order;
  for (const auto& line : h.rdm.log.Lines()) {
    if (line.rfind("Setting", 0) == 0) order.push_back(line);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"Setting start address of 0x7FF000000102",
                                             "Setting personality of 0x7FF000000102",
                                             "Setting start address of 0x7FF000000103",
                                             "Setting personality of 0x7FF000000103"}));
  EXPECT_EQ(h.rdm.line.FixtureState(0x7FF000000102ULL)->personality, 3);
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot3.Value())->personality, 3);
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->personality, 1);
}

TEST(Console, GetDeviceInfoLogsTheDataAndItsMeaning) {
  WorkbenchHarness h;
  ListThree(h);
  h.bench.Console().parameter = 13;  // DEVICE_INFO
  SendShown(h);
  EXPECT_EQ(h.rdm.log.CountOf("Raw Command Send: data length:0"), 1u);
  auto lines = h.rdm.log.Lines();
  auto received = std::find_if(lines.begin(), lines.end(),
                               [](const std::string& l) { return l.rfind("Received", 0) == 0; });
  ASSERT_NE(received, lines.end());
  EXPECT_EQ(received->substr(0, 17), "Received 19 Data:");
  EXPECT_EQ(received->size(), 17u + 19u * 3u);
  EXPECT_EQ(
      h.rdm.log.CountStartingWith("Decoded: protocol 1.0, model 0x0350, category Moving Head"), 1u);
  ASSERT_EQ(h.bench.Console().history.size(), 1u);
  EXPECT_EQ("->Request:" + h.bench.Console().history[0], h.rdm.log.Lines()[1]);
  EXPECT_EQ(h.bench.Table().SelectedRow(), 0) << "nothing selected: the first row";
}

TEST(Console, AllDevicesSubDevicesAndDataBytes) {
  WorkbenchHarness h;
  ListThree(h);
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
  EXPECT_NE(h.rdm.log.Lines()[h.rdm.log.Count() - 1].find("->Request:CC 01 19 FFFFFFFFFFFF"),
            std::string::npos);
  EXPECT_TRUE(h.rdm.line.FixtureState(kSpot3.Value())->identify) << "every device identifies";

  c.broadcast = false;
  c.command = 0;
  c.parameter = 17;  // DEVICE_LABEL
  c.subDevice = 3;
  h.bench.ConsolePage().DeleteData();
  h.rdm.log.Clear();
  SendShown(h);
  EXPECT_EQ(h.rdm.log.CountStartingWith("Decoded: NACK_REASON NR_SUB_DEVICE_OUT_OF_RANGE"), 1u);
}

TEST(Console, HistoryReSendsWithANewTransactionAndChecksum) {
  WorkbenchHarness h;
  ListThree(h);
  h.bench.Console().parameter = 17;  // DEVICE_LABEL
  SendShown(h);
  h.bench.Devices().SelectRow(2);
  h.rdm.log.Clear();
  h.bench.ConsolePage().Resend(0, h.bench.Console().parameter, false);
  ASSERT_EQ(h.bench.Console().history.size(), 1u) << "a re-send is not added again";
  const std::string first = h.bench.Console().history[0];
  const std::string again = h.rdm.log.Lines()[0].substr(10);
  EXPECT_NE(first.substr(9, 12), again.substr(9, 12)) << "to the device now selected";
  EXPECT_EQ(again.substr(9, 12), "7FF000000103");
  EXPECT_NE(first.substr(35, 2), again.substr(35, 2)) << "new transaction number";
  EXPECT_NE(first.substr(first.size() - 4), again.substr(again.size() - 4)) << "new checksum";
  EXPECT_EQ(h.rdm.log.CountOf("Decoded: \"Spot 3\""), 1u);
}

TEST(Console, MistakesAreRefusedAndReleaseTheLine) {
  WorkbenchHarness h;
  ListThree(h);
  h.bench.Console().data = {"12", "x"};
  h.bench.Console().parameter = 17;
  SendShown(h);
  EXPECT_EQ(h.rdm.log.CountStartingWith("'x' is not data: "), 1u);
  h.bench.Console().data.assign(231, "1");
  h.bench.ConsolePage().AddData();
  EXPECT_EQ(h.bench.Console().data.size(), 231u);
  EXPECT_EQ(h.rdm.log.CountStartingWith("The data list holds 231 bytes"), 1u);
  // Entries as velquor-cli takes data, and a label as text.
  const std::pair<const char*, std::optional<std::vector<uint8_t>>> entries[] = {
      {"FF", std::vector<uint8_t>{0xFF}},
      {"0x1F", std::vector<uint8_t>{0x1F}},
      {"01 02", std::vector<uint8_t>{1, 2}},
      {"\"Hi\"", std::vector<uint8_t>{'H', 'i'}},
      {"256", std::nullopt},
      {"Stage", std::nullopt},
      {"", std::nullopt},
      {"\"\"", std::nullopt}};
  for (const auto& [entry, bytes] : entries) {
    EXPECT_EQ(workbench::ConsoleEntryBytes(entry), bytes) << entry;
  }
  h.bench.Console().data = {"\"Stage left\""};
  h.bench.Console().command = 1;  // SET DEVICE_LABEL
  SendShown(h);
  EXPECT_EQ(h.rdm.line.FixtureState(0x7FF000000101ULL)->label, "Stage left");

  WorkbenchHarness empty;
  SendShown(empty);
  EXPECT_EQ(empty.rdm.log.CountStartingWith("Raw Command Send"), 0u)
      << "an empty table: not even the first line";

  // The first parameter runs one discovery branch over the whole range.
  h.rdm.log.Clear();
  h.bench.Console().data.clear();
  h.bench.Console().parameter = 0;
  SendShown(h);
  EXPECT_EQ(h.rdm.log.CountStartingWith("->Request:CC 01 24 FFFFFFFFFFFF"), 1u);
  EXPECT_EQ(h.rdm.log.CountOf("Collision detected ..."), 1u);
}

TEST(Radio, ReadSelectsTheChannelAndWriteConfirms) {
  WorkbenchHarness h;
  h.bench.RadioPage().ShowChannel();
  EXPECT_EQ(h.bench.Console().radioChannel, 2);
  EXPECT_EQ(h.rdm.log.CountOf("Successfully read the device channel: 3"), 1u);
  h.bench.Console().radioChannel = 6;
  h.bench.RadioPage().SendChannel();
  EXPECT_EQ(h.rdm.log.CountOf("RdmRadio Device write: "), 1u);
  EXPECT_EQ(h.rdm.log.CountOf("Write device successful device channel: 7"), 1u);
  EXPECT_EQ(h.rdm.line.FixtureState(kRadio.Value())->radioChannel, 7);
}

TEST(Radio, ChannelBeyondTheListIsReportedAndTheChoiceKept) {
  virtualline::Rig rig;
  virtualline::Fixture radio = virtualline::DefaultRig().fixtures[11];
  radio.radioChannel = 9;
  rig.fixtures.push_back(radio);
  WorkbenchHarness h(rig);
  h.bench.Console().radioChannel = 4;
  h.bench.RadioPage().ShowChannel();
  EXPECT_EQ(h.bench.Console().radioChannel, 4);
  EXPECT_EQ(h.rdm.log.CountStartingWith("The radio answered channel 9"), 1u);

  WorkbenchHarness none(virtualline::Rig{});
  none.bench.RadioPage().ShowChannel();
  EXPECT_EQ(none.rdm.log.CountOf("RdmRadio Device read:"), 1u);
  EXPECT_EQ(none.rdm.log.CountStartingWith("Successfully"), 0u);
}

TEST(Panel, ADeviceThatAnswersNothingLeavesNoValuesToWrite) {
  WorkbenchHarness h;
  WriteText(h.Path("devnames.lst"), "7FF000000101=Spot 1\r\n123400005678=Gone\r\n");
  h.bench.List().LoadDeviceTable(false);
  h.bench.RdmPage().Read(kSpot1);
  h.bench.RdmPage().Read(kNobody);
  EXPECT_FALSE(h.bench.Panel().device);
  EXPECT_EQ(h.bench.Panel().label, "") << "not Spot 1's label";
  EXPECT_TRUE(h.bench.Panel().personalities.items.empty()) << "nor its personalities";
  EXPECT_FALSE(h.bench.RdmPage().WriteOrder());
}
