// Discovery: the tree search of rdm/ over the RDM engine, muting each device found, reading
// it, and adding it as the next row of the table (saved at once).

#include <fmt/format.h>

#include <algorithm>
#include <set>

#include "common/Text.h"
#include "rdm/DiscoverySearch.h"
#include "rdm/KnownPids.h"
#include "workbench/Workbench.h"

namespace velquor::workbench {

void Workbench::RdmUnMute(rdm::Uid uid) {
  log_.Add("UnMute 0x" + rdm::UidText(uid));
  clock_.SleepFor(common::FromMs(10));
  engine_.RdmTransact({rdm::DISCOVERY_COMMAND, rdm::pid::DISC_UN_MUTE, {}}, uid, false);
}

bool Workbench::AddFoundDevice(rdm::Uid uid, const std::string& logText) {
  if (table_.DeviceCount >= MaxDevices) {
    log_.Add(fmt::format("The device table is full ({} devices): 0x{} is not added", MaxDevices,
                         rdm::UidText(uid)));
    return false;
  }
  const int row = table_.DeviceCount;
  table_.Records[static_cast<size_t>(row)].Uid = uid;
  const std::string key = NameKey(uid);
  // A label that could not be read must not be taken from the device read before.
  if (GetDeviceLabel(uid)) {
    table_.Names.Set(key, panel_.Edit1);
  } else {
    table_.Names.Set(key, table_.Names.Value(key).value_or(""));
  }
  if (table_.Names.Count() <= static_cast<size_t>(table_.DeviceCount)) return false;
  GetDeviceInfo(uid, row);
  AddDeviceRow(row);
  if (!incremental_) log_.Add(logText + rdm::UidText(uid));
  table_.DeviceCount = row + 1;
  return true;
}

rdm::BranchReply Workbench::BranchExchange(rdm::Uid lower, rdm::Uid upper) {
  const rdm::RdmAnswer answer = engine_.DiscoveryBranch(lower, upper);
  rdm::BranchReply reply;
  if (answer.receivedBytes == 0) return reply;
  const rdm::DiscoveryResult decoded =
      rdm::DecodeDiscoveryAnswer(answer.response, answer.receivedBytes);
  engine_.LogResponseImage(answer.response);
  log_.Add(rdm::DiscoveryIdLine(answer.response, lower, upper));
  const bool inRange = decoded.uid >= lower && decoded.uid <= upper;
  if (decoded.outcome == rdm::DiscoveryOutcome::Valid && inRange) {
    log_.Add("valid Discovery Response received successful");
  } else if (decoded.outcome != rdm::DiscoveryOutcome::NoAnswer) {
    log_.Add("Collision detected ...");
  }
  Pump();
  if (decoded.outcome == rdm::DiscoveryOutcome::NoAnswer) return reply;
  reply.kind = decoded.outcome == rdm::DiscoveryOutcome::Valid ? rdm::BranchReply::Kind::Answer
                                                               : rdm::BranchReply::Kind::Garbled;
  reply.uid = decoded.uid;
  // A discovery answer ends within 24 bytes of its separator, which comes within 48.
  reply.wire.assign(answer.response.begin(),
                    answer.response.begin() + std::min<size_t>(answer.receivedBytes, 72));
  return reply;
}

uint8_t Workbench::DiscUniqueBranch(rdm::Uid lower, rdm::Uid upper, bool muteAndAdd) {
  const rdm::BranchReply reply = BranchExchange(lower, upper);
  if (reply.kind == rdm::BranchReply::Kind::Silent) return 0;
  if (reply.kind == rdm::BranchReply::Kind::Garbled || reply.uid < lower || reply.uid > upper) {
    return 1;
  }
  LastFoundUid = reply.uid;
  if (muteAndAdd && RdmMute(reply.uid)) {
    AddFoundDevice(reply.uid, "----------ADD device---------- : ");
    return 0;
  }
  return 2;
}

bool Workbench::RdmMute(rdm::Uid uid) {
  log_.Add("----------Mute---------- 0x" + rdm::UidText(uid));
  const rdm::RdmAnswer a =
      engine_.RdmTransact({rdm::DISCOVERY_COMMAND, rdm::pid::DISC_MUTE, {}}, uid, true);
  // Only the device itself acknowledging counts: not a NACK, not another device's answer.
  return a.Ok() && a.ResponseType() == rdm::RESPONSE_TYPE_ACK &&
         a.response[rdm::kCommandClass] == rdm::DISCOVERY_COMMAND_RESPONSE &&
         rdm::ReadUid(&a.response[rdm::kSourceUid]) == uid;
}

namespace {

// The search's view of the line: the RDM engine through the workbench's logged exchanges.
class LineTarget final : public rdm::DiscoveryTarget {
 public:
  explicit LineTarget(Workbench& bench) : bench_(bench) {}
  rdm::BranchReply Branch(rdm::Uid lower, rdm::Uid upper) override {
    return bench_.BranchExchange(lower, upper);
  }
  bool Mute(rdm::Uid uid) override { return bench_.RdmMute(uid); }
  void UnMuteAll() override { bench_.RdmUnMute(rdm::BroadcastUid); }

 private:
  Workbench& bench_;
};

}  // namespace

void Workbench::ReportDiscovery(const rdm::DiscoveryProgress& progress, bool running) {
  discoveryStatus_.running = running;
  discoveryStatus_.found = progress.found;
  discoveryStatus_.branches = progress.branches;
  discoveryStatus_.seconds = common::ToMs(clock_.Now() - discoveryStart_) / 1000.0;
  if (hooks_.discoveryProgress) hooks_.discoveryProgress(discoveryStatus_);
}

void Workbench::RunDiscovery(bool incremental) {
  BusyScope busy(rdmBusy_);
  if (!busy.Owned()) return;
  incremental_ = incremental;
  StopDiscovery.store(false);
  discoveryStart_ = clock_.Now();
  ReportDiscovery({}, true);
  Pump();
  if (hooks_.showRdmPage) hooks_.showRdmPage();
  LineTarget target(*this);
  auto stopRequested = [this] { return AbortRequested.load() || StopDiscovery.load(); };

  std::set<rdm::Uid> rechecked;
  if (!incremental) {
    target.UnMuteAll();
    // Read the reset list before anything is cleared: if it cannot be read, the table
    // stays as it was.
    DeviceNameList reset;
    if (!LoadNames(DevNonePath(), reset, true)) {
      log_.Add("Discovery stopped: devnone.lst cannot be read; the device list is unchanged.");
      ReportDiscovery({}, false);
      return;
    }
    view_.rows.clear();
    SelectRow(-1);
    log_.Add("Discovery started...");
    const int oldCount = table_.DeviceCount;
    std::vector<rdm::Uid> oldUids;
    for (int i = 0; i < oldCount; ++i)
      oldUids.push_back(table_.Records[static_cast<size_t>(i)].Uid);
    table_.DeviceCount = 0;
    table_.Names = std::move(reset);
    if (!CheckBoxTest) {
      for (rdm::Uid u : oldUids) {
        if (stopRequested()) break;
        if (RdmMute(u)) {
          AddFoundDevice(u, "----------ADD device----------: ");
        } else if (RdmMute(u)) {
          AddFoundDevice(u, "ADD device : ");
        } else {
          continue;
        }
        rechecked.insert(u);
      }
    }
  } else {
    log_.Add("Discovery started.");
  }

  // Each device is saved as it is added, so a stop, a closed window or a killed program
  // keeps what was found.
  rdm::DiscoveryCallbacks callbacks;
  callbacks.found = [this](rdm::Uid uid) {
    if (AddFoundDevice(uid, "ADD device : ")) SaveDeviceNames();
  };
  callbacks.log = [this](const std::string& line) { log_.Add(line); };
  callbacks.stopRequested = stopRequested;
  callbacks.progress = [this](const rdm::DiscoveryProgress& p) { ReportDiscovery(p, true); };
  rdm::DiscoverySearch search(target, callbacks);
  const rdm::SearchEnd end = stopRequested() ? rdm::SearchEnd::Stopped : search.Run(rechecked);
  StopDiscovery.store(false);

  if (incremental) {
    // Every row goes back into the list under its own key with the label it shows.
    for (int k = 0; k < table_.DeviceCount; ++k) {
      const rdm::Uid uid = table_.Records[static_cast<size_t>(k)].Uid;
      table_.Names.Set(NameKey(uid), table_.Names.Value(NameKey(uid)).value_or(""));
    }
  }
  if (end == rdm::SearchEnd::Stopped) {
    log_.Add(fmt::format("Discovery stopped: {} found", table_.DeviceCount));
  }
  if (table_.DeviceCount > 0) {
    SaveDeviceNames();
    panel_.EditEnd = std::to_string(table_.DeviceCount);
  }
  log_.Add("Discovery finished.");
  RebuildUidChoices();
  ReportDiscovery(search.Progress(), false);
}

void Workbench::SpeedButtonDiscoverClick() {
  RunDiscovery(false);
}
void Workbench::SpeedButtonAddClick() {
  RunDiscovery(true);
}

void Workbench::SpeedButton6Click() {
  if (!rdmBusy_.load()) {
    log_.Add("Close RDM:");
    return;
  }
  bool yes = hooks_.askYesNo ? hooks_.askYesNo("RDM Discover", "Close RDM？") : true;
  if (yes) {
    StopDiscovery.store(true);
    Pump();
  }
}

std::string DiscoveryStatusText(const DiscoveryStatus& status, bool chinese) {
  if (chinese) {
    return fmt::format("{}: 已找到 {} 个设备, 已询问 {} 个分支, {:.1f} 秒",
                       status.running ? "正在搜索" : "搜索结束", status.found, status.branches,
                       status.seconds);
  }
  return fmt::format("{}: {} found, {} branches asked, {:.1f} s",
                     status.running ? "Discovering" : "Discovery ended", status.found,
                     status.branches, status.seconds);
}

int Workbench::Timer1Timer() {
  if (CheckBoxTest) {
    SpeedButtonDiscoverClick();
    auto interval = common::ParseInteger(EditTime);
    return static_cast<int>(std::clamp<int64_t>(interval.value_or(3000), 0, 3600000)) + 100;
  }
  ++timerTicks_;
  if (timerTicks_ % 2 == 0 && hooks_.artNetPageShown && hooks_.artNetPageShown() &&
      hooks_.updateScreen) {
    hooks_.updateScreen();
  }
  return 35;
}

}  // namespace velquor::workbench
