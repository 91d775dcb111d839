#pragma once
// The 48-bit unique ID of an RDM device: manufacturer ID in bits 47..32, device ID in bits
// 31..0. A value type, so that a UID is never mixed up with a count, an address or a row.

#include <compare>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace velquor::rdm {

class Uid {
 public:
  static constexpr uint64_t kMask = 0xFFFFFFFFFFFFULL;

  constexpr Uid() = default;
  constexpr explicit Uid(uint64_t value) : value_(value & kMask) {}
  constexpr Uid(uint16_t manufacturer, uint32_t device)
      : value_((static_cast<uint64_t>(manufacturer) << 32) | device) {}

  // Every device (FFFF:FFFFFFFF).
  static constexpr Uid Broadcast() { return Uid(kMask); }
  // "7FF0:00000101", "7FF000000101" or "0x7FF000000101": four and eight, or twelve, hex
  // digits; nothing for anything else.
  static std::optional<Uid> Parse(std::string_view text);
  // The six bytes as they stand in a message, most significant first.
  static Uid Read(const uint8_t* bytes);
  void Write(uint8_t* bytes) const;

  constexpr uint64_t Value() const { return value_; }
  constexpr uint16_t Manufacturer() const { return static_cast<uint16_t>(value_ >> 32); }
  constexpr uint32_t Device() const { return static_cast<uint32_t>(value_); }
  // Every device, or every device of one manufacturer (device ID FFFFFFFF).
  constexpr bool IsBroadcast() const { return Device() == 0xFFFFFFFFu; }

  // The neighbours in the UID range, as discovery splits it.
  constexpr Uid Next() const { return Uid(value_ + 1); }
  constexpr Uid Previous() const { return Uid(value_ - 1); }

  constexpr auto operator<=>(const Uid&) const = default;

 private:
  uint64_t value_ = 0;
};

// Upper-case hex, at least 6 digits, no further leading zeros: the form of the log lines
// and the keys of devnames.lst.
std::string UidText(Uid uid);
// Exactly 12 upper-case hex digits: the form of the device list.
std::string UidText12(Uid uid);
// "7FF0:00000101", for messages and test failures.
std::ostream& operator<<(std::ostream& out, Uid uid);

}  // namespace velquor::rdm
