// The Art-Net bridge on loopback, against the virtual line and the real engine tick:
//  - ArtDmx datagrams a second taken without loss at rising rates, and the receive thread's
//    CPU time per 1000 datagrams;
//  - ArtDmx in to the box's frame: from the datagram sent to the level on the virtual line;
//  - ArtPoll to ArtPollReply, as a console sees it.
// Usage: bench_artnet [SECONDS_PER_RATE]
//
// Before datagrams were read in batches (recvmsg and a poll for each), on this 2-core
// machine: 3.0 to 4.25 ms of the network thread's CPU per 1000 ArtDmx at 10,000 to 80,000 a
// second.

#include <fmt/format.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "core/Core.h"
#include "net/NetTestSupport.h"

namespace {

using namespace velquor;
using Clock = std::chrono::steady_clock;

std::vector<uint8_t> ArtDmx(uint8_t sequence, uint8_t level) {
  std::vector<uint8_t> p{'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50, 0, 14, sequence, 0, 0, 0,
                         0x02, 0x00};
  p.resize(530, level);
  return p;
}

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

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[std::min(v.size() - 1, static_cast<size_t>(p * v.size()))];
}

}  // namespace

int main(int argc, char** argv) {
  const double secondsPerRate = argc > 1 ? std::atof(argv[1]) : 2.0;
  const int index = testsupport::LoopbackIndex(net::ListHostAddresses());
  if (index < 0) {
    std::puts("no 127.0.0.1 on this machine");
    return 1;
  }
  const std::string dir = std::filesystem::temp_directory_path() / "velquor-bench-artnet";
  std::filesystem::create_directories(dir);
  const uint16_t port = testsupport::FreeUdpPort();
  core::CoreOptions options;
  options.virtualLine = true;
  options.workDir = dir;
  options.programDir = dir;
  options.artNet.port = port;
  std::string error;
  auto core = core::Core::Create(options, {}, error);
  if (!core) {
    std::puts(error.c_str());
    return 1;
  }
  core->Link().LinkOpen();
  core->Tick().View().mode = dmx::OutputMode::ArtNet;
  net::ArtNetBridge& bridge = core->Bridge();
  if (!bridge.NetInit(index) || !bridge.StartReceiving()) {
    std::puts("the bridge cannot listen");
    return 1;
  }
  testsupport::UdpPeer console(testsupport::kConsoleAddress, port, port);
  std::printf("Art-Net bridge on 127.0.0.1:%u, virtual line, release build\n", port);

  // 1. Throughput: datagrams paced in 1 ms slices, every one different (sequence, level).
  std::printf("\nArtDmx in, %.1f s per rate:\n", secondsPerRate);
  std::printf("%12s %12s %12s %10s %22s\n", "rate/s", "sent", "taken", "lost", "net CPU per 1000");
  uint8_t sequence = 0;
  for (int rate : {10000, 20000, 40000, 50000, 80000}) {
    const uint64_t takenBefore = bridge.Counters().dmxTaken.load();
    const double cpuBefore = ThreadCpuSeconds("velquor-net");
    const int perMs = rate / 1000;
    const int slices = static_cast<int>(secondsPerRate * 1000);
    uint64_t sent = 0;
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (int s = 0; s < slices; ++s) {
      for (int k = 0; k < perMs; ++k) {
        ++sequence;
        if (console.Send(ArtDmx(sequence, static_cast<uint8_t>(sent)))) ++sent;
      }
      next.tv_nsec += 1000000;
      if (next.tv_nsec >= 1000000000) {
        next.tv_nsec -= 1000000000;
        ++next.tv_sec;
      }
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the last ones arrive
    const uint64_t taken = bridge.Counters().dmxTaken.load() - takenBefore;
    const double cpu = ThreadCpuSeconds("velquor-net") - cpuBefore;
    std::printf("%12d %12llu %12llu %10llu %19.3f ms\n", rate, static_cast<unsigned long long>(sent),
                static_cast<unsigned long long>(taken),
                static_cast<unsigned long long>(sent - std::min(sent, taken)),
                taken ? cpu * 1000.0 / static_cast<double>(taken) * 1000.0 : 0.0);
  }

  // 2. ArtDmx in to the box: the engine tick sends the universe every 40 ms.
  core->Tick().CreateTimer();
  std::vector<double> latency;
  for (int i = 0; i < 200; ++i) {
    const uint8_t level = static_cast<uint8_t>(1 + i % 250);
    const auto start = Clock::now();
    console.Send(ArtDmx(++sequence, level));
    while (core->Line()->LineDmx()[0] != level) {
      if (Clock::now() - start > std::chrono::seconds(1)) break;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    latency.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    // Sent at a random phase of the tick, as a console does.
    std::this_thread::sleep_for(std::chrono::microseconds(7919 * (i % 5)));
  }
  core->Tick().DestroyTimer();
  std::printf("\nArtDmx in to the box's frame (200 changes): p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
              Percentile(latency, 0.5), Percentile(latency, 0.99), Percentile(latency, 1.0));

  // 3. ArtPoll to ArtPollReply; the polls alternate a flag so no two in a row are one copy.
  while (console.Receive(50)) {
  }
  std::vector<double> poll;
  for (int i = 0; i < 1000; ++i) {
    const std::vector<uint8_t> p{'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x20,
                                 0,   14,  static_cast<uint8_t>(i % 2 ? 2 : 0), 0};
    const auto start = Clock::now();
    console.Send(p);
    const auto reply = console.Receive(1000);
    if (!reply || reply->size() != 239) continue;
    poll.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::printf("ArtPoll to ArtPollReply (%zu of 1000 answered): p50 %.0f us, p99 %.0f us\n",
              poll.size(), Percentile(poll, 0.5), Percentile(poll, 0.99));
  core->Shutdown();
  std::filesystem::remove_all(dir);
  return 0;
}
