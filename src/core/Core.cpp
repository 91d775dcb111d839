#include "core/Core.h"

#include <fmt/format.h>

#include "common/Encoding.h"
#include "common/Files.h"
#include "common/ProgramPaths.h"
#include "link/HidLayer.h"
#include "link/LibusbTransport.h"

namespace velquor::core {

std::optional<common::IniFile> LoadProgramIni(const std::string& programDir,
                                              const std::string& name,
                                              const std::string& defaultsDir) {
  std::string path = common::PathIn(programDir, name);
  if (!defaultsDir.empty() && !common::PathExists(path)) path = common::PathIn(defaultsDir, name);
  std::string error;
  auto bytes = common::ReadWholeFile(path, error);
  if (!bytes) return std::nullopt;
  return common::IniFile::Parse(common::DecodeTextFile(*bytes));
}

std::vector<std::string> UseProgramPaths(CoreOptions& options) {
  const common::ProgramPaths paths = common::ChooseProgramPaths(common::ProgramFactsNow());
  options.programDir = paths.configDir;
  options.workDir = paths.dataDir;
  options.showDir = paths.showDir;
  options.defaultsDir = paths.defaultsDir;
  return common::PrepareUserDirectories(paths);
}

std::unique_ptr<Core> Core::Create(const CoreOptions& options, workbench::WorkbenchHooks hooks,
                                   std::string& error) {
  std::unique_ptr<Core> core(new Core());
  core->options_ = options;
  if (core->options_.programDir.empty()) core->options_.programDir = common::ProgramDirectory();
  if (core->options_.showDir.empty()) core->options_.showDir = core->options_.workDir;
  if (core->options_.defaultsDir.empty()) core->options_.defaultsDir = core->options_.programDir;
  core->clock_ = options.clock ? options.clock : &common::RealClock();
  // A program killed in the middle of a save leaves its temporary beside the file it saved.
  for (const std::string& dir :
       {core->options_.workDir, core->options_.programDir, core->options_.showDir}) {
    for (const std::string& name : common::RemoveLeftoverTemporaries(dir)) {
      core->log_.Add("Removed " + common::PathIn(dir, name) + ", left by a save that did not end");
    }
  }

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
  core->recorder_ = std::make_unique<dmx::ShowRecorder>(
      core->universe_,
      [self, showShown](int n) {
        self->showCount_ = n;
        showShown();
      },
      [self, showShown](const std::string& why) {
        self->log_.Add(why);
        showShown();
      });
  core->player_ = std::make_unique<dmx::ShowPlayer>(core->universe_, core->log_,
                                                    [showShown](int) { showShown(); });
  dmx::EngineHooks tickHooks;
  tickHooks.sceneStep = [self] { self->desk_->SceneStep(); };
  tickHooks.playbackStep = [self] { self->player_->PlaybackStep(); };
  tickHooks.requestRecordFrame = [self] { self->recorder_->RequestFrame(); };
  tickHooks.sendArtDmx = [self] {
    // "DMX512 To sACN" is sent by the sACN node's own thread.
    if (self->tick_->View().networkProtocol.load() == dmx::NetworkProtocol::ArtNet) {
      self->bridge_->SendArtDmx();
    }
  };
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
  core->sacn_ = std::make_unique<net::SacnNode>(core->universe_, core->tick_->View(), core->log_,
                                                *core->clock_, options.sacn);
  core->sacn_->SetFrameTaken([self] { self->recorder_->RequestFrame(); });
  return core;
}

void Core::PrepareModels() {
  // The engine's lock is never taken inside the models' lock: the executor takes them the
  // other way round.
  engine_->PrimeRequestImage();
  std::lock_guard lock(bench_->Models());
  workbench::DevicePanelModel& panel = bench_->Panel();
  panel.personalities.Clear();
  panel.personalities.Add(1, "Mode 1");
  panel.personalities.itemIndex = 0;
  bench_->RdmPage().batchPersonalities = panel.personalities;
  bench_->Devices().BuildColumns();
}

bool Core::LoadSceneFile() {
  const std::string sceneFile = common::PathIn(options_.workDir, "quendaris.show");
  if (!common::PathExists(sceneFile)) return false;
  std::string error;
  auto bytes = common::ReadWholeFile(sceneFile, error);
  if (!bytes) {
    log_.Add("Fail to Open File!!!");
    return false;
  }
  log_.Add("Configure" + std::to_string(bytes->size()));
  desk_->Load(*bytes);
  return true;
}

void Core::OpenLink() {
  link::HidProbe();  // the result is not looked at
  link_->LinkOpen();
}

std::optional<StartUpSettings> Core::ReadStartUpSettings() const {
  auto config = LoadProgramIni(options_.programDir, "config.cfg");
  if (!config) return std::nullopt;
  return StartUpSettings{config->ReadInteger("General", "IP", 0),
                         config->ReadInteger("General", "TEST", 0)};
}

net::Cid Core::LoadOrMakeSacnCid() {
  // A source keeps one CID for its life, so receivers know it again after a restart.
  std::optional<common::IniFile> config = LoadProgramIni(options_.programDir, "config.cfg");
  if (config) {
    if (auto cid = net::ParseCid(config->ReadString("sACN", "CID", ""))) return *cid;
  }
  const net::Cid cid = net::MakeCid();
  common::IniFile updated = config.value_or(common::IniFile{});
  updated.WriteString("sACN", "CID", net::CidText(cid));
  std::string error;
  const std::string path = common::PathIn(options_.programDir, "config.cfg");
  if (!updated.Save(path, error)) {
    log_.Add(fmt::format("sACN: the source's CID cannot be kept in {}: {}", path, error));
  }
  return cid;
}

void Core::LoadDeviceList() {
  bench_->List().LoadDeviceTable(true);
  bench_->RdmPage().FollowListCount();
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
  if (sacn_) sacn_->Stop();  // a sending node says its stream ends
  if (transport_) {
    std::lock_guard guard(link_->Lock());
    transport_->Close();
  }
}

}  // namespace velquor::core
