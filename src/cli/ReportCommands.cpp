// velquor-cli's patch report: `report FILE` and `list --csv`, from what the listed devices
// answer in this run (a value a device did not give is an empty cell).

#include <ctime>
#include <filesystem>
#include <ostream>

#include "app/ReportFile.h"
#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "workbench/PatchReport.h"

namespace velquor::cli {

namespace {

std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

}  // namespace

bool ReportTargetRefused(const ReportCommand& command, std::ostream& err) {
  if (!workbench::ReportFormatOf(command.file)) {
    err << "A report is FILE.pdf, FILE.html (.htm) or FILE.csv, not \"" << command.file
        << "\": nothing done\n";
    return true;
  }
  std::error_code ec;
  if (std::filesystem::exists(command.file, ec) && !command.force) {
    err << command.file << " exists: add --force to replace it\n";
    return true;
  }
  return false;
}

int RunListCsv(CliSession& session, std::ostream& out, std::ostream& err) {
  std::vector<bool> answered;
  if (const int failed = ReadListedDevices(session, answered, err)) return failed;
  out << workbench::PatchReportCsv(workbench::BuildPatchReport(session.Bench().Table()));
  return SilentDevices(answered, err);
}

int RunReport(CliSession& session, const ReportCommand& command, std::ostream& out,
              std::ostream& err) {
  std::vector<bool> answered;
  if (const int failed = ReadListedDevices(session, answered, err)) return failed;
  const workbench::PatchReport report = workbench::BuildPatchReport(session.Bench().Table());
  const workbench::ReportTexts& texts = workbench::ReportTextsFor(command.language);
  std::string error;
  const bool written = app::WritePatchReport(report, texts, Now(), command.file, error);
  if (!written) {
    err << "Unable to write " << command.file << ": " << error << "\n";
    return kExitFileError;
  }
  out << command.file << ": " << report.rows.size() << " fixtures, " << report.overlapping
      << " overlapping, " << report.freeSlots << " free addresses\n";
  return SilentDevices(answered, err);
}

}  // namespace velquor::cli
