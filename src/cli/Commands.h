#pragma once
// What velquor-cli's commands share: the UID form it prints, the text and exit status of an
// exchange that did not end in an ACK, the refusal of a broadcast UID, the devices as JSON,
// and the check for a device-list file that could not be read or written.

#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CliSession.h"
#include "rdm/RdmEngine.h"
#include "workbench/Workbench.h"

namespace velquor::cli {

// JSON as printed: bytes a device or a file gave that are not UTF-8 (a label a fixture set up
// in Chinese keeps in GB18030) print as U+FFFD instead of ending the program.
inline std::string JsonText(const nlohmann::json& j, int indent = 2) {
  return j.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string UidForm(rdm::Uid uid);
// A UID as typed; nothing (and why on `err`) when it is not one.
std::optional<rdm::Uid> ParseDeviceUid(const std::string& text, std::ostream& err);
int FailureCode(const rdm::ExchangeOutcome& outcome);
std::string FailureText(const rdm::ExchangeOutcome& outcome, rdm::Uid uid);
// Refuses a broadcast destination unless it was asked for: a broadcast SET reaches every
// fixture on the line.
bool RefuseBroadcast(rdm::Uid uid, bool broadcast, std::ostream& err);
// `answered`: per row, whether the device answered (rows that did not carry no values).
nlohmann::json DevicesJson(workbench::Workbench& bench,
                           const std::vector<bool>* answered = nullptr);
// A device-list file that could not be read or written during the command (said on `err`).
bool FileFailed(CliSession& session, std::ostream& err);
// devnames.lst loaded and each listed device asked for its state, as `list` does; `answered`
// per row. An exit status: 0, or 6 (said on `err`) when there is no usable list.
int ReadListedDevices(CliSession& session, std::vector<bool>& answered, std::ostream& err);
// 0 when every device answered, else 4 with a line on `err` saying how many did not.
int SilentDevices(const std::vector<bool>& answered, std::ostream& err);

}  // namespace velquor::cli
