#include "workbench/Workbench.h"

namespace velquor::workbench {

Workbench::Workbench(rdm::RdmEngine& engine, common::LogSink& log, common::Clock& clock,
                     std::string workDir, std::string programDir, WorkbenchHooks hooks)
    : engine_(engine),
      log_(log),
      devices_(log, models_, std::move(workDir), std::move(programDir)),
      operations_(engine, log, clock, models_, flags_.closing),
      discovery_(engine, log, clock, devices_, operations_, flags_,
                 {hooks.discoveryProgress, hooks.showRdmPage}),
      list_(devices_, operations_, log, flags_),
      rdmPage_(devices_, operations_, list_, panel_, consoleModel_, log, hooks.showRdmPage),
      console_(engine, models_, consoleModel_, devices_, operations_, discovery_, log),
      radio_(operations_, consoleModel_, log),
      patch_(devices_, operations_, list_, log, flags_),
      addressing_(devices_, operations_, list_, log, flags_),
      executor_(lineBusy_) {}

Workbench::~Workbench() {
  Shutdown();
  engine_.SetConsoleSink(nullptr);
}

bool Workbench::StartCommand(const std::string& name, std::function<void()> command,
                             std::function<void()> done, bool holdsLine) {
  auto refused = executor_.Start({name,
                                  [this, command = std::move(command)] {
                                    std::lock_guard lock(models_);
                                    flags_.stopRequested.store(false);
                                    command();
                                  },
                                  std::move(done), holdsLine});
  if (!refused) return true;
  log_.Add(name + " not started: " + *refused + " is still running");
  return false;
}

bool Workbench::RefusedWhileBusy(const std::string& name) {
  const std::string running = executor_.ActiveName();
  if (running.empty()) return false;
  log_.Add(name + " not started: " + running + " is still running");
  return true;
}

void Workbench::Run(const std::function<void()>& command, bool holdsLine) {
  executor_.RunAndWait(
      [this, &command] {
        std::lock_guard lock(models_);
        flags_.stopRequested.store(false);
        command();
      },
      holdsLine);
}

void Workbench::Shutdown() {
  flags_.closing.store(true);
  flags_.stopRequested.store(true);
  executor_.Shutdown();
}

}  // namespace velquor::workbench
