#pragma once
// The command line's view of the core (the same wiring as the window's) and the commands
// built on its typed operations. Every command runs on the line's executor.

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "common/Log.h"
#include "core/Core.h"
#include "workbench/Workbench.h"

namespace velquor::cli {

struct SessionOptions {
  bool virtualLine = false;
  std::string rigFile;             // empty: the default rig
  int speedIndex = 1;              // "Speed4": 50 ms
  std::string workDir = ".";       // devnames.lst and devnone.lst
  std::string programDir;          // UidList.ini; empty: beside the program
  common::Clock* clock = nullptr;  // the real clock unless a test gives one
  // Discovery's progress after every exchange and at its end.
  std::function<void(const workbench::DiscoveryStatus&)> discoveryProgress;
};

// Discovery's progress for a terminal: one line rewritten in place, cleared before any
// other output; where the output is not a terminal, a plain line per device found.
class ProgressLine {
 public:
  ProgressLine(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
  void Show(const workbench::DiscoveryStatus& status);
  // Call before printing anything else to the same terminal.
  void Clear();

 private:
  std::ostream& out_;
  bool terminal_;
  bool shown_ = false;
  size_t lastFound_ = 0;
};

class CliSession {
 public:
  // Builds the session and opens the line; on failure returns nothing and says why in
  // `error`. Log lines go to `logListener` as they are added (may be empty).
  static std::unique_ptr<CliSession> Create(const SessionOptions& options,
                                            std::function<void(const std::string&)> logListener,
                                            std::string& error);
  ~CliSession();

  core::Core& Core() { return *core_; }
  common::LogSink& Log() { return core_->Log(); }
  rdm::RdmEngine& Engine() { return core_->Engine(); }
  virtualline::VirtualLine* Line() { return core_->Line(); }
  workbench::Workbench& Bench() { return core_->Bench(); }
  // Runs `command` on the line's executor and waits for it.
  void Run(const std::function<void()>& command) { core_->Bench().Run(command); }

 private:
  CliSession() = default;
  std::unique_ptr<core::Core> core_;
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

// Full (or incremental) discovery; the devices found are saved to devnames.lst.
int RunDiscover(CliSession& session, bool incremental, std::ostream& out);
// The device list as the window shows it, each device asked for its current state.
int RunList(CliSession& session, std::ostream& out);
// The device panel's read of one device, and the values it fills.
int RunRead(CliSession& session, const std::string& uid, std::ostream& out, std::ostream& err);

struct SetCommand {
  std::string uid;
  std::optional<std::string> address;
  std::optional<std::string> label;
  std::optional<int> personality;
  std::optional<bool> panInvert, tiltInvert, panTiltSwap;
  std::optional<bool> identify;
};
// Sets the given parameters of one device.
int RunSet(CliSession& session, const SetCommand& command, std::ostream& out, std::ostream& err);

struct BatchCommand {
  int startAddress = 1;
  int increment = 0;
  int first = 1;  // fixture numbers (rows of the list, from 1)
  int last = 1;
  std::optional<int> personality;
};
// Evenly spaced start addresses for a run of listed fixtures, then the list re-read.
int RunBatch(CliSession& session, const BatchCommand& command, std::ostream& out,
             std::ostream& err);

// The radio channel of the wireless equipment: read (no channel) or set (1..7).
int RunRadio(CliSession& session, std::optional<int> channel, std::ostream& out, std::ostream& err);

// The device list rows as text, one line per row under a header of the column captions.
std::string FormatDeviceList(const workbench::DeviceListView& view);

}  // namespace velquor::cli
