#include "core/Core.h"

#include "common/Files.h"
#include "link/LibusbTransport.h"

namespace velquor::core {

std::unique_ptr<Core> Core::Create(const CoreOptions& options, workbench::WorkbenchHooks hooks,
                                   std::string& error) {
  std::unique_ptr<Core> core(new Core());
  core->options_ = options;
  if (core->options_.programDir.empty()) core->options_.programDir = common::ProgramDirectory();
  core->clock_ = options.clock ? options.clock : &common::RealClock();

  if (options.virtualLine) {
    auto rig = virtualline::LoadRigOrDefault(options.rigFile, error);
    if (!rig) return nullptr;
    auto line = std::make_unique<virtualline::VirtualLine>(std::move(*rig), *core->clock_);
    core->line_ = line.get();
    core->transport_ = std::move(line);
  } else {
    core->transport_ = std::make_unique<link::LibusbTransport>(link::MakeLibusbApi());
  }

  Core* self = core.get();
  link::LinkHooks linkHooks;
  linkHooks.onRdmFrameSent = [self] { self->tickHoldOff_.store(-2); };
  core->link_ = std::make_unique<link::UsbLink>(*core->transport_, core->log_, *core->clock_,
                                                std::move(linkHooks));
  core->engine_ = std::make_unique<rdm::RdmEngine>(*core->link_, core->log_);
  core->bench_ = std::make_unique<workbench::Workbench>(
      *core->engine_, core->log_, *core->clock_, core->options_.workDir, core->options_.programDir,
      std::move(hooks));
  core->desk_ = std::make_unique<dmx::SceneDesk>(core->universe_, core->log_, [self] {
    if (self->deskShown_) self->deskShown_();
  });
  auto showShown = [self] {
    if (self->showShown_) self->showShown_();
  };
  core->recorder_ = std::make_unique<dmx::ShowRecorder>(core->universe_, [self, showShown](int n) {
    self->showCount_ = n;
    showShown();
  });
  core->player_ = std::make_unique<dmx::ShowPlayer>(core->universe_, core->log_,
                                                    [showShown](int) { showShown(); });
  dmx::EngineHooks tickHooks;
  tickHooks.sceneStep = [self] { self->desk_->SceneStep(); };
  tickHooks.playbackStep = [self] { self->player_->PlaybackStep(); };
  tickHooks.requestRecordFrame = [self] { self->recorder_->RequestFrame(); };
  tickHooks.sendArtDmx = [self] { self->bridge_->SendArtDmx(); };
  core->tick_ = std::make_unique<dmx::EngineTick>(*core->link_, *core->engine_, core->universe_,
                                                  core->bench_->LineBusy(), core->tickHoldOff_,
                                                  core->log_, *core->clock_, tickHooks);
  core->tick_->SetLineOwner(&core->bench_->Executor());

  net::BridgeHooks bridgeHooks;
  bridgeHooks.deviceUids = [self] {
    std::vector<rdm::Uid> uids;
    for (const auto& device : self->bench_->Devices().Snapshot().devices)
      uids.push_back(device.uid);
    return uids;
  };
  bridgeHooks.requestRecordFrame = [self] { self->recorder_->RequestFrame(); };
  core->bridge_ = std::make_unique<net::ArtNetBridge>(
      core->universe_, core->tick_->View(), *core->engine_, core->bench_->Executor(), core->log_,
      *core->clock_, std::move(bridgeHooks), options.artNet);
  return core;
}

Core::~Core() {
  Shutdown();
}

void Core::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  if (bridge_) bridge_->StopReceiving();  // no new relays while the line winds down
  if (bench_) bench_->Shutdown();
  if (tick_) tick_->DestroyTimer();
  if (bridge_) bridge_->Stop();
  if (transport_) {
    std::lock_guard guard(link_->Lock());
    transport_->Close();
  }
}

}  // namespace velquor::core
