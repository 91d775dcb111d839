#include <gtest/gtest.h>

#include <algorithm>

#include "WorkbenchHarness.h"

using namespace velquor;
using namespace velquor::testsupport;
using virtualline::Fault;
using virtualline::FaultKind;

namespace {

std::vector<uint64_t> SortedDescending(std::vector<uint64_t> v) {
  std::sort(v.rbegin(), v.rend());
  return v;
}

}  // namespace

TEST(Discovery, EmptyLineEndsAfterThreeSilentPassesAndSavesNothing) {
  WorkbenchHarness h(virtualline::Rig{});
  h.bench.SpeedButtonDiscoverClick();
  EXPECT_EQ(h.bench.Table().DeviceCount, 0);
  EXPECT_EQ(h.rdm.log.CountOf("Discovery started..."), 1u);
  EXPECT_EQ(h.rdm.log.CountOf("Discovery finished."), 1u);
  // The un-mute (two exchanges) and three full-range branch requests.
  EXPECT_EQ(h.rdm.Requests(), 2u + 3u);
  EXPECT_FALSE(common::FileExists(h.Path("devnames.lst")));
  EXPECT_FALSE(h.bench.RdmBusy().load());
}

TEST(Discovery, OneDeviceIsMutedAddedAndSaved) {
  virtualline::Rig rig = MakeRig(1);
  WorkbenchHarness h(rig);
  h.bench.SpeedButtonDiscoverClick();
  ASSERT_EQ(h.bench.Table().DeviceCount, 1);
  const uint64_t uid = rig.fixtures[0].uid;
  EXPECT_EQ(h.rdm.log.CountOf("ADD device : " + rdm::UidText(uid)), 1u);
  EXPECT_EQ(h.rdm.log.CountOf("----------Mute---------- 0x" + rdm::UidText(uid)), 1u);
  EXPECT_EQ(h.rdm.log.CountStartingWith("Collision detected"), 0u);
  EXPECT_EQ(ReadText(h.Path("devnames.lst")), rdm::UidText(uid) + "=Fixture 1\r\n");
  EXPECT_EQ(h.bench.Panel().EditEnd, "1");
  EXPECT_EQ(h.bench.View().rows.size(), 1u);
  EXPECT_EQ(h.bench.View().rows[0][4], "Fixture 1");
  EXPECT_EQ(h.rdm.line.IsMuted(uid), true);
}

TEST(Discovery, DeviceThatNeverAcknowledgesMuteIsNotAdded) {
  virtualline::Rig rig = MakeRig(3);
  WorkbenchHarness h(rig);
  Fault f;
  f.kind = FaultKind::IgnoreMute;
  h.rdm.line.InjectFault(rig.fixtures[1].uid, f);
  h.bench.SpeedButtonDiscoverClick();
  auto uids = h.TableUids();
  EXPECT_EQ(uids.size(), 2u);
  EXPECT_EQ(std::count(uids.begin(), uids.end(), rig.fixtures[1].uid), 0);
  EXPECT_EQ(h.rdm.log.CountOf("Discovery finished."), 1u);
}

TEST(Discovery, WholeRigsAreFoundWithRowsMatchingTheRig) {
  for (int n : {12, 64}) {
    virtualline::Rig rig = n == 12 ? virtualline::DefaultRig() : MakeRig(n);
    WorkbenchHarness h(rig);
    h.bench.SpeedButtonDiscoverClick();
    std::vector<uint64_t> expected;
    for (const auto& f : rig.fixtures) expected.push_back(f.uid);
    EXPECT_EQ(h.TableUids(), SortedDescending(expected)) << n << " fixtures";
    for (int row = 0; row < h.bench.Table().DeviceCount; ++row) {
      auto f = h.rdm.line.FixtureState(h.bench.Table().Records[row].Uid);
      ASSERT_TRUE(f);
      const auto& cells = h.bench.View().rows[static_cast<size_t>(row)];
      EXPECT_EQ(cells[1], "0x" + rdm::UidText12(f->uid));
      EXPECT_EQ(cells[4], f->label);
      if (f->personalities[f->personality - 1].footprint != 0) {
        EXPECT_EQ(std::stoi(cells[2]), f->startAddress);
        EXPECT_EQ(std::stoi(cells[3]), f->personalities[f->personality - 1].footprint);
      }
    }
    EXPECT_EQ(h.bench.Panel().ComboBox_UID.items.size(), rig.fixtures.size());
  }
}

TEST(Discovery, SecondFullDiscoveryKeepsKnownDevicesInTheirOrderWithoutSearching) {
  WorkbenchHarness h(MakeRig(4));
  h.bench.SpeedButtonDiscoverClick();
  auto first = h.TableUids();
  h.rdm.log.Clear();
  h.bench.SpeedButtonDiscoverClick();
  EXPECT_EQ(h.TableUids(), first);
  EXPECT_EQ(h.rdm.log.CountStartingWith("----------ADD device----------: "), 4u);
  EXPECT_EQ(h.rdm.log.CountOf("Collision detected ..."), 0u);
}

TEST(Discovery, IncrementalDiscoveryRefreshesALostMuteWithoutASecondRow) {
  virtualline::Rig rig = MakeRig(3);
  WorkbenchHarness h(rig);
  h.bench.SpeedButtonDiscoverClick();
  ASSERT_EQ(h.bench.Table().DeviceCount, 3);
  // The device lost its mute (power cycle) and was renamed at the fixture.
  const uint64_t uid = h.bench.Table().Records[1].Uid;
  std::string renamed = "Renamed";
  h.rdm.Set(uid, rdm::pid::DEVICE_LABEL, {renamed.begin(), renamed.end()});
  h.rdm.engine.RdmTransact({rdm::DISCOVERY_COMMAND, rdm::pid::DISC_UN_MUTE, {}}, uid, true);
  h.rdm.log.Clear();

  h.bench.SpeedButtonAddClick();
  EXPECT_EQ(h.rdm.log.CountOf("Discovery started."), 1u);
  EXPECT_EQ(h.bench.Table().DeviceCount, 3);
  EXPECT_EQ(h.rdm.log.CountStartingWith("----------ADD device"), 0u) << "logs nothing";
  EXPECT_EQ(h.bench.Table().Names.Value(rdm::UidText(uid)), "Renamed");
  std::string file = ReadText(h.Path("devnames.lst"));
  EXPECT_NE(file.find(rdm::UidText(uid) + "=Renamed\r\n"), std::string::npos);
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 3);
}

TEST(Discovery, IncrementalDiscoveryAddsANewDeviceAtTheEnd) {
  virtualline::Rig rig = MakeRig(3);
  WorkbenchHarness h(rig);
  h.bench.SpeedButtonDiscoverClick();
  // Keep two muted, let one look new: drop it from the table.
  const uint64_t last = h.bench.Table().Records[2].Uid;
  h.rdm.engine.RdmTransact({rdm::DISCOVERY_COMMAND, rdm::pid::DISC_UN_MUTE, {}}, last, true);
  h.bench.Table().DeviceCount = 2;
  h.bench.Table().Names = workbench::DeviceNameList::Parse(
      h.bench.Table().Names.At(0).key + "=a\n" + h.bench.Table().Names.At(1).key + "=b\n");
  h.bench.SpeedButtonAddClick();
  ASSERT_EQ(h.bench.Table().DeviceCount, 3);
  EXPECT_EQ(h.bench.Table().Records[2].Uid, last);
  EXPECT_EQ(h.bench.Table().LabelOfRow(0), "a") << "rows keep their own labels";
}

TEST(Discovery, StopDuringTheBinarySearchEndsAtOnceWithoutSaving) {
  WorkbenchHarness h(MakeRig(6));
  int branches = 0;
  h.onPump = [&] {
    if (h.rdm.log.CountOf("Collision detected ...") > 0 && branches++ == 0) {
      h.bench.SpeedButton6Click();
    }
  };
  h.bench.SpeedButtonDiscoverClick();
  EXPECT_EQ(h.asked, (std::vector<std::string>{"RDM Discover|Close RDM？"}));
  EXPECT_EQ(h.rdm.log.CountOf("Discovery finished."), 1u);
  EXPECT_FALSE(h.bench.RdmBusy().load());
  EXPECT_FALSE(common::FileExists(h.Path("devnames.lst")));
  EXPECT_LT(h.bench.Table().DeviceCount, 6);
  // Without a run the stop button only says so.
  h.bench.SpeedButton6Click();
  EXPECT_EQ(h.rdm.log.CountOf("Close RDM:"), 1u);
}

TEST(Discovery, DoesNothingWhileAnotherCommandHoldsTheLine) {
  WorkbenchHarness h(MakeRig(2));
  h.bench.RdmBusy() = true;
  h.bench.SpeedButtonDiscoverClick();
  h.bench.SpeedButtonAddClick();
  EXPECT_EQ(h.rdm.log.Count(), 1u);  // only "1 Device Opened"
  EXPECT_TRUE(h.bench.RdmBusy().load());
}

TEST(Discovery, UnreadableResetListLeavesTheTableAsItWas) {
  WorkbenchHarness h(MakeRig(2));
  h.bench.SpeedButtonDiscoverClick();
  auto before = h.TableUids();
  std::filesystem::create_directory(h.Path("devnone.lst"));  // exists, cannot be read as a file
  h.bench.SpeedButtonDiscoverClick();
  EXPECT_EQ(h.rdm.log.CountStartingWith("Discovery stopped: devnone.lst cannot be read"), 1u);
  EXPECT_EQ(h.TableUids(), before);
  EXPECT_EQ(h.bench.View().rows.size(), before.size());
  EXPECT_FALSE(h.bench.RdmBusy().load());
}

TEST(Discovery, FullTableAddsNoMoreRows) {
  WorkbenchHarness h(MakeRig(1));
  h.bench.Table().DeviceCount = workbench::MaxDevices;
  EXPECT_FALSE(h.bench.AddFoundDevice(0x7FF000000100ULL, "ADD device : "));
  EXPECT_EQ(h.bench.Table().DeviceCount, workbench::MaxDevices);
  EXPECT_EQ(h.rdm.log.CountStartingWith("The device table is full (530 devices)"), 1u);
  EXPECT_EQ(h.bench.Table().Names.Count(), 0u);
}

TEST(Discovery, TestModeTimerRepeatsDiscoveryAtTheTypedInterval) {
  WorkbenchHarness h(virtualline::Rig{});
  EXPECT_EQ(h.bench.Timer1Timer(), 35) << "idle branch";
  h.bench.CheckBoxTest = true;
  h.bench.EditTime = "5000";
  EXPECT_EQ(h.bench.Timer1Timer(), 5100);
  EXPECT_EQ(h.rdm.log.CountOf("Discovery finished."), 1u);
}
