// The patch report of a small rig worked by hand: what the devices answered goes into the
// table as a read does, the report sorts, marks and counts it, and its CSV and HTML say it.

#include <gtest/gtest.h>

#include "WorkbenchHarness.h"
#include "workbench/PatchReport.h"

using namespace velquor;
using namespace velquor::testsupport;
using workbench::PatchReport;

namespace {

constexpr uint16_t kNone = 0xFFFE;  // this value was never answered

struct Fixture {
  uint64_t uid;
  const char* label;
  uint16_t address;  // as DEVICE_INFO reports it; 0xFFFF: no footprint
  uint16_t footprint;
  const char* manufacturer;  // nullptr: never asked
  const char* model;         // nullptr: asked, no answer ("/" in the list)
};

// In list order: a wash after a gap of one address, two spots sharing one slot, a radio
// receiver without a footprint, a hazer never read, a dimmer running past 512 after a long gap.
constexpr Fixture kRig[] = {
    {0x7FF000000101, "Wash \"Front\", Bühne", 33, 8, "Velquor", "Wash 8"},
    {0x7FF000000102, "Spot 1", 1, 16, "Velquor", "Spot 16"},
    {0x7FF000000103, "Spot 2", 16, 16, "Velquor", nullptr},
    {0x7FF000000104, "Receiver", 0xFFFF, 0, "Velquor", "Radio"},
    {0x7FF000000105, "Hazer", kNone, kNone, nullptr, nullptr},
    {0x7FF000000106, "Dimmer", 505, 16, nullptr, nullptr},
};

PatchReport ReportOfRig(WorkbenchHarness& h) {
  std::vector<workbench::DeviceRecord> devices;
  for (const Fixture& f : kRig) {
    devices.push_back(DeviceOf(rdm::Uid(f.uid)));
    devices.back().Label = f.label;
  }
  h.bench.Devices().Replace(std::move(devices));
  for (const Fixture& f : kRig) {
    workbench::DeviceReading r(rdm::Uid(f.uid));
    if (f.address != kNone) {
      r.info.emplace().footprint = f.footprint;
      r.info->startAddress = f.address;
      r.startAddress = f.address;
    }
    if (f.manufacturer) {
      r.descriptionsAsked = true;
      r.manufacturer = f.manufacturer;
      if (f.model) r.model = f.model;
    }
    if (f.footprint == 16) r.personalityDescription = "16ch";
    h.bench.Devices().Apply(r);
  }
  return workbench::BuildPatchReport(h.bench.Table());
}

}  // namespace

TEST(PatchReport, SortsByAddressMarksOverlapsAndGapsAndQuotesTheCsvAndEscapesTheHtml) {
  WorkbenchHarness h;
  PatchReport report = ReportOfRig(h);
  EXPECT_EQ(workbench::PatchReportCsv(report),
            "UID,Label,Manufacturer,Model,Personality,Start,Footprint,End,Free before,Overlaps\r\n"
            "0x7FF000000102,Spot 1,Velquor,Spot 16,16ch,1,16,16,,0x7FF000000103\r\n"
            "0x7FF000000103,Spot 2,Velquor,,16ch,16,16,31,,0x7FF000000102\r\n"
            "0x7FF000000101,\"Wash \"\"Front\"\", Bühne\",Velquor,Wash 8,,33,8,40,32-32,\r\n"
            "0x7FF000000106,Dimmer,,,16ch,505,16,520,41-504,\r\n"
            "0x7FF000000104,Receiver,Velquor,Radio,,,0,,,\r\n"
            "0x7FF000000105,Hazer,,,,,,,,\r\n");
  // Addresses 1-15 one layer, 16 two, 17-31 one, 32 free, 33-40 one, 41-504 free, 505-512 one
  // (513-520 are off the map).
  const auto& slots = report.fixturesOnSlot;
  EXPECT_EQ(std::vector<int>({slots[0], slots[14], slots[15], slots[16], slots[30], slots[31],
                              slots[32], slots[39], slots[40], slots[503], slots[504], slots[511]}),
            std::vector<int>({1, 1, 2, 1, 1, 0, 1, 1, 0, 0, 1, 1}));
  EXPECT_EQ(std::tuple(report.patched, report.overlapping, report.freeSlots),
            std::tuple(4, 2, 1 + 464));
  EXPECT_TRUE(report.rows[3].pastEnd);
  EXPECT_EQ(workbench::RowMarks(report.rows[3], workbench::ReportTextsFor("ENU")), "runs past 512");
  // The list itself keeps its order: the report sorts a copy.
  EXPECT_EQ(h.bench.Table().Devices.front().Uid, rdm::Uid(kRig[0].uid));

  // The HTML escapes labels and shows gaps and overlaps, in both languages.
  report.rows[0].label = "<b>Spot</b> & 'co'";
  const std::string en =
      workbench::PatchReportHtml(report, workbench::ReportTextsFor("ENU"), "2026-12-07 06:00");
  for (const char* part : {
           "<html lang=\"en\">",
           "Generated: 2026-12-07 06:00 &middot; Fixtures: 6 &middot; Patched: 4 &middot; "
           "Overlapping: 2 &middot; Free addresses: 465",
           "<tr class=\"overlap\"><td>0x7FF000000102</td><td>&lt;b&gt;Spot&lt;/b&gt; &amp; "
           "&#39;co&#39;</td><td>Velquor</td><td>Spot 16</td><td>16ch</td><td>1</td><td>16</td>"
           "<td>16</td><td>Overlaps 0x7FF000000103</td></tr>",
           "<tr class=\"gap\"><td colspan=\"9\">Free 32–32 (1)</td></tr>\n<tr><td>0x7FF000000101"
           "</td><td>Wash &quot;Front&quot;, Bühne</td>",
           "<td>Receiver</td><td>Velquor</td><td>Radio</td><td></td><td></td><td>0</td><td></td>"
           "<td>no DMX footprint</td>",
           "<tr><th>1</th><td class=\"s1\" title=\"1\"></td>",
           "<td class=\"s1\" title=\"15\"></td><td class=\"s2\" title=\"16\"></td>"
           "<td class=\"s1\" title=\"17\"></td>",
           "<td class=\"s0\" title=\"32\"></td>",
       }) {
    EXPECT_NE(en.find(part), std::string::npos) << part;
  }
  const std::string zh =
      workbench::PatchReportHtml(report, workbench::ReportTextsFor("CHS"), "2026-12-07 06:00");
  for (const char* part : {"<html lang=\"zh\">", "<h1>配接报告</h1>", "<th>起始地址</th>",
                           "空闲 41–504 (464)", "重叠 0x7FF000000102"}) {
    EXPECT_NE(zh.find(part), std::string::npos) << part;
  }
}
