#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "FakeTransport.h"
#include "WorkbenchHarness.h"
#include "common/Text.h"

using namespace velquor;
using namespace velquor::testsupport;
using virtualline::CollisionMode;
using virtualline::DiscoveryFault;
using virtualline::UidLayout;
constexpr auto kFull = workbench::Discovery::Mode::Full;

namespace {

std::vector<uint64_t> Sorted(std::vector<uint64_t> v) {
  std::sort(v.begin(), v.end());
  return v;
}

long LinesIn(const std::string& text) {
  return std::count(text.begin(), text.end(), '\n');
}

// Every fixture of `rig` listed once, each row with its own UID and label, the file saved.
void ExpectWholeRigFound(WorkbenchHarness& h, const virtualline::Rig& rig) {
  std::vector<uint64_t> expected;
  for (const auto& f : rig.fixtures) expected.push_back(f.uid);
  EXPECT_EQ(Sorted(h.TableUids()), Sorted(expected));  // no phantom, none twice
  const auto view = h.bench.View();
  ASSERT_EQ(view.rows.size(), expected.size());
  const std::string file = h.ListFile();
  EXPECT_EQ(LinesIn(file), static_cast<long>(expected.size()));
  for (size_t row = 0; row < view.rows.size(); ++row) {
    const rdm::Uid uid = h.bench.Table().Devices[row].Uid;
    const std::string label = h.rdm.Fixture(uid).label;
    EXPECT_EQ(std::tuple(view.rows[row][1], view.rows[row][4]),
              std::tuple("0x" + rdm::UidText12(uid), label));
    EXPECT_NE(file.find(rdm::UidText(uid) + "=" + label + "\r\n"), std::string::npos);
    EXPECT_TRUE(*h.rdm.line.IsMuted(uid.Value()));
  }
}

}  // namespace

TEST(Discovery, AnEmptyLineEndsAfterThreeSilentPassesSavesNothingAndTestModeRepeats) {
  WorkbenchHarness h(virtualline::Rig{});
  h.bench.Discover().Run(kFull);
  EXPECT_EQ(h.bench.Table().Count(), 0);
  EXPECT_EQ(h.rdm.log.CountOf("Discovery finished."), 1u);
  // The un-mute (two exchanges) and three full-range branch requests.
  EXPECT_EQ(h.rdm.Requests(), 2u + 3u);
  EXPECT_FALSE(common::FileExists(h.Path("devnames.lst")));

  // The test mode's timer repeats discovery at the typed interval; an unreadable one is 3 s.
  for (auto [typed, delay] : {std::pair{"5000", 5100}, {"soon", 3100}}) {
    h.bench.Discover().testInterval = typed;
    EXPECT_EQ(h.bench.Discover().TestModeDelay(), delay) << typed;
  }
}

TEST(Discovery, EveryFixtureFoundOnEveryKindOfOverlap) {
  const std::pair<CollisionMode, const char*> modes[] = {
      {CollisionMode::Or, "or"}, {CollisionMode::And, "and"}, {CollisionMode::Garbled, "garbled"}};
  for (const auto& [mode, modeName] : modes) {
    // How many UIDs and where is the search's own to test; here, the codec and the line under
    // it: 128 neighbours, the default rig and six of its fixtures (spots, pars, a dimmer, the
    // hazer).
    virtualline::Rig all = virtualline::DefaultRig(), six;
    for (size_t i : {0u, 1u, 4u, 5u, 8u, 10u}) six.fixtures.push_back(all.fixtures[i]);
    all.collisions = six.collisions = mode;
    // A box whose relay wanders between 1 and 13 ms, and one fixture far slower than E1.20
    // allows: the learned wait misses them at times, the full time-out does not.
    virtualline::Rig wandering = virtualline::GenerateRig(32, UidLayout::Neighbouring, mode);
    wandering.relay = {1, 12};
    virtualline::Rig laggard = virtualline::GenerateRig(16, UidLayout::Scattered, mode);
    laggard.fixtures[5].turnaroundMs = 15;
    const std::pair<std::string, virtualline::Rig> rigs[] = {
        {"128 neighbours", virtualline::GenerateRig(128, UidLayout::Neighbouring, mode)},
        {"6 of mixed kinds", six},
        {"default rig", all},
        {"32 neighbours, relay 1 to 13 ms", wandering},
        {"16 scattered, one answering in 15 ms", laggard}};
    for (const auto& [name, rig] : rigs) {
      WorkbenchHarness h(rig);
      h.bench.Discover().Run(kFull);
      SCOPED_TRACE(name + ", " + modeName);
      ExpectWholeRigFound(h, rig);
    }
  }
}

TEST(Discovery, MisbehavingFixturesAreNamedAndTheOthersFound) {
  // The fault, what the log says after the UID, whether the fixture is added. Where the
  // fixtures sit and how many misbehave at once is the search's own to test; here, that the
  // line plays each fault as a fixture would, at both ends of the range (one that answers
  // every branch in the middle: two of them drown each other out).
  const std::tuple<DiscoveryFault, std::string, bool> cases[] = {
      {DiscoveryFault::IgnoreMute, " answers discovery but does not acknowledge mute", false},
      {DiscoveryFault::FlakyMute, " acknowledged the mute only when asked again", true},
      {DiscoveryFault::AnyRange, " answers discovery branches that do not hold it", true},
      {DiscoveryFault::OtherUid, " answers discovery as 0x7E", false},
      {DiscoveryFault::AnswersWhenMuted, " keeps answering discovery after it was muted", true},
  };
  for (const auto& [fault, named, added] : cases) {
    virtualline::Rig rig = virtualline::DefaultRig();
    std::ranges::sort(rig.fixtures, {}, &virtualline::Fixture::uid);
    for (size_t i :
         fault == DiscoveryFault::AnyRange ? std::vector<size_t>{6} : std::vector<size_t>{0, 11}) {
      rig.fixtures[i].discoveryFault = fault;
      rig.fixtures[i].discoveryUid = 0x7E0000000001ULL + i;
    }
    std::vector<uint64_t> good, misbehaving;
    for (const auto& f : rig.fixtures)
      (f.discoveryFault == fault ? misbehaving : good).push_back(f.uid);
    WorkbenchHarness h(rig);
    h.bench.Discover().Run(kFull);
    if (added) good.insert(good.end(), misbehaving.begin(), misbehaving.end());
    EXPECT_EQ(Sorted(h.TableUids()), Sorted(good)) << named;
    for (uint64_t u : misbehaving) {
      EXPECT_EQ(h.rdm.log.CountStartingWith("0x" + rdm::UidText(rdm::Uid(u)) + named), 1u) << named;
    }
  }
}

TEST(Discovery, StopKeepsWhatWasFoundInTheTableAndTheFile) {
  WorkbenchHarness h(virtualline::GenerateRig(8, UidLayout::Neighbouring));
  std::string fileWhileRunning;
  h.onProgress = [&](const workbench::DiscoveryStatus&) {
    if (h.bench.Table().Count() == 2 && fileWhileRunning.empty()) {
      fileWhileRunning = h.ListFile();  // what a killed program leaves
    }
    if (h.bench.Table().Count() == 3) h.bench.Flags().stopRequested = true;  // SpeedButton6
  };
  h.bench.Run([&] { h.bench.Discover().Run(kFull); });
  EXPECT_EQ(std::tuple(LinesIn(fileWhileRunning), h.bench.Table().Count()), std::tuple(2L, 3));
  EXPECT_EQ(h.rdm.log.CountOf("Discovery stopped: 3 found"), 1u);
  const std::string file = h.ListFile();
  EXPECT_EQ(LinesIn(file), 3);
  EXPECT_NE(file.find(rdm::UidText(rdm::Uid(h.TableUids()[2])) + "="), std::string::npos);
}

TEST(Discovery, MoreFixturesThanTheTableHoldsEndWithTheTableFull) {
  WorkbenchHarness h(virtualline::GenerateRig(600, UidLayout::Neighbouring));
  h.bench.Discover().Run(kFull);
  EXPECT_EQ(h.bench.Table().Count(), workbench::MaxDevices);
  EXPECT_EQ(h.rdm.log.CountStartingWith("The device table is full (530 devices): 0x"), 70u);
  const auto uids = h.TableUids();
  EXPECT_EQ(std::set<uint64_t>(uids.begin(), uids.end()).size(), 530u);
}

TEST(Discovery, ProgressIsReportedWhileItRunsAndWhenItEnds) {
  WorkbenchHarness h(virtualline::GenerateRig(4, UidLayout::Neighbouring));
  std::vector<workbench::DiscoveryStatus> seen;
  h.onProgress = [&](const workbench::DiscoveryStatus& s) { seen.push_back(s); };
  h.bench.Discover().Run(kFull);
  ASSERT_GT(seen.size(), 10u);
  EXPECT_EQ(
      std::tuple(seen.front().running, seen.front().found, seen.back().running, seen.back().found),
      std::tuple(true, 0u, false, 4u));
  EXPECT_GT(seen.back().seconds, 0.5) << "50 ms for each silent branch on the manual clock";
  EXPECT_TRUE(std::ranges::is_sorted(seen, {}, &workbench::DiscoveryStatus::found));
  EXPECT_TRUE(std::ranges::is_sorted(seen, {}, &workbench::DiscoveryStatus::branches));
  EXPECT_EQ(workbench::DiscoveryStatusText({true, 5, 120, 3.25}, true),
            "正在搜索: 已找到 5 个设备, 已询问 120 个分支, 3.2 秒");
}

TEST(Discovery, ASecondFullRunKeepsTheListAndIncrementalRunsAddOnlyWhatIsNew) {
  WorkbenchHarness h(virtualline::GenerateRig(4));
  h.bench.Discover().Run(kFull);
  const auto first = h.TableUids();
  h.rdm.log.Clear();
  h.bench.Discover().Run(kFull);
  EXPECT_EQ(h.TableUids(), first) << "known devices in their order, without searching";
  EXPECT_EQ(h.rdm.log.CountStartingWith("----------ADD device----------: "), 4u);
  EXPECT_EQ(h.rdm.log.CountOf("Collision detected ..."), 0u);

  // One device lost its mute (power cycle) and was renamed at the fixture.
  const rdm::Uid renamed = h.bench.Table().Devices[1].Uid;
  const std::string label = "Renamed";
  h.rdm.Set(renamed, rdm::pid::DEVICE_LABEL, {label.begin(), label.end()});
  h.rdm.engine.RdmTransact({rdm::DISCOVERY_COMMAND, rdm::pid::DISC_UN_MUTE, {}}, renamed, true);
  h.rdm.log.Clear();
  h.bench.Discover().Run(workbench::Discovery::Mode::Incremental);
  EXPECT_EQ(h.TableUids(), first) << "no second row";
  EXPECT_EQ(h.rdm.log.CountStartingWith("----------ADD device"), 0u) << "logs nothing";
  EXPECT_NE(h.ListFile().find(rdm::UidText(renamed) + "=Renamed\r\n"), std::string::npos);

  // Unmuted and dropped from the table, the last device comes back as new, at the end.
  const rdm::Uid last = h.bench.Table().Devices[3].Uid;
  h.rdm.engine.RdmTransact({rdm::DISCOVERY_COMMAND, rdm::pid::DISC_UN_MUTE, {}}, last, true);
  h.bench.Table().Devices.resize(3);
  h.bench.Table().Devices[0].Label = "a";
  h.bench.Discover().Run(workbench::Discovery::Mode::Incremental);
  ASSERT_EQ(h.bench.Table().Count(), 4);
  EXPECT_EQ(h.bench.Table().Devices[3].Uid, last);
  EXPECT_EQ(h.bench.Table().Devices[0].Label, "a") << "rows keep their own labels";

  // An unreadable reset list leaves the table as it was.
  const auto before = h.TableUids();
  std::filesystem::create_directory(h.Path("devnone.lst"));  // exists, cannot be read as a file
  h.bench.Discover().Run(kFull);
  EXPECT_EQ(h.rdm.log.CountStartingWith("Discovery stopped: devnone.lst cannot be read"), 1u);
  EXPECT_EQ(std::tuple(h.TableUids(), h.bench.View().rows.size()),
            std::tuple(before, before.size()));
}

// Only the device itself acknowledging DISC_MUTE counts. Answers worked by hand: header
// CC 01 1A, destination 8888:00000001, source, transaction, response type, message count,
// sub-device 0000, command class, PID 0002, PDL 02, control field 0000, checksum.
TEST(Discovery, OnlyTheDevicesOwnAcknowledgementCountsAsMuted) {
  const rdm::Uid device{0x7A7000000001ULL};
  auto answer = [](rdm::Uid source, uint8_t commandClass, uint8_t type) {
    std::vector<uint8_t> m{0xCC, 0x01, 0x1A, 0x88, 0x88, 0x00, 0x00, 0x00, 0x01};
    for (int i = 5; i >= 0; --i) m.push_back(static_cast<uint8_t>(source.Value() >> (8 * i)));
    m.insert(m.end(), {0x01, type, 0x00, 0x00, 0x00, commandClass, 0x00, 0x02, 0x02, 0x00, 0x00});
    const unsigned sum = std::accumulate(m.begin(), m.end(), 0u);
    m.insert(m.end(), {static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum)});
    return m;
  };
  const std::pair<std::vector<uint8_t>, bool> cases[] = {
      {answer(device, 0x11, 0x00), true},
      {answer(device, 0x21, 0x00), false},                       // a GET response, not a mute's
      {answer(rdm::Uid(0x7A7000000002ULL), 0x11, 0x00), false},  // somebody else
      {answer(device, 0x11, 0x02), false},                       // NACK
  };
  for (const auto& [bytes, muted] : cases) {
    common::ManualClock clock;
    common::LogSink log;
    FakeTransport box;
    link::UsbLink usb(box, log, clock);
    rdm::RdmEngine engine(usb, log);
    usb.LinkOpen();
    usb.SetResponseTimeout(link::ResponseTimeoutOfItem(1));
    ScratchDir dir;
    workbench::Workbench bench(engine, log, clock, dir.path, dir.path);
    box.QueueChunk(link::kRdmBase, 0, bytes);
    EXPECT_EQ(bench.Discover().RdmMute(device), muted) << common::HexBytes(bytes);
  }
}
