#pragma once
// Everything below the windows, wired together once for the window and velquor-cli: the
// transport (the box or the virtual line), the link, the RDM engine, the workbench with the
// line's executor, the output universe, the engine tick and the Art-Net bridge (started by
// the window or by velquor-cli's commands that need them).

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "common/Ini.h"
#include "common/Log.h"
#include "dmx/EngineTick.h"
#include "dmx/OutputUniverse.h"
#include "dmx/SceneDesk.h"
#include "dmx/ShowRecorder.h"
#include "link/LinkTransport.h"
#include "link/UsbLink.h"
#include "net/ArtNetBridge.h"
#include "net/SacnNode.h"
#include "rdm/RdmEngine.h"
#include "virtualline/VirtualLine.h"
#include "workbench/Workbench.h"

namespace velquor::core {

struct CoreOptions {
  bool virtualLine = false;
  std::string rigFile;             // empty: the default rig
  std::string workDir = ".";       // devnames.lst, devnone.lst, the scene file
  std::string showDir;             // show files and the file choosers' start; empty: workDir
  std::string programDir;          // config.cfg, UidList.ini, language files of the user's own
  std::string defaultsDir;         // the shipped language files; empty: programDir
  common::Clock* clock = nullptr;  // the real clock unless a test gives one
  net::BridgeOptions artNet;       // the Art-Net bridge (opened by its user, not here)
  net::SacnOptions sacn;           // the sACN node (likewise)
};

// Reads an INI file beside the program (config.cfg, the language files), or from
// `defaultsDir` when the program's directory has none; a file that is not UTF-8 is read as
// GB18030. Nothing when it cannot be read.
std::optional<common::IniFile> LoadProgramIni(const std::string& programDir,
                                              const std::string& name,
                                              const std::string& defaultsDir = {});

// The running program's directories (common::ChooseProgramPaths) in `options`; the user's
// directories made and seeded when it is installed. Returns what could not be done.
std::vector<std::string> UseProgramPaths(CoreOptions& options);

// config.cfg's [General] settings the program starts with.
struct StartUpSettings {
  int networkAddressIndex = 0;  // IP: the host address the Art-Net node uses
  int testMode = 0;             // TEST: not 0 shows the test-mode controls
};

class Core {
 public:
  // Nothing when the rig file cannot be read; `error` says why.
  static std::unique_ptr<Core> Create(const CoreOptions& options, workbench::WorkbenchHooks hooks,
                                      std::string& error);
  ~Core();

  common::LogSink& Log() { return log_; }
  common::Clock& Clock() { return *clock_; }
  link::UsbLink& Link() { return *link_; }
  rdm::RdmEngine& Engine() { return *engine_; }
  workbench::Workbench& Bench() { return *bench_; }
  dmx::OutputUniverse& Universe() { return universe_; }
  dmx::SceneDesk& Desk() { return *desk_; }
  dmx::ShowRecorder& Recorder() { return *recorder_; }
  dmx::ShowPlayer& Player() { return *player_; }
  // The recording's frame count for ShowState, as the recorder last reported it.
  int ShowCount() const { return showCount_.load(); }
  // Called on the recorder's thread with the frame count, and on the tick's with the play
  // position, for the Art-Net page.
  void SetShowShown(std::function<void()> shown) { showShown_ = std::move(shown); }
  // Called on the tick's thread when a scene step wants the DMX page refreshed.
  void SetDeskShown(std::function<void()> shown) { deskShown_ = std::move(shown); }
  dmx::EngineTick& Tick() { return *tick_; }
  // The Art-Net node; the window and velquor-cli open it with NetInit.
  net::ArtNetBridge& Bridge() { return *bridge_; }
  // The sACN node beside it, on the same chosen address.
  net::SacnNode& Sacn() { return *sacn_; }
  // The sACN source's CID from config.cfg ([sACN] CID), made and kept there the first time.
  net::Cid LoadOrMakeSacnCid();
  virtualline::VirtualLine* Line() { return line_; }
  const CoreOptions& Options() const { return options_; }

  // ---- Start-up, in the order the window takes them ----
  // The request image primed, the panel's and the batch's personality lists at "Mode 1", the
  // device list's columns built. Takes the model lock.
  void PrepareModels();
  // Reads quendaris.show from the working directory into the desk: true when it was read (and
  // "Configure<size>" logged); false when there is none or it cannot be read ("Fail to Open
  // File!!!").
  bool LoadSceneFile();
  // Probes the HID layer (the result is not looked at), then opens the link to the box.
  void OpenLink();
  // config.cfg's settings; nothing when config.cfg cannot be read.
  std::optional<StartUpSettings> ReadStartUpSettings() const;
  // The start-up load of devnames.lst: every listed device is asked again and the RDM page's
  // last fixture follows the count. Runs as a command on the line's executor.
  void LoadDeviceList();

  // Ends the command in hand at its next exchange, stops the executor and the tick, and
  // releases the box. Safe to call twice.
  void Shutdown();

 private:
  Core() = default;

  CoreOptions options_;
  common::Clock* clock_ = nullptr;
  common::LogSink log_;
  std::atomic<int32_t> tickHoldOff_{0};
  std::unique_ptr<link::LinkTransport> transport_;
  virtualline::VirtualLine* line_ = nullptr;
  std::unique_ptr<link::UsbLink> link_;
  std::unique_ptr<rdm::RdmEngine> engine_;
  std::unique_ptr<workbench::Workbench> bench_;
  dmx::OutputUniverse universe_;
  std::function<void()> deskShown_;
  std::unique_ptr<dmx::SceneDesk> desk_;
  std::function<void()> showShown_;
  std::atomic<int> showCount_{0};
  std::unique_ptr<dmx::ShowRecorder> recorder_;
  std::unique_ptr<dmx::ShowPlayer> player_;
  std::unique_ptr<dmx::EngineTick> tick_;
  std::unique_ptr<net::ArtNetBridge> bridge_;
  std::unique_ptr<net::SacnNode> sacn_;
  bool shutDown_ = false;
};

}  // namespace velquor::core
