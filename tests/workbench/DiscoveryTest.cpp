#include <gtest/gtest.h>

#include <algorithm>

#include "FakeTransport.h"
#include "WorkbenchHarness.h"
#include "common/Text.h"

using namespace velquor;
using namespace velquor::testsupport;
using virtualline::Fault;
using virtualline::FaultKind;

namespace {

std::vector<uint64_t> Sorted(std::vector<uint64_t> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

TEST(Discovery, EmptyLineEndsAfterThreeSilentPassesAndSavesNothing) {
  WorkbenchHarness h(virtualline::Rig{});
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  EXPECT_EQ(h.bench.Table().Count(), 0);
  EXPECT_EQ(h.rdm.log.CountOf("Discovery started..."), 1u);
  EXPECT_EQ(h.rdm.log.CountOf("Discovery finished."), 1u);
  // The un-mute (two exchanges) and three full-range branch requests.
  EXPECT_EQ(h.rdm.Requests(), 2u + 3u);
  EXPECT_FALSE(common::FileExists(h.Path("devnames.lst")));
}

TEST(Discovery, OneDeviceIsMutedAddedAndSaved) {
  virtualline::Rig rig = MakeRig(1);
  WorkbenchHarness h(rig);
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  ASSERT_EQ(h.bench.Table().Count(), 1);
  const rdm::Uid uid{rig.fixtures[0].uid};
  EXPECT_EQ(h.rdm.log.CountOf("ADD device : " + rdm::UidText(uid)), 1u);
  EXPECT_EQ(h.rdm.log.CountOf("----------Mute---------- 0x" + rdm::UidText(uid)), 1u);
  EXPECT_EQ(h.rdm.log.CountStartingWith("Collision detected"), 0u);
  EXPECT_EQ(ReadText(h.Path("devnames.lst")), rdm::UidText(uid) + "=Fixture 1\r\n");
  EXPECT_EQ(h.bench.View().rows.size(), 1u);
  EXPECT_EQ(h.bench.View().rows[0][4], "Fixture 1");
  EXPECT_EQ(h.rdm.line.IsMuted(uid.Value()), true);
}

namespace {

std::string ModeName(virtualline::CollisionMode mode) {
  switch (mode) {
    case virtualline::CollisionMode::Or:
      return "or";
    case virtualline::CollisionMode::And:
      return "and";
    default:
      return "garbled";
  }
}

constexpr virtualline::CollisionMode kModes[] = {virtualline::CollisionMode::Or,
                                                 virtualline::CollisionMode::And,
                                                 virtualline::CollisionMode::Garbled};

// Six fixtures of mixed kinds from the default rig: two spots, two pars, a dimmer, the hazer.
virtualline::Rig MixedSix(virtualline::CollisionMode mode) {
  virtualline::Rig all = virtualline::DefaultRig();
  virtualline::Rig rig;
  rig.collisions = mode;
  for (size_t i : {0u, 1u, 4u, 5u, 8u, 10u}) rig.fixtures.push_back(all.fixtures[i]);
  return rig;
}

void ExpectWholeRigFound(WorkbenchHarness& h, const virtualline::Rig& rig,
                         const std::string& what) {
  std::vector<uint64_t> expected;
  for (const auto& f : rig.fixtures) expected.push_back(f.uid);
  EXPECT_EQ(Sorted(h.TableUids()), Sorted(expected)) << what;  // no phantom, none twice
  EXPECT_EQ(h.rdm.log.CountOf("Discovery finished."), 1u) << what;
  for (int row = 0; row < h.bench.Table().Count(); ++row) {
    auto f = h.rdm.line.FixtureState(h.bench.Table().Devices[static_cast<size_t>(row)].Uid.Value());
    ASSERT_TRUE(f) << what;
    const auto cells = h.bench.View().rows[static_cast<size_t>(row)];
    EXPECT_EQ(cells[1], "0x" + rdm::UidText12(rdm::Uid(f->uid))) << what;
    EXPECT_EQ(cells[4], f->label) << what;
  }
  std::string file = ReadText(h.Path("devnames.lst"));
  EXPECT_EQ(static_cast<size_t>(std::count(file.begin(), file.end(), '\n')), expected.size())
      << what;
}

}  // namespace

TEST(Discovery, EveryFixtureFoundOnEveryKindOfOverlap) {
  for (virtualline::CollisionMode mode : kModes) {
    std::vector<std::pair<std::string, virtualline::Rig>> rigs;
    for (int n : {2, 4, 64, 128}) {
      rigs.emplace_back(std::to_string(n) + " neighbours",
                        virtualline::GenerateRig(n, virtualline::UidLayout::Neighbouring, mode));
      rigs.emplace_back(std::to_string(n) + " scattered",
                        virtualline::GenerateRig(n, virtualline::UidLayout::Scattered, mode));
    }
    rigs.emplace_back("6 of mixed kinds", MixedSix(mode));
    virtualline::Rig defaultRig = virtualline::DefaultRig();
    defaultRig.collisions = mode;
    rigs.emplace_back("default rig", defaultRig);
    for (auto& [name, rig] : rigs) {
      WorkbenchHarness h(rig);
      h.bench.Discover().Run(workbench::Discovery::Mode::Full);
      ExpectWholeRigFound(h, rig, name + ", " + ModeName(mode));
    }
  }
}

TEST(Discovery, MisbehavingFixturesAreNamedAndTheOthersFound) {
  using virtualline::DiscoveryFault;
  struct Case {
    DiscoveryFault fault;
    std::string named;  // what the log says after the UID
    bool added;
  };
  const Case cases[] = {
      {DiscoveryFault::IgnoreMute, " answers discovery but does not acknowledge mute", false},
      {DiscoveryFault::FlakyMute, " acknowledged the mute only when asked again", true},
      {DiscoveryFault::AnyRange, " answers discovery branches that do not hold it", true},
      {DiscoveryFault::OtherUid, " answers discovery as 0x7E", false},
      {DiscoveryFault::AnswersWhenMuted, " keeps answering discovery after it was muted", true},
  };
  // Lowest, a middle and the highest UID of the default rig, alone and two at once.
  const std::vector<std::vector<size_t>> placements{{0}, {6}, {11}, {0, 11}, {5, 6}};
  for (const Case& c : cases) {
    for (const auto& bad : placements) {
      virtualline::Rig rig = virtualline::DefaultRig();
      std::sort(rig.fixtures.begin(), rig.fixtures.end(),
                [](const auto& a, const auto& b) { return a.uid < b.uid; });
      std::vector<uint64_t> good, misbehaving;
      for (size_t i = 0; i < rig.fixtures.size(); ++i) {
        const bool isBad = std::find(bad.begin(), bad.end(), i) != bad.end();
        if (isBad) {
          rig.fixtures[i].discoveryFault = c.fault;
          rig.fixtures[i].discoveryUid = 0x7E0000000001ULL + i;
        }
        (isBad ? misbehaving : good).push_back(rig.fixtures[i].uid);
      }
      WorkbenchHarness h(rig);
      h.bench.Discover().Run(workbench::Discovery::Mode::Full);
      const std::string what = "fault " + std::to_string(static_cast<int>(c.fault)) + " at " +
                               std::to_string(bad[0]) + (bad.size() > 1 ? " and another" : "");
      EXPECT_EQ(h.rdm.log.CountOf("Discovery finished."), 1u) << what;
      std::vector<uint64_t> expected = good;
      // Two devices that answer every branch drown each other out: nothing tells their
      // UIDs apart, so they stay unnamed, but their chorus is set aside for the others.
      const bool chorus = c.fault == DiscoveryFault::AnyRange && bad.size() > 1 &&
                          h.rdm.log.CountStartingWith("Discovery: something answers every") == 1;
      if (c.added && !chorus) {
        expected.insert(expected.end(), misbehaving.begin(), misbehaving.end());
      }
      EXPECT_EQ(Sorted(h.TableUids()), Sorted(expected)) << what;
      for (uint64_t u : chorus ? std::vector<uint64_t>{} : misbehaving) {
        EXPECT_EQ(h.rdm.log.CountStartingWith("0x" + rdm::UidText(rdm::Uid(u)) + c.named), 1u)
            << what << ": " << rdm::UidText(rdm::Uid(u));
      }
    }
  }
}

TEST(Discovery, StopKeepsWhatWasFoundInTheTableAndTheFile) {
  WorkbenchHarness h(virtualline::GenerateRig(8, virtualline::UidLayout::Neighbouring));
  std::string fileWhileRunning;
  h.onProgress = [&](const workbench::DiscoveryStatus&) {
    if (h.bench.Table().Count() == 2 && fileWhileRunning.empty()) {
      // What a killed program leaves behind.
      fileWhileRunning = ReadText(h.Path("devnames.lst"));
    }
    if (h.bench.Table().Count() == 3) h.bench.Flags().stopRequested = true;  // SpeedButton6
  };
  h.bench.Run([&] { h.bench.Discover().Run(workbench::Discovery::Mode::Full); });
  EXPECT_EQ(std::count(fileWhileRunning.begin(), fileWhileRunning.end(), '\n'), 2);
  EXPECT_EQ(h.bench.Table().Count(), 3);
  EXPECT_EQ(h.rdm.log.CountOf("Discovery stopped: 3 found"), 1u);
  EXPECT_EQ(h.rdm.log.CountOf("Discovery finished."), 1u);
  const std::string file = ReadText(h.Path("devnames.lst"));
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 3);
  for (uint64_t u : h.TableUids()) {
    EXPECT_NE(file.find(rdm::UidText(rdm::Uid(u)) + "="), std::string::npos);
  }
  EXPECT_EQ(h.bench.View().rows.size(), 3u);
}

TEST(Discovery, MoreFixturesThanTheTableHoldsEndWithTheTableFull) {
  WorkbenchHarness h(virtualline::GenerateRig(600, virtualline::UidLayout::Neighbouring));
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  EXPECT_EQ(h.bench.Table().Count(), workbench::MaxDevices);
  EXPECT_EQ(h.rdm.log.CountStartingWith("The device table is full (530 devices): 0x"), 70u);
  EXPECT_EQ(h.rdm.log.CountOf("Discovery finished."), 1u);
  std::set<uint64_t> distinct;
  for (uint64_t u : h.TableUids()) distinct.insert(u);
  EXPECT_EQ(distinct.size(), 530u);
}

TEST(Discovery, ProgressIsReportedWhileItRunsAndWhenItEnds) {
  std::vector<workbench::DiscoveryStatus> seen;
  WorkbenchHarness h(virtualline::GenerateRig(4, virtualline::UidLayout::Neighbouring),
                     [&](workbench::WorkbenchHooks& hooks) {
                       hooks.discoveryProgress = [&](const workbench::DiscoveryStatus& s) {
                         seen.push_back(s);
                       };
                     });
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  ASSERT_GT(seen.size(), 10u);
  EXPECT_TRUE(seen.front().running);
  EXPECT_EQ(seen.front().found, 0u);
  EXPECT_FALSE(seen.back().running);
  EXPECT_EQ(seen.back().found, 4u);
  EXPECT_GT(seen.back().seconds, 0.5) << "50 ms for each silent branch on the manual clock";
  for (size_t k = 1; k < seen.size(); ++k) {
    EXPECT_GE(seen[k].found, seen[k - 1].found);
    EXPECT_GE(seen[k].branches, seen[k - 1].branches);
  }
  workbench::DiscoveryStatus s{true, 5, 120, 3.25};
  EXPECT_EQ(workbench::DiscoveryStatusText(s, false),
            "Discovering: 5 found, 120 branches asked, 3.2 s");
  EXPECT_EQ(workbench::DiscoveryStatusText(s, true),
            "正在搜索: 已找到 5 个设备, 已询问 120 个分支, 3.2 秒");
}

TEST(Discovery, SecondFullDiscoveryKeepsKnownDevicesInTheirOrderWithoutSearching) {
  WorkbenchHarness h(MakeRig(4));
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  auto first = h.TableUids();
  h.rdm.log.Clear();
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  EXPECT_EQ(h.TableUids(), first);
  EXPECT_EQ(h.rdm.log.CountStartingWith("----------ADD device----------: "), 4u);
  EXPECT_EQ(h.rdm.log.CountOf("Collision detected ..."), 0u);
}

TEST(Discovery, IncrementalDiscoveryRefreshesALostMuteWithoutASecondRow) {
  virtualline::Rig rig = MakeRig(3);
  WorkbenchHarness h(rig);
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  ASSERT_EQ(h.bench.Table().Count(), 3);
  // The device lost its mute (power cycle) and was renamed at the fixture.
  const rdm::Uid uid = h.bench.Table().Devices[static_cast<size_t>(1)].Uid;
  std::string renamed = "Renamed";
  h.rdm.Set(uid, rdm::pid::DEVICE_LABEL, {renamed.begin(), renamed.end()});
  h.rdm.engine.RdmTransact({rdm::DISCOVERY_COMMAND, rdm::pid::DISC_UN_MUTE, {}}, uid, true);
  h.rdm.log.Clear();

  h.bench.Discover().Run(workbench::Discovery::Mode::Incremental);
  EXPECT_EQ(h.rdm.log.CountOf("Discovery started."), 1u);
  EXPECT_EQ(h.bench.Table().Count(), 3);
  EXPECT_EQ(h.rdm.log.CountStartingWith("----------ADD device"), 0u) << "logs nothing";
  EXPECT_EQ(h.bench.Table().Names().Value(rdm::UidText(uid)), "Renamed");
  std::string file = ReadText(h.Path("devnames.lst"));
  EXPECT_NE(file.find(rdm::UidText(uid) + "=Renamed\r\n"), std::string::npos);
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 3);
}

TEST(Discovery, IncrementalDiscoveryAddsANewDeviceAtTheEnd) {
  virtualline::Rig rig = MakeRig(3);
  WorkbenchHarness h(rig);
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  // Keep two muted, let one look new: drop it from the table.
  const rdm::Uid last = h.bench.Table().Devices[static_cast<size_t>(2)].Uid;
  h.rdm.engine.RdmTransact({rdm::DISCOVERY_COMMAND, rdm::pid::DISC_UN_MUTE, {}}, last, true);
  h.bench.Table().Devices.resize(2);
  h.bench.Table().Devices[0].Label = "a";
  h.bench.Table().Devices[1].Label = "b";
  h.bench.Discover().Run(workbench::Discovery::Mode::Incremental);
  ASSERT_EQ(h.bench.Table().Count(), 3);
  EXPECT_EQ(h.bench.Table().Devices[static_cast<size_t>(2)].Uid, last);
  EXPECT_EQ(h.bench.Table().Devices[0].Label, "a") << "rows keep their own labels";
}

TEST(Discovery, UnreadableResetListLeavesTheTableAsItWas) {
  WorkbenchHarness h(MakeRig(2));
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  auto before = h.TableUids();
  std::filesystem::create_directory(h.Path("devnone.lst"));  // exists, cannot be read as a file
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  EXPECT_EQ(h.rdm.log.CountStartingWith("Discovery stopped: devnone.lst cannot be read"), 1u);
  EXPECT_EQ(h.TableUids(), before);
  EXPECT_EQ(h.bench.View().rows.size(), before.size());
}

TEST(Discovery, TestModeTimerRepeatsDiscoveryAtTheTypedInterval) {
  WorkbenchHarness h(virtualline::Rig{});
  h.bench.Discover().testInterval = "5000";
  EXPECT_EQ(h.bench.Discover().TestModeDelay(), 5100);
  h.bench.Discover().testInterval = "soon";
  EXPECT_EQ(h.bench.Discover().TestModeDelay(), 3100) << "an unreadable time counts as 3 s";
}

// Only the device itself acknowledging DISC_MUTE counts. Answers worked by hand: header
// CC 01 1A, destination 8888:00000001, source, transaction, response type, message count,
// sub-device 0000, command class, PID 0002, PDL 02, control field 0000, checksum.
TEST(Discovery, OnlyTheDevicesOwnAcknowledgementCountsAsMuted) {
  const rdm::Uid device{0x7A7000000001ULL};
  auto answer = [](rdm::Uid source, uint8_t commandClass, uint8_t type) {
    std::vector<uint8_t> m{0xCC, 0x01, 0x1A, 0x88, 0x88, 0x00, 0x00, 0x00, 0x01};
    for (int i = 5; i >= 0; --i) m.push_back(static_cast<uint8_t>(source.Value() >> (8 * i)));
    for (uint8_t b :
         {0x01, int(type), 0x00, 0x00, 0x00, int(commandClass), 0x00, 0x02, 0x02, 0x00, 0x00}) {
      m.push_back(static_cast<uint8_t>(b));
    }
    unsigned sum = 0;
    for (uint8_t b : m) sum += b;
    m.push_back(static_cast<uint8_t>(sum >> 8));
    m.push_back(static_cast<uint8_t>(sum));
    return m;
  };
  struct Case {
    std::vector<uint8_t> bytes;
    bool muted;
  };
  const Case cases[] = {
      {answer(device, 0x11, 0x00), true},
      {answer(device, 0x21, 0x00), false},                       // a GET response, not a mute's
      {answer(rdm::Uid(0x7A7000000002ULL), 0x11, 0x00), false},  // somebody else
      {answer(device, 0x11, 0x02), false},                       // NACK
  };
  for (const Case& c : cases) {
    common::ManualClock clock;
    common::LogSink log;
    FakeTransport box;
    link::UsbLink usb(box, log, clock);
    rdm::RdmEngine engine(usb, log);
    usb.LinkOpen();
    usb.SetResponseTimeout(link::ResponseTimeoutOfItem(1));
    const std::string dir = MakeTempDir();
    workbench::Workbench bench(engine, log, clock, dir, dir);
    box.QueueChunk(link::kRdmBase, 0, c.bytes);
    EXPECT_EQ(bench.Discover().RdmMute(device), c.muted) << common::HexBytes(c.bytes);
    std::filesystem::remove_all(dir);
  }
}
