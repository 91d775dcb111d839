// A .pat file as anyone may hand it to Load: the records read stay inside the file and the table.
#include <cstdint>
#include <string_view>

#include "workbench/AddressMaps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velquor::workbench;
  const PlanFileRead read =
      DecodePatchFile(std::string_view(reinterpret_cast<const char*>(data), size));
  const size_t room = size < 4 ? 0 : (size - 4) / 12;
  if (read.records.size() > room || read.records.size() > static_cast<size_t>(MaxDevices)) {
    __builtin_trap();
  }
  // What was read, written and read again, is the same records.
  const PlanFileRead again = DecodePatchFile(EncodePatchFile(read.records));
  if (again.records.size() != read.records.size()) __builtin_trap();
  for (size_t i = 0; i < again.records.size(); ++i) {
    const PlanRecord& a = again.records[i];
    const PlanRecord& b = read.records[i];
    if (a.uid != b.uid || a.startIndex != b.startIndex || a.footprint != b.footprint ||
        a.reserved != b.reserved) {
      __builtin_trap();
    }
  }
  return 0;
}
