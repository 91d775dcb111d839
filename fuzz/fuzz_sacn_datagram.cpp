// A UDP datagram as anyone on the network may send it to port 5568: the parser must stay
// inside it, and the node must merge it (sequence, priority, time-out) and put the merge into
// the universe without reading or writing past anything.
#include <chrono>
#include <cstdint>
#include <vector>

#include "common/Clock.h"
#include "common/Log.h"
#include "net/SacnNode.h"

namespace {

using namespace velquor;

struct World {
  common::ManualClock clock;
  common::LogSink log{1000};
  dmx::OutputUniverse universe;
  dmx::EngineView view;
  net::SacnNode node{universe, view, log, clock};
  World() {
    view.mode = dmx::OutputMode::ArtNet;
    view.networkProtocol = dmx::NetworkProtocol::Sacn;
    node.SetUniverse(1);
    node.SetDirection(net::SacnDirection::In);  // no sockets: nothing is joined or sent
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  // Most inputs get a valid header up to the DMP layer (universe 1, lengths from the size),
  // so the fuzzer reaches the merge; a few are taken as they come.
  std::vector<uint8_t> p(data, data + size);
  const uint8_t flags = size > 0 ? data[0] : 0;
  if ((flags & 3) != 0 && p.size() >= 126) {
    const uint8_t head[] = {0x00, 0x10, 0x00, 0x00, 'A', 'S', 'C', '-',
                            'E',  '1',  '.',  '1',  '7', 0,   0,   0};
    std::copy(std::begin(head), std::end(head), p.begin());
    const size_t n = p.size();
    auto fl = [&](size_t at) {
      p[at] = static_cast<uint8_t>(0x70 | (((n - at) >> 8) & 0x0F));
      p[at + 1] = static_cast<uint8_t>(n - at);
    };
    fl(16);
    p[18] = p[19] = p[20] = 0, p[21] = 4;
    p[22] &= 0x03;  // a few CIDs, so sources meet, merge and crowd
    fl(38);
    p[40] = p[41] = p[42] = 0, p[43] = 2;
    p[113] = 0, p[114] = 1;
    fl(115);
    p[117] = 0x02, p[118] = 0xA1, p[119] = p[120] = p[121] = 0, p[122] = 1;
    p[123] = static_cast<uint8_t>((n - 125) >> 8), p[124] = static_cast<uint8_t>(n - 125);
    if (flags & 2) p[125] = 0;
  }
  const net::SacnDatagram d = net::ParseSacn(p);
  if (!d.levels.empty() &&
      (d.levels.data() < p.data() || d.levels.data() + d.levels.size() > p.data() + p.size() ||
       d.levels.size() > 512)) {
    __builtin_trap();
  }
  world.clock.Advance(std::chrono::milliseconds(flags >> 2));
  world.node.HandleDatagram(p, 0x0A000005);
  world.node.ExpireSources();
  return 0;
}
