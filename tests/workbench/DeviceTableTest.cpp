#include <fmt/format.h>
#include <gtest/gtest.h>

#include "WorkbenchHarness.h"

using namespace velquor;
using namespace velquor::testsupport;
using workbench::DeviceNameList;
using Strings = std::vector<std::string>;
using Uids = std::vector<uint64_t>;

TEST(DeviceNameList, KeysReplaceInPlaceAndNewOnesAppend) {
  DeviceNameList list = DeviceNameList::Parse("K=1\r\nL=x=y\r\n\r\nM=\r\n7ff000000101=low\r\n");
  ASSERT_EQ(list.Count(), 4u);
  EXPECT_EQ(list.Value("L"), "x=y") << "the first = separates";
  EXPECT_EQ(list.Value("M"), "");
  EXPECT_EQ(list.Value("7FF000000101"), "low") << "a lower-case key is the same UID";
  list.Set("L", "two");
  list.Set("N", "Spot\r\nFFFFFFFFFFFF=all");  // a label that would add a line
  EXPECT_EQ(list.Text(), "K=1\r\nL=two\r\nM=\r\n7FF000000101=low\r\nN=Spot  FFFFFFFFFFFF=all\r\n");
  EXPECT_EQ(std::tuple(workbench::NameKey(rdm::Uid(0x00001234ABCDULL)),
                       workbench::NameKey(rdm::Uid(0x7FF000000101ULL))),
            std::tuple("1234ABCD", "7FF000000101"));
  EXPECT_EQ(workbench::UidFromKey("1234ABCD"), rdm::Uid(0x1234ABCDULL));
  EXPECT_FALSE(workbench::UidFromKey("12G4") || workbench::UidFromKey("1234567890ABC"));
}

TEST(DeviceTable, LoadsRowsAndColumnsInTheWindowFormatAndAMissingFileChangesNothing) {
  WorkbenchHarness h;
  h.bench.Table().Devices.push_back(DeviceOf(rdm::Uid(0x4321ABCDULL)));
  h.bench.List().LoadDeviceTable(false);  // no devnames.lst yet
  EXPECT_EQ(h.TableUids(), Uids{0x4321ABCDULL});
  h.LoadList("1234ABCD=Spot = left\r\n7FF000000101=Spot 1\r\n");
  EXPECT_EQ(h.bench.Table().Count(), 2);
  // A device new to the list is numbered as its row ("1-1").
  EXPECT_EQ(h.Cells(0, {0, 1, 2, 3, 4, 5}),
            (Strings{"1-1", "0x00001234ABCD", "001", "000", "Spot = left", " "}));

  // With the re-query each device is asked for identify and device info.
  h.rdm.Set(0x7FF000000101ULL, rdm::pid::IDENTIFY_DEVICE, {1});
  h.bench.List().LoadDeviceTable(true);
  EXPECT_EQ(h.Cells(1, {2, 3, 5, 8}), (Strings{"001", "016", "identify", "Standard"}));
  h.bench.RdmPage().FollowListCount();  // the UID choices and the last fixture follow the list
  EXPECT_EQ(h.bench.View().uidChoices.items, (Strings{"1 UID:0x1234ABCD", "2 UID:0x7FF000000101"}));
  EXPECT_EQ(h.bench.RdmPage().lastFixtureText, "2");
  h.LoadList("");  // an empty file empties the table
  EXPECT_EQ(h.bench.Table().Count(), 0);

  // The columns come from UidList.ini, with defaults for what it leaves out.
  h.bench.Devices().BuildColumns();
  EXPECT_TRUE(h.bench.View().columns.empty()) << "no UidList.ini: no columns";
  WriteBytes(h.Path("UidList.ini"),
             "[general]\r\nuid = Unique ID \r\nUID_Width=200\r\nManufacturer_Width=99\r\n"
             "DeviceLabel=\xC3\xFB\xB3\xC6\r\n");  // "名称" as a Chinese Windows saves it
  h.bench.Devices().BuildColumns();
  const auto c = h.bench.View().columns;
  ASSERT_EQ(c.size(), 11u);
  EXPECT_EQ(std::tuple(c[0].caption, c[0].width, c[1].caption, c[1].width, c[4].caption),
            std::tuple("No.", 30, "Unique ID", 200, "名称"));
  EXPECT_EQ(std::tuple(c[6].width, c[10].caption, c[10].width),
            std::tuple(99, "Sensor Count", 120));
}

TEST(DeviceTable, EntriesThatAreNoDeviceAreNamedKeptInTheFileAndNeverListed) {
  WorkbenchHarness h;
  // As a Windows install and a hand edit may leave it: GB18030 labels ("灯一" is C6 B0 D2 BB),
  // a broadcast key, UID zero, a duplicate, a word.
  h.LoadList(
      "1234ABCD=\xB5\xC6\xD2\xBB\r\nNOTAUID=two\r\nFFFFFFFFFFFF=all\r\n7FF0FFFFFFFF=maker\r\n"
      "000000000000=zero\r\n7ff000000101=three\r\n7FF000000101=again\r\n");
  EXPECT_EQ(h.TableUids(), (Uids{0x1234ABCDULL, 0x7FF000000101ULL}));
  EXPECT_EQ(h.bench.View().rows[0][4], "灯一");
  for (const char* line : {"devnames.lst entry 2: \"NOTAUID\" is not a hexadecimal UID",
                           "devnames.lst entry 3: \"FFFFFFFFFFFF\" is a broadcast UID",
                           "devnames.lst entry 4: \"7FF0FFFFFFFF\" is a broadcast UID",
                           "devnames.lst entry 5: \"000000000000\" is UID 0",
                           "devnames.lst entry 7: \"7FF000000101\" lists a UID a second time"}) {
    EXPECT_EQ(h.rdm.log.CountStartingWith(line), 1u) << line;
  }
  // Sorting saves the list: the rows first, then every kept entry as it was, in UTF-8.
  h.bench.List().SortByFixtureNumber();
  EXPECT_EQ(h.ListFile(),
            "1234ABCD=灯一\r\n7FF000000101=three\r\nNOTAUID=two\r\nFFFFFFFFFFFF=all\r\n"
            "7FF0FFFFFFFF=maker\r\n000000000000=zero\r\n7FF000000101=again\r\n");
  EXPECT_EQ(h.rdm.Requests(), 0u) << "nothing is sent to a broadcast key";

  // The table's limit counts devices, not lines: a word first, then one UID too many.
  std::string many = "NOTAUID=two\r\n";
  for (int k = 1; k <= workbench::MaxDevices + 1; ++k) many += fmt::format("{:X}=x\r\n", k);
  h.LoadList(many);
  EXPECT_EQ(h.bench.Table().Count(), workbench::MaxDevices);
  EXPECT_EQ(
      h.rdm.log.CountOf("devnames.lst entry 532: \"000213\" is past the 530 devices the table "
                        "holds; kept in the file, not listed"),
      1u);
}

namespace {

// Three devices with distinct details in every column.
void SetUpThree(WorkbenchHarness& h) {
  h.LoadList("7FF000000101=Spot 1\r\n7FF100000201=Wash Par 1\r\n7FF200000301=Dimmer Pack A\r\n",
             true);
  for (workbench::DeviceRecord& d : h.bench.Table().Devices) {
    workbench::DeviceReading reading(d.Uid);
    h.bench.Operations().ReadDescriptions(reading);
    h.bench.Devices().Apply(reading);
  }
  auto& devices = h.bench.Table().Devices;
  devices[0].FixtureNumber = 30;
  devices[1].FixtureNumber = devices[2].FixtureNumber = 10;
  devices[2].IdentifyOn = 1;
}

void ExpectRowsBelongToTheirUids(WorkbenchHarness& h) {
  for (int row = 0; row < h.bench.Table().Count(); ++row) {
    const auto& r = h.bench.Table().Devices[row];
    const auto f = h.rdm.Fixture(r.Uid);
    EXPECT_EQ(std::tuple(r.ManufacturerLabel, r.DeviceModelDescription, r.SoftwareVersionLabel,
                         r.StartAddressIndex + 1, r.Label),
              std::tuple(f.manufacturer, f.model, f.softwareVersion, f.startAddress, f.label));
    EXPECT_EQ(h.Cells(row, {1, 4}), (Strings{"0x" + rdm::UidText12(r.Uid), f.label}));
  }
}

}  // namespace

TEST(DeviceTable, SortsMovesNumberingAndClearingKeepEveryColumnWithItsUid) {
  WorkbenchHarness h;
  SetUpThree(h);
  h.bench.List().SortByFixtureNumber();
  EXPECT_EQ(h.TableUids(), (Uids{0x7FF100000201ULL, 0x7FF200000301ULL, 0x7FF000000101ULL}));
  EXPECT_EQ(h.ListFile(),
            "7FF100000201=Wash Par 1\r\n7FF200000301=Dimmer Pack A\r\n7FF000000101=Spot 1\r\n");
  EXPECT_EQ(h.bench.View().rows[1][5], "identify") << "identify travels with its device";
  EXPECT_EQ(h.bench.View().rows[2][0], "3-30");
  ExpectRowsBelongToTheirUids(h);
  h.bench.List().SortByStartAddress();  // 1, 65, 101
  EXPECT_EQ(h.TableUids(), (Uids{0x7FF000000101ULL, 0x7FF100000201ULL, 0x7FF200000301ULL}));
  ExpectRowsBelongToTheirUids(h);

  // Moving, numbering and clearing keep every column with its UID.
  h.bench.Devices().SelectRow(2);
  h.bench.List().MoveSelectedUp();
  EXPECT_EQ(std::tuple(h.bench.Table().SelectedRow(), h.bench.Table().Devices[1].Uid),
            std::tuple(1, rdm::Uid(0x7FF200000301ULL)));
  EXPECT_EQ(h.ListFile(),
            "7FF000000101=Spot 1\r\n7FF200000301=Dimmer Pack A\r\n7FF100000201=Wash Par 1\r\n");
  ExpectRowsBelongToTheirUids(h);

  h.bench.List().MoveSelectedDown();
  h.bench.List().MoveSelectedDown();
  EXPECT_EQ(h.rdm.log.CountOf("Down On the bottom "), 1u);
  EXPECT_EQ(h.bench.Table().Devices[2].Uid, rdm::Uid(0x7FF200000301ULL));
  ExpectRowsBelongToTheirUids(h);

  h.bench.Devices().SelectRow(0);
  std::string before = h.ListFile();
  h.bench.List().MoveSelectedUp();
  EXPECT_EQ(h.rdm.log.CountOf("UP On the top "), 1u);
  EXPECT_EQ(h.ListFile(), before);
  h.bench.Devices().SelectRow(-1);
  h.bench.List().MoveSelectedDown();
  EXPECT_EQ(h.rdm.log.CountOf("Down On the bottom "), 2u);

  // A fixture number keeps its low 16 bits; text is refused.
  h.bench.Devices().SelectRow(1);
  for (auto [typed, kept] : {std::pair{"70000", 70000 & 0xFFFF}, {"", 0}, {"12a", 0}}) {
    h.bench.List().SetFixtureNumber(typed);
    EXPECT_EQ(h.bench.Table().Devices[1].FixtureNumber, kept) << typed;
    if (kept) {
      EXPECT_EQ(h.bench.View().rows[1][0], "2-4464");
    }
  }
  EXPECT_EQ(h.rdm.log.CountOf("'12a' is not a valid integer value"), 1u);

  // Clear list deletes the file: a start after shows nothing.
  h.bench.List().ClearDeviceList();
  EXPECT_TRUE(h.bench.Table().Count() == 0 && h.bench.View().rows.empty());
  EXPECT_FALSE(common::FileExists(h.Path("devnames.lst")));
  workbench::Workbench next(h.rdm.engine, h.rdm.log, h.rdm.clock, h.dir.path, h.dir.path);
  next.List().LoadDeviceTable(true);
  EXPECT_EQ(next.Table().Count(), 0);
}

TEST(DeviceTable, AReloadKeepsEachDevicesValuesWithItsUidWhateverTheFileOrder) {
  WorkbenchHarness h;
  SetUpThree(h);
  // Another program (or a hand) wrote the list in another order, one device new.
  WriteBytes(h.Path("devnames.lst"),
             "7FF200000301=Dimmer Pack A\r\n1234ABCD=new\r\n7FF000000101=Spot 1\r\n");
  h.bench.List().RefreshDeviceTable(false);
  EXPECT_EQ(h.TableUids(), (Uids{0x7FF200000301ULL, 0x1234ABCDULL, 0x7FF000000101ULL}));
  // The dimmer's identify, not Spot 1's; a device new to the list starts empty.
  const auto& d = h.bench.Table().Devices;
  EXPECT_EQ(std::tuple(d[0].IdentifyOn, d[0].FixtureNumber, d[1].ManufacturerLabel,
                       d[1].FixtureNumber, d[2].FixtureNumber, d[2].ManufacturerLabel),
            std::tuple(1, 10, "", 2, 30, h.rdm.Fixture(0x7FF000000101ULL).manufacturer));
}

TEST(DeviceTable, AddressConflictsNameEachFixtureOnAnotherOrPast512) {
  workbench::DeviceTable t;
  // Spot 1..16 (16 slots), Par 17..24, a radio without footprint, a hazer without address.
  const std::tuple<uint64_t, const char*, uint16_t, uint16_t> listed[] = {
      {0x7FF000000101ULL, "Spot 1", 0, 16},
      {0x7FF100000201ULL, "Par", 16, 8},
      {0x7FF400000501ULL, "", 0, 0},
      {0x7FF300000401ULL, "Hazer", workbench::kNoStartAddressIndex, 2}};
  for (const auto& [uid, label, start, footprint] : listed) {
    workbench::DeviceRecord d = DeviceOf(rdm::Uid(uid), footprint);
    d.Label = label;
    d.StartAddressIndex = start;
    t.Devices.push_back(d);
  }
  const rdm::Uid spot{0x7FF000000101ULL}, par{0x7FF100000201ULL}, radio{0x7FF400000501ULL};
  // Each: the addresses sent, the conflicts named.
  const std::pair<std::vector<workbench::AddressAssignment>, Strings> cases[] = {
      {{{spot, 100}}, {}},
      {{{spot, std::nullopt}}, {}},  // no address sent: nothing moves
      {{{radio, 5}}, {}},            // no footprint never conflicts
      {{{par, 16}}, {"0x7FF100000201 (Par) at 16-23 overlaps 0x7FF000000101 (Spot 1) at 1-16"}},
      {{{par, 505}}, {}},  // 505-512 ends on the last slot
      {{{par, 506}}, {"0x7FF100000201 (Par) at 506-513 runs past 512"}},
      // Both moved onto each other: one line for the pair.
      {{{spot, 200}, {par, 210}},
       {"0x7FF000000101 (Spot 1) at 200-215 overlaps 0x7FF100000201 (Par) at 210-217"}},
      // Swapped: clean, though each lands where the other was.
      {{{spot, 17}, {par, 1}}, {}},
  };
  for (const auto& [changes, conflicts] : cases) {
    EXPECT_EQ(workbench::AddressConflicts(t, changes), conflicts)
        << (conflicts.empty() ? "clean" : conflicts[0]);
  }
}

// A plan of some fixtures makes the list those fixtures only; the rest of the rig is still
// there, and a write onto one of them must be named before it is sent.
TEST(DeviceTable, APlanThatLeavesFixturesOutIsStillCheckedAgainstThem) {
  WorkbenchHarness h;
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  auto& a = h.bench.Addressing();
  // Dimmer B sits at 107-112, and 113-119 are free.
  const rdm::Uid par4{0x7FF100000204ULL}, dimmerB{0x7FF200000302ULL};
  auto plan = [&](const std::string& name, workbench::PlanRecord only) {
    WriteBytes(h.Path(name), workbench::EncodeAddressPlan(std::vector{only}));
    return a.LoadPlan(h.Path(name));
  };
  auto conflicts = [&](const std::vector<workbench::AddressAssignment>& changes) {
    return workbench::AddressConflicts(h.bench.Table(), changes);
  };
  // Spot 2 alone, to 1: on top of Spot 1, which the plan does not name.
  ASSERT_TRUE(plan("spot2.DMXLINK", {kSpot2, 0, 16, 0}));
  h.bench.Run([&] { a.IdentifyPass(); });  // reloads the list from devnames.lst
  ASSERT_EQ(h.TableUids(), Uids{kSpot2.Value()});
  EXPECT_EQ(conflicts(a.WriteOrder()),
            Strings{"0x7FF000000102 (Spot 2) at 1-16 overlaps 0x7FF000000101 (Spot 1) at 1-16"});
  // Found again (it lost its mute), a fixture is listed once: moved within its own old
  // block, it conflicts with nothing.
  h.rdm.engine.RdmTransact({rdm::DISCOVERY_COMMAND, rdm::pid::DISC_UN_MUTE, {}}, par4, true);
  h.bench.Discover().Run(workbench::Discovery::Mode::Incremental);
  ASSERT_EQ(h.bench.Table().Count(), 2);
  EXPECT_EQ(conflicts({{par4, 90}}), Strings{});
  // A plan that lists an off-list fixture again takes it back; a fixture gone from the line
  // is forgotten by a whole search, kept by an incremental one.
  ASSERT_TRUE(plan("dimmer.DMXLINK", {dimmerB, 106, 6, 0}));
  EXPECT_EQ(conflicts({{dimmerB, 108}}), Strings{});
  h.rdm.line.InjectFault(0x7FF100000201ULL, {virtualline::FaultKind::NoAnswer});
  h.bench.Discover().Run(workbench::Discovery::Mode::Incremental);
  EXPECT_EQ(conflicts({{dimmerB, 65}}).size(), 1u) << "onto Wash Par 1, kept off the list";
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  EXPECT_EQ(conflicts({{dimmerB, 65}}), Strings{});
  // Clear list: the rig is another one.
  ASSERT_TRUE(a.LoadPlan(h.Path("spot2.DMXLINK")));
  ASSERT_TRUE(h.bench.List().ClearDeviceList());
  h.bench.Devices().Append(DeviceOf(kSpot2, 16));
  EXPECT_EQ(conflicts({{kSpot2, 1}}), Strings{});
}

// The window and velquor-cli save devnames.lst at once: each save reads the file again under a
// lock and keeps what the other changed; a program's own change wins for its UID.
TEST(DeviceTableFile, TwoProgramsSavingAtOnceLoseNeitherOnesEntries) {
  ScratchDir dir;
  WriteBytes(
      dir / "devnames.lst",
      "7FF000000101=Spot 1\r\n7FF000000102=Spot 2\r\n7FF000000103=Spot 3\r\n7FF000000109=Old\r\n");
  struct Program {
    explicit Program(const std::string& path) : table(log, models, path, path) {
      table.Reload(false, nullptr);
    }
    void Label(uint32_t device, const std::string& label) {
      table.Table().Find(rdm::Uid(0x7FF0, device))->Label = label;
    }
    common::LogSink log;
    workbench::ModelLock models;
    workbench::DeviceTableService table;
  };
  Program window(dir.path), cli(dir.path);
  cli.Label(0x102, "CLI label");
  cli.Label(0x103, "CLI 3");  // the window changes it too, later: the window's wins
  ASSERT_TRUE(cli.table.Append(DeviceOf(rdm::Uid(0x7FF0, 0x201))));
  ASSERT_TRUE(cli.table.Save());
  window.Label(0x101, "Window label");
  window.Label(0x103, "Window 3");
  window.table.Table().Devices.pop_back();  // 7FF000000109 taken off the list
  const std::string merged =
      "7FF000000101=Window label\r\n7FF000000102=CLI label\r\n7FF000000103=Window 3\r\n"
      "7FF000000201=\r\n";
  ASSERT_TRUE(window.table.Save());
  EXPECT_EQ(ReadBytes(dir / "devnames.lst"), merged);
  EXPECT_EQ(window.log.CountOf("devnames.lst: 2 entries another program saved meanwhile are kept"),
            1u);
  ASSERT_TRUE(cli.table.Save());
  EXPECT_EQ(ReadBytes(dir / "devnames.lst"), merged);

  // Two loops of label saves and additions at once, each acknowledged save kept.
  auto loop = [&dir](uint32_t own, uint32_t firstNew) {
    Program p(dir.path);
    for (uint32_t k = 0; k < 100; ++k) {
      p.Label(own, "L" + std::to_string(k));
      if (k % 10 == 0) p.table.Append(DeviceOf(rdm::Uid(0x7FF0, firstNew + k)));
      EXPECT_TRUE(p.table.Save());
    }
  };
  std::thread other(loop, 0x101, 0x1000);
  loop(0x102, 0x2000);
  other.join();
  const std::string file = ReadBytes(dir / "devnames.lst");
  EXPECT_NE(file.find("7FF000000101=L99\r\n"), std::string::npos) << file;
  EXPECT_NE(file.find("7FF000000102=L99\r\n"), std::string::npos) << file;
  for (uint32_t k = 0; k < 100; k += 10) {
    for (uint32_t base : {0x1000u, 0x2000u}) {
      EXPECT_NE(file.find(workbench::NameKey(rdm::Uid(0x7FF0, base + k)) + "="), std::string::npos)
          << std::hex << base + k;
    }
  }
}
