#pragma once
// One operation per RDM parameter the program reads or sets: log the step, exchange through
// the engine, and decode a valid ACK into the device record and the panel model. They run
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
#include "workbench/Console.h"
#include "workbench/DevicePanelModel.h"
#include "workbench/DeviceTableService.h"
#include "workbench/ModelLock.h"

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

// What one read of a device got, value by value: nothing where no answer came (the panel
// keeps showing its last texts; velquor-cli prints only what is here).
struct DeviceReading {
  DeviceReading() = default;
  explicit DeviceReading(rdm::Uid device) : uid(device) {}
  rdm::Uid uid;
  std::optional<std::string> label, manufacturer, model, software, status;
  std::optional<rdm::DeviceInfo> info;
  std::optional<uint16_t> startAddress;  // as reported; rdm::kNoStartAddress: no footprint
  std::vector<std::pair<uint8_t, std::string>> personalities;  // number, "Mode 2(8ch)"
  std::optional<uint32_t> deviceHours, lampHours;
  std::optional<bool> panInvert, tiltInvert, panTiltSwap, identify;
  std::vector<uint16_t> supported;
};

class DeviceOperations {
 public:
  // `console`: the console page, whose parameter list follows the parameters a device lists.
  DeviceOperations(rdm::RdmEngine& engine, common::LogSink& log, common::Clock& clock,
                   ModelLock& models, DeviceTableService& table, DevicePanelModel& panel,
                   ConsoleModel& console, const std::atomic<bool>& closing);

  // The device panel's read sequence for one listed row; true when the device answered.
  bool ReadDevice(int row);
  // What the exchanges since it was last emptied (`Tally() = {}`) came to.
  ExchangeTally& Tally() { return tally_; }
  // The values the last ReadDevice got (or the getters since `Reading() = DeviceReading(uid)`).
  DeviceReading& Reading() { return reading_; }
  // The columns of a row that the panel's read fills and a plain load does not.
  void ReadDescriptions(int row, rdm::Uid uid);

  void GetSupportedParameters(rdm::Uid uid);
  void GetDeviceInfo(rdm::Uid uid, int row);
  void GetStatusMessages(rdm::Uid uid);
  bool GetDeviceLabel(rdm::Uid uid);
  void GetDeviceHours(rdm::Uid uid);
  void GetLampHours(rdm::Uid uid);
  void GetIdentify(rdm::Uid uid, int row);
  void GetLampState(rdm::Uid uid, int row);
  void GetInversions(rdm::Uid uid);
  void GetStartAddress(rdm::Uid uid, int row);

  // Sends the label, cut to RDM's 32 bytes at a character boundary (with a log line when
  // cut); returns what was sent.
  std::string SetDeviceLabel(rdm::Uid uid, const std::string& label);
  // The address (nothing: none typed, so nothing is sent) plus an offset, clamped to 1..512.
  void SetStartAddress(rdm::Uid uid, std::optional<int64_t> address, int offset);
  void SetPersonality(rdm::Uid uid, uint8_t number);
  // Sets the inversions the device lists among its parameters.
  void SetInversions(rdm::Uid uid, const Inversions& inversions);
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
  void ResetRetryCounter() { engine_.ResetRetryCounter(); }

 private:
  void LogOp(const char* text, rdm::Uid uid);
  DeviceRecord* RecordAt(int row);
  std::optional<std::string> ReadTextAnswer(uint16_t pid, rdm::Uid uid);
  void GetPersonalityDescription(rdm::Uid uid, int row, uint8_t p);
  void GetManufacturerLabel(int row, rdm::Uid uid);
  void GetDeviceModelDescription(int row, rdm::Uid uid);
  void GetSoftwareVersionLabel(int row, rdm::Uid uid);
  void StoreStartAddress(DeviceRecord& record, uint16_t reported);
  // DEVICE_HOURS and LAMP_HOURS: the panel field shows "/" until an answer comes.
  void GetHours(rdm::Uid uid, uint16_t hoursPid, const char* logText, std::string& shown,
                std::optional<uint32_t>& read);

  rdm::RdmEngine& engine_;
  common::LogSink& log_;
  common::Clock& clock_;
  ModelLock& models_;
  DeviceTableService& table_;
  DevicePanelModel& panel_;
  const std::atomic<bool>& closing_;
  ConsoleModel& console_;
  ExchangeTally tally_;
  DeviceReading reading_;
  uint8_t personalityCount_ = 0;
  uint8_t currentPersonality_ = 0;
};

Rgb StatusColour(uint8_t type);

}  // namespace velquor::workbench
