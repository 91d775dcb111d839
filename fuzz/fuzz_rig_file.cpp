// Rig files are typed by hand: any text must parse or be refused with a reason.
#include <cstdint>
#include <string_view>

#include "virtualline/Rig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  auto rig = velquor::virtualline::ParseRig(
      std::string_view(reinterpret_cast<const char*>(data), size), error);
  if (!rig && error.empty()) __builtin_trap();
  if (rig) {
    for (const auto& f : rig->fixtures) {
      if (f.personality < 1 || f.personality > f.personalities.size()) __builtin_trap();
    }
  }
  return 0;
}
