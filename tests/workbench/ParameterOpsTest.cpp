#include <gtest/gtest.h>

#include "WorkbenchHarness.h"

using namespace velquor;
using namespace velquor::testsupport;
using virtualline::Fault;
using virtualline::FaultKind;

namespace {

constexpr rdm::Uid kSpot3{0x7FF000000103ULL};
constexpr rdm::Uid kHazer{0x7FF300000401ULL};

void Nack(WorkbenchHarness& h, rdm::Uid uid, uint16_t reason, int count = 1) {
  Fault f;
  f.kind = FaultKind::Nack;
  f.nackReason = reason;
  f.count = count;
  h.rdm.line.InjectFault(uid.Value(), f);
}

void PassThen(WorkbenchHarness& h, rdm::Uid uid, int pass) {
  Fault f;
  f.kind = FaultKind::None;
  f.count = pass;
  h.rdm.line.InjectFault(uid.Value(), f);
}

}  // namespace

TEST(ParameterOps, DeviceInfoFillsRecordAndPanel) {
  WorkbenchHarness h;
  h.bench.Operations().GetDeviceInfo(kSpot1, 0);
  const auto& r = h.bench.Table().Records[0];
  const auto& p = h.bench.Panel();
  EXPECT_EQ(p.Edit8, "Moving Head");
  EXPECT_EQ(r.Footprint, 16);
  EXPECT_EQ(p.Edit10, "16");
  EXPECT_EQ(r.StartAddressIndex, 0);
  EXPECT_EQ(p.EditAddr, "1");
  EXPECT_EQ(r.PersonalityDescription, "Standard");
  EXPECT_EQ(p.ComboBoxMode.items,
            (std::vector<std::string>{"Mode 1(16ch)", "Mode 2(22ch)", "Mode 3(12ch)"}));
  EXPECT_EQ(p.ComboBoxChannelMode.items, p.ComboBoxMode.items);
  EXPECT_EQ(p.ComboBoxMode.itemIndex, 0);
  EXPECT_EQ(h.rdm.log.CountOf("Getting device info of 0x7FF000000101"), 1u);
  EXPECT_EQ(h.rdm.log.CountOf("Getting dev PersonalityDescription of 0x7FF000000101"), 3u);
  EXPECT_EQ(h.rdm.log.CountOf("Getting dev address of 0x7FF000000101"), 1u);
}

TEST(ParameterOps, NackedAnswersLeaveEverythingAsItWasAndNameTheReason) {
  WorkbenchHarness h;
  h.bench.Operations().GetDeviceInfo(kSpot1, 0);
  const workbench::DeviceRecord before = h.bench.Table().Records[0];
  const std::string addrBefore = h.bench.Panel().EditAddr;

  Nack(h, kSpot1, 0x0006);
  h.bench.Operations().GetStartAddress(kSpot1, 0);
  EXPECT_EQ(h.bench.Table().Records[0].StartAddressIndex, before.StartAddressIndex);
  EXPECT_EQ(h.bench.Panel().EditAddr, addrBefore);
  EXPECT_EQ(h.rdm.log.CountOf(
                "DMX_START_ADDRESS of 0x7FF000000101: answered NACK_REASON NR_DATA_OUT_OF_RANGE"),
            1u);

  Nack(h, kSpot1, 0x0002);
  h.rdm.Set(kSpot1, rdm::pid::DMX_START_ADDRESS, {0x00, 0x64});  // the NACK hits this SET
  Nack(h, kSpot1, 0x0002);
  h.rdm.log.Clear();
  h.bench.Operations().GetDeviceInfo(kSpot1, 0);
  EXPECT_EQ(
      h.rdm.log.CountOf("DEVICE_INFO of 0x7FF000000101: answered NACK_REASON NR_HARDWARE_FAULT"),
      1u);
  EXPECT_EQ(h.rdm.log.CountOf("Getting dev PersonalityDescription of 0x7FF000000101"), 3u)
      << "the counts of the last good answer, not 255 of a 0xFF fill";
  EXPECT_EQ(h.bench.Table().Records[0].Footprint, before.Footprint);
}

TEST(ParameterOps, AckTimerIsNotDecodedEither) {
  WorkbenchHarness h;
  Fault f;
  f.kind = FaultKind::AckTimer;
  f.count = 1;
  h.rdm.line.InjectFault(kSpot1.Value(), f);
  h.bench.Operations().GetDeviceLabel(kSpot1);
  EXPECT_EQ(h.bench.Panel().Edit1, "VELQUOR");
  EXPECT_EQ(h.rdm.log.CountOf("DEVICE_LABEL of 0x7FF000000101: answered ACK_TIMER"), 1u);
}

TEST(ParameterOps, AllSupportedParametersAreKeptAndUsed) {
  virtualline::Rig rig;
  virtualline::Fixture f = virtualline::DefaultRig().fixtures[0];
  f.supportedPids.clear();
  for (uint16_t p = 0x0120; f.supportedPids.size() < 26; ++p) f.supportedPids.push_back(p);
  for (uint16_t p : {0x0400, 0x0401, 0x0600, 0x0601}) f.supportedPids.push_back(p);
  f.panInvert = true;
  f.tiltInvert = true;
  f.deviceHours = 0x80000005u;
  f.lampHours = 77;
  rig.fixtures.push_back(f);
  WorkbenchHarness h(rig);

  h.bench.Operations().GetSupportedParameters(rdm::Uid(f.uid));
  EXPECT_EQ(h.bench.Engine().SupportedPidList().size(), 30u);
  EXPECT_EQ(h.bench.Panel().ComboBoxID.items.size(), 30u);
  EXPECT_EQ(h.bench.Panel().ComboBoxID.items[0], "0x0120_E120_SLOT_INFO");
  EXPECT_EQ(h.bench.Panel().ComboBoxID.items[3], "0x0123");
  EXPECT_EQ(h.bench.Panel().ComboBoxID.itemIndex, 0);

  h.bench.Operations().GetDeviceHours(rdm::Uid(f.uid));
  h.bench.Operations().GetLampHours(rdm::Uid(f.uid));
  h.bench.Operations().GetInversions(rdm::Uid(f.uid));
  EXPECT_EQ(h.bench.Panel().Edit33, std::to_string(static_cast<int32_t>(0x80000005u)));
  EXPECT_EQ(h.bench.Panel().Edit34, "77");
  EXPECT_TRUE(h.bench.Panel().CheckBox1);
  EXPECT_TRUE(h.bench.Panel().CheckBox2);
  EXPECT_FALSE(h.bench.Panel().CheckBox3) << "swap not listed: not asked";
  EXPECT_EQ(h.rdm.log.CountStartingWith("Get axis swap"), 0u);
}

TEST(ParameterOps, AnswersInPiecesAreJoinedUpToTheBound) {
  virtualline::Rig rig;
  virtualline::Fixture f = virtualline::DefaultRig().fixtures[0];
  f.supportedPids.clear();
  for (uint16_t p = 0x8000; f.supportedPids.size() < 140; ++p) f.supportedPids.push_back(p);
  f.supportedPids.push_back(0x00E0);  // DMX_PERSONALITY, last of all
  f.overflowAfter = 40;               // 282 bytes: eight pieces, the last one of 2 bytes
  rig.fixtures.push_back(f);
  {
    WorkbenchHarness h(rig);
    h.bench.Operations().GetSupportedParameters(rdm::Uid(f.uid));
    const auto pids = h.bench.Engine().SupportedPidList();
    ASSERT_EQ(pids.size(), 141u);
    EXPECT_EQ(pids[0], 0x8000);
    EXPECT_EQ(pids[139], 0x808B);
    EXPECT_EQ(pids[140], 0x00E0);
    EXPECT_EQ(h.bench.Panel().ComboBoxID.items.size(), 141u);
    EXPECT_EQ(h.rdm.Requests(), 8u) << "one request for each piece";
  }
  {
    // A piece that does not arrive loses the answer: nothing half-read is shown.
    WorkbenchHarness h(rig);
    Fault through;
    through.count = 2;
    Fault silent;
    silent.kind = FaultKind::NoAnswer;
    h.rdm.line.InjectFault(f.uid, through);
    h.rdm.line.InjectFault(f.uid, silent);
    h.bench.Operations().GetSupportedParameters(rdm::Uid(f.uid));
    EXPECT_TRUE(h.bench.Engine().SupportedPidList().empty());
  }
  {
    // A device that never stops overflowing is cut off, and the log says so.
    rig.fixtures[0].overflowAfter = 2;
    WorkbenchHarness h(rig);
    h.bench.Operations().GetSupportedParameters(rdm::Uid(f.uid));
    EXPECT_EQ(h.rdm.log.CountOf("SUPPORTED_PARAMETERS of 0x7FF000000101: still ACK_OVERFLOW after "
                                "16 answers; the rest is not read"),
              1u);
    EXPECT_EQ(h.rdm.log.CountOf("SUPPORTED_PARAMETERS of 0x7FF000000101: answered ACK_OVERFLOW"),
              1u);
    EXPECT_TRUE(h.bench.Engine().SupportedPidList().empty());
    EXPECT_EQ(h.rdm.Requests(), 16u);
  }
}

TEST(ParameterOps, GuardedOperationsSendNothingForUnlistedParameters) {
  WorkbenchHarness h;
  h.bench.Operations().GetSupportedParameters(kRadio);  // the radio: no hours, no status
  auto requests = h.rdm.Requests();
  h.bench.Operations().GetStatusMessages(kRadio);
  h.bench.Operations().GetDeviceHours(kRadio);
  h.bench.Operations().GetLampHours(kRadio);
  EXPECT_EQ(h.rdm.Requests(), requests);
  EXPECT_EQ(h.bench.Panel().Edit5, "/");
  EXPECT_EQ(h.bench.Panel().Edit33, "/");
  EXPECT_EQ(h.bench.Panel().Edit34, "/");
}

TEST(ParameterOps, StatusMessagesShowTextColourOrAClearNone) {
  WorkbenchHarness h;
  h.bench.Operations().GetSupportedParameters(kSpot3);
  h.bench.Operations().GetStatusMessages(kSpot3);
  EXPECT_EQ(h.bench.Panel().Edit5, "Calibration 62 failed");
  EXPECT_EQ(h.bench.Panel().Edit5Colour, workbench::kOlive);

  h.bench.Operations().GetSupportedParameters(kHazer);
  h.bench.Operations().GetStatusMessages(kHazer);
  EXPECT_EQ(h.bench.Panel().Edit5, "Low Fluid");
  EXPECT_EQ(h.bench.Panel().Edit5Colour, workbench::kRed);

  h.bench.Operations().GetSupportedParameters(kSpot1);
  h.bench.Operations().GetStatusMessages(kSpot1);
  EXPECT_EQ(h.bench.Panel().Edit5, "No status messages");
  EXPECT_EQ(h.bench.Panel().Edit5Colour, workbench::kLime);

  EXPECT_EQ(rdm::StatusText(0x0021, 0, 0x0150), "Hot, 80 ");
  EXPECT_EQ(rdm::StatusText(0x0031, 2, 250), "Voltage of Phase2 to high, 250V");
  EXPECT_EQ(rdm::StatusText(0x0036, 3, 0), "Error of Phase 3");
  EXPECT_EQ(rdm::StatusText(0x0099, 0, 0), "/");
  EXPECT_EQ(workbench::StatusColour(0x01), workbench::kLime);
}

TEST(ParameterOps, PersonalityWithFootprintZeroIsListedNotStored) {
  virtualline::Rig rig;
  virtualline::Fixture f = virtualline::DefaultRig().fixtures[0];
  f.personalities = {{0, "Off"}, {8, "Eight"}};
  f.personality = 1;
  rig.fixtures.push_back(f);
  WorkbenchHarness h(rig);
  h.bench.Table().Records[0].Footprint = 5;
  h.bench.Operations().GetDeviceInfo(rdm::Uid(f.uid), 0);
  EXPECT_EQ(h.bench.Panel().ComboBoxMode.items,
            (std::vector<std::string>{"Mode 1(0ch)", "Mode 2(8ch)"}));
  EXPECT_EQ(h.bench.Table().Records[0].Footprint, 5);
  EXPECT_EQ(h.bench.Table().Records[0].PersonalityDescription, "");
}

TEST(ParameterOps, PersonalityIsSetByItsOwnNumberWhenADescriptionWentUnanswered) {
  WorkbenchHarness h;
  // DEVICE_INFO answers, the description of personality 2 is NACKed.
  PassThen(h, kSpot1, 2);
  Nack(h, kSpot1, 0x0006);
  h.bench.Operations().GetDeviceInfo(kSpot1, 0);
  auto& mode = h.bench.Panel().ComboBoxMode;
  ASSERT_EQ(mode.items, (std::vector<std::string>{"Mode 1(16ch)", "Mode 3(12ch)"}));
  mode.itemIndex = 1;
  h.bench.Operations().SetPersonality(kSpot1, mode.ChosenNumber());
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->personality, 3);
}

TEST(ParameterOps, SetStartAddressClampsAndRefusesText) {
  WorkbenchHarness h;
  h.bench.Operations().SetStartAddress(kSpot1, 0, 0);
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->startAddress, 1);
  h.bench.Operations().SetStartAddress(kSpot1, 600, 0);
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->startAddress, 512);
  h.bench.Operations().SetStartAddress(kSpot1, 100, 33);
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->startAddress, 133);
  auto requests = h.rdm.Requests();
  h.bench.Operations().SetStartAddress(kSpot1, std::nullopt, 0);
  EXPECT_EQ(h.rdm.Requests(), requests);
  EXPECT_EQ(h.rdm.log.CountOf("Setting start address of 0x7FF000000101"), 4u);
}

TEST(ParameterOps, ADeviceWithoutFootprintHasNoAddressToShow) {
  virtualline::Rig rig;
  virtualline::Fixture f = virtualline::DefaultRig().fixtures[11];  // the radio: footprint 0
  rig.fixtures.push_back(f);
  WorkbenchHarness h(rig);
  h.bench.Operations().GetDeviceInfo(rdm::Uid(f.uid), 0);
  EXPECT_EQ(h.bench.Panel().UpDown1, 0xFFFF) << "raw value before the limits";
  EXPECT_EQ(h.bench.Panel().EditAddr, "-") << "E1.20: 0xFFFF means no DMX footprint";
  EXPECT_EQ(h.bench.Table().Records[0].StartAddressIndex, workbench::kNoStartAddressIndex);
  EXPECT_EQ(workbench::StartAddressText(workbench::kNoStartAddressIndex, true), "-");
  EXPECT_EQ(workbench::StartAddressText(0, true), "001");
  EXPECT_EQ(workbench::StartAddressText(511, false), "512");
}

TEST(ParameterOps, LabelsAndTextsTravelBothWays) {
  WorkbenchHarness h;
  h.bench.Panel().Edit1 = std::string(40, 'L');
  h.bench.Operations().SetDeviceLabel(kSpot1, h.bench.Panel().Edit1);
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->label, std::string(32, 'L')) << "at most 32";
  // Eleven characters of three bytes each: cut after ten, never inside the eleventh.
  std::string lamps;
  for (int i = 0; i < 11; ++i) lamps += "灯";
  EXPECT_EQ(h.bench.Operations().SetDeviceLabel(kSpot1, lamps), lamps.substr(0, 30));
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->label, lamps.substr(0, 30));
  EXPECT_EQ(h.rdm.log.CountStartingWith("The label is longer than 32 bytes: "), 2u);
  h.bench.Operations().SetDeviceLabel(kSpot1, h.bench.Panel().Edit1);
  ASSERT_TRUE(h.bench.Operations().GetDeviceLabel(kSpot1));
  EXPECT_EQ(h.bench.Panel().Edit1, std::string(32, 'L'));

  h.bench.Operations().ReadDescriptions(0, kSpot1);
  EXPECT_EQ(h.bench.Panel().Edit2, "Northlight Works");
  EXPECT_EQ(h.bench.Table().Records[0].DeviceModelDescription, "Orbit 350 Spot");
  EXPECT_EQ(h.bench.Panel().Edit9, "1.2.3");

  // A silent device: the fields show "/".
  h.bench.Operations().ReadDescriptions(0, kNobody);
  EXPECT_EQ(h.bench.Panel().Edit2, "/");
  EXPECT_EQ(h.bench.Panel().Edit9, "/");
}

TEST(ParameterOps, ReadDeviceRunsThePanelSequence) {
  WorkbenchHarness h;
  WriteText(h.Path("devnames.lst"), "7FF000000103=Spot 3\r\n");
  h.bench.List().LoadDeviceTable(false);
  h.rdm.log.Clear();
  h.bench.Operations().ReadDevice(0);
  std::vector<std::string> ops;
  for (const auto& line : h.rdm.log.Lines()) {
    if (line.rfind("Get", 0) == 0) ops.push_back(line.substr(0, line.find(" of 0x")));
  }
  EXPECT_EQ(ops,
            (std::vector<std::string>{
                "Getting parameters", "Getting device info", "Getting dev PersonalityDescription",
                "Getting dev PersonalityDescription", "Getting dev PersonalityDescription",
                "Getting dev address", "Getting status", "Getting device name",
                "Getting manufacturer", "Getting Device Model", "Getting SoftwareVersionLabel",
                "Get pan inversion", "Get tilt inversion", "Get axis swap", "Getting dev hours",
                "Getting lamp hours", "Getting dev Identify"}));
}
