#pragma once
// One operation per RDM parameter the program reads or sets: log the step, exchange through
// the engine, and decode a valid ACK into a DeviceReading. They write into no model; they run
// on the line's executor; each lets go of the model lock while it waits on the wire and
// sends nothing once the program is closing.

#include <atomic>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Clock.h"
#include "common/Log.h"
#include "rdm/Decoders.h"
#include "rdm/RdmEngine.h"
#include "workbench/DevicePanelModel.h"
#include "workbench/ModelLock.h"
#include "workbench/Slots.h"

namespace velquor::workbench {

// Pan invert, tilt invert, pan/tilt swap; nothing = leave as the device has it.
struct Inversions {
  std::optional<bool> pan, tilt, swap;
};

// What the exchanges of a command came to, for a caller that must say whether anything
// answered and how.
struct ExchangeTally {
  int asked = 0;
  int acked = 0;
  int nacked = 0;
  int setsRefused = 0;                               // SETs answered with anything but an ACK
  std::optional<rdm::ExchangeOutcome> firstFailure;  // the first that was not an ACK
};

// What one read of a device got, value by value: nothing where no answer came. The page
// controllers put it where the window shows it; velquor-cli prints only what is here.
struct DeviceReading {
  DeviceReading() = default;
  explicit DeviceReading(rdm::Uid device) : uid(device) {}
  rdm::Uid uid;
  std::optional<std::string> label, manufacturer, model, software, status;
  Rgb statusColour = kWhite;
  bool descriptionsAsked = false;  // model and software show "/" when they did not answer
  std::optional<rdm::DeviceInfo> info;
  std::optional<uint16_t> startAddress;  // as reported; rdm::kNoStartAddress: no footprint
  std::vector<std::pair<uint8_t, std::string>> personalities;  // number, "Mode 2(8ch)"
  std::optional<uint16_t> personalityFootprint;                // of the current personality
  std::optional<std::string> personalityDescription;           // of the current personality
  std::optional<uint32_t> deviceHours, lampHours;
  std::optional<bool> panInvert, tiltInvert, panTiltSwap, identify;
  std::optional<uint8_t> lampState;
  // What SUPPORTED_PARAMETERS listed; nothing when it was not asked or not answered.
  std::optional<std::vector<uint16_t>> supported;
  // Every slot SLOT_INFO listed; nothing when it was not asked or not answered.
  std::optional<std::vector<SlotReading>> slotReadings;
};

// Whether `device` is asked for parameter `pid`: E1.20's required parameters always; the
// optional ones when its own SUPPORTED_PARAMETERS lists them, or, when it listed nothing,
// those every read has asked (labels, model, personalities).
bool AskedOf(const DeviceReading& device, uint16_t pid);

// The start address a SET sends for a typed or computed `address`: below 1 is 1, above 512
// is 512. One rule for the panel, batch addressing, the Patch page and the addressing window.
uint16_t StartAddressToSend(int64_t address);

class DeviceOperations {
 public:
  DeviceOperations(rdm::RdmEngine& engine, common::LogSink& log, common::Clock& clock,
                   ModelLock& models, const std::atomic<bool>& closing);

  // The device panel's read sequence for one device.
  DeviceReading ReadDevice(rdm::Uid uid);
  // What the exchanges since it was last emptied (`Tally() = {}`) came to.
  ExchangeTally& Tally() { return tally_; }

  // Each getter adds what the device answered to `into` (for the device `into.uid`).
  void GetSupportedParameters(DeviceReading& into);
  // DEVICE_INFO, the description of every personality, then DMX_START_ADDRESS.
  void GetDeviceInfo(DeviceReading& into);
  // DEVICE_INFO and the description of the current personality alone.
  void GetCurrentPersonality(DeviceReading& into);
  void GetStatusMessages(DeviceReading& into);
  void GetDeviceLabel(DeviceReading& into);
  // Manufacturer, model and software version.
  void ReadDescriptions(DeviceReading& into);
  void GetDeviceHours(DeviceReading& into);
  void GetLampHours(DeviceReading& into);
  void GetIdentify(DeviceReading& into);
  void GetLampState(DeviceReading& into);
  void GetInversions(DeviceReading& into);
  void GetStartAddress(DeviceReading& into);
  // SLOT_INFO, then each slot's description and the default values, where the device lists
  // them (Slots.cpp).
  void GetSlots(DeviceReading& into);

  // Sends the label, cut to RDM's 32 bytes at a character boundary (with a log line when
  // cut); returns what was sent.
  std::string SetDeviceLabel(rdm::Uid uid, const std::string& label);
  // Sends `address` (1..512, see StartAddressToSend); nothing: none typed, nothing is sent.
  // `settle`: then give the fixture 10 ms to take the value before anything else is sent;
  // a caller that talks to other fixtures meanwhile pauses once itself.
  void SetStartAddress(rdm::Uid uid, std::optional<uint16_t> address, bool settle = true);
  void SetPersonality(rdm::Uid uid, uint8_t number, bool settle = true);
  // Sets the inversions `device` (its UID, what it listed) lists among its parameters.
  void SetInversions(const DeviceReading& device, const Inversions& inversions);
  // True when the device acknowledged.
  bool SetIdentify(rdm::Uid uid, bool on);
  void SetLampState(rdm::Uid uid, uint8_t state);
  void ResetDevice(rdm::Uid uid);

  // One exchange with the model lock let go; a GET joins ACK_OVERFLOW pieces.
  rdm::RdmAnswer Transact(const rdm::RdmRequest& request, rdm::Uid uid,
                          bool reportNoReceive = true);
  // Runs an exchange with the model lock let go; once the program closes, nothing is sent
  // and the result is empty.
  template <class Exchange>
  auto OnWire(Exchange&& exchange) {
    using Result = decltype(exchange());
    if (closing_.load()) return Result{};
    return models_.Released(exchange);
  }
  // A valid ACK. A valid answer of another type is logged and counts as no answer.
  bool Acked(const rdm::RdmAnswer& answer, uint16_t pid, rdm::Uid uid);
  // Waits with the model lock let go.
  void Pause(int ms);
  void Log(const std::string& line) { log_.Add(line); }
  void ResetRetryCounter() { engine_.ResetRetryCounter(); }
  // Runs `exchanges` with their request and response lines left out of the log.
  template <class Exchanges>
  void Untraced(Exchanges&& exchanges) {
    struct Restore {
      rdm::RdmEngine& engine;
      ~Restore() { engine.SetTraced(true); }
    } restore{engine_};
    engine_.SetTraced(false);
    exchanges();
  }

 private:
  void LogOp(const char* text, rdm::Uid uid);
  std::optional<std::string> ReadTextAnswer(uint16_t pid, rdm::Uid uid);
  void GetPersonalityDescription(DeviceReading& into, uint8_t personality);
  // DEVICE_INFO into `into`; false when no usable answer came.
  bool ReadInfo(DeviceReading& into);
  // DEVICE_HOURS and LAMP_HOURS, when the device lists them.
  void GetHours(const DeviceReading& device, uint16_t hoursPid, const char* logText,
                std::optional<uint32_t>& read);

  rdm::RdmEngine& engine_;
  common::LogSink& log_;
  common::Clock& clock_;
  ModelLock& models_;
  const std::atomic<bool>& closing_;
  ExchangeTally tally_;
};

Rgb StatusColour(uint8_t type);

}  // namespace velquor::workbench
