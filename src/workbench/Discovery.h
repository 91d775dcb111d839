#pragma once
// Discovery on the line: the tree search of rdm/ over logged exchanges, each device found
// muted, read and added as the next row of the table (saved at once). Also the discovery
// buttons: discover, add, stop, and the test mode's repeated discovery.

#include <atomic>
#include <functional>
#include <string>

#include "common/Clock.h"
#include "common/Log.h"
#include "rdm/DiscoverySearch.h"
#include "rdm/RdmEngine.h"
#include "workbench/DeviceOperations.h"
#include "workbench/DeviceTableService.h"

namespace velquor::workbench {

// How far a running discovery has come, for a status line that does not scroll.
struct DiscoveryStatus {
  bool running = false;
  size_t found = 0;
  size_t branches = 0;
  double seconds = 0;
};
std::string DiscoveryStatusText(const DiscoveryStatus& status, bool chinese);

// The flags a running command reads between its exchanges.
struct CommandFlags {
  std::atomic<bool> stopRequested{false};  // the stop button (SpeedButton6)
  std::atomic<bool> closing{false};        // the program closes: no exchange any more
  bool Stopping() const { return stopRequested.load() || closing.load(); }
};

class Discovery {
 public:
  struct Hooks {
    // Called on the executor's thread after every exchange and when it ends.
    std::function<void(const DiscoveryStatus&)> progress;
    // Brings the RDM page forward; called on the executor's thread.
    std::function<void()> showRdmPage;
  };

  Discovery(rdm::RdmEngine& engine, common::LogSink& log, common::Clock& clock,
            DeviceTableService& table, DeviceOperations& operations, CommandFlags& flags,
            Hooks hooks);

  // A full discovery finds the list again (the devices listed before are asked first and
  // keep their labels); an incremental one adds devices not yet listed.
  enum class Mode { Full, Incremental };
  void Run(Mode mode);

  // One logged DISC_UNIQUE_BRANCH; the answer decoded whatever range was asked.
  rdm::BranchReply BranchExchange(rdm::Uid lower, rdm::Uid upper, rdm::BranchWait wait);
  // The console's branch request: 0 nothing (or one device muted and added), 1 several
  // answers at once, 2 one device that did not acknowledge its mute.
  uint8_t DiscUniqueBranch(rdm::Uid lower, rdm::Uid upper, bool muteAndAdd);
  // A logged DISC_MUTE; true when the device itself acknowledged it with an ACK.
  bool RdmMute(rdm::Uid uid);
  void RdmUnMute(rdm::Uid uid);
  // Adds the device as the next row unless it is listed already; false when not added.
  bool AddFoundDevice(rdm::Uid uid, const std::string& logText);

  // Test mode: discovery again every EditTime milliseconds.
  bool testMode = false;
  std::string testInterval = "3000";
  // The delay before the test mode's next discovery, in milliseconds.
  int TestModeDelay() const;

  rdm::Uid LastFoundUid() const { return lastFoundUid_; }
  const DiscoveryStatus& LastStatus() const { return status_; }

 private:
  void Report(const rdm::DiscoveryProgress& progress, bool running);

  rdm::RdmEngine& engine_;
  common::LogSink& log_;
  common::Clock& clock_;
  DeviceTableService& table_;
  DeviceOperations& operations_;
  CommandFlags& flags_;
  Hooks hooks_;
  bool incremental_ = false;
  DeviceNameList knownLabels_;  // labels by UID for devices whose label does not answer
  rdm::Uid lastFoundUid_;
  DiscoveryStatus status_;
  common::Instant start_{};
};

}  // namespace velquor::workbench
