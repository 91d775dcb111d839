// The sACN node on loopback (unicast from 127.0.0.2 to 127.0.0.1, never multicast):
//  - data packets a second taken without loss at rising rates, from four sources at one
//    priority (so every packet is merged), and the receive thread's CPU time per 1000;
//  - the merge alone: packets a second through ParseSacn and the merger, no sockets.
// Usage: bench_sacn [SECONDS_PER_RATE]

#include <fmt/format.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "common/Log.h"
#include "net/NetTestSupport.h"
#include "net/SacnNode.h"

namespace {

using namespace velquor;
using Clock = std::chrono::steady_clock;

// CPU seconds of this process's thread named `name`.
double ThreadCpuSeconds(const std::string& name) {
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string n;
    std::getline(comm, n);
    if (n != name) continue;
    std::ifstream stat(task.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const size_t close = text.rfind(')');
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
    long utime = 0, stime = 0;
    fields >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const double secondsPerRate = argc > 1 ? std::atof(argv[1]) : 2.0;
  const auto addresses = net::ListHostAddresses();
  const int index = testsupport::LoopbackIndex(addresses);
  if (index < 0) {
    std::puts("no 127.0.0.1 on this machine");
    return 1;
  }
  const uint16_t port = testsupport::FreeUdpPort();
  common::LogSink log;
  dmx::OutputUniverse universe;
  dmx::EngineView view;
  view.mode = dmx::OutputMode::ArtNet;
  view.networkProtocol = dmx::NetworkProtocol::Sacn;
  net::SacnOptions options;
  options.port = port;
  net::SacnNode node(universe, view, log, common::RealClock(), options);
  node.SetUniverse(1);
  if (!node.Open(addresses[static_cast<size_t>(index)])) {
    std::puts("the node cannot listen");
    return 1;
  }
  node.SetDirection(net::SacnDirection::In);
  testsupport::UdpPeer console(testsupport::kConsoleAddress, 0, port);
  std::printf("sACN node on 127.0.0.1:%u, unicast, four sources at priority 100\n", port);

  // Four sources, each with its own sequence; every packet carries new levels.
  std::vector<std::array<uint8_t, 16>> cids(4);
  for (size_t s = 0; s < cids.size(); ++s) cids[s].fill(static_cast<uint8_t>(0x40 + s));
  std::vector<uint8_t> sequences(cids.size(), 0);
  std::vector<std::vector<uint8_t>> packets;
  for (int k = 0; k < 256; ++k) {
    packets.push_back(testsupport::SacnData(cids[0], "bench", 1, 0,
                                            std::vector<uint8_t>(512, static_cast<uint8_t>(k))));
  }

  std::printf("\nsACN data packets in, %.1f s per rate:\n", secondsPerRate);
  std::printf("%12s %12s %12s %10s %22s\n", "rate/s", "sent", "taken", "lost", "net CPU per 1000");
  uint64_t serial = 0;
  for (int rate : {10000, 20000, 40000, 80000}) {
    const uint64_t takenBefore = node.Counters().taken.load();
    const double cpuBefore = ThreadCpuSeconds("velquor-sacn");
    const int perMs = rate / 1000;
    const int slices = static_cast<int>(secondsPerRate * 1000);
    uint64_t sent = 0;
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (int s = 0; s < slices; ++s) {
      for (int k = 0; k < perMs; ++k, ++serial) {
        const size_t source = serial % cids.size();
        std::vector<uint8_t>& p = packets[serial % packets.size()];
        std::copy(cids[source].begin(), cids[source].end(), p.begin() + 22);
        p[111] = sequences[source]++;
        if (console.Send(p)) ++sent;
      }
      next.tv_nsec += 1000000;
      if (next.tv_nsec >= 1000000000) {
        next.tv_nsec -= 1000000000;
        ++next.tv_sec;
      }
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the last ones arrive
    const uint64_t taken = node.Counters().taken.load() - takenBefore;
    const double cpu = ThreadCpuSeconds("velquor-sacn") - cpuBefore;
    std::printf("%12d %12llu %12llu %10llu %19.3f ms\n", rate,
                static_cast<unsigned long long>(sent), static_cast<unsigned long long>(taken),
                static_cast<unsigned long long>(sent - std::min(sent, taken)),
                taken ? cpu * 1000.0 / static_cast<double>(taken) * 1000.0 : 0.0);
  }
  node.Stop();

  // The parse and merge alone.
  net::SacnMerger merger;
  const int rounds = 200000;
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    std::vector<uint8_t>& p = packets[static_cast<size_t>(i) % packets.size()];
    const size_t source = static_cast<size_t>(i) % cids.size();
    std::copy(cids[source].begin(), cids[source].end(), p.begin() + 22);
    p[111] = sequences[source]++;
    merger.Take(net::ParseSacn(p), 0x7F000002, std::chrono::nanoseconds(i));
    if (!merger.Levels()) return 1;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("\nparse + merge of 4 sources + the merged levels: %.0f packets/s (%.2f us each)\n",
              rounds / seconds, seconds / rounds * 1e6);
  return 0;
}
