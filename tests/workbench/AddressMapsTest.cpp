// The two address maps as models (no display), their files byte by byte, and what writing
// a dragged plan does to the virtual rig.

#include <gtest/gtest.h>

#include "WorkbenchHarness.h"
#include "workbench/AddressMaps.h"

using namespace velquor;
using namespace velquor::testsupport;
using workbench::AddressMap;
using workbench::CellFill;
using workbench::MapBlock;

namespace {

// The pixel in the middle of cell `c` of an 18-pixel map.
constexpr auto X = [](int c) { return (c % 32) * 18 + 9; };
constexpr auto Y = [](int c) { return (c / 32) * 18 + 9; };

std::string Fills(const std::array<CellFill, 512>& f, int from, int to) {
  std::string s;
  for (int c = from; c <= to; ++c) s += "WGPRB"[static_cast<int>(f[c])];
  return s;
}

void SetBlocks(WorkbenchHarness& h, std::vector<MapBlock> blocks) {
  std::vector<workbench::DeviceRecord> devices;
  for (size_t i = 0; i < blocks.size(); ++i) {
    devices.push_back(DeviceOf(rdm::Uid(uint16_t{0x7FF0}, static_cast<uint32_t>(0x101 + i)),
                               blocks[i].footprint));
    devices.back().StartAddressIndex = blocks[i].start;
  }
  h.bench.Devices().Replace(std::move(devices));
}

}  // namespace

TEST(PatchMap, ColoursPressDragAndReleaseOnADevicesOwnSlots) {
  WorkbenchHarness h;
  SetBlocks(h, {{0, 16}, {16, 8}});
  auto& patch = h.bench.PatchPage();
  EXPECT_EQ(Fills(patch.Fill(), 0, 24), std::string(24, 'G') + "W");

  // Press inside the second device, drag its first slot to cell 10.
  ASSERT_TRUE(patch.Press(X(20), Y(20)));
  EXPECT_EQ(h.bench.Table().SelectedRow(), 1);
  EXPECT_TRUE(patch.Drag(X(10), Y(10), true));
  EXPECT_FALSE(patch.Drag(X(10) + 3, Y(10), true)) << "the same cell: no repaint";
  EXPECT_EQ(Fills(patch.Fill(), 0, 18), "GGGGGGGGGGRRRRRRPPW");
  EXPECT_EQ(patch.CursorText(), "11");
  patch.Release();
  EXPECT_EQ(h.bench.Table().Devices[static_cast<size_t>(1)].StartAddressIndex, 10);

  // A footprint of 16 over the last line stops at cell 496.
  ASSERT_TRUE(patch.Press(X(5), Y(5)));
  patch.Drag(X(496), Y(496), true);
  EXPECT_EQ(patch.Map().cursor, 496);
  patch.Drag(X(500), Y(500), true);
  patch.Drag(X(511), Y(511), true);
  EXPECT_EQ(patch.Map().cursor, 496) << "further right leaves it where it fits";
  EXPECT_FALSE(patch.Drag(X(300), Y(300), false)) << "no button held: no drag";

  // Press picks only a device's own slots, and a plain click moves nothing.
  SetBlocks(h, {{100, 4}, {200, 8}});
  EXPECT_FALSE(patch.Press(X(99), Y(99))) << "the cell before the first slot";
  EXPECT_TRUE(patch.Press(X(103), Y(103))) << "the last slot";
  EXPECT_EQ(h.bench.Table().SelectedRow(), 0);
  patch.Drag(X(300), Y(300), true);
  patch.Release();
  EXPECT_EQ(h.bench.Table().Devices[static_cast<size_t>(0)].StartAddressIndex, 300);
  // The second device, pressed and released without a move, stays at 200.
  ASSERT_TRUE(patch.Press(X(204), Y(204)));
  patch.Release();
  EXPECT_EQ(h.bench.Table().Devices[static_cast<size_t>(1)].StartAddressIndex, 200);
}

TEST(AddressingMap, PressFromTheCellBeforeHeadsInBlueAndScaledCells) {
  AddressMap map(AddressMap::PressRule::FromCellBefore);
  const std::vector<MapBlock> one{{9, 4}};  // channels 10..13
  EXPECT_EQ(map.RowAt(one, X(8), Y(8)), 0) << "channel 9";
  EXPECT_EQ(map.RowAt(one, X(12), Y(12)), 0) << "channel 13";
  EXPECT_FALSE(map.RowAt(one, X(13), Y(13))) << "channel 14";
  EXPECT_FALSE(map.RowAt(one, -5, 3)) << "left of the map";

  // Two unselected devices overlapping, a third layer where the selected one lies on them.
  const std::vector<MapBlock> blocks{{0, 4}, {2, 4}, {3, 2}};
  EXPECT_EQ(Fills(workbench::FillCells(blocks, 2, 3, true), 0, 6), "BGBRRGW");
  EXPECT_EQ(Fills(workbench::FillCells(blocks, -1, 0, false), 0, 6), "GGPRPGW") << "none selected";

  WorkbenchHarness h;
  auto& a = h.bench.Addressing();
  a.FitCells(600, 300);
  EXPECT_EQ(a.Map().cellWidth, 18) << "a small area keeps the old size";
  a.FitCells(1410, 706);
  EXPECT_EQ(std::tuple(a.Map().cellWidth, a.Map().cellHeight), std::tuple(44, 44));
  EXPECT_EQ(a.ToggleOddEven(), "Even");
  EXPECT_EQ(a.ToggleOddEven(), "Odd");
}

TEST(PlanFiles, PatFileBytesAndShortOrOverlongFiles) {
  std::vector<workbench::PlanRecord> three{{rdm::Uid(0x7FF000000101ULL), 0x10, 0x08, 0},
                                           {rdm::Uid(0x7FF100000201ULL), 0, 16, 0},
                                           {rdm::Uid(0x7FF000000103ULL), 511, 1, 0}};
  const std::string pat = workbench::EncodePatchFile(three);
  ASSERT_EQ(pat.size(), 40u);
  EXPECT_EQ(pat.substr(0, 16),
            std::string("\x03\x00\x00\x00\x01\x01\x00\x00\xF0\x7F\x00\x00\x10\x00\x08\x00", 16));
  auto read = workbench::DecodePatchFile(pat);
  ASSERT_EQ(read.records.size(), 3u);
  EXPECT_EQ(std::tuple(read.records[1].uid, read.records[2].startIndex, read.problems.size()),
            std::tuple(rdm::Uid(0x7FF100000201ULL), 511, 0u));

  read = workbench::DecodePatchFile(pat.substr(0, 30));  // count 3, two whole records
  EXPECT_EQ(
      std::tuple(read.records.size(), read.problems),
      std::tuple(2u, std::vector<std::string>{"it counts 3 records but holds 2: those read"}));
  EXPECT_EQ(workbench::DecodePatchFile("\x01\x00").records.size(), 0u);
  EXPECT_EQ(workbench::DecodePatchFile(std::string("\xFF\xFF\xFF\xFF", 4)).problems[0],
            "its count -1 is negative");

  std::vector<workbench::PlanRecord> many;
  for (uint32_t i = 0; i < 600; ++i) many.push_back({rdm::Uid(uint16_t{0x7FF0}, i + 1), 0, 1, 7});
  const std::string plan = workbench::EncodeAddressPlan(many);
  ASSERT_EQ(plan.size(), 4u + 14 * 600);
  EXPECT_EQ(plan.substr(4, 14),
            std::string("\x01\x00\x00\x00\xF0\x7F\x00\x00\x00\x00\x01\x00\x07\x00", 14));
  read = workbench::DecodeAddressPlan(plan);
  EXPECT_EQ(read.records.size(), 530u) << "the table holds 530";
  EXPECT_EQ(read.problems.back(), "it holds 600 records, the device table 530: the first 530 read");
  EXPECT_EQ(read.records[529].reserved, 7);
}

TEST(AddressingWindow, ADraggedPlanWrittenReaddressesTheRigAndIdentifyFollowsTheSelection) {
  WorkbenchHarness h;
  h.LoadList(kThreeSpots);
  auto& a = h.bench.Addressing();
  h.bench.Run([&] { h.bench.PatchPage().Read(false); });  // the addresses as the rig has them
  h.bench.Run([&] { a.Open(); });
  ASSERT_EQ(a.Rows().size(), 3u);
  EXPECT_EQ(a.Rows()[1].address, "17");
  // Pick Spot 2 on the map (the cell before its first slot counts), drag it to channel 201.
  ASSERT_TRUE(a.Press(X(15), Y(15)));
  EXPECT_EQ(a.Selected(), 0) << "channel 16 is Spot 1's last slot, first in the list";
  ASSERT_TRUE(a.Press(X(17), Y(17)));
  EXPECT_EQ(std::tuple(a.Selected(), a.UidText()), std::tuple(1, "UID:0x7FF000000102"));
  a.Drag(X(200), Y(200), true);
  a.Release();
  a.Fill();
  EXPECT_EQ(a.AddressText(), "Address:201");
  h.bench.Run([&] { a.IdentifyPass(); });
  EXPECT_EQ(std::tuple(h.rdm.Fixture(kSpot1).identify, h.rdm.Fixture(kSpot2).identify),
            std::tuple(false, true));
  h.bench.Run([&] { a.WriteAll(a.WriteOrder()); });
  EXPECT_EQ(std::tuple(h.rdm.Fixture(kSpot2).startAddress, h.rdm.Fixture(kSpot3).startAddress),
            std::tuple(201, 33));
  h.bench.Run([&] { a.CancelAll(); });
  EXPECT_FALSE(h.rdm.Fixture(kSpot2).identify);

  ASSERT_TRUE(a.SavePlan(h.Path("PATCH.DMXLINK")));
  EXPECT_EQ(ReadBytes(h.Path("PATCH.DMXLINK")).size(), 4u + 3 * 14);
  WriteBytes(h.Path("empty.DMXLINK"), std::string(4, '\0'));
  ASSERT_TRUE(a.LoadPlan(h.Path("empty.DMXLINK")));
  EXPECT_TRUE(a.Rows().empty() && h.bench.Devices().View().uidChoices.items.empty());
}
