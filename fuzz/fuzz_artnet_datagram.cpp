// A UDP datagram as anyone on the network may send it to port 6454: the parser must stay
// inside it, and the bridge must handle it (take DMX, queue a relay, answer) without
// reading or writing past anything.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/Core.h"
#include "net/ArtNetPackets.h"

namespace {

using namespace velquor;

struct World {
  common::ManualClock clock;
  std::unique_ptr<core::Core> core;
  World() {
    core::CoreOptions options;
    options.virtualLine = true;
    options.workDir = "/nonexistent-velquor-fuzz";
    options.clock = &clock;
    std::string error;
    core = core::Core::Create(options, {}, error);
    if (!core) __builtin_trap();
    core->Link().LinkOpen();
    core->Bridge().SetPortAddress(0);
  }
};

constexpr uint16_t kOps[] = {net::kOpPoll, net::kOpDmx, net::kOpTodRequest, net::kOpTodControl,
                             net::kOpRdm};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  // Half the inputs carry the Art-Net ID and a known operation, so the fuzzer gets past the
  // first check; the rest are taken as they come.
  std::vector<uint8_t> payload;
  uint8_t flags = size > 0 ? data[0] : 0;
  if (flags & 1) {
    payload = {'A', 'r', 't', '-', 'N', 'e', 't', 0};
    const uint16_t op = kOps[(flags >> 1) % std::size(kOps)];
    payload.push_back(static_cast<uint8_t>(op & 0xFF));
    payload.push_back(static_cast<uint8_t>(op >> 8));
    if (size > 1) payload.insert(payload.end(), data + 1, data + size);
  } else {
    payload.assign(data, data + size);
  }

  const net::ArtNetDatagram d = net::ParseArtNet(payload);
  const uint8_t* begin = payload.data();
  const uint8_t* end = begin + payload.size();
  auto inside = [&](std::span<const uint8_t> s) {
    return s.empty() || (s.data() >= begin && s.data() + s.size() <= end);
  };
  if (!inside(d.data) || !inside(d.rdmMessage) || d.data.size() > 512) __builtin_trap();
  if (d.kind == net::ArtNetDatagram::Kind::Rdm &&
      d.rdmMessage.size() != size_t{d.rdmMessage[1]} + 1) {
    __builtin_trap();
  }

  dmx::EngineView& view = world.core->Tick().View();
  view.mode = (flags & 0x40) ? dmx::OutputMode::RdmConsole : dmx::OutputMode::ArtNet;
  world.clock.Advance(std::chrono::milliseconds(flags & 0x80 ? 0 : 5));
  world.core->Bridge().HandleDatagram(payload, 0x0A000005, 6454, 0x0AFFFFFF);
  return 0;
}
