#pragma once
// The RDM workbench below the windows, put together: the device table service, the device
// operations, discovery and the page controllers, over one RDM engine, with the executor
// that owns the line. The window and velquor-cli drive it; nothing here touches a widget.

#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "common/Clock.h"
#include "common/Log.h"
#include "rdm/LineExecutor.h"
#include "rdm/RdmEngine.h"
#include "workbench/Console.h"
#include "workbench/DeviceOperations.h"
#include "workbench/DevicePanelModel.h"
#include "workbench/DeviceTableService.h"
#include "workbench/Discovery.h"
#include "workbench/MapControllers.h"
#include "workbench/ModelLock.h"
#include "workbench/PageControllers.h"

namespace velquor::workbench {

// Where the workbench reaches out. Both are called on the executor's thread.
struct WorkbenchHooks {
  std::function<void()> showRdmPage;
  std::function<void(const DiscoveryStatus&)> discoveryProgress;
};

class Workbench {
 public:
  Workbench(rdm::RdmEngine& engine, common::LogSink& log, common::Clock& clock,
            std::string workDir = ".", std::string programDir = ".", WorkbenchHooks hooks = {});
  ~Workbench();

  // The models; read or change them with Models() held.
  ModelLock& Models() { return models_; }
  DeviceTableService& Devices() { return devices_; }
  DeviceTable& Table() { return devices_.Table(); }
  const DeviceTable& Table() const { return devices_.Table(); }
  DeviceListView View() const { return devices_.View(); }
  DevicePanelModel& Panel() { return panel_; }
  ConsoleModel& Console() { return console_.Model(); }

  DeviceOperations& Operations() { return operations_; }
  Discovery& Discover() { return discovery_; }
  DeviceListController& List() { return list_; }
  RdmPageController& RdmPage() { return rdmPage_; }
  ConsoleController& ConsolePage() { return console_; }
  RadioController& RadioPage() { return radio_; }
  PatchPageController& PatchPage() { return patch_; }
  AddressingController& Addressing() { return addressing_; }
  rdm::RdmEngine& Engine() { return engine_; }

  // ---- The line's executor ----
  rdm::LineExecutor& Executor() { return executor_; }
  // True while a command holds the line; the engine tick sends no DMX meanwhile.
  std::atomic<bool>& LineBusy() { return lineBusy_; }
  CommandFlags& Flags() { return flags_; }
  // Starts `command` on the executor with the models held (let go during exchanges);
  // `done` follows on the executor's thread. Refused while another command runs: a log
  // line says which, and the result is false.
  bool StartCommand(const std::string& name, std::function<void()> command,
                    std::function<void()> done = {}, bool holdsLine = true);
  // True (with the same log line) when a command is running or waiting.
  bool RefusedWhileBusy(const std::string& name);
  // Runs `command` on the executor with the models held and waits for it.
  void Run(const std::function<void()>& command, bool holdsLine = true);
  // The program closes: the command in hand ends at its next exchange, the executor stops.
  void Shutdown();

 private:
  rdm::RdmEngine& engine_;
  common::LogSink& log_;
  ModelLock models_;
  CommandFlags flags_;
  DeviceTableService devices_;
  DevicePanelModel panel_;
  ConsoleModel consoleModel_;
  DeviceOperations operations_;
  Discovery discovery_;
  DeviceListController list_;
  RdmPageController rdmPage_;
  ConsoleController console_;
  RadioController radio_;
  PatchPageController patch_;
  AddressingController addressing_;
  std::atomic<bool> lineBusy_{false};
  rdm::LineExecutor executor_;
};

}  // namespace velquor::workbench
