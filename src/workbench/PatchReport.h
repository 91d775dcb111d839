#pragma once
// The patch report a technician prints or sends to the console operator: every listed
// fixture sorted by start address, overlaps and gaps marked, the universe's slots counted
// for the map, and the CSV and HTML texts of it. A cell holds only what a device, a plan file
// or the map gave; a value never read is an empty cell, never a default shown as a reading.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "workbench/DeviceTable.h"

namespace velquor::workbench {

struct PatchReportRow {
  rdm::Uid uid;
  std::string label, manufacturer, model, personality;  // empty: never read
  std::optional<int> start;                             // 1..512
  std::optional<int> footprint;                         // 0: the device has no DMX footprint
  std::optional<int> end;                               // start + footprint − 1; may pass 512
  std::optional<std::pair<int, int>> gapBefore;         // free addresses just before it
  std::vector<rdm::Uid> overlaps;                       // fixtures sharing a slot with it
  bool pastEnd = false;                                 // runs past address 512
};

struct PatchReport {
  // By start address (equal ones in list order), then the fixtures without one in list order.
  std::vector<PatchReportRow> rows;
  std::array<int, 512> fixturesOnSlot{};  // how many fixtures each address carries
  int patched = 0;                        // fixtures with a start address and a footprint
  int overlapping = 0;                    // fixtures marked as overlapping another
  int freeSlots = 0;                      // addresses no fixture takes
};

// The report of the listed fixtures as the table holds them.
PatchReport BuildPatchReport(const DeviceTable& table);

// The words of the HTML and PDF reports in the window's language ("CHS" or "ENU").
struct ReportTexts {
  std::string htmlLanguage;  // "en", "zh"
  std::string title, generated, fixtures, patched, overlapping, freeSlots;
  std::array<std::string, 8> columns;  // UID .. end address
  std::string marks, gap, overlapsWith, pastEnd, noFootprint, legend, legendFree, legendOne,
      legendMany, notRead;
};
const ReportTexts& ReportTextsFor(std::string_view language);

// The marks of a row as the HTML and PDF reports write them ("Overlaps 0x…; runs past 512").
std::string RowMarks(const PatchReportRow& row, const ReportTexts& texts);
// "25–32 (8)": a free range as the reports name it.
std::string GapText(std::pair<int, int> gap);

// The report's kinds, by a file name's extension (any case): .pdf, .html or .htm, .csv.
enum class ReportFormat { Pdf, Html, Csv };
std::optional<ReportFormat> ReportFormatOf(std::string_view path);

// RFC 4180: CRLF line ends, a field with a comma, a quote or a line break in quotes, its
// quotes doubled; UTF-8 without a byte order mark. The header is English in every language,
// so a script or a console's import reads the same columns.
std::string PatchReportCsv(const PatchReport& report);
// One self-contained UTF-8 page: summary, map, table. `generatedAt` is printed as given.
std::string PatchReportHtml(const PatchReport& report, const ReportTexts& texts,
                            std::string_view generatedAt);

}  // namespace velquor::workbench
