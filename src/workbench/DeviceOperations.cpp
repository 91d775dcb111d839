// One operation per RDM parameter: log, request, and decode a valid ACK into a reading.

#include "workbench/DeviceOperations.h"

#include <fmt/format.h>

#include <algorithm>

#include "common/Text.h"
#include "rdm/Decoders.h"
#include "rdm/KnownPids.h"

namespace velquor::workbench {

namespace pid = rdm::pid;

Rgb StatusColour(uint8_t type) {
  switch (type) {
    case 0x02:
      return kYellow;
    case 0x03:
      return kOlive;
    case 0x04:
      return kRed;
    default:
      return kLime;
  }
}

void PersonalityList::SelectNumber(uint8_t number) {
  auto it = std::find(numbers.begin(), numbers.end(), number);
  if (it != numbers.end()) itemIndex = static_cast<int>(it - numbers.begin());
}

uint8_t PersonalityList::ChosenNumber() const {
  const uint8_t number = SelectedNumber();
  return number != 0 ? number : static_cast<uint8_t>(itemIndex + 1);
}

uint8_t PersonalityList::SelectedNumber() const {
  if (itemIndex < 0 || static_cast<size_t>(itemIndex) >= numbers.size()) return 0;
  return numbers[static_cast<size_t>(itemIndex)];
}

namespace {
// Listed in the device's own SUPPORTED_PARAMETERS.
bool Lists(const DeviceReading& device, uint16_t p) {
  return device.supported && std::find(device.supported->begin(), device.supported->end(), p) !=
                                 device.supported->end();
}
}  // namespace

bool AskedOf(const DeviceReading& device, uint16_t p) {
  switch (p) {
    // What E1.20 requires of every responder: asked whatever it lists.
    case pid::SUPPORTED_PARAMETERS:
    case pid::DEVICE_INFO:
    case pid::SOFTWARE_VERSION_LABEL:
    case pid::DMX_START_ADDRESS:
    case pid::IDENTIFY_DEVICE:
      return true;
    default:
      break;
  }
  if (device.supported) return Lists(device, p);
  // A device that did not list its parameters is asked what a read always asked.
  switch (p) {
    case pid::DEVICE_LABEL:
    case pid::MANUFACTURER_LABEL:
    case pid::DEVICE_MODEL_DESCRIPTION:
    case pid::DMX_PERSONALITY:
    case pid::DMX_PERSONALITY_DESCRIPTION:
      return true;
    default:
      return false;
  }
}

uint16_t StartAddressToSend(int64_t address) {
  return static_cast<uint16_t>(std::clamp<int64_t>(address, 1, 512));
}

DeviceOperations::DeviceOperations(rdm::RdmEngine& engine, common::LogSink& log,
                                   common::Clock& clock, ModelLock& models,
                                   const std::atomic<bool>& closing)
    : engine_(engine), log_(log), clock_(clock), models_(models), closing_(closing) {}

std::string PanelDeviceText(const DevicePanelModel& panel, bool chinese) {
  if (!panel.device) return {};
  return (chinese ? "面板: 0x" : "Panel: 0x") + rdm::UidText12(*panel.device);
}

void DeviceOperations::LogOp(const char* text, rdm::Uid uid) {
  log_.Add(text + rdm::UidText(uid));
}

rdm::RdmAnswer DeviceOperations::Transact(const rdm::RdmRequest& request, rdm::Uid uid,
                                          bool reportNoReceive) {
  // Once the program closes, the command in hand ends at its next exchange.
  rdm::RdmAnswer answer = OnWire([&] {
    return request.commandClass == rdm::GET_COMMAND
               ? engine_.RdmTransactJoined(request, uid, reportNoReceive)
               : engine_.RdmTransact(request, uid, reportNoReceive);
  });
  ++tally_.asked;
  const rdm::ExchangeOutcome outcome = rdm::OutcomeOf(answer);
  if (outcome.kind == rdm::ExchangeOutcome::Kind::Ack) {
    ++tally_.acked;
  } else {
    if (outcome.kind == rdm::ExchangeOutcome::Kind::Nack) ++tally_.nacked;
    if (request.commandClass == rdm::SET_COMMAND && !uid.IsBroadcast()) ++tally_.setsRefused;
    if (!tally_.firstFailure) tally_.firstFailure = outcome;
  }
  return answer;
}

void DeviceOperations::Pause(int ms) {
  models_.Released([&] { clock_.SleepFor(common::FromMs(ms)); });
}

bool DeviceOperations::Acked(const rdm::RdmAnswer& answer, uint16_t pidValue, rdm::Uid uid) {
  if (!answer.Ok()) return false;
  if (rdm::OutcomeOf(answer).kind == rdm::ExchangeOutcome::Kind::Ack) return true;
  const char* name = rdm::PidName(pidValue);
  std::string what = name ? name : fmt::format("0x{:04X}", pidValue);
  log_.Add(
      fmt::format("{} of 0x{}: answered {}", what, rdm::UidText(uid), rdm::AnsweredText(answer)));
  return false;
}

void DeviceOperations::GetSupportedParameters(DeviceReading& into) {
  into.supported.reset();
  LogOp("Getting parameters of 0x", into.uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::SUPPORTED_PARAMETERS, {}}, into.uid);
  if (!Acked(a, pid::SUPPORTED_PARAMETERS, into.uid)) return;
  // Every PID of the answer: fixtures list 20 to 60, and what is optional is only asked
  // when listed.
  into.supported = rdm::DecodePidList(a.Data());
}

bool DeviceOperations::ReadInfo(DeviceReading& into) {
  const rdm::Uid uid = into.uid;
  LogOp("Getting device info of 0x", uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::DEVICE_INFO, {}}, uid);
  if (!Acked(a, pid::DEVICE_INFO, uid)) return false;
  const std::optional<rdm::DeviceInfo> info = rdm::DecodeDeviceInfo(a.Data());
  if (!info) {
    log_.Add(fmt::format("DEVICE_INFO of 0x{}: answer of {} bytes is too short ({} expected)",
                         rdm::UidText(uid), a.Data().size(), rdm::kDeviceInfoBytes));
    return false;
  }
  into.info = *info;
  into.startAddress = info->startAddress;
  return true;
}

void DeviceOperations::GetDeviceInfo(DeviceReading& into) {
  // Only this device's own answer says how many personalities to ask about.
  if (ReadInfo(into) && AskedOf(into, pid::DMX_PERSONALITY_DESCRIPTION)) {
    for (unsigned p = 1; p <= into.info->personalityCount; ++p) {
      GetPersonalityDescription(into, static_cast<uint8_t>(p));
    }
  }
  // A device without a DMX footprint need not answer for an address it does not have.
  const bool noFootprint = into.info && into.info->startAddress == rdm::kNoStartAddress;
  if (!noFootprint || !into.supported || Lists(into, pid::DMX_START_ADDRESS)) {
    GetStartAddress(into);
  }
}

void DeviceOperations::GetCurrentPersonality(DeviceReading& into) {
  if (ReadInfo(into) && into.info->personality != 0) {
    GetPersonalityDescription(into, into.info->personality);
  }
}

void DeviceOperations::GetPersonalityDescription(DeviceReading& into, uint8_t p) {
  const rdm::Uid uid = into.uid;
  LogOp("Getting dev PersonalityDescription of 0x", uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::DMX_PERSONALITY_DESCRIPTION, {p}}, uid);
  if (!Acked(a, pid::DMX_PERSONALITY_DESCRIPTION, uid)) return;
  auto description = rdm::DecodePersonalityDescription(a.Data());
  if (!description) return;
  const uint16_t footprint = description->footprint;
  if (footprint >= 1 && footprint <= 512 && into.info && p == into.info->personality) {
    into.personalityFootprint = footprint;
    into.personalityDescription = description->text;
  }
  into.personalities.emplace_back(p, fmt::format("Mode {}({}ch)", p, footprint));
}

void DeviceOperations::GetStartAddress(DeviceReading& into) {
  LogOp("Getting dev address of 0x", into.uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::DMX_START_ADDRESS, {}}, into.uid);
  if (!Acked(a, pid::DMX_START_ADDRESS, into.uid) || a.Data().size() != 2) return;
  into.startAddress = *rdm::DecodeStartAddress(a.Data());
}

void DeviceOperations::GetStatusMessages(DeviceReading& into) {
  const rdm::Uid uid = into.uid;
  if (!AskedOf(into, pid::STATUS_MESSAGES)) return;
  LogOp("Getting status of 0x", uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::STATUS_MESSAGES, {0x02}}, uid);
  if (!Acked(a, pid::STATUS_MESSAGES, uid)) return;
  if (a.Data().empty()) {
    into.status = "No status messages";
    into.statusColour = kLime;
    return;
  }
  const std::vector<rdm::StatusMessage> messages = rdm::DecodeStatusMessages(a.Data());
  if (messages.empty()) {
    log_.Add(fmt::format("STATUS_MESSAGES of 0x{}: answer of {} bytes holds no whole message",
                         rdm::UidText(uid), a.Data().size()));
    return;
  }
  const rdm::StatusMessage& first = messages.front();
  into.statusColour = StatusColour(first.type);
  into.status = rdm::StatusText(first.id, first.data1, first.data2);
}

std::optional<std::string> DeviceOperations::ReadTextAnswer(uint16_t pidValue, rdm::Uid uid) {
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pidValue, {}}, uid);
  if (!Acked(a, pidValue, uid)) return std::nullopt;
  return rdm::DecodeText(a.Data());
}

void DeviceOperations::GetDeviceLabel(DeviceReading& into) {
  if (!AskedOf(into, pid::DEVICE_LABEL)) return;
  LogOp("Getting device name of 0x", into.uid);
  into.label = ReadTextAnswer(pid::DEVICE_LABEL, into.uid);
}

std::string DeviceOperations::SetDeviceLabel(rdm::Uid uid, const std::string& text) {
  LogOp("Setting device name of 0x", uid);
  const std::string label(common::CutUtf8(text, rdm::kMaxLabelBytes));
  if (label.size() < text.size()) {
    log_.Add(fmt::format("The label is longer than {} bytes: \"{}\" is sent", rdm::kMaxLabelBytes,
                         label));
  }
  Transact({rdm::SET_COMMAND, pid::DEVICE_LABEL, {label.begin(), label.end()}}, uid);
  return label;
}

void DeviceOperations::ReadDescriptions(DeviceReading& into) {
  into.descriptionsAsked = true;
  if (AskedOf(into, pid::MANUFACTURER_LABEL)) {
    LogOp("Getting manufacturer of 0x", into.uid);
    into.manufacturer = ReadTextAnswer(pid::MANUFACTURER_LABEL, into.uid);
  }
  if (AskedOf(into, pid::DEVICE_MODEL_DESCRIPTION)) {
    LogOp("Getting Device Model of 0x", into.uid);
    into.model = ReadTextAnswer(pid::DEVICE_MODEL_DESCRIPTION, into.uid);
  }
  LogOp("Getting SoftwareVersionLabel of 0x", into.uid);
  into.software = ReadTextAnswer(pid::SOFTWARE_VERSION_LABEL, into.uid);
}

void DeviceOperations::GetDeviceHours(DeviceReading& into) {
  GetHours(into, pid::DEVICE_HOURS, "Getting dev hours of 0x", into.deviceHours);
}

void DeviceOperations::GetLampHours(DeviceReading& into) {
  GetHours(into, pid::LAMP_HOURS, "Getting lamp hours of 0x", into.lampHours);
}

void DeviceOperations::GetHours(const DeviceReading& device, uint16_t hoursPid, const char* logText,
                                std::optional<uint32_t>& read) {
  const rdm::Uid uid = device.uid;
  if (!AskedOf(device, hoursPid)) return;
  LogOp(logText, uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, hoursPid, {}}, uid);
  if (!Acked(a, hoursPid, uid)) return;
  read = rdm::DecodeHours(a.Data());
}

void DeviceOperations::GetIdentify(DeviceReading& into) {
  LogOp("Getting dev Identify of 0x", into.uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::IDENTIFY_DEVICE, {}}, into.uid);
  const auto on = rdm::DecodeByte(a.Data());
  if (!Acked(a, pid::IDENTIFY_DEVICE, into.uid) || !on) return;
  into.identify = *on != 0;
}

void DeviceOperations::GetLampState(DeviceReading& into) {
  LogOp("Getting dev LAMP_STATE of 0x", into.uid);
  rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, pid::LAMP_STATE, {}}, into.uid);
  const auto state = rdm::DecodeByte(a.Data());
  if (Acked(a, pid::LAMP_STATE, into.uid) && state) into.lampState = *state;
}

void DeviceOperations::SetStartAddress(rdm::Uid uid, std::optional<uint16_t> address,
                                       bool settle) {
  LogOp("Setting start address of 0x", uid);
  if (!address) return;
  const uint16_t a = StartAddressToSend(*address);
  Transact({rdm::SET_COMMAND,
            pid::DMX_START_ADDRESS,
            {static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)}},
           uid);
  if (settle) Pause(10);
}

void DeviceOperations::SetPersonality(rdm::Uid uid, uint8_t number, bool settle) {
  LogOp("Setting personality of 0x", uid);
  Transact({rdm::SET_COMMAND, pid::DMX_PERSONALITY, {number}}, uid);
  if (settle) Pause(10);
}

void DeviceOperations::GetInversions(DeviceReading& into) {
  struct Item {
    uint16_t pid;
    const char* text;
    std::optional<bool>* read;
  };
  const Item items[] = {{pid::PAN_INVERT, "Get pan inversion of 0x", &into.panInvert},
                        {pid::TILT_INVERT, "Get tilt inversion of 0x", &into.tiltInvert},
                        {pid::PAN_TILT_SWAP, "Get axis swap of 0x", &into.panTiltSwap}};
  for (const Item& item : items) {
    if (!AskedOf(into, item.pid)) continue;
    LogOp(item.text, into.uid);
    rdm::RdmAnswer a = Transact({rdm::GET_COMMAND, item.pid, {}}, into.uid);
    if (!Acked(a, item.pid, into.uid)) continue;
    *item.read = rdm::DecodeFlag(a.Data()).value_or(false);
  }
}

void DeviceOperations::SetInversions(const DeviceReading& device, const Inversions& inversions) {
  const rdm::Uid uid = device.uid;
  const std::tuple<uint16_t, const char*, std::optional<bool>> items[] = {
      {pid::PAN_INVERT, "Set pan inversion of 0x", inversions.pan},
      {pid::TILT_INVERT, "Set tilt inversion of 0x", inversions.tilt},
      {pid::PAN_TILT_SWAP, "Set axis swap of 0x", inversions.swap}};
  for (const auto& [p, text, on] : items) {
    if (!on || !AskedOf(device, p)) continue;
    LogOp(text, uid);
    Transact({rdm::SET_COMMAND, p, {static_cast<uint8_t>(*on ? 1 : 0)}}, uid);
  }
}

bool DeviceOperations::SetIdentify(rdm::Uid uid, bool on) {
  rdm::RdmAnswer a =
      Transact({rdm::SET_COMMAND, pid::IDENTIFY_DEVICE, {static_cast<uint8_t>(on ? 1 : 0)}}, uid);
  return Acked(a, pid::IDENTIFY_DEVICE, uid);
}

void DeviceOperations::SetLampState(rdm::Uid uid, uint8_t state) {
  Transact({rdm::SET_COMMAND, pid::LAMP_STATE, {state}}, uid);
}

void DeviceOperations::ResetDevice(rdm::Uid uid) {
  Transact({rdm::SET_COMMAND, pid::RESET_DEVICE, {0x01}}, uid);
}

DeviceReading DeviceOperations::ReadDevice(rdm::Uid uid) {
  DeviceReading reading(uid);
  GetSupportedParameters(reading);
  GetDeviceInfo(reading);
  GetStatusMessages(reading);
  GetDeviceLabel(reading);
  ReadDescriptions(reading);
  GetInversions(reading);
  GetDeviceHours(reading);
  GetLampHours(reading);
  GetIdentify(reading);
  return reading;
}

}  // namespace velquor::workbench
