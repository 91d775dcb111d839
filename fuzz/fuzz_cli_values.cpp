// What velquor-cli and the raw console take from a user: UIDs, parameters, numbers, hex data
// bytes, console data entries and IPv4 addresses, one per line of the input. Each reading is
// checked against the standard library's own number parsing, and a UID against its digits.
#include <cctype>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/Text.h"
#include "net/HostInterfaces.h"
#include "rdm/KnownPids.h"
#include "rdm/Uid.h"
#include "workbench/PageControllers.h"

using namespace velquor;

namespace {

std::optional<uint64_t> StdUnsigned(std::string_view t, int base) {
  uint64_t v = 0;
  if (t.empty() || !std::isxdigit(static_cast<unsigned char>(t[0]))) return std::nullopt;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
  if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  return v;
}

void CheckNumbers(std::string_view t) {
  const bool hex = t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
  const auto u = common::ParseUnsigned(t);
  const auto expected = hex ? StdUnsigned(t.substr(2), 16) : StdUnsigned(t, 10);
  // Leading zeros past 20 digits are refused; the standard parser takes them.
  if (u != expected && !(u == std::nullopt && t.size() > (hex ? 22u : 20u))) __builtin_trap();

  const auto i = common::ParseInteger(t);
  std::string_view digits = t;
  const bool sign = !t.empty() && (t[0] == '-' || t[0] == '+');
  if (sign) digits.remove_prefix(1);
  const auto magnitude = StdUnsigned(digits, 10);
  if (i) {
    if (!magnitude || *magnitude > static_cast<uint64_t>(INT64_MAX)) __builtin_trap();
    const int64_t m = static_cast<int64_t>(*magnitude);
    if (*i != (t[0] == '-' ? -m : m)) __builtin_trap();
  } else if (magnitude && *magnitude <= static_cast<uint64_t>(INT64_MAX) && digits.size() <= 20) {
    __builtin_trap();
  }
}

void CheckUid(std::string_view t) {
  // The three forms: MMMM:DDDDDDDD, twelve digits, twelve digits after 0x.
  std::string digits;
  if (t.size() == 13 && t[4] == ':') {
    digits = std::string(t.substr(0, 4)) + std::string(t.substr(5));
  } else if (t.size() == 12) {
    digits = std::string(t);
  } else if (t.size() == 14 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    digits = std::string(t.substr(2));
  }
  const auto expected = digits.size() == 12 ? StdUnsigned(digits, 16) : std::nullopt;
  const auto uid = rdm::Uid::Parse(t);
  if (uid.has_value() != expected.has_value()) __builtin_trap();
  if (uid && (uid->Value() != *expected || rdm::Uid::Parse(rdm::UidText12(*uid)) != uid)) {
    __builtin_trap();
  }
}

void CheckHexBytes(std::string_view t) {
  const auto bytes = common::ParseHexBytes(t);
  if (!bytes) return;
  if (bytes->size() > (t.size() + 1) / 2) __builtin_trap();
  if (common::ParseHexBytes(common::HexBytes(*bytes)) != bytes) __builtin_trap();
}

void CheckConsoleEntry(std::string_view t) {
  const auto bytes = workbench::ConsoleEntryBytes(t);
  if (!bytes) return;
  if (bytes->empty() || bytes->size() > t.size()) __builtin_trap();
  if (t[0] == '"') {
    std::string_view inner = t.substr(1);
    if (!inner.empty() && inner.back() == '"') inner.remove_suffix(1);
    if (std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()) != inner) {
      __builtin_trap();
    }
  } else if (common::ParseHexBytes(t) != bytes) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view token = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    CheckNumbers(token);
    CheckUid(token);
    CheckHexBytes(token);
    CheckConsoleEntry(token);
    if (const auto pid = rdm::ParsePid(token)) {
      if (rdm::ParsePid(std::to_string(*pid)) != pid) __builtin_trap();
    }
    if (const auto ip = net::ParseIpv4(std::string(token))) {
      if (net::ParseIpv4(net::Ipv4Text(*ip)) != ip) __builtin_trap();
    }
  }
  return 0;
}
