#pragma once
// The 40 ms engine tick: by its output mode it sends the universe to the box, forwards the
// box's DMX input, refreshes one device's identify state, or does nothing. It runs on a
// thread of its own that sleeps to absolute deadlines; it never touches a widget: what it
// needs of the window is mirrored into the atomics of EngineView.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "common/Clock.h"
#include "common/Log.h"
#include "dmx/OutputUniverse.h"
#include "link/UsbLink.h"
#include "rdm/LineExecutor.h"
#include "rdm/RdmEngine.h"

namespace velquor::dmx {

// What the tick does each period; the window sets it from the page it shows.
enum class OutputMode : int {
  RdmLine,     // between RDM exchanges: the universe, or the identify poll (dmxBetweenExchanges)
  RdmConsole,  // as RdmLine, and ArtRdm from consoles is relayed to the line
  ArtNet,      // the universe to the box, or the box's input to Art-Net (artNetDirection)
  Desk,        // the scenes step and the universe goes to the box
  Firmware,    // the firmware update's steps and nothing else
  Silent,      // nothing
};

// Which protocol the Art-Net page's bridge speaks for DMX: the node's polls, tables and RDM
// stay Art-Net either way.
enum class NetworkProtocol : int { ArtNet, Sacn };

struct EngineView {
  std::atomic<OutputMode> mode{OutputMode::RdmLine};
  // CheckBoxDMX: DMX frames go out between RDM exchanges; off, the identify poll runs instead.
  std::atomic<bool> dmxBetweenExchanges{true};
  std::atomic<int> artNetDirection{0};  // ComboBoxArtNet: 0 Art-Net to DMX512, 1 DMX512 to Art-Net
  std::atomic<NetworkProtocol> networkProtocol{NetworkProtocol::ArtNet};
  // A show records or plays: frames are asked of the recorder, which writes them only while
  // it records.
  std::atomic<bool> showRunning{false};
  std::atomic<bool> playbackActive{false};  // the show player steps with every DMX frame
  std::atomic<bool> sceneRunning{false};
  std::atomic<bool> firmwareUpdateActive{false};
  std::atomic<int> firmwareSpeedIndex{2};  // ComboBoxSpeed: 0 "Speed5" .. 5 "Speed0"
};

// What later parts of the desk plug into the tick; each may be left empty.
struct EngineHooks {
  std::function<void()> sceneStep;
  std::function<void()> playbackStep;
  std::function<void()> sendArtDmx;
  std::function<void()> requestRecordFrame;
  // One transfer step of a running firmware update (the box's update protocol has none yet).
  std::function<void()> firmwareStep;
};

struct IdentifyTarget {
  rdm::Uid uid;
  uint8_t identifyOn = 0;
};

// The deadline after the tick due at `deadline` that ran until `now`: the next one on the
// same grid that is still ahead.
common::Instant NextTickDeadline(common::Instant deadline, common::Instant now,
                                 common::Duration period);

// The tick's periods, start to start, counted in 0.1 ms bins; the last bin holds everything
// from 100 ms on.
struct TickPeriods {
  static constexpr size_t kBins = 1001;
  std::array<uint32_t, kBins> bins{};
  uint64_t count = 0;
  // The period (ms) that fraction `q` of the periods do not exceed; 0 when none.
  double Percentile(double q) const;
};

class EngineTick {
 public:
  EngineTick(link::UsbLink& link, rdm::RdmEngine& engine, OutputUniverse& universe,
             std::atomic<bool>& rdmBusy, std::atomic<int32_t>& tickHoldOff, common::LogSink& log,
             common::Clock& clock, EngineHooks hooks = {});
  ~EngineTick();

  // Starts the tick thread (true when it runs); a second call does nothing.
  bool CreateTimer();
  // Stops the thread and waits for it (at most one period and the tick in hand).
  void DestroyTimer();
  bool Running() const { return thread_.joinable(); }

  // One period. Public so that tests can drive the tick without a thread.
  void EngineTickOnce();
  void SendDmxFrame();
  void IdentifyPollStep(uint8_t row);

  // The rows of the device table as the tick needs them; set by the window on its thread.
  void SetIdentifyTargets(std::vector<IdentifyTarget> targets);
  // The owner of the line: the identify poll runs on it when the line is idle. Without one
  // (tests of the tick alone) the poll's exchange runs on the tick's thread.
  void SetLineOwner(rdm::LineExecutor* executor) { executor_ = executor; }

  EngineView& View() { return view_; }
  std::atomic<int32_t>& TickActive() { return tickActive_; }
  std::atomic<int32_t>& IdentifyPollIndex() { return identifyPollIndex_; }
  uint64_t Ticks() const { return ticks_.load(); }
  // The periods of the tick thread since the last call (the soak program reads them).
  TickPeriods TakePeriods();

 private:
  void RunDmxSendPath();
  void ThreadMain();

  link::UsbLink& link_;
  rdm::RdmEngine& engine_;
  OutputUniverse& universe_;
  std::atomic<bool>& rdmBusy_;
  std::atomic<int32_t>& tickHoldOff_;
  common::LogSink& log_;
  common::Clock& clock_;
  EngineHooks hooks_;
  EngineView view_;
  rdm::LineExecutor* executor_ = nullptr;

  uint8_t firmwarePacing_ = 0;  // ticks since the last update step (tick thread only)
  std::atomic<int32_t> tickActive_{0};
  std::atomic<int32_t> identifyPollIndex_{0};
  std::atomic<uint64_t> ticks_{0};
  std::array<std::atomic<uint32_t>, TickPeriods::kBins> periodBins_{};
  std::mutex targetsMutex_;
  std::vector<IdentifyTarget> targets_;

  std::atomic<bool> stop_{false};
  std::thread thread_;
};

constexpr int kTickPeriodMs = 40;

}  // namespace velquor::dmx
