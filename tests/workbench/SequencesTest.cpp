// What a technician does, step by step, through the page controllers as the window calls
// them, checked on the virtual rig itself: a command changes only the fixture the window
// showed as its target, and only to the values it showed.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <random>

#include "WorkbenchHarness.h"
#include "common/Text.h"
#include "workbench/AddressMaps.h"

using namespace velquor;
using namespace velquor::testsupport;

namespace {

// What a fixture keeps (identify and lamp come and go with every click; they are not kept).
struct Kept {
  uint16_t address = 0;
  std::string label;
  uint8_t personality = 0;
  bool pan = false, tilt = false, swap = false;
  bool operator==(const Kept&) const = default;
};
using RigState = std::map<uint64_t, Kept>;

RigState StateOf(WorkbenchHarness& h) {
  RigState state;
  for (uint64_t uid : h.rdm.line.Uids()) {
    const auto f = h.rdm.Fixture(uid);
    state[uid] = {f.startAddress, f.label, f.personality, f.panInvert, f.tiltInvert, f.panTiltSwap};
  }
  return state;
}

std::string Describe(uint64_t uid, const Kept& k) {
  return fmt::format("0x{:012X} addr {} \"{}\" mode {} pan {} tilt {} swap {}", uid, k.address,
                     k.label, k.personality, k.pan, k.tilt, k.swap);
}

// Every fixture is as before, except those in `shown`, which may also have taken any of the
// values the window showed for them (a device may refuse some, so each field is either).
void ExpectOnlyShownChanges(const RigState& before, const RigState& after, const RigState& shown,
                            const std::string& step) {
  for (const auto& [uid, now] : after) {
    const Kept& was = before.at(uid);
    if (now == was) continue;
    auto it = shown.find(uid);
    if (it == shown.end()) {
      ADD_FAILURE() << step << ": a fixture the window did not name changed: " << Describe(uid, was)
                    << " -> " << Describe(uid, now);
      continue;
    }
    const Kept& s = it->second;
    const bool ok = (now.address == was.address || now.address == s.address) &&
                    (now.label == was.label || now.label == s.label) &&
                    (now.personality == was.personality || now.personality == s.personality) &&
                    (now.pan == was.pan || now.pan == s.pan) &&
                    (now.tilt == was.tilt || now.tilt == s.tilt) &&
                    (now.swap == was.swap || now.swap == s.swap);
    EXPECT_TRUE(ok) << step << ": " << Describe(uid, now) << " is not what the window showed, "
                    << Describe(uid, s);
  }
}

// The fixtures `to` names as the rig has them now, each at the address given (a UID that is
// not on the line is left out): what a write of start addresses may change.
RigState Readdressed(WorkbenchHarness& h, const std::vector<std::pair<uint64_t, int>>& to) {
  const RigState now = StateOf(h);
  RigState shown;
  for (const auto& [uid, address] : to) {
    if (!now.count(uid)) continue;
    shown[uid] = now.at(uid);
    shown[uid].address = static_cast<uint16_t>(address);
  }
  return shown;
}

// Wash Par 1 -> 200, Wash Par 2 -> 210, Hazer -> 300 (start indexes 199, 209, 299).
std::vector<workbench::PlanRecord> WashPlan() {
  return {{rdm::Uid(0x7FF100000201ULL), 199, 8, 0},
          {rdm::Uid(0x7FF100000202ULL), 209, 8, 0},
          {rdm::Uid(0x7FF300000401ULL), 299, 2, 0}};
}

using Record = workbench::DeviceRecord;
void SortByUid(WorkbenchHarness& h, bool descending) {
  h.bench.Devices().SortBy(descending
                               ? +[](const Record& a, const Record& b) { return b.Uid < a.Uid; }
                               : +[](const Record& a, const Record& b) { return a.Uid < b.Uid; });
}

}  // namespace

TEST(Sequences, BatchAddressingThenWriteSendsThePanelsFixtureItsOwnValues) {
  WorkbenchHarness h;
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  SortByUid(h, false);  // Spot 1..4, Wash Par 1..4, dimmers, hazer, radio
  auto& page = h.bench.RdmPage();
  const auto spot2 = page.SelectClickedRow(1);
  ASSERT_EQ(spot2, rdm::Uid(0x7FF000000102ULL));
  page.ReadClickedDevice(*spot2);
  ASSERT_EQ(h.bench.Panel().address, "17");
  page.startAddressText = "1";
  page.firstFixtureText = "5";
  page.lastFixtureText = "8";
  page.incrementText = "8";
  const workbench::BatchPlan plan = page.PlanBatch();
  h.bench.List().BatchAddress(plan, workbench::BatchTargets(h.bench.Table(), plan));
  EXPECT_EQ(h.rdm.Fixture(0x7FF100000204ULL).startAddress, 25) << "the washes took the batch";
  EXPECT_EQ(workbench::PanelDeviceText(h.bench.Panel(), false), "Panel: 0x7FF000000102");
  EXPECT_EQ(h.bench.Panel().address, "17") << "the batch writes into no panel";
  EXPECT_EQ(h.bench.Panel().personalities.SelectedNumber(), 1);
  const RigState before = StateOf(h);
  page.Write(*page.WriteOrder());
  EXPECT_EQ(h.rdm.Fixture(0x7FF000000102ULL).startAddress, 17) << "not on top of Spot 1";
  EXPECT_EQ(StateOf(h), before);
}

// What a fixture lists is its own: reading or writing one never asks it for what only the
// fixture read before listed, nor skips what it lists itself.
TEST(Sequences, EachFixtureIsAskedWhatItListsWhicheverWasReadBefore) {
  namespace pid = rdm::pid;
  virtualline::Rig rig = virtualline::DefaultRig();
  rig.fixtures.resize(2);
  rig.fixtures[0].supportedPids = {pid::DEVICE_HOURS, pid::PAN_INVERT, pid::DEVICE_LABEL};
  rig.fixtures[1].supportedPids = {pid::LAMP_HOURS};  // and a label it does not list
  WorkbenchHarness h(rig);
  h.LoadList("7FF000000101=Spot 1\r\n7FF000000102=Spot 2\r\n");
  auto& page = h.bench.RdmPage();
  for (const int row : {0, 1, 0, 1}) {
    h.rdm.log.Clear();
    const rdm::Uid uid = page.SelectClickedRow(row).value();
    page.ReadClickedDevice(uid);
    const std::string of = " of 0x" + rdm::UidText(uid);
    const bool first = row == 0;
    const auto& f = h.rdm.Fixture(uid);
    EXPECT_EQ(
        std::tuple(h.rdm.log.CountOf("Getting dev hours" + of),
                   h.rdm.log.CountOf("Getting lamp hours" + of), h.bench.Panel().deviceHours,
                   h.bench.Panel().lampHours),
        std::tuple(first ? 1u : 0u, first ? 0u : 1u, first ? std::to_string(f.deviceHours) : "/",
                   first ? "/" : std::to_string(f.lampHours)))
        << "row " << row;
    h.bench.Panel().panInvert = true;
    page.Write(*page.WriteOrder());
    EXPECT_EQ(std::tuple(h.rdm.log.CountOf("Set pan inversion" + of), h.rdm.Fixture(uid).panInvert,
                         h.rdm.Fixture(uid).label, h.bench.Table().Devices[row].Label),
              std::tuple(first ? 1u : 0u, first || f.panInvert, f.label, f.label))
        << "row " << row << ": only what it lists is set; an unread label stays";
  }
}

TEST(Sequences, APlanLoadedAndWrittenReaddressesThePlansFixturesNotTheListsOld) {
  WorkbenchHarness h;
  h.LoadList(kThreeSpots, true);
  WriteBytes(h.Path("wash.DMXLINK"), workbench::EncodeAddressPlan(WashPlan()));
  auto& a = h.bench.Addressing();
  ASSERT_TRUE(a.LoadPlan(h.Path("wash.DMXLINK")));
  h.bench.Run([&] { a.IdentifyPass(); });  // reloads the list from devnames.lst
  EXPECT_EQ(h.Cells(0, {1, 2}), (std::vector<std::string>{"0x7FF100000201", "200"}));
  h.bench.Run([&] { a.WriteAll(a.WriteOrder()); });
  for (auto [uid, address] : {std::pair{0x7FF100000201ULL, 200},
                              {0x7FF100000202ULL, 210},
                              {0x7FF300000401ULL, 300},
                              {0x7FF000000101ULL, 1},
                              {0x7FF000000102ULL, 17},
                              {0x7FF000000103ULL, 33}}) {
    EXPECT_EQ(h.rdm.Fixture(uid).startAddress, address) << std::hex << uid;
  }
}

TEST(Sequences, APatchLoadedThenReadOrWrittenKeepsEachFixturesOwnValues) {
  for (const bool readFirst : {true, false}) {
    WorkbenchHarness h;
    h.LoadList(kThreeSpots, true);
    auto plan = WashPlan();
    for (auto& r : plan) r.startIndex = static_cast<uint16_t>(r.startIndex - 100);
    WriteBytes(h.Path("wash.pat"), workbench::EncodePatchFile(plan));
    auto& patch = h.bench.PatchPage();
    ASSERT_TRUE(patch.Load(h.Path("wash.pat")));
    EXPECT_FALSE(patch.Load(h.Path("missing.pat")));
    ASSERT_EQ(h.bench.Table().Count(), 3) << "a missing file changes nothing";
    if (readFirst) {
      h.bench.Run([&] { patch.Read(true); });  // BitBtn4: read and list
      EXPECT_EQ(h.Cells(0, {1, 2, 3}), (std::vector<std::string>{"0x7FF100000201", "065", "008"}))
          << "Wash Par 1's own address and footprint";
    } else {
      h.bench.Run([&] { h.bench.RdmPage().Read(); });  // the RDM page's Read: the first row
      EXPECT_EQ(h.bench.Panel().device, rdm::Uid(0x7FF100000201ULL));
      EXPECT_EQ(h.bench.Panel().label, "Wash Par 1");
    }
    const RigState before = StateOf(h);
    const auto targets = patch.WriteOrder();
    std::vector<std::pair<uint64_t, int>> to;
    for (const auto& t : targets) {
      if (t.address) to.emplace_back(t.uid.Value(), *t.address);
    }
    const RigState shown = Readdressed(h, to);
    h.bench.Run([&] { patch.Write(targets, true); });
    ExpectOnlyShownChanges(before, StateOf(h), shown, "patch write");
    for (uint64_t spot : {0x7FF000000101ULL, 0x7FF000000102ULL, 0x7FF000000103ULL}) {
      EXPECT_EQ(StateOf(h)[spot], before.at(spot)) << "the spots are not in the patch";
    }
    ASSERT_TRUE(patch.Save(h.Path("again.pat")));
    EXPECT_EQ(ReadBytes(h.Path("again.pat")).size(), 4u + 3 * 12);
  }
}

TEST(Sequences, ClearAndDiscoverLeaveNoCellOfAPreviousOccupant) {
  WorkbenchHarness h;
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  for (auto& d : h.bench.Table().Devices) {
    workbench::DeviceReading r(d.Uid);
    h.bench.Operations().ReadDescriptions(r);
    h.bench.Devices().Apply(r);
  }
  SortByUid(h, true);
  ASSERT_TRUE(h.bench.List().ClearDeviceList());
  h.bench.Discover().Run(workbench::Discovery::Mode::Full);
  for (const auto& row : h.bench.View().rows) {
    const auto uid = rdm::Uid::Parse(row[1]);
    ASSERT_TRUE(uid);
    const auto f = h.rdm.Fixture(*uid);
    EXPECT_EQ(row[4], f.label);
    EXPECT_EQ(row[5], " ") << row[1] << " shows another device's identify";
    EXPECT_TRUE(row[6].empty()) << row[1] << " shows a maker it was not asked for";
    const uint16_t footprint = f.personalities[f.personality - 1].footprint;
    EXPECT_EQ(row[3], fmt::format("{:03}", footprint)) << row[1];
  }
}

// ---------------------------------------------------------------- random sequences

namespace {

// A technician at random: each step is something the window lets one do, done as its
// binding does it, and checked on the rig: only what the window showed may change.
class Technician {
 public:
  Technician(WorkbenchHarness& h, uint32_t seed) : h_(h), random_(seed) {}

  void Step() {
    // Clicks, edits and writes come more often than discovery and loads, as at a desk.
    using Action = void (Technician::*)();
    static constexpr Action kActions[] = {
        &Technician::ClickRow,    &Technician::ClickRow,  &Technician::ClickRowOnAnotherPage,
        &Technician::Read,        &Technician::EditPanel, &Technician::EditPanel,
        &Technician::Write,       &Technician::Write,     &Technician::Batch,
        &Technician::Discover,    &Technician::Reorder,   &Technician::LoadPlan,
        &Technician::MapWrite,    &Technician::PatchRead, &Technician::ConsoleSend,
        &Technician::DragOnTheMap};
    (this->*kActions[Pick(std::size(kActions))])();
  }
  const std::string& Steps() const { return steps_; }

 private:
  int Pick(size_t n) {
    return std::uniform_int_distribution<int>(0, static_cast<int>(n) - 1)(random_);
  }
  int Row() { return Pick(std::max(h_.bench.Table().Count(), 1) + 1) - 1; }  // -1: none listed

  // Says the step and does it. `shown`: what the window showed, before the step, for the
  // fixtures the step sends to; every other fixture must stay as it was.
  void Do(const std::string& step, const RigState& shown, const std::function<void()>& act) {
    steps_ += step + "\n";
    const RigState before = StateOf(h_);
    act();
    ExpectOnlyShownChanges(before, StateOf(h_), shown, step);
  }
  // The list's rows as the window shows them: UID and start address of each.
  std::vector<std::pair<uint64_t, std::string>> ShownRows() {
    std::vector<std::pair<uint64_t, std::string>> rows;
    for (const auto& row : h_.bench.View().rows) {
      rows.emplace_back(rdm::Uid::Parse(row[1])->Value(), row[2]);
    }
    return rows;
  }

  void ClickRow() {
    const int row = Row();
    Do(fmt::format("click row {}", row), {}, [&] {  // only identify moves
      if (auto uid = h_.bench.RdmPage().SelectClickedRow(row)) {
        h_.bench.RdmPage().ReadClickedDevice(*uid);
      }
    });
  }
  void ClickRowOnAnotherPage() {
    const int row = Row();
    Do(fmt::format("click row {} on another page", row), {},
       [&] { h_.bench.RdmPage().SelectRowOnOtherPage(row); });
  }
  void Read() {
    Do("Read", {}, [&] { h_.bench.RdmPage().Read(); });
  }
  void EditPanel() {
    auto& p = h_.bench.Panel();
    const int what = Pick(4);
    if (what == 0) p.address = std::to_string(1 + Pick(512));
    if (what == 1) p.label = fmt::format("Label {}", Pick(100));
    if (what == 2 && !p.personalities.items.empty()) {
      p.personalities.itemIndex = Pick(static_cast<int>(p.personalities.items.size()));
    }
    if (what == 3) {
      p.panInvert = Pick(2) == 1;
      p.tiltInvert = Pick(2) == 1;
      p.panTiltSwap = Pick(2) == 1;
    }
    steps_ += fmt::format("edit panel: addr {} label \"{}\" mode item {}\n", p.address, p.label,
                          p.personalities.itemIndex);  // nothing is sent
  }
  void Write() {
    // What the panel shows: the fixture it names ("Panel: 0x...") and its fields.
    const auto& p = h_.bench.Panel();
    const std::string named = workbench::PanelDeviceText(p, false);
    RigState shown;
    if (!named.empty()) {
      const uint64_t uid = rdm::Uid::Parse(named.substr(7))->Value();
      const RigState now = StateOf(h_);
      Kept& k = shown[uid] = now.count(uid) ? now.at(uid) : Kept{};
      if (auto typed = common::ParseInteger(p.address)) {
        k.address = workbench::StartAddressToSend(*typed);
      }
      k.label = p.label.substr(0, 32);
      if (!p.personalities.items.empty()) k.personality = p.personalities.ChosenNumber();
      k.pan = p.panInvert;
      k.tilt = p.tiltInvert;
      k.swap = p.panTiltSwap;
    }
    Do("Write", shown, [&] {
      if (const auto order = h_.bench.RdmPage().WriteOrder()) h_.bench.RdmPage().Write(*order);
    });
  }
  void Batch() {
    auto& page = h_.bench.RdmPage();
    const int start = 1 + Pick(500), increment = Pick(20), first = Pick(6), last = Pick(12);
    page.startAddressText = std::to_string(start);
    page.incrementText = std::to_string(increment);
    page.firstFixtureText = std::to_string(first + 1);
    page.lastFixtureText = std::to_string(last + 1);
    // Rows first..last as the list shows them, evenly spaced from the start address.
    const auto rows = ShownRows();
    std::vector<std::pair<uint64_t, int>> to;
    for (int row = first; row <= last && row < static_cast<int>(rows.size()); ++row) {
      to.emplace_back(rows[static_cast<size_t>(row)].first,
                      workbench::StartAddressToSend(start + (row - first) * increment));
    }
    Do(fmt::format("batch from {} inc {} fixtures {}..{}", start, increment, first + 1, last + 1),
       Readdressed(h_, to), [&] {
         const workbench::BatchPlan plan = page.PlanBatch();
         h_.bench.List().BatchAddress(plan, workbench::BatchTargets(h_.bench.Table(), plan));
       });
  }
  void Discover() {
    const bool full = Pick(2) == 0;
    Do(full ? "Discover" : "Add", {}, [&] {
      h_.bench.Discover().Run(full ? workbench::Discovery::Mode::Full
                                   : workbench::Discovery::Mode::Incremental);
    });
  }
  void Reorder() {
    const std::pair<const char*, std::function<void()>> moves[] = {
        {"sort", [&] { h_.bench.List().SortByFixtureNumber(); }},
        {"sort by address", [&] { h_.bench.List().SortByStartAddress(); }},
        {"up", [&] { h_.bench.List().MoveSelectedUp(); }},
        {"down", [&] { h_.bench.List().MoveSelectedDown(); }},
        {"identify", [&] { h_.bench.RdmPage().ToggleIdentify(); }}};
    const auto& [name, move] = moves[Pick(std::size(moves))];
    Do(name, {}, move);
  }
  void LoadPlan() {
    // A plan of some of the rig's fixtures (and one that is not on the line), in any order.
    std::vector<workbench::PlanRecord> records;
    for (uint64_t uid : h_.rdm.line.Uids()) {
      if (Pick(2) == 0) {
        records.push_back({rdm::Uid(uid), static_cast<uint16_t>(Pick(500)),
                           static_cast<uint16_t>(1 + Pick(16)), 0});
      }
    }
    records.push_back({rdm::Uid(0x4E4F00000001ULL), 10, 4, 0});
    std::shuffle(records.begin(), records.end(), random_);
    const bool pat = Pick(2) == 0;
    const std::string path = h_.Path(pat ? "random.pat" : "random.DMXLINK");
    WriteBytes(path,
               pat ? workbench::EncodePatchFile(records) : workbench::EncodeAddressPlan(records));
    Do(fmt::format("load a {} of {} records", pat ? ".pat" : "plan", records.size()), {}, [&] {
      if (pat) {
        h_.bench.PatchPage().Load(path);
      } else {
        h_.bench.Addressing().LoadPlan(path);
        h_.bench.Addressing().IdentifyPass();
      }
    });
  }
  void MapWrite() {
    // Every listed fixture to the address its row (and its block on the map) shows.
    std::vector<std::pair<uint64_t, int>> to;
    for (const auto& [uid, address] : ShownRows()) {
      if (address != "-") to.emplace_back(uid, std::stoi(address));
    }
    auto& patch = h_.bench.PatchPage();
    auto& addressing = h_.bench.Addressing();
    if (Pick(2) == 0) {
      const bool andRead = Pick(2) == 0;
      Do("Patch Write", Readdressed(h_, to), [&] { patch.Write(patch.WriteOrder(), andRead); });
    } else {
      Do("addressing write", Readdressed(h_, to),
         [&] { addressing.WriteAll(addressing.WriteOrder()); });
    }
  }
  void PatchRead() {
    const bool andList = Pick(2) == 0;
    Do("Patch Read", {}, [&] { h_.bench.PatchPage().Read(andList); });
  }
  void ConsoleSend() {
    // SET DMX_START_ADDRESS to the selected fixture (the first row when none is).
    const int address = 1 + Pick(500);
    const auto view = h_.bench.View();
    std::vector<std::pair<uint64_t, int>> to;
    if (!view.rows.empty()) {
      const auto& row = view.rows[static_cast<size_t>(std::max(view.selected, 0))];
      to.emplace_back(rdm::Uid::Parse(row[1])->Value(), address);
    }
    const std::vector<std::string> data{fmt::format("{:02X}", address >> 8),
                                        fmt::format("0x{:02x}", address & 0xFF)};
    Do(fmt::format("console SET DMX_START_ADDRESS {}", address), Readdressed(h_, to), [&] {
      h_.bench.ConsolePage().Send({1, 26, 0, false, data});
    });
  }
  void DragOnTheMap() {
    const int row = Row();
    const int cell = Pick(512);
    Do(fmt::format("drag row {} to cell {}", row, cell), {}, [&] {
      if (row < 0) return;
      h_.bench.Devices().SelectRow(row);
      h_.bench.PatchPage().RowClicked(row);
      h_.bench.PatchPage().Drag((cell % 32) * 18 + 9, (cell / 32) * 18 + 9, true);
      h_.bench.PatchPage().Release();
    });
  }

  WorkbenchHarness& h_;
  std::mt19937 random_;
  std::string steps_;
};

}  // namespace

TEST(Sequences, ARandomTechnicianChangesOnlyWhatTheWindowShows) {
  // Fixed seeds here; VELQUOR_SEQUENCE_SEEDS=N runs N more from the clock, by hand.
  std::vector<uint32_t> seeds{1, 2, 3, 4, 5, 6, 7, 8};
  if (const char* more = std::getenv("VELQUOR_SEQUENCE_SEEDS")) {
    std::random_device device;
    for (int k = std::atoi(more); k > 0; --k) seeds.push_back(device());
  }
  for (uint32_t seed : seeds) {
    WorkbenchHarness h;
    Technician t(h, seed);
    for (int step = 0; step < 60 && !::testing::Test::HasFailure(); ++step) {
      std::lock_guard lock(h.bench.Models());
      t.Step();
    }
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << "seed " << seed << ", steps:\n" << t.Steps();
      return;
    }
  }
}
