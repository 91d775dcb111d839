// Discovery: the E1.20 binary search with DISC_UNIQUE_BRANCH, muting each device found,
// reading it, and adding it as the next row of the table.

#include <fmt/format.h>

#include <algorithm>
#include <set>

#include "common/Text.h"
#include "rdm/KnownPids.h"
#include "workbench/Workbench.h"

namespace velquor::workbench {

namespace {
constexpr rdm::Uid kFullRange = 0xFFFFFFFFFFFEULL;  // the broadcast UID excluded
constexpr int kQuietPasses = 16;
}  // namespace

uint8_t Workbench::RdmMute(rdm::Uid uid) {
  log_.Add("----------Mute---------- 0x" + rdm::UidText(uid));
  return engine_.RdmTransact({rdm::DISCOVERY_COMMAND, rdm::pid::DISC_MUTE, {}}, uid, true).result;
}

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

uint8_t Workbench::DiscUniqueBranch(rdm::Uid lower, rdm::Uid upper, bool muteAndAdd) {
  rdm::RdmAnswer answer = engine_.DiscoveryBranch(lower, upper);
  if (answer.receivedBytes == 0) return 0;

  rdm::DiscoveryResult decoded =
      rdm::DecodeDiscoveryResponse(answer.response, answer.receivedBytes, lower, upper);
  const std::string idLine = rdm::DiscoveryIdLine(answer.response, lower, upper);
  uint8_t result = 0;
  if (decoded.outcome == rdm::DiscoveryOutcome::Valid) {
    LastFoundUid = decoded.uid;
    result = 2;
    if (muteAndAdd && RdmMute(decoded.uid) == rdm::RESULT_OK) {
      AddFoundDevice(decoded.uid, "----------ADD device---------- : ");
      SearchLower = SearchUpper = decoded.uid;
      QuietPassCount = 0;
      result = 0;
    }
  } else if (decoded.outcome == rdm::DiscoveryOutcome::Collision) {
    result = 1;
  }
  engine_.LogResponseImage(answer.response);
  log_.Add(idLine);
  if (result == 2) log_.Add("valid Discovery Response received successful");
  if (result == 1) log_.Add("Collision detected ...");
  Pump();
  return result;
}

// The binary search of one collided pass. False when the user stopped discovery.
bool Workbench::BinarySearch(bool incremental) {
  NoAnswerCount = 0;
  SearchLower = 0;
  SearchUpper = kFullRange;
  SearchMid = 0x7FFFFFFFFFFFULL;
  while (SearchUpper - SearchLower >= 2) {
    Pump();
    if (AbortRequested.load()) return false;
    if (StopDiscovery.exchange(false)) {
      log_.Add("Discovery finished.");
      return false;
    }
    const uint8_t r = DiscUniqueBranch(SearchMid, SearchUpper, false);
    if (r == 0) {
      if (NoAnswerCount++ > 64) break;
      if (incremental && BranchRetryCount++ == 0) continue;
    } else if (r == 1) {
      if (BranchRetryCount++ == 0) continue;
    }
    if (r != 0) {
      SearchLower = SearchMid;
      NoAnswerCount = 0;
    } else {
      SearchUpper = SearchMid;
    }
    BranchRetryCount = 0;
    SearchMid = (SearchLower + SearchUpper) / 2;
    if (r == 1) {
      QuietPassCount = 0;
      continue;
    }
    if (r == 2) {
      if (RdmMute(LastFoundUid) == rdm::RESULT_OK || RdmMute(LastFoundUid) == rdm::RESULT_OK) {
        AddFoundDevice(LastFoundUid, "ADD device : ");
        SearchLower = SearchUpper = LastFoundUid;
      } else {
        // It will answer every branch that holds it: look below it instead, or the search
        // would find it again and again and never end.
        if (unmutable_.insert(LastFoundUid).second) {
          log_.Add("0x" + rdm::UidText(LastFoundUid) +
                   " answers discovery but does not acknowledge mute: not added");
        }
        SearchLower = 0;
        SearchUpper = LastFoundUid > 0 ? LastFoundUid - 1 : 0;
        SearchMid = SearchUpper / 2;
      }
      QuietPassCount = 0;
    }
  }
  return true;
}

void Workbench::RunDiscovery(bool incremental) {
  BusyScope busy(rdmBusy_);
  if (!busy.Owned()) return;
  incremental_ = incremental;
  Pump();
  if (hooks_.showRdmPage) hooks_.showRdmPage();

  if (!incremental) {
    RdmUnMute(rdm::BroadcastUid);
    // Read the reset list before anything is cleared: if it cannot be read, the table
    // stays as it was.
    DeviceNameList reset;
    if (!LoadNames(DevNonePath(), reset, true)) {
      log_.Add("Discovery stopped: devnone.lst cannot be read; the device list is unchanged.");
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
        if (AbortRequested.load()) return;
        if (RdmMute(u) == rdm::RESULT_OK) {
          AddFoundDevice(u, "----------ADD device----------: ");
        } else if (RdmMute(u) == rdm::RESULT_OK) {
          AddFoundDevice(u, "ADD device : ");
        }
      }
    }
  } else {
    log_.Add("Discovery started.");
  }

  QuietPassCount = 0;
  unmutable_.clear();
  // Passes that add nothing (answers from devices that will not mute, or answers too
  // garbled to isolate anyone) end discovery too, instead of searching forever.
  int fruitlessPasses = 0;
  while (QuietPassCount < kQuietPasses && fruitlessPasses < kQuietPasses) {
    if (AbortRequested.load()) return;
    const uint8_t r0 = DiscUniqueBranch(0, kFullRange, true);
    if (r0 == 0) {
      ++QuietPassCount;
      continue;
    }
    if (r0 == 2 && unmutable_.count(LastFoundUid) > 0) {
      ++fruitlessPasses;  // it answered alone: nobody else is left to find
      continue;
    }
    const int before = table_.DeviceCount;
    if (!BinarySearch(incremental)) return;  // stopped by the user: nothing saved
    fruitlessPasses = table_.DeviceCount > before ? 0 : fruitlessPasses + 1;
  }

  if (incremental) {
    // Every row goes back into the list under its own key with the label it shows.
    for (int k = 0; k < table_.DeviceCount; ++k) {
      const rdm::Uid uid = table_.Records[static_cast<size_t>(k)].Uid;
      table_.Names.Set(NameKey(uid), table_.Names.Value(NameKey(uid)).value_or(""));
    }
  }
  if (table_.DeviceCount > 0) {
    SaveDeviceNames();
    panel_.EditEnd = std::to_string(table_.DeviceCount);
  }
  log_.Add("Discovery finished.");
  RebuildUidChoices();
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
