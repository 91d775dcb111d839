#pragma once
// Tests spell UIDs as numbers (0x7A7000000001) as often as they use named ones; AnyUid takes
// either where a test helper wants a UID.

#include <cstdint>

#include "rdm/Uid.h"

namespace velquor::testsupport {

struct AnyUid {
  rdm::Uid uid;
  AnyUid(rdm::Uid u) : uid(u) {}  // NOLINT: both spellings on purpose
  AnyUid(unsigned long long v) : uid(v) {}
  AnyUid(unsigned long v) : uid(v) {}
  AnyUid(int v) : uid(static_cast<uint64_t>(v)) {}
  operator rdm::Uid() const { return uid; }  // NOLINT
};

inline rdm::Uid operator+(rdm::Uid u, uint64_t n) {
  return rdm::Uid(u.Value() + n);
}
inline rdm::Uid operator-(rdm::Uid u, uint64_t n) {
  return rdm::Uid(u.Value() - n);
}

}  // namespace velquor::testsupport
