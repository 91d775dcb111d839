// Discovery: the tree search of rdm/ over the RDM engine, muting each device found, reading
// it, and adding it as the next row of the table (saved at once).

#include "workbench/Discovery.h"

#include <fmt/format.h>

#include <algorithm>
#include <set>

#include "common/Text.h"
#include "rdm/DiscoverySearch.h"
#include "rdm/KnownPids.h"

namespace velquor::workbench {

Discovery::Discovery(rdm::RdmEngine& engine, common::LogSink& log, common::Clock& clock,
                     DeviceTableService& table, DeviceOperations& operations, CommandFlags& flags,
                     Hooks hooks)
    : engine_(engine),
      log_(log),
      clock_(clock),
      table_(table),
      operations_(operations),
      flags_(flags),
      hooks_(std::move(hooks)) {}

void Discovery::RdmUnMute(rdm::Uid uid) {
  log_.Add("UnMute 0x" + rdm::UidText(uid));
  operations_.Pause(10);
  operations_.Transact({rdm::DISCOVERY_COMMAND, rdm::pid::DISC_UN_MUTE, {}}, uid, false);
}

bool Discovery::AddFoundDevice(rdm::Uid uid, const std::string& logText) {
  DeviceReading reading(uid);
  if (table_.Table().Find(uid)) {
    // Listed already (it lost its mute): its label is read again, no second row.
    operations_.GetDeviceLabel(reading);
    DeviceRecord* listed = table_.Table().Find(uid);
    if (listed && reading.label) listed->Label = LabelForFile(*reading.label);
    return false;
  }
  DeviceRecord device;
  device.Uid = uid;
  if (!table_.Append(device)) return false;
  operations_.GetDeviceLabel(reading);
  // A label that could not be read is the one this UID had, never another device's.
  if (DeviceRecord* added = table_.Table().Find(uid)) {
    added->Label =
        LabelForFile(reading.label.value_or(knownLabels_.Value(NameKey(uid)).value_or("")));
  }
  operations_.GetDeviceInfo(reading);
  table_.Apply(reading);
  if (!incremental_) log_.Add(logText + rdm::UidText(uid));
  return true;
}

rdm::BranchReply Discovery::BranchExchange(rdm::Uid lower, rdm::Uid upper, rdm::BranchWait wait) {
  const rdm::RdmAnswer answer =
      operations_.OnWire([&] { return engine_.DiscoveryBranch(lower, upper, wait); });
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
  if (decoded.outcome == rdm::DiscoveryOutcome::NoAnswer) return reply;
  reply.kind = decoded.outcome == rdm::DiscoveryOutcome::Valid ? rdm::BranchReply::Kind::Answer
                                                               : rdm::BranchReply::Kind::Garbled;
  reply.uid = decoded.uid;
  // A discovery answer ends within 24 bytes of its separator, which comes within 48.
  reply.wire.assign(answer.response.begin(),
                    answer.response.begin() + std::min<size_t>(answer.receivedBytes, 72));
  return reply;
}

uint8_t Discovery::DiscUniqueBranch(rdm::Uid lower, rdm::Uid upper, bool muteAndAdd) {
  const rdm::BranchReply reply = BranchExchange(lower, upper, rdm::BranchWait::FullTimeOut);
  if (reply.kind == rdm::BranchReply::Kind::Silent) return 0;
  if (reply.kind == rdm::BranchReply::Kind::Garbled || reply.uid < lower || reply.uid > upper) {
    return 1;
  }
  lastFoundUid_ = reply.uid;
  if (muteAndAdd && RdmMute(reply.uid)) {
    AddFoundDevice(reply.uid, "----------ADD device---------- : ");
    return 0;
  }
  return 2;
}

bool Discovery::RdmMute(rdm::Uid uid) {
  log_.Add("----------Mute---------- 0x" + rdm::UidText(uid));
  const rdm::RdmAnswer a =
      operations_.Transact({rdm::DISCOVERY_COMMAND, rdm::pid::DISC_MUTE, {}}, uid);
  // Only the device itself acknowledging counts: not a NACK, not another device's answer.
  return a.Ok() && a.ResponseType() == rdm::RESPONSE_TYPE_ACK &&
         a.response[rdm::kCommandClass] == rdm::DISCOVERY_COMMAND_RESPONSE &&
         rdm::Uid::Read(&a.response[rdm::kSourceUid]) == uid;
}

namespace {

// The search's view of the line: the RDM engine through the workbench's logged exchanges.
class LineTarget final : public rdm::DiscoveryTarget {
 public:
  explicit LineTarget(Discovery& bench) : bench_(bench) {}
  rdm::BranchReply Branch(rdm::Uid lower, rdm::Uid upper, rdm::BranchWait wait) override {
    return bench_.BranchExchange(lower, upper, wait);
  }
  bool Mute(rdm::Uid uid) override { return bench_.RdmMute(uid); }
  void UnMuteAll() override { bench_.RdmUnMute(rdm::BroadcastUid); }

 private:
  Discovery& bench_;
};

}  // namespace

void Discovery::Report(const rdm::DiscoveryProgress& progress, bool running) {
  status_.running = running;
  // A whole search counts every device that answered, those checked again first included;
  // an incremental one the devices new to the list.
  status_.found = incremental_ ? progress.found : table_.Table().Count();
  status_.branches = progress.branches;
  status_.seconds = common::ToMs(clock_.Now() - start_) / 1000.0;
  if (hooks_.progress) hooks_.progress(status_);
}

void Discovery::Run(Mode mode) {
  const bool incremental = mode == Mode::Incremental;
  incremental_ = incremental;
  flags_.stopRequested.store(false);
  start_ = clock_.Now();
  Report({}, true);
  if (hooks_.showRdmPage) hooks_.showRdmPage();
  LineTarget target(*this);
  auto stopRequested = [this] { return flags_.Stopping(); };

  std::set<rdm::Uid> rechecked;
  std::vector<DeviceRecord> previous;  // a whole search's list before it started
  if (!incremental) {
    target.UnMuteAll();
    // Read the reset list before anything is cleared: if it cannot be read, the table
    // stays as it was.
    DeviceNameList reset;
    if (!table_.LoadNames(table_.DevNonePath(), reset, true)) {
      log_.Add("Discovery stopped: devnone.lst cannot be read; the device list is unchanged.");
      Report({}, false);
      return;
    }
    log_.Add("Discovery started...");
    const std::vector<DeviceRecord> old = table_.Table().Devices;
    previous = old;
    // Labels stay with their UIDs: the list's own first, then the reset list's.
    knownLabels_ = table_.Table().Names();
    std::vector<DeviceNameList::Entry> named;  // the reset list's unusable entries, logged
    table_.SetAsideUnlisted(reset, "devnone.lst", named);
    for (const DeviceNameList::Entry& e : reset.Entries()) {
      if (!knownLabels_.Value(e.key)) knownLabels_.Set(e.key, e.value);
    }
    table_.Replace({});
    if (!testMode) {
      for (const DeviceRecord& previous : old) {
        const rdm::Uid u = previous.Uid;
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
    knownLabels_ = table_.Table().Names();
    log_.Add("Discovery started.");
  }

  // Each device is saved as it is added, so a stop, a closed window or a killed program
  // keeps what was found.
  rdm::DiscoveryCallbacks callbacks;
  callbacks.found = [this](rdm::Uid uid) {
    if (AddFoundDevice(uid, "ADD device : ")) table_.Save();
  };
  callbacks.log = [this](const std::string& line) { log_.Add(line); };
  callbacks.stopRequested = stopRequested;
  callbacks.progress = [this](const rdm::DiscoveryProgress& p) { Report(p, true); };
  rdm::DiscoverySearch search(target, callbacks);
  const rdm::SearchEnd end = stopRequested() ? rdm::SearchEnd::Stopped : search.Run(rechecked);
  flags_.stopRequested.store(false);

  // A box pulled out answers nothing: silence then says nothing of the rig. The devices of
  // the list that did not answer keep their places, and the list is not forgotten.
  const bool boxLost = !engine_.Link().IsOpen();
  if (boxLost) {
    std::vector<DeviceRecord> kept;
    for (const DeviceRecord& d : previous) {
      const DeviceRecord* now = table_.Table().Find(d.Uid);
      kept.push_back(now ? *now : d);
    }
    for (const DeviceRecord& d : table_.Table().Devices) {
      if (std::none_of(previous.begin(), previous.end(),
                       [&d](const DeviceRecord& p) { return p.Uid == d.Uid; })) {
        kept.push_back(d);
      }
    }
    table_.Replace(std::move(kept));
    log_.Add(fmt::format("Discovery stopped: the interface box is lost ({}); {} devices listed",
                         link::kNotConnected, table_.Table().Count()));
  } else if (end == rdm::SearchEnd::Stopped) {
    log_.Add(fmt::format("Discovery stopped: {} found", table_.Table().Count()));
  } else if (mode == Mode::Full && end == rdm::SearchEnd::Finished) {
    table_.ForgetOffList();
  }
  if (table_.Table().Count() > 0) table_.Save();
  log_.Add("Discovery finished.");
  Report(search.Progress(), false);
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

int Discovery::TestModeDelay() const {
  auto interval = common::ParseInteger(testInterval);
  return static_cast<int>(std::clamp<int64_t>(interval.value_or(3000), 0, 3600000)) + 100;
}

}  // namespace velquor::workbench
