#pragma once
// A rig: the fixtures on the virtual RDM line, read from a JSON rig file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquor::virtualline {

struct Personality {
  uint16_t footprint = 0;
  std::string description;
};

struct StatusMessage {
  uint16_t subDevice = 0;
  uint8_t type = 2;  // STATUS_ADVISORY 2, STATUS_WARNING 3, STATUS_ERROR 4
  uint16_t id = 0;
  int16_t data1 = 0;
  int16_t data2 = 0;
};

// How a fixture misbehaves in discovery, as some real ones do.
enum class DiscoveryFault {
  None,
  IgnoreMute,        // never acknowledges DISC_MUTE and stays unmuted
  FlakyMute,         // acknowledges (and obeys) only every third DISC_MUTE
  AnyRange,          // answers every DISC_UNIQUE_BRANCH, whatever its range
  OtherUid,          // answers discovery with `discoveryUid`, everything else with its UID
  AnswersWhenMuted,  // acknowledges the mute but keeps answering discovery
};

// What the wire carries when several discovery answers overlap. Depending on the
// transceivers it is the OR or the AND of the drivers, which for neighbouring UIDs is
// itself a valid answer; "garbled" breaks the checksum of every overlap.
enum class CollisionMode { Or, And, Garbled };

struct Fixture {
  uint64_t uid = 0;
  std::string label;
  std::string manufacturer;
  std::string model;
  uint16_t modelId = 0;
  uint16_t category = 0;
  uint32_t softwareVersionId = 0;
  std::string softwareVersion;
  std::vector<Personality> personalities;  // at least one
  uint8_t personality = 1;                 // current, 1-based
  uint16_t startAddress = 1;
  std::vector<uint16_t> supportedPids;  // beyond the ones every responder answers
  std::string slotLayout;               // what its slots do, by name (SlotLayouts.cpp); empty: none
  std::vector<StatusMessage> statusMessages;
  uint32_t deviceHours = 0;
  uint32_t lampHours = 0;
  uint8_t lampState = 0;
  bool panInvert = false;
  bool tiltInvert = false;
  bool panTiltSwap = false;
  std::optional<uint8_t> radioChannel;  // set on radio-capable devices
  bool identify = false;
  DiscoveryFault discoveryFault = DiscoveryFault::None;
  uint64_t discoveryUid = 0;  // OtherUid: the UID it answers discovery with
  // The most parameter data one answer carries; longer GET answers are split with
  // ACK_OVERFLOW. 0: never split.
  uint8_t overflowAfter = 0;
  // From the end of a request to the start of the answer; E1.20 allows 0.176 to 2 ms.
  // 0: the line's usual 1 ms.
  double turnaroundMs = 0;
};

// How long the box takes to hand an answer to USB once it is off the line: a base and a
// jitter drawn anew for every answer. Zero: answers are there once their bytes have crossed.
struct RelayLatency {
  double baseMs = 0;
  double jitterMs = 0;
};

struct Rig {
  std::vector<Fixture> fixtures;
  CollisionMode collisions = CollisionMode::Or;
  RelayLatency relay;
};

enum class UidLayout {
  Scattered,    // spread over five manufacturers and far apart
  Neighbouring  // one model bought together: 7A70:00000001, 7A70:00000002, ...
};

// Parses rig JSON; on failure returns nothing and says why in `error`.
std::optional<Rig> ParseRig(std::string_view json, std::string& error);
std::optional<Rig> LoadRigFile(const std::string& path, std::string& error);
// The rig in `path`, or the default rig when `path` is empty.
std::optional<Rig> LoadRigOrDefault(const std::string& path, std::string& error);
// A rig of `count` plain fixtures with UIDs spread over five manufacturers (for trying
// and measuring larger rigs). Answers take as long as on a real line: the box relays in 1 to
// 3 ms, the fixtures turn round in 0.2 to 1.4 ms and every eighth near E1.20's 2 ms.
Rig GenerateRig(int count, UidLayout layout = UidLayout::Scattered,
                CollisionMode collisions = CollisionMode::Or);
// The rig shipped with the program (about a dozen fixtures of several kinds).
Rig DefaultRig();
std::string_view DefaultRigJson();

}  // namespace velquor::virtualline
