#include <gtest/gtest.h>

#include "WorkbenchHarness.h"

using namespace velquor;
using namespace velquor::testsupport;
using virtualline::FaultKind;
using Ops = workbench::DeviceOperations;

namespace {

constexpr rdm::Uid kHazer{0x7FF300000401ULL};

void Inject(WorkbenchHarness& h, rdm::Uid uid, FaultKind kind, int count = 1, uint16_t nack = 0) {
  h.rdm.line.InjectFault(uid.Value(), {.kind = kind, .count = count, .nackReason = nack});
}

// What the operations `gets`, run in turn, read of `uid`.
template <class... Gets>
workbench::DeviceReading Ask(WorkbenchHarness& h, rdm::Uid uid, Gets... gets) {
  workbench::DeviceReading r(uid);
  (..., (h.bench.Operations().*gets)(r));
  return r;
}

workbench::DevicePanelModel Shown(const workbench::DeviceReading& r) {
  workbench::DevicePanelModel panel;
  workbench::ShowReading(panel, r);
  return panel;
}

}  // namespace

TEST(ParameterOps, DeviceInfoFillsTheRecordOfItsUidWithOneStartAddressRule) {
  WorkbenchHarness h;
  h.LoadList("7FF000000102=Spot 2\r\n7FF000000101=Spot 1\r\n");
  const workbench::DeviceReading r = Ask(h, kSpot1, &Ops::GetDeviceInfo);
  ASSERT_TRUE(r.info);
  EXPECT_EQ(std::tuple(r.info->footprint, r.startAddress, r.personalityDescription),
            std::tuple(16, 1, "Standard"));
  EXPECT_EQ(r.personalities, (std::vector<std::pair<uint8_t, std::string>>{
                                 {1, "Mode 1(16ch)"}, {2, "Mode 2(22ch)"}, {3, "Mode 3(12ch)"}}));
  const auto& devices = h.bench.Table().Devices;
  EXPECT_EQ(devices[1].Footprint, 0) << "an operation writes into no model";
  h.bench.Devices().Apply(r);
  EXPECT_EQ(
      std::tuple(devices[1].Footprint, devices[1].PersonalityDescription, devices[0].Footprint),
      std::tuple(16, "Standard", 0))
      << "row 1 is Spot 1; Spot 2 untouched";
  const auto panel = Shown(r);
  EXPECT_EQ(std::tuple(panel.category, panel.address, panel.personalities.itemIndex),
            std::tuple("Moving Head", "1", 0));

  // One start address rule, and no address without a footprint.
  const std::pair<int64_t, uint16_t> rule[] = {{-5, 1}, {0, 1}, {1, 1}, {133, 133}, {600, 512}};
  for (const auto& [typed, sent] : rule) EXPECT_EQ(workbench::StartAddressToSend(typed), sent);
  EXPECT_EQ(
      std::tuple(workbench::StartAddressText(workbench::kNoStartAddressIndex, true),
                 workbench::StartAddressText(0, true), workbench::StartAddressText(511, false)),
      std::tuple("-", "001", "512"));
  h.bench.Operations().SetStartAddress(kSpot1, 133);
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->startAddress, 133);
  const auto requests = h.rdm.Requests();
  h.bench.Operations().SetStartAddress(kSpot1, std::nullopt);
  EXPECT_EQ(h.rdm.Requests(), requests) << "nothing sent without an address";
  // The radio has no footprint: 0xFFFF, shown as no address.
  h.bench.Table().Devices.push_back(DeviceOf(kRadio));
  const workbench::DeviceReading radio = Ask(h, kRadio, &Ops::GetDeviceInfo);
  h.bench.Devices().Apply(radio);
  const auto radioPanel = Shown(radio);
  EXPECT_EQ(std::tuple(radioPanel.addressArrows, radioPanel.address), std::tuple(0xFFFF, "-"));
  EXPECT_EQ(h.bench.Table().Devices[2].StartAddressIndex, workbench::kNoStartAddressIndex);
}

TEST(ParameterOps, NackedAnswersGiveNothingAndLabelsAndTextsTravelBothWays) {
  WorkbenchHarness h;
  auto answered = [&](const std::string& pid, const std::string& how) {
    return h.rdm.log.CountOf(pid + " of 0x7FF000000101: answered " + how);
  };
  Inject(h, kSpot1, FaultKind::Nack, 1, 0x0006);
  EXPECT_FALSE(Ask(h, kSpot1, &Ops::GetStartAddress).startAddress);
  EXPECT_EQ(answered("DMX_START_ADDRESS", "NACK_REASON NR_DATA_OUT_OF_RANGE"), 1u);
  // A device whose DEVICE_INFO is refused is not asked for personalities on another device's
  // count: the reading starts empty for each device.
  Ask(h, kSpot3, &Ops::GetDeviceInfo);
  Inject(h, kSpot1, FaultKind::Nack, 1, 0x0002);
  h.rdm.log.Clear();
  const workbench::DeviceReading refused = Ask(h, kSpot1, &Ops::GetDeviceInfo);
  EXPECT_EQ(answered("DEVICE_INFO", "NACK_REASON NR_HARDWARE_FAULT"), 1u);
  EXPECT_TRUE(!refused.info && refused.personalities.empty());

  Inject(h, kSpot1, FaultKind::AckTimer);
  EXPECT_FALSE(Ask(h, kSpot1, &Ops::GetDeviceLabel).label) << "an ACK_TIMER is not decoded";
  EXPECT_EQ(answered("DEVICE_LABEL", "ACK_TIMER"), 1u);

  // Labels and texts travel both ways, cut where a device would cut them.
  const std::string longLabel(40, 'L');
  h.bench.Operations().SetDeviceLabel(kSpot1, longLabel);
  EXPECT_EQ(h.rdm.line.FixtureState(kSpot1.Value())->label, std::string(32, 'L')) << "at most 32";
  // Eleven characters of three bytes each: cut after ten, never inside the eleventh.
  std::string lamps;
  for (int i = 0; i < 11; ++i) lamps += "灯";
  EXPECT_EQ(h.bench.Operations().SetDeviceLabel(kSpot1, lamps), lamps.substr(0, 30));
  EXPECT_EQ(h.rdm.Fixture(kSpot1).label, lamps.substr(0, 30));
  EXPECT_EQ(h.rdm.log.CountStartingWith("The label is longer than 32 bytes: "), 2u);
  h.bench.Operations().SetDeviceLabel(kSpot1, longLabel);
  const auto r = Ask(h, kSpot1, &Ops::GetDeviceLabel, &Ops::ReadDescriptions);
  EXPECT_EQ(std::tuple(r.label, r.manufacturer, r.model, r.software),
            std::tuple(std::string(32, 'L'), "Northlight Works", "Orbit 350 Spot", "1.2.3"));

  // A silent device: the record and the panel show "/".
  h.bench.Table().Devices.push_back(DeviceOf(kNobody, 0, "old"));
  const auto silent = Ask(h, kNobody, &Ops::ReadDescriptions);
  h.bench.Devices().Apply(silent);
  const auto& record = h.bench.Table().Devices[0];
  const auto panel = Shown(silent);
  EXPECT_EQ(std::tuple(record.DeviceModelDescription, record.SoftwareVersionLabel,
                       panel.manufacturer, panel.software, panel.label),
            std::tuple("/", "/", "/", "/", ""))
      << "never a label the device did not give";
}

TEST(ParameterOps, AllSupportedParametersAreKeptAndUsed) {
  WorkbenchHarness h(OneFixtureRig(0, [](virtualline::Fixture& f) {
    f.supportedPids.clear();
    for (uint16_t p = 0x0120; f.supportedPids.size() < 26; ++p) f.supportedPids.push_back(p);
    for (uint16_t p : {0x0400, 0x0401, 0x0600, 0x0601}) f.supportedPids.push_back(p);
    f.panInvert = f.tiltInvert = true;
    f.deviceHours = 0x80000005u;
    f.lampHours = 77;
  }));
  const auto r = Ask(h, kSpot1, &Ops::GetSupportedParameters, &Ops::GetDeviceHours,
                     &Ops::GetLampHours, &Ops::GetInversions);
  const auto panel = Shown(r);
  const auto& listed = panel.supportedParameters;
  ASSERT_EQ(listed.items.size(), 30u);
  EXPECT_EQ(std::tuple(listed.items[0], listed.items[3], listed.itemIndex),
            std::tuple("0x0120_E120_SLOT_INFO", "0x0123", 0));
  EXPECT_EQ(std::tuple(panel.deviceHours, panel.lampHours, r.panInvert, r.tiltInvert),
            std::tuple(std::to_string(static_cast<int32_t>(0x80000005u)), "77", true, true));
  EXPECT_FALSE(r.panTiltSwap) << "swap not listed: not asked";
  EXPECT_EQ(h.rdm.log.CountStartingWith("Get axis swap"), 0u);
}

TEST(ParameterOps, AnswersInPiecesAreJoinedUpToTheBound) {
  // 141 parameters, 40 bytes an answer: 282 bytes in eight pieces, the last one of 2 bytes.
  auto rig = [](uint8_t overflowAfter) {
    return OneFixtureRig(0, [&](virtualline::Fixture& f) {
      f.supportedPids.clear();
      for (uint16_t p = 0x8000; f.supportedPids.size() < 140; ++p) f.supportedPids.push_back(p);
      f.supportedPids.push_back(0x00E0);  // DMX_PERSONALITY, last of all
      f.overflowAfter = overflowAfter;
    });
  };
  WorkbenchHarness h(rig(40));
  const workbench::DeviceReading r = Ask(h, kSpot1, &Ops::GetSupportedParameters);
  const auto pids = r.supported.value_or(std::vector<uint16_t>{});
  ASSERT_EQ(pids.size(), 141u);
  EXPECT_EQ(std::tuple(pids[0], pids[139], pids[140]), std::tuple(0x8000, 0x808B, 0x00E0));
  EXPECT_EQ(h.rdm.Requests(), 8u) << "one request for each piece";

  // A piece that does not arrive loses the answer: nothing half-read is shown.
  WorkbenchHarness lost(rig(40));
  Inject(lost, kSpot1, FaultKind::None, 2);
  Inject(lost, kSpot1, FaultKind::NoAnswer, -1);
  EXPECT_FALSE(Ask(lost, kSpot1, &Ops::GetSupportedParameters).supported);

  // A device that never stops overflowing is cut off, and the log says so.
  WorkbenchHarness endless(rig(2));
  EXPECT_FALSE(Ask(endless, kSpot1, &Ops::GetSupportedParameters).supported);
  EXPECT_EQ(endless.rdm.log.CountOf("SUPPORTED_PARAMETERS of 0x7FF000000101: still ACK_OVERFLOW "
                                    "after 16 answers; the rest is not read"),
            1u);
  EXPECT_EQ(endless.rdm.Requests(), 16u);
}

TEST(ParameterOps, StatusMessagesShowTextColourOrAClearNone) {
  WorkbenchHarness h;
  const std::tuple<rdm::Uid, const char*, workbench::Rgb> cases[] = {
      {kSpot3, "Calibration 62 failed", workbench::kOlive},
      {kHazer, "Low Fluid", workbench::kRed},
      {kSpot1, "No status messages", workbench::kLime}};
  for (const auto& [uid, text, colour] : cases) {
    const auto r = Ask(h, uid, &Ops::GetSupportedParameters, &Ops::GetStatusMessages);
    EXPECT_EQ(std::tuple(r.status, r.statusColour), std::tuple(text, colour));
  }
  // Two messages of nine bytes (sub-device, type, message ID, two data values), by hand.
  const std::vector<uint8_t> two{0x00, 0x00, 0x02, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00,
                                 0x00, 0x00, 0x04, 0x00, 0x01, 0x00, 0x03, 0x00, 0x00};
  const auto messages = rdm::DecodeStatusMessages(two);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(rdm::StatusText(messages[1].id, messages[1].data1, messages[1].data2),
            "Calibration 3 failed");
  EXPECT_EQ(std::tuple(rdm::StatusText(0x0021, 0, 0x0150), rdm::StatusText(0x0031, 2, 250),
                       rdm::StatusText(0x0036, 3, 0), rdm::StatusText(0x0099, 0, 0)),
            std::tuple("Hot, 80 ", "Voltage of Phase2 to high, 250V", "Error of Phase 3", "/"));
  EXPECT_EQ(workbench::StatusColour(0x01), workbench::kLime);
}

TEST(ParameterOps, PersonalitiesOfFootprintZeroOrUnansweredAreHandledByNumber) {
  // A personality of footprint 0 is listed but not stored.
  WorkbenchHarness h(OneFixtureRig(0, [](virtualline::Fixture& f) {
    f.personalities = {{0, "Off"}, {8, "Eight"}};
    f.personality = 1;
  }));
  h.bench.Table().Devices.push_back(DeviceOf(kSpot1, 5));
  const workbench::DeviceReading r = Ask(h, kSpot1, &Ops::GetDeviceInfo);
  h.bench.Devices().Apply(r);
  ASSERT_EQ(r.personalities.size(), 2u);
  EXPECT_EQ(r.personalities[0].second, "Mode 1(0ch)");
  const auto& record = h.bench.Table().Devices[0];
  EXPECT_EQ(std::tuple(record.Footprint, record.PersonalityDescription), std::tuple(5, ""));

  // DEVICE_INFO answers, the description of personality 2 is NACKed: the choice sets 3.
  WorkbenchHarness spot;
  Inject(spot, kSpot1, FaultKind::None, 2);
  Inject(spot, kSpot1, FaultKind::Nack, 1, 0x0006);
  auto mode = Shown(Ask(spot, kSpot1, &Ops::GetDeviceInfo)).personalities;
  ASSERT_EQ(mode.items, (std::vector<std::string>{"Mode 1(16ch)", "Mode 3(12ch)"}));
  mode.itemIndex = 1;
  spot.bench.Operations().SetPersonality(kSpot1, mode.ChosenNumber());
  EXPECT_EQ(spot.rdm.line.FixtureState(kSpot1.Value())->personality, 3);
}

// The panel's read asks in a fixed order, and only what the fixture lists beside E1.20's
// required parameters; a fixture that lists nothing is asked what a read always asked.
TEST(ParameterOps, ReadDeviceAsksInOrderWhatTheFixtureSupports) {
  using Ops = std::vector<std::string>;
  // The parameters, then device info and its three personalities' descriptions, then `tail`.
  auto described = [](Ops tail) {
    tail.insert(tail.begin(),
                {"Getting parameters", "Getting device info", "Getting dev PersonalityDescription",
                 "Getting dev PersonalityDescription", "Getting dev PersonalityDescription",
                 "Getting dev address"});
    return tail;
  };
  auto listing = [](std::vector<uint16_t> pids, uint8_t footprint = 16) {
    return OneFixtureRig(0, [=](virtualline::Fixture& f) {
      f.supportedPids = pids;
      for (auto& p : f.personalities) p.footprint = footprint;
    });
  };
  namespace pid = rdm::pid;
  // Each: the rig (Spot 1 alone), whether SUPPORTED_PARAMETERS is NACKed, what is asked.
  const std::tuple<const char*, virtualline::Rig, bool, Ops> cases[] = {
      {"lists everything", OneFixtureRig(0), false,
       described({"Getting status", "Getting device name", "Getting manufacturer",
                  "Getting Device Model", "Getting SoftwareVersionLabel", "Get pan inversion",
                  "Get tilt inversion", "Get axis swap", "Getting dev hours", "Getting lamp hours",
                  "Getting dev Identify"})},
      {"lists the label and the tilt",
       listing({pid::DEVICE_LABEL, pid::TILT_INVERT}),
       false,
       {"Getting parameters", "Getting device info", "Getting dev address", "Getting device name",
        "Getting SoftwareVersionLabel", "Get tilt inversion", "Getting dev Identify"}},
      {"no footprint, lists nothing",
       listing({}, 0),
       false,
       {"Getting parameters", "Getting device info", "Getting SoftwareVersionLabel",
        "Getting dev Identify"}},
      {"refuses to list", OneFixtureRig(0), true,
       described({"Getting device name", "Getting manufacturer", "Getting Device Model",
                  "Getting SoftwareVersionLabel", "Getting dev Identify"})},
  };
  for (const auto& [what, rig, refuses, expected] : cases) {
    WorkbenchHarness h(rig);
    if (refuses) Inject(h, kSpot1, FaultKind::Nack, 1, 0x0000);
    h.bench.Operations().ReadDevice(kSpot1);
    Ops asked;
    for (const auto& line : h.rdm.log.Lines()) {
      if (line.rfind("Get", 0) == 0) asked.push_back(line.substr(0, line.find(" of 0x")));
    }
    EXPECT_EQ(asked, expected) << what;
    EXPECT_EQ(h.rdm.Requests(), expected.size()) << what << ": one exchange for each";
  }
}
