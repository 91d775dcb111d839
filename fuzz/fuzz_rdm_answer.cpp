// An RDM answer image as the box may deliver it: the checks, the log line and the
// discovery decoding must stay inside the image whatever its bytes say.
#include <algorithm>
#include <cstdint>

#include "rdm/Codec.h"
#include "rdm/RdmEngine.h"
#include "rdm/Sensors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velquor::rdm;
  RdmAnswer answer;
  answer.response.fill(0xFF);
  std::copy_n(data, std::min(size, answer.response.size()), answer.response.begin());
  answer.receivedBytes = static_cast<uint16_t>(std::min<size_t>(size, 527));
  volatile bool ok = CheckResponse(answer.response);
  std::string line = FormatRdmLine(answer.response);
  if (line.size() > 200) __builtin_trap();
  uint32_t sum = 0;
  for (uint8_t b : answer.Data()) sum += b;
  Uid lower = size > 6 ? Uid::Read(data) : Uid();
  auto result = DecodeDiscoveryResponse(answer.response, answer.receivedBytes, lower, BroadcastUid);
  if (result.outcome == DiscoveryOutcome::Valid && result.uid < lower) __builtin_trap();
  // A sensor's definition and value: the description never longer than E1.20's 32 bytes, and
  // its text made for any prefix and unit.
  if (auto d = DecodeSensorDefinition(answer.Data())) {
    if (d->description.size() > 32) __builtin_trap();
    if (auto v = DecodeSensorValue(answer.Data())) line = SensorValueText(*d, v->present);
  }
  (void)ok;
  (void)sum;
  return 0;
}
