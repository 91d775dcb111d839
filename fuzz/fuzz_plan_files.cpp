// A .pat file or an address plan as anyone may hand it to Load: the records read stay inside
// the file and the table, and written and read again they are the same records.
#include <cstdint>
#include <string_view>

#include "workbench/AddressMaps.h"

namespace {

using namespace velquor::workbench;

void Check(std::string_view bytes, size_t recordBytes, PlanFileRead (*decode)(std::string_view),
           std::string (*encode)(std::span<const PlanRecord>)) {
  const PlanFileRead read = decode(bytes);
  const size_t room = bytes.size() < 4 ? 0 : (bytes.size() - 4) / recordBytes;
  if (read.records.size() > room || read.records.size() > static_cast<size_t>(MaxDevices)) {
    __builtin_trap();
  }
  const PlanFileRead again = decode(encode(read.records));
  if (again.records.size() != read.records.size()) __builtin_trap();
  for (size_t i = 0; i < again.records.size(); ++i) {
    const PlanRecord& a = again.records[i];
    const PlanRecord& b = read.records[i];
    if (a.uid != b.uid || a.startIndex != b.startIndex || a.footprint != b.footprint ||
        a.reserved != b.reserved) {
      __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Check(bytes, 12, DecodePatchFile, EncodePatchFile);
  Check(bytes, 14, DecodeAddressPlan, EncodeAddressPlan);
  return 0;
}
