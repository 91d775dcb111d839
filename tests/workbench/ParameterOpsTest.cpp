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

workbench::DeviceReading Info(WorkbenchHarness& h, rdm::Uid uid) {
  workbench::DeviceReading r(uid);
  h.bench.Operations().GetDeviceInfo(r);
  return r;
}

}  // namespace

TEST(ParameterOps, DeviceInfoFillsTheReadingAndTheRecordOfItsUid) {
  WorkbenchHarness h;
  WriteText(h.Path("devnames.lst"), "7FF000000102=Spot 2\r\n7FF000000101=Spot 1\r\n");
  h.bench.List().LoadDeviceTable(false);
  const workbench::DeviceReading r = Info(h, kSpot1);
  ASSERT_TRUE(r.info);
  EXPECT_EQ(r.info->footprint, 16);
  EXPECT_EQ(r.startAddress, 1);
  EXPECT_EQ(r.personalityDescription, "Standard");
  EXPECT_EQ(r.personalities, (std::vector<std::pair<uint8_t, std::string>>{
                                 {1, "Mode 1(16ch)"}, {2, "Mode 2(22ch)"}, {3, "Mode 3(12ch)"}}));
  EXPECT_EQ(h.bench.Table().Devices[1].Footprint, 0) << "an operation writes into no model";
  h.bench.Devices().Apply(r);
  EXPECT_EQ(h.bench.Table().Devices[1].Footprint, 16) << "row 1 is Spot 1";
  EXPECT_EQ(h.bench.Table().Devices[1].PersonalityDescription, "Standard");
  EXPECT_EQ(h.bench.Table().Devices[0].Footprint, 0) << "Spot 2 untouched";
  workbench::DevicePanelModel panel;
  workbench::ShowReading(panel, r);
  EXPECT_EQ(panel.category, "Moving Head");
  EXPECT_EQ(panel.address, "1");
  EXPECT_EQ(panel.personalities.itemIndex, 0);
  EXPECT_EQ(h.rdm.log.CountOf("Getting dev PersonalityDescription of 0x7FF000000101"), 3u);
  EXPECT_EQ(h.rdm.log.CountOf("Getting dev address of 0x7FF000000101"), 1u);
}

TEST(ParameterOps, NackedAnswersGiveNothingAndNameTheReason) {
  WorkbenchHarness h;
  Nack(h, kSpot1, 0x0006);
  workbench::DeviceReading r(kSpot1);
  h.bench.Operations().GetStartAddress(r);
  EXPECT_FALSE(r.startAddress);
  EXPECT_EQ(h.rdm.log.CountOf(
                "DMX_START_ADDRESS of 0x7FF000000101: answered NACK_REASON NR_DATA_OUT_OF_RANGE"),
            1u);
  // A device whose DEVICE_INFO is refused is not asked for personalities on another device's
  // count: the reading starts empty for each device.
  Info(h, kSpot3);
  Nack(h, kSpot1, 0x0002);
  h.rdm.log.Clear();
  const workbench::DeviceReading refused = Info(h, kSpot1);
  EXPECT_EQ(
      h.rdm.log.CountOf("DEVICE_INFO of 0x7FF000000101: answered NACK_REASON NR_HARDWARE_FAULT"),
      1u);
  EXPECT_EQ(h.rdm.log.CountOf("Getting dev PersonalityDescription of 0x7FF000000101"), 0u);
  EXPECT_FALSE(refused.info);
  EXPECT_TRUE(refused.personalities.empty());

  Fault timer;
  timer.kind = FaultKind::AckTimer;
  timer.count = 1;
  h.rdm.line.InjectFault(kSpot1.Value(), timer);
  workbench::DeviceReading label(kSpot1);
  h.bench.Operations().GetDeviceLabel(label);
  EXPECT_FALSE(label.label) << "an ACK_TIMER is not decoded either";
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

  workbench::DeviceReading r(rdm::Uid(f.uid));
  h.bench.Operations().GetSupportedParameters(r);
  EXPECT_EQ(h.bench.Engine().SupportedPidList().size(), 30u);
  workbench::DevicePanelModel panel;
  workbench::ShowReading(panel, r);
  EXPECT_EQ(panel.supportedParameters.items.size(), 30u);
  EXPECT_EQ(panel.supportedParameters.items[0], "0x0120_E120_SLOT_INFO");
  EXPECT_EQ(panel.supportedParameters.items[3], "0x0123");
  EXPECT_EQ(panel.supportedParameters.itemIndex, 0);

  h.bench.Operations().GetDeviceHours(r);
  h.bench.Operations().GetLampHours(r);
  h.bench.Operations().GetInversions(r);
  workbench::ShowReading(panel, r);
  EXPECT_EQ(panel.deviceHours, std::to_string(static_cast<int32_t>(0x80000005u)));
  EXPECT_EQ(panel.lampHours, "77");
  EXPECT_EQ(r.panInvert, true);
  EXPECT_EQ(r.tiltInvert, true);
  EXPECT_FALSE(r.panTiltSwap) << "swap not listed: not asked";
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
    workbench::DeviceReading r(rdm::Uid(f.uid));
    h.bench.Operations().GetSupportedParameters(r);
    const auto pids = h.bench.Engine().SupportedPidList();
    ASSERT_EQ(pids.size(), 141u);
    EXPECT_EQ(pids[0], 0x8000);
    EXPECT_EQ(pids[139], 0x808B);
    EXPECT_EQ(pids[140], 0x00E0);
    EXPECT_EQ(r.supported, pids);
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
    workbench::DeviceReading r(rdm::Uid(f.uid));
    h.bench.Operations().GetSupportedParameters(r);
    EXPECT_TRUE(h.bench.Engine().SupportedPidList().empty());
    EXPECT_FALSE(r.supported);
  }
  {
    // A device that never stops overflowing is cut off, and the log says so.
    rig.fixtures[0].overflowAfter = 2;
    WorkbenchHarness h(rig);
    workbench::DeviceReading r(rdm::Uid(f.uid));
    h.bench.Operations().GetSupportedParameters(r);
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
  workbench::DeviceReading r(kRadio);
  h.bench.Operations().GetSupportedParameters(r);  // the radio: no hours, no status
  auto requests = h.rdm.Requests();
  h.bench.Operations().GetStatusMessages(r);
  h.bench.Operations().GetDeviceHours(r);
  h.bench.Operations().GetLampHours(r);
  EXPECT_EQ(h.rdm.Requests(), requests);
  workbench::DevicePanelModel panel;
  workbench::ShowReading(panel, r);
  EXPECT_EQ(panel.status, "/");
  EXPECT_EQ(panel.deviceHours, "/");
  EXPECT_EQ(panel.lampHours, "/");
}

TEST(ParameterOps, StatusMessagesShowTextColourOrAClearNone) {
  WorkbenchHarness h;
  const std::tuple<rdm::Uid, const char*, workbench::Rgb> cases[] = {
      {kSpot3, "Calibration 62 failed", workbench::kOlive},
      {kHazer, "Low Fluid", workbench::kRed},
      {kSpot1, "No status messages", workbench::kLime}};
  for (const auto& [uid, text, colour] : cases) {
    workbench::DeviceReading r(uid);
    h.bench.Operations().GetSupportedParameters(r);
    h.bench.Operations().GetStatusMessages(r);
    EXPECT_EQ(r.status, text);
    EXPECT_EQ(r.statusColour, colour) << text;
  }
  // Two messages of nine bytes (sub-device, type, message ID, two data values), by hand.
  const std::vector<uint8_t> two{0x00, 0x00, 0x02, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00,
                                 0x00, 0x00, 0x04, 0x00, 0x01, 0x00, 0x03, 0x00, 0x00};
  const auto messages = rdm::DecodeStatusMessages(two);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(rdm::StatusText(messages[1].id, messages[1].data1, messages[1].data2),
            "Calibration 3 failed");
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
  h.bench.Table().Devices.push_back(DeviceOf(rdm::Uid(f.uid), 5));
  const workbench::DeviceReading r = Info(h, rdm::Uid(f.uid));
  h.bench.Devices().Apply(r);
  EXPECT_EQ(r.personalities.size(), 2u);
  EXPECT_EQ(r.personalities[0].second, "Mode 1(0ch)");
  EXPECT_EQ(h.bench.Table().Devices[0].Footprint, 5);
  EXPECT_EQ(h.bench.Table().Devices[0].PersonalityDescription, "");
}

TEST(ParameterOps, PersonalityIsSetByItsOwnNumberWhenADescriptionWentUnanswered) {
  WorkbenchHarness h;
  // DEVICE_INFO answers, the description of personality 2 is NACKed.
  PassThen(h, kSpot1, 2);
  Nack(h, kSpot1, 0x0006);
  workbench::DevicePanelModel panel;
  workbench::ShowReading(panel, Info(h, kSpot1));
  auto& mode = panel.personalities;
  ASSERT_EQ(mode.items, (std::vector<std::string>{"Mode 1(16ch)", "Mode 3(12ch)"}));
  mode.itemIndex = 1;
  h.bench.Operations().SetPersonality(kSpot1, mode.ChosenNumber());
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->personality, 3);
}

TEST(ParameterOps, OneStartAddressRuleAndNothingSentWithoutOne) {
  const std::pair<int64_t, uint16_t> rule[] = {{-5, 1}, {0, 1}, {1, 1}, {133, 133}, {600, 512}};
  for (const auto& [typed, sent] : rule) EXPECT_EQ(workbench::StartAddressToSend(typed), sent);
  WorkbenchHarness h;
  h.bench.Operations().SetStartAddress(kSpot1, 133);
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->startAddress, 133);
  auto requests = h.rdm.Requests();
  h.bench.Operations().SetStartAddress(kSpot1, std::nullopt);
  EXPECT_EQ(h.rdm.Requests(), requests);
  EXPECT_EQ(h.rdm.log.CountOf("Setting start address of 0x7FF000000101"), 2u);
}

TEST(ParameterOps, ADeviceWithoutFootprintHasNoAddressToShow) {
  virtualline::Rig rig;
  virtualline::Fixture f = virtualline::DefaultRig().fixtures[11];  // the radio: footprint 0
  rig.fixtures.push_back(f);
  WorkbenchHarness h(rig);
  h.bench.Table().Devices.push_back(DeviceOf(rdm::Uid(f.uid)));
  const workbench::DeviceReading r = Info(h, rdm::Uid(f.uid));
  h.bench.Devices().Apply(r);
  workbench::DevicePanelModel panel;
  workbench::ShowReading(panel, r);
  EXPECT_EQ(panel.addressArrows, 0xFFFF) << "raw value before the limits";
  EXPECT_EQ(panel.address, "-") << "E1.20: 0xFFFF means no DMX footprint";
  EXPECT_EQ(h.bench.Table().Devices[0].StartAddressIndex, workbench::kNoStartAddressIndex);
  EXPECT_EQ(workbench::StartAddressText(workbench::kNoStartAddressIndex, true), "-");
  EXPECT_EQ(workbench::StartAddressText(0, true), "001");
  EXPECT_EQ(workbench::StartAddressText(511, false), "512");
}

TEST(ParameterOps, LabelsAndTextsTravelBothWays) {
  WorkbenchHarness h;
  const std::string longLabel(40, 'L');
  h.bench.Operations().SetDeviceLabel(kSpot1, longLabel);
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->label, std::string(32, 'L')) << "at most 32";
  // Eleven characters of three bytes each: cut after ten, never inside the eleventh.
  std::string lamps;
  for (int i = 0; i < 11; ++i) lamps += "灯";
  EXPECT_EQ(h.bench.Operations().SetDeviceLabel(kSpot1, lamps), lamps.substr(0, 30));
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->label, lamps.substr(0, 30));
  EXPECT_EQ(h.rdm.log.CountStartingWith("The label is longer than 32 bytes: "), 2u);
  h.bench.Operations().SetDeviceLabel(kSpot1, longLabel);
  workbench::DeviceReading r(kSpot1);
  h.bench.Operations().GetDeviceLabel(r);
  EXPECT_EQ(r.label, std::string(32, 'L'));

  h.bench.Operations().ReadDescriptions(r);
  EXPECT_EQ(r.manufacturer, "Northlight Works");
  EXPECT_EQ(r.model, "Orbit 350 Spot");
  EXPECT_EQ(r.software, "1.2.3");

  // A silent device: the record and the panel show "/".
  h.bench.Table().Devices.push_back(DeviceOf(kNobody, 0, "old"));
  workbench::DeviceReading silent(kNobody);
  h.bench.Operations().ReadDescriptions(silent);
  h.bench.Devices().Apply(silent);
  EXPECT_EQ(h.bench.Table().Devices[0].DeviceModelDescription, "/");
  EXPECT_EQ(h.bench.Table().Devices[0].SoftwareVersionLabel, "/");
  workbench::DevicePanelModel panel;
  workbench::ShowReading(panel, silent);
  EXPECT_EQ(panel.manufacturer, "/");
  EXPECT_EQ(panel.software, "/");
  EXPECT_EQ(panel.label, "") << "never the label of the device shown before";
}

TEST(ParameterOps, ReadDeviceRunsThePanelSequence) {
  WorkbenchHarness h;
  h.bench.Operations().ReadDevice(kSpot3);
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
