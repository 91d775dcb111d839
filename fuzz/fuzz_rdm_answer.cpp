// An RDM answer image as the box may deliver it: the checks, the log line and the
// discovery decoding must stay inside the image whatever its bytes say.
#include <algorithm>
#include <cstdint>

#include "rdm/Codec.h"
#include "rdm/Decoders.h"
#include "rdm/RdmEngine.h"
#include "rdm/Sensors.h"
#include "rdm/Slots.h"

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
  // The slot answers: every whole entry, never a byte past the data.
  const auto d = answer.Data();
  if (DecodeSlotInfo(d).size() != d.size() / kSlotInfoBytes) __builtin_trap();
  if (DecodeDefaultSlotValues(d).size() != d.size() / kSlotDefaultBytes) __builtin_trap();
  if (auto s = DecodeSlotDescription(d); s && s->text.size() + 2 != d.size()) __builtin_trap();
  for (uint16_t p : {pid::SLOT_INFO, pid::SLOT_DESCRIPTION, pid::DEFAULT_SLOT_VALUE}) {
    (void)DescribeAnswer(p, GET_COMMAND, answer);
  }
  // A sensor's definition and value: the description never longer than E1.20's 32 bytes, and
  // its text made for any prefix and unit.
  if (auto s = DecodeSensorDefinition(d)) {
    if (s->description.size() > 32) __builtin_trap();
    if (auto v = DecodeSensorValue(d)) line = SensorValueText(*s, v->present);
  }
  (void)ok;
  (void)sum;
  return 0;
}
