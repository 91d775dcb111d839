#include "virtualline/Rig.h"

#include <fmt/format.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "common/Text.h"
#include "virtualline/Pids.h"
#include "virtualline/SlotLayouts.h"

namespace velquor::virtualline {

namespace {

using nlohmann::json;

struct RigError {
  std::string text;
};

uint64_t NumberField(const json& j, const char* key, uint64_t max, uint64_t fallback,
                     const std::string& where) {
  if (!j.contains(key)) return fallback;
  const json& v = j.at(key);
  std::optional<uint64_t> n;
  if (v.is_number_unsigned()) n = v.get<uint64_t>();
  if (v.is_string()) n = common::ParseUnsigned(v.get<std::string>());
  if (!n || *n > max) {
    throw RigError{fmt::format("{}: \"{}\" must be a number from 0 to {}", where, key, max)};
  }
  return *n;
}

int64_t SignedField(const json& j, const char* key, const std::string& where) {
  if (!j.contains(key)) return 0;
  const json& v = j.at(key);
  if (!v.is_number_integer() || v.get<int64_t>() < -32768 || v.get<int64_t>() > 32767) {
    throw RigError{fmt::format("{}: \"{}\" must be a number from -32768 to 32767", where, key)};
  }
  return v.get<int64_t>();
}

std::string TextField(const json& j, const char* key, const std::string& where) {
  if (!j.contains(key)) return {};
  if (!j.at(key).is_string()) throw RigError{fmt::format("{}: \"{}\" must be text", where, key)};
  std::string text = j.at(key).get<std::string>();
  if (text.size() > 32) {
    throw RigError{fmt::format("{}: \"{}\" is longer than 32 bytes", where, key)};
  }
  return text;
}

bool BoolField(const json& j, const char* key, const std::string& where) {
  if (!j.contains(key)) return false;
  if (!j.at(key).is_boolean()) {
    throw RigError{fmt::format("{}: \"{}\" must be true or false", where, key)};
  }
  return j.at(key).get<bool>();
}

uint64_t ParseUidText(const json& v, const std::string& where) {
  if (!v.is_string()) throw RigError{where + ": \"uid\" must be text like \"7FF0:00000101\""};
  std::string text = v.get<std::string>();
  std::string digits;
  for (char c : text) {
    if (c != ':') digits += c;
  }
  auto n = digits.size() == 12 ? common::ParseUnsigned("0x" + digits) : std::nullopt;
  if (!n) throw RigError{where + ": \"uid\" must have 12 hex digits, got \"" + text + "\""};
  if (*n == 0 || (*n & 0xFFFFFFFFULL) == 0xFFFFFFFFULL) {
    throw RigError{where + ": \"uid\" " + text + " is not a device UID"};
  }
  return *n;
}

Fixture ParseFixture(const json& j, size_t index) {
  std::string where = fmt::format("fixture {}", index + 1);
  if (!j.is_object()) throw RigError{where + ": must be an object"};
  if (!j.contains("uid")) throw RigError{where + ": \"uid\" is missing"};
  Fixture f;
  f.uid = ParseUidText(j.at("uid"), where);
  where = fmt::format("fixture {} ({})", index + 1, j.at("uid").get<std::string>());
  f.label = TextField(j, "label", where);
  f.manufacturer = TextField(j, "manufacturer", where);
  f.model = TextField(j, "model", where);
  f.modelId = static_cast<uint16_t>(NumberField(j, "modelId", 0xFFFF, 0, where));
  f.category = static_cast<uint16_t>(NumberField(j, "category", 0xFFFF, 0, where));
  f.softwareVersionId =
      static_cast<uint32_t>(NumberField(j, "softwareVersionId", 0xFFFFFFFF, 0, where));
  f.softwareVersion = TextField(j, "softwareVersion", where);
  if (j.contains("personalities")) {
    const json& list = j.at("personalities");
    if (!list.is_array() || list.empty() || list.size() > 255) {
      throw RigError{where + ": \"personalities\" must list 1 to 255 personalities"};
    }
    for (const json& p : list) {
      if (!p.is_object()) throw RigError{where + ": each personality must be an object"};
      Personality pers;
      pers.footprint = static_cast<uint16_t>(NumberField(p, "footprint", 512, 0, where));
      pers.description = TextField(p, "description", where);
      f.personalities.push_back(pers);
    }
  } else {
    f.personalities.push_back({1, "Default"});
  }
  f.personality = static_cast<uint8_t>(NumberField(j, "personality", 255, 1, where));
  if (f.personality < 1 || f.personality > f.personalities.size()) {
    throw RigError{where + ": \"personality\" names no listed personality"};
  }
  f.startAddress = static_cast<uint16_t>(NumberField(j, "startAddress", 512, 1, where));
  if (f.startAddress < 1) throw RigError{where + ": \"startAddress\" must be 1 to 512"};
  if (j.contains("supportedPids")) {
    const json& list = j.at("supportedPids");
    if (!list.is_array()) throw RigError{where + ": \"supportedPids\" must be a list"};
    for (const json& p : list) {
      std::optional<uint16_t> value;
      if (p.is_string()) value = pid::FromName(p.get<std::string>());
      if (p.is_number_unsigned() && p.get<uint64_t>() <= 0xFFFF) {
        value = static_cast<uint16_t>(p.get<uint64_t>());
      }
      if (!value) {
        throw RigError{where + ": unknown parameter " + p.dump() + " in \"supportedPids\""};
      }
      f.supportedPids.push_back(*value);
    }
  }
  if (j.contains("statusMessages")) {
    const json& list = j.at("statusMessages");
    if (!list.is_array()) throw RigError{where + ": \"statusMessages\" must be a list"};
    for (const json& m : list) {
      if (!m.is_object()) throw RigError{where + ": each status message must be an object"};
      StatusMessage s;
      s.subDevice = static_cast<uint16_t>(NumberField(m, "subDevice", 0xFFFF, 0, where));
      s.type = static_cast<uint8_t>(NumberField(m, "type", 0xFF, 2, where));
      s.id = static_cast<uint16_t>(NumberField(m, "id", 0xFFFF, 0, where));
      s.data1 = static_cast<int16_t>(SignedField(m, "data1", where));
      s.data2 = static_cast<int16_t>(SignedField(m, "data2", where));
      f.statusMessages.push_back(s);
    }
  }
  f.deviceHours = static_cast<uint32_t>(NumberField(j, "deviceHours", 0xFFFFFFFF, 0, where));
  f.lampHours = static_cast<uint32_t>(NumberField(j, "lampHours", 0xFFFFFFFF, 0, where));
  f.lampState = static_cast<uint8_t>(NumberField(j, "lampState", 0xFF, 0, where));
  f.panInvert = BoolField(j, "panInvert", where);
  f.tiltInvert = BoolField(j, "tiltInvert", where);
  f.panTiltSwap = BoolField(j, "panTiltSwap", where);
  if (j.contains("radioChannel")) {
    uint64_t ch = NumberField(j, "radioChannel", 7, 1, where);
    if (ch < 1) throw RigError{where + ": \"radioChannel\" must be 1 to 7"};
    f.radioChannel = static_cast<uint8_t>(ch);
  }
  if (j.contains("discoveryFault")) {
    const json& v = j.at("discoveryFault");
    static const std::pair<const char*, DiscoveryFault> kFaults[] = {
        {"none", DiscoveryFault::None},
        {"ignoreMute", DiscoveryFault::IgnoreMute},
        {"flakyMute", DiscoveryFault::FlakyMute},
        {"anyRange", DiscoveryFault::AnyRange},
        {"otherUid", DiscoveryFault::OtherUid},
        {"answersWhenMuted", DiscoveryFault::AnswersWhenMuted}};
    bool known = false;
    for (const auto& [name, fault] : kFaults) {
      if (v.is_string() && v.get<std::string>() == name) {
        f.discoveryFault = fault;
        known = true;
      }
    }
    if (!known) {
      throw RigError{where +
                     ": \"discoveryFault\" must be none, ignoreMute, flakyMute, anyRange, "
                     "otherUid or answersWhenMuted"};
    }
  }
  if (f.discoveryFault == DiscoveryFault::OtherUid) {
    if (!j.contains("discoveryUid")) {
      throw RigError{where + ": \"discoveryFault\" otherUid needs \"discoveryUid\""};
    }
    f.discoveryUid = ParseUidText(j.at("discoveryUid"), where);
  }
  f.slotLayout = TextField(j, "slotLayout", where);
  if (!f.slotLayout.empty() && !SlotLayoutExists(f.slotLayout)) {
    throw RigError{where + ": no slot layout is called \"" + f.slotLayout + "\""};
  }
  f.overflowAfter = static_cast<uint8_t>(NumberField(j, "overflowAfter", 230, 0, where));
  f.turnaroundMs = static_cast<double>(NumberField(j, "turnaroundUs", 100000, 0, where)) / 1000;
  return f;
}

CollisionMode ParseCollisions(const json& doc) {
  if (!doc.contains("collisions")) return CollisionMode::Or;
  const json& v = doc.at("collisions");
  if (v == "or") return CollisionMode::Or;
  if (v == "and") return CollisionMode::And;
  if (v == "garbled") return CollisionMode::Garbled;
  throw RigError{"\"collisions\" must be \"or\", \"and\" or \"garbled\""};
}

}  // namespace

std::optional<Rig> ParseRig(std::string_view text, std::string& error) {
  json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded()) {
    error = "rig file is not valid JSON";
    return std::nullopt;
  }
  try {
    if (!doc.is_object() || !doc.contains("fixtures") || !doc.at("fixtures").is_array()) {
      throw RigError{"rig file needs a \"fixtures\" list"};
    }
    Rig rig;
    rig.collisions = ParseCollisions(doc);
    rig.relay.baseMs = static_cast<double>(NumberField(doc, "relayUs", 100000, 0, "rig")) / 1000;
    rig.relay.jitterMs =
        static_cast<double>(NumberField(doc, "relayJitterUs", 100000, 0, "rig")) / 1000;
    std::set<uint64_t> seen;
    const json& list = doc.at("fixtures");
    for (size_t i = 0; i < list.size(); ++i) {
      Fixture f = ParseFixture(list[i], i);
      if (!seen.insert(f.uid).second) {
        throw RigError{fmt::format("fixture {}: UID {:012X} appears twice", i + 1, f.uid)};
      }
      rig.fixtures.push_back(std::move(f));
    }
    return rig;
  } catch (const RigError& e) {
    error = e.text;
  } catch (const json::exception& e) {
    error = e.what();
  }
  return std::nullopt;
}

std::optional<Rig> LoadRigFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read rig file " + path;
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  auto rig = ParseRig(text.str(), error);
  if (!rig) error = path + ": " + error;
  return rig;
}

std::optional<Rig> LoadRigOrDefault(const std::string& path, std::string& error) {
  if (path.empty()) return DefaultRig();
  return LoadRigFile(path, error);
}

Rig GenerateRig(int count, UidLayout layout, CollisionMode collisions) {
  Rig rig;
  rig.collisions = collisions;
  rig.relay = {1.0, 2.0};
  for (int i = 0; i < count; ++i) {
    Fixture f;
    if (layout == UidLayout::Neighbouring) {
      f.uid = (uint64_t{0x7A70} << 32) | static_cast<uint32_t>(i + 1);
    } else {
      f.uid = (static_cast<uint64_t>(0x7FF0 + i % 5) << 32) |
              static_cast<uint32_t>(0x100 + static_cast<uint32_t>(i) * 7919u);
    }
    f.label = "Fixture " + std::to_string(i + 1);
    f.manufacturer = "Maker " + std::to_string(i % 5);
    f.model = "Model " + std::to_string(i % 3);
    f.category = 0x0101;
    f.softwareVersion = "1.0." + std::to_string(i % 10);
    f.personalities = {{static_cast<uint16_t>(4 + i % 4), "Standard"}};
    f.startAddress = static_cast<uint16_t>(1 + (i * 8) % 505);
    f.supportedPids = {0x0082, 0x0081, 0x0080, 0x00E0, 0x00E1};
    f.turnaroundMs = i % 8 == 7 ? 1.95 : 0.2 + 0.1 * ((i * 5) % 13);
    rig.fixtures.push_back(std::move(f));
  }
  return rig;
}

Rig DefaultRig() {
  std::string error;
  auto rig = ParseRig(DefaultRigJson(), error);
  return rig ? *rig : Rig{};
}

}  // namespace velquor::virtualline
