#pragma once
// The patch report written to a file of the kind its name ends in: CSV and HTML as text, the
// PDF painted with Qt's own PDF writer. A library of its own (Qt Gui, no widgets) that the
// window and velquor-cli both link, so the one report is the same from either.

#include <string>
#include <string_view>

#include "workbench/PatchReport.h"

namespace velquor::app {

// Writes the report to `path` whole or not at all (A4 landscape: summary, the map of the
// universe, then the table over as many pages as it takes). Without a running Qt application
// one is made for the call, on the offscreen platform, so velquor-cli needs no display. False,
// with the reason in `error`, when the file cannot be written.
bool WritePatchReportPdf(const workbench::PatchReport& report, const workbench::ReportTexts& texts,
                         std::string_view generatedAt, const std::string& path, std::string& error);

// The report to `path` as its extension says (see workbench::ReportFormatOf), whole or not
// at all; false, with the reason in `error`, when the kind is unknown or the file cannot be
// written.
bool WritePatchReport(const workbench::PatchReport& report, const workbench::ReportTexts& texts,
                      std::string_view generatedAt, const std::string& path, std::string& error);

}  // namespace velquor::app
