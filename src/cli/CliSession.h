#pragma once
// The command line's view of the core: the box or the virtual line, the link, the RDM
// engine, and the commands built on them.

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "common/Log.h"
#include "link/UsbLink.h"
#include "rdm/RdmEngine.h"
#include "virtualline/VirtualLine.h"

namespace velquor::cli {

struct SessionOptions {
  bool virtualLine = false;
  std::string rigFile;  // empty: the default rig
  int speedIndex = 1;   // "Speed4": 50 ms
};

class CliSession {
 public:
  // Builds the session; on failure returns nothing and says why in `error`.
  static std::unique_ptr<CliSession> Create(const SessionOptions& options, common::LogSink& log,
                                            std::string& error);
  ~CliSession();

  rdm::RdmEngine& Engine() { return *engine_; }
  link::UsbLink& Link() { return *link_; }
  virtualline::VirtualLine* Line() { return line_; }

 private:
  CliSession() = default;

  std::unique_ptr<link::LinkTransport> transport_;
  virtualline::VirtualLine* line_ = nullptr;
  std::unique_ptr<link::UsbLink> link_;
  std::unique_ptr<rdm::RdmEngine> engine_;
};

struct RawCommand {
  std::string commandClass;  // get, set, discovery, or a number
  std::string pid;           // name or number
  std::vector<std::string> data;
  std::string uid;
  bool broadcast = false;
  uint16_t subDevice = 0;
};

// Sends one composed request; prints a summary line to `out`. Exit code 0 on a valid
// answer, 1 without one, 2 when the command itself is wrong (reason on `err`).
int RunRaw(CliSession& session, const RawCommand& command, std::ostream& out, std::ostream& err);

// Lists the fixtures of the virtual line.
int RunRig(CliSession& session, std::ostream& out, std::ostream& err);

}  // namespace velquor::cli
