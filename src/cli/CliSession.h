#pragma once
// The command line's view of the core (the same wiring as the window's) and the commands
// built on its typed operations. Every command runs on the line's executor.

#include <atomic>
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

// What velquor-cli's exit status means; scripts may rely on these.
enum ExitCode : int {
  kExitOk = 0,         // done; every device asked answered
  kExitUsage = 2,      // wrong or refused input: nothing was sent
  kExitNack = 3,       // a device answered NACK (its reason is printed)
  kExitNoAnswer = 4,   // no answer, or one that could not be used
  kExitNoBox = 5,      // the interface box is not there or cannot be opened
  kExitFileError = 6,  // a file missing, not a device list, unreadable or unwritable; a recording
                       // that could not keep every frame
  kExitNetwork = 7,    // the Art-Net or sACN address is not this computer's, or its port is taken
};
inline constexpr const char* kExitCodesText =
    "Exit status: 0 done, 2 wrong or refused input (nothing sent), 3 a device answered NACK, "
    "4 no answer or an unusable one, 5 interface box not found or not usable, 6 a device list "
    "or other file missing, not a device list, or not readable or writable, or a recording "
    "that could not keep every frame, 7 the Art-Net or sACN "
    "address is not this computer's or its port cannot be used.";

struct SessionOptions {
  bool virtualLine = false;
  std::string rigFile;             // empty: the default rig
  int speedIndex = 1;              // "Speed4": 50 ms
  std::string workDir = ".";       // devnames.lst, devnone.lst, the scene file
  std::string showDir;             // show files; empty: workDir
  std::string programDir;          // UidList.ini; empty: beside the program
  common::Clock* clock = nullptr;  // the real clock unless a test gives one
  net::BridgeOptions artNet;       // the Art-Net node of the artnet command
  net::SacnOptions sacn;           // the sACN node of the sacn command
  bool json = false;               // one JSON document on standard output instead of text
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
  // Builds the session and opens the line; on failure returns nothing, says why in `error`
  // and sets `exitCode`. Log lines go to `logListener` as they are added (may be empty).
  static std::unique_ptr<CliSession> Create(const SessionOptions& options,
                                            std::function<void(const std::string&)> logListener,
                                            std::string& error, int* exitCode = nullptr);
  ~CliSession();

  core::Core& Core() { return *core_; }
  common::LogSink& Log() { return core_->Log(); }
  rdm::RdmEngine& Engine() { return core_->Engine(); }
  virtualline::VirtualLine* Line() { return core_->Line(); }
  workbench::Workbench& Bench() { return core_->Bench(); }
  // Runs `command` on the line's executor and waits for it.
  void Run(const std::function<void()>& command) { core_->Bench().Run(command); }
  bool Json() const { return json_; }

 private:
  CliSession() = default;
  std::unique_ptr<core::Core> core_;
  bool json_ = false;
};

struct RawCommand {
  std::string commandClass;  // get, set, discovery, or a number
  std::string pid;           // name or number
  std::vector<std::string> data;
  std::string uid;
  bool broadcast = false;
  uint16_t subDevice = 0;
};

// Sends one composed request; prints a summary line to `out`. Exit code by ExitCode: 0 an
// answer (or a broadcast sent), 3 NACK, 4 none, 2 when the command itself is wrong.
int RunRaw(CliSession& session, const RawCommand& command, std::ostream& out, std::ostream& err);

// Lists the fixtures of the virtual line.
int RunRig(CliSession& session, std::ostream& out, std::ostream& err);

// Full (or incremental) discovery; the devices found are saved to devnames.lst.
int RunDiscover(CliSession& session, bool incremental, std::ostream& out, std::ostream& err);
// The device list as the window shows it, each device asked for its current state.
int RunList(CliSession& session, std::ostream& out, std::ostream& err);

struct ReportCommand {
  std::string file;              // FILE.pdf, FILE.html (.htm) or FILE.csv
  std::string language = "ENU";  // the words of the PDF and HTML: ENU or CHS
  bool force = false;            // replace an existing file
};
// Refuses (true, the reason on `err`) a report file of an unknown kind, or one that exists
// without `force`: checked before the line is opened.
bool ReportTargetRefused(const ReportCommand& command, std::ostream& err);
// The patch report of the listed devices, each asked for its state as `list` asks, written to
// the file; a device that does not answer keeps empty cells (exit 4, the report written).
int RunReport(CliSession& session, const ReportCommand& command, std::ostream& out,
              std::ostream& err);
// `list --csv`: the same report as CSV on `out`.
int RunListCsv(CliSession& session, std::ostream& out, std::ostream& err);
// The device panel's read of one device, and the values it fills; `slots`: the current
// personality and what each of its channels does instead.
int RunRead(CliSession& session, const std::string& uid, std::ostream& out, std::ostream& err,
            bool broadcast = false, bool slots = false);

// Every sensor's definition and value of one device; with `watchSeconds`, the values again
// every second for so long (or until `interrupted`). 0 when every value came, 3 when a sensor
// NACKed (the others still shown), 4 when a value or the device did not answer.
int RunSensors(CliSession& session, const std::string& uid, double watchSeconds,
               const std::atomic<bool>& interrupted, std::ostream& out, std::ostream& err);

struct SetCommand {
  std::string uid;
  std::optional<std::string> address;
  std::optional<std::string> label;
  std::optional<int> personality;
  std::optional<int> panInvert, tiltInvert, panTiltSwap;  // 0 or 1
  std::optional<int> identify;                            // 0 or 1
  bool broadcast = false;                                 // a broadcast UID is refused without it
  bool allowOverlap = false;  // send an address that overlaps another listed fixture
};
// Sets the given parameters of one device.
int RunSet(CliSession& session, const SetCommand& command, std::ostream& out, std::ostream& err);

struct BatchCommand {
  int startAddress = 1;
  int increment = 0;
  int first = 1;  // fixture numbers (rows of the list, from 1)
  int last = 1;
  std::optional<int> personality;
  bool allowOverlap = false;  // send even when fixtures would overlap or run past 512
};
// Evenly spaced start addresses for a run of listed fixtures, then the list re-read.
int RunBatch(CliSession& session, const BatchCommand& command, std::ostream& out,
             std::ostream& err);

struct PlanCommand {
  std::string action;  // save or apply
  std::string file;    // .pat: the Patch page's file; any other name: the addressing plan
  bool allowOverlap = false;
};
// save: the listed devices' UIDs, start addresses and footprints as they report them;
// apply: each listed UID's start address from the file, by UID, then what the devices report.
int RunPlan(CliSession& session, const PlanCommand& command, std::ostream& out, std::ostream& err);

// The desk's scenes from quendaris.show: "list" them, "play" the sequence with its fades on
// the engine tick for `seconds` (or until `interrupted` says so), or "stop": one frame of
// zeros, the blackout a stopped show leaves behind.
int RunScenes(CliSession& session, const std::string& action, std::optional<double> seconds,
              const std::atomic<bool>& interrupted, std::ostream& out, std::ostream& err);

struct ShowCommand {
  std::string action;             // record, play, copy
  std::string file;               // a name in showDir, or a path; ".dmx" is added when missing
  std::optional<double> seconds;  // record, play: for so long (else until interrupted or done)
  bool loop = false;              // play: again and again (else once through)
  int from = 0, to = 0;           // copy: frames from .. to-1
  bool force = false;             // record, copy: replace an existing file
};
// The show recorder and player headless: record what the box receives (DMX512 input, one
// frame a tick), play a show out of the box, or copy a frame range to "S_" + the name.
int RunShow(CliSession& session, const ShowCommand& command, const std::atomic<bool>& interrupted,
            std::ostream& out, std::ostream& err);

struct ArtNetCommand {
  std::string address;            // one of this computer's IPv4 addresses
  int universe = 0;               // the port-address, 0..32767
  std::string direction = "in";   // in: Art-Net to DMX512; out: DMX512 to Art-Net
  std::optional<double> seconds;  // for so long (else until interrupted)
};
// The Art-Net node headless: DMX both ways on the engine tick, poll replies, the device list
// (devnames.lst) for consoles' table requests, and their RDM relayed to the line.
int RunArtNet(CliSession& session, const ArtNetCommand& command,
              const std::atomic<bool>& interrupted, std::ostream& out, std::ostream& err);

struct SacnCommand {
  std::string address;            // one of this computer's IPv4 addresses
  int universe = 1;               // 1..63999
  std::string direction = "in";   // in: sACN to DMX512; out: DMX512 to sACN
  int priority = 100;             // out: 0..200
  std::optional<double> seconds;  // for so long (else until interrupted)
};
// The sACN node headless: in merges the universe's sources onto the box's DMX output every
// tick; out sends the box's DMX input as a source (then ends the stream).
int RunSacn(CliSession& session, const SacnCommand& command, const std::atomic<bool>& interrupted,
            std::ostream& out, std::ostream& err);

// Merges firmware images (a boot loader, then the application, at most five) into `output`:
// the boot loader padded to 12288 bytes. Needs no box. An existing output is replaced only
// with `force`, an input never.
int RunFirmwareMerge(const std::vector<std::string>& images, const std::string& output, bool force,
                     std::ostream& out, std::ostream& err);

// A time for --seconds: at least one tick, at most a week.
inline constexpr double kMinSeconds = 0.04, kMaxSeconds = 604800;
inline uint64_t TicksOf(double seconds) {
  return static_cast<uint64_t>(seconds * 1000 / dmx::kTickPeriodMs);
}

// The radio channel of the wireless equipment: read (no channel) or set (1..7).
int RunRadio(CliSession& session, std::optional<int> channel, std::ostream& out, std::ostream& err);

// The device list rows as text, one line per row under a header of the column captions,
// columns aligned by display width (a Chinese character takes two).
std::string FormatDeviceList(const workbench::DeviceListView& view);

}  // namespace velquor::cli
