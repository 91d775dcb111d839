// Requests reaching the simulated box: arbitrary frames must never upset its assembly
// of requests or its responders.
#include <cstdint>

#include "common/Clock.h"
#include "link/LinkFrame.h"
#include "virtualline/VirtualLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velquor;
  static const virtualline::Rig rig = virtualline::DefaultRig();
  common::ManualClock clock;
  common::LogSink log;
  virtualline::VirtualLine line(rig, clock);
  line.Open({log, clock});
  size_t pos = 0;
  while (pos + 2 <= size) {
    // First byte picks the chunk code among the RDM ones mostly; the rest is the payload.
    link::Chunk payload{};
    uint8_t code = data[pos] % 3 == 0 ? data[pos + 1] : static_cast<uint8_t>(0xCC + data[pos] % 18);
    pos += 2;
    for (size_t i = 0; i < payload.size() && pos < size; ++i) payload[i] = data[pos++];
    if (code == 0xCC && pos >= 2) {
      payload[0] = 0xCC;
      payload[1] = 0x01;
    }
    line.InterruptOut(link::ScrambleChunk(code, 0, payload, 0));
  }
  link::LinkFrame frame;
  for (int i = 0; i < 64 && line.QueuedFrames() > 0; ++i) line.GetReport(frame);
  return 0;
}
