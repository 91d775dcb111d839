// Everything at once on the virtual line, for as long as asked: the engine tick; an ArtDmx
// flood on another universe and malformed datagrams from a second address, on loopback; a
// console's ArtDmx at 44 a second on the node's universe and its ArtRdm every 250 ms;
// window-like commands on the line's executor (a read every half second, a full discovery
// every minute); and, in turns of 30 s, a recording of the console's ArtDmx, then the desk's
// scenes fading while that recording plays back.
// Every 10 s: the tick's period (p50, p99, max), the resident memory and the counters. At the
// end: frames recorded against ArtDmx taken while recording, and frames torn (each ArtDmx
// carries levels (n + i) mod 256, so any mix of two shows).
// Usage: bench_soak [SECONDS] [--flood N] [--flood-node]   (defaults: 600 s, 20000 datagrams a
// second; --flood-node floods the node's universe too, each datagram a whole frame, so the
// recording then keeps the frames it can and fewer than were taken)

#include <fmt/format.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "common/Files.h"
#include "core/Core.h"
#include "net/ArtNetPackets.h"
#include "net/NetTestSupport.h"
#include "workbench/DeviceOperations.h"

namespace {

using namespace velquor;
using SteadyClock = std::chrono::steady_clock;

constexpr int kNodeUniverse = 291;  // the console's ArtRdm names it
constexpr int kOtherUniverse = 5;
constexpr net::Ipv4 kStranger = 0x7F000003;  // 127.0.0.3: malformed datagrams
constexpr net::Ipv4 kRdmConsole = 0x7F000004;

double RssMiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// Sleeps to the next millisecond of a grid that started at `next`.
void NextMillisecond(timespec& next) {
  next.tv_nsec += 1000000;
  if (next.tv_nsec >= 1000000000) {
    next.tv_nsec -= 1000000000;
    ++next.tv_sec;
  }
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
}

bool Untorn(const std::string& bytes, size_t at) {
  const auto* f = reinterpret_cast<const uint8_t*>(bytes.data() + at);
  for (size_t i = 1; i < 512; ++i) {
    if (f[6 + i] != static_cast<uint8_t>(f[6] + i)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 600;
  int floodRate = 20000;
  bool floodNode = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--flood-node") == 0) {
      floodNode = true;
    } else if (std::strcmp(argv[i], "--flood") == 0 && i + 1 < argc) {
      floodRate = std::atoi(argv[++i]);
    } else {
      seconds = std::atof(argv[i]);
    }
  }
  const int index = testsupport::LoopbackIndex(net::ListHostAddresses());
  if (index < 0) {
    std::puts("no 127.0.0.1 on this machine");
    return 1;
  }
  const std::string dir =
      std::filesystem::temp_directory_path() / fmt::format("velquor-soak-{}", getpid());
  std::filesystem::create_directories(dir);
  const uint16_t port = testsupport::FreeUdpPort();
  core::CoreOptions options;
  options.virtualLine = true;
  options.workDir = dir;
  options.programDir = dir;
  options.artNet.port = port;
  options.artNet.relayAlways = true;
  std::string error;
  auto core = core::Core::Create(options, {}, error);
  if (!core) {
    std::puts(error.c_str());
    return 1;
  }
  core->Link().LinkOpen();
  net::ArtNetBridge& bridge = core->Bridge();
  bridge.SetPortAddress(kNodeUniverse);
  if (!bridge.NetInit(index) || !bridge.StartReceiving()) {
    std::puts("the bridge cannot listen");
    return 1;
  }
  dmx::EngineView& view = core->Tick().View();
  view.mode = dmx::OutputMode::ArtNet;
  dmx::SceneDesk& desk = core->Desk();
  for (int s = 0; s < 3; ++s) {
    for (size_t i = 0; i < dmx::kSlots; ++i) core->Universe().Store(i, static_cast<uint8_t>(i * s));
    desk.Add("1500", "500");
  }
  core->Tick().CreateTimer();

  std::atomic<bool> stop{false};
  std::atomic<uint64_t> consoleSent{0}, floodSent{0}, relaysAnswered{0}, commands{0};
  std::atomic<uint64_t> discoveries{0};
  std::vector<double> readMs;  // the window thread's alone until it is joined

  // The network: a flood on another universe, garbage from a stranger, the console's 44 fps.
  std::thread network([&] {
    testsupport::UdpPeer console(testsupport::kConsoleAddress, 0, port);
    testsupport::UdpPeer stranger(kStranger, 0, port);
    std::array<uint8_t, 512> slots{};
    uint8_t n = 0, sequence = 0;
    double owed = 0, consoleOwed = 0;
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    while (!stop.load()) {
      for (owed += floodRate / 1000.0; owed >= 1; owed -= 1) {
        slots.fill(static_cast<uint8_t>(floodSent.load()));
        if (console.Send(net::BuildArtDmx(++sequence, kOtherUniverse, slots))) ++floodSent;
        if (floodNode) {
          ++n;
          for (size_t i = 0; i < slots.size(); ++i) slots[i] = static_cast<uint8_t>(n + i);
          if (console.Send(net::BuildArtDmx(++sequence, kNodeUniverse, slots))) ++floodSent;
        }
        const uint8_t junk[] = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50, 0, 14, 1};
        stranger.Send(std::span(junk, sizeof junk - (floodSent.load() % 5)));
      }
      if ((consoleOwed += 44.0 / 1000.0) >= 1) {
        consoleOwed -= 1;
        ++n;
        for (size_t i = 0; i < slots.size(); ++i) slots[i] = static_cast<uint8_t>(n + i);
        if (console.Send(net::BuildArtDmx(++sequence, kNodeUniverse, slots))) ++consoleSent;
      }
      NextMillisecond(next);
    }
  });
  // A second console asking a fixture for its DEVICE_INFO through ArtRdm.
  std::thread relays([&] {
    testsupport::UdpPeer console(kRdmConsole, 0, port);
    for (uint8_t tn = 0; !stop.load(); ++tn) {
      console.Send(testsupport::ArtRdmGetDeviceInfo(0x7FF000000101ULL, tn));
      const auto until = SteadyClock::now() + std::chrono::milliseconds(250);
      while (SteadyClock::now() < until) {
        const auto reply = console.Receive(50);
        if (reply && reply->size() > 10 && (*reply)[9] == 0x83) ++relaysAnswered;
      }
    }
  });
  // The window's commands: a read of a fixture, a full discovery every minute.
  std::thread window([&] {
    workbench::Workbench& bench = core->Bench();
    const uint64_t uids[] = {0x7FF000000101ULL, 0x7FF000000102ULL, 0x7FF000000201ULL};
    auto lastDiscovery = SteadyClock::now();
    for (size_t k = 0; !stop.load(); ++k) {
      if (SteadyClock::now() - lastDiscovery > std::chrono::seconds(60)) {
        bench.Run([&] { bench.Discover().Run(workbench::Discovery::Mode::Full); });
        lastDiscovery = SteadyClock::now();
        ++discoveries;
      } else {
        const auto asked = SteadyClock::now();
        bench.Run([&] {
          workbench::DeviceReading reading{rdm::Uid(uids[k % 3])};
          bench.Operations().GetDeviceInfo(reading);
          bench.Operations().GetDeviceLabel(reading);
        });
        readMs.push_back(
            std::chrono::duration<double, std::milli>(SteadyClock::now() - asked).count());
      }
      ++commands;
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
  });

  std::printf(
      "soak: %.0f s on the virtual line, Art-Net on 127.0.0.1:%u, flood %d/s on universe "
      "%d%s, garbage from 127.0.0.3, ArtRdm every 250 ms\n",
      seconds, port, floodRate, kOtherUniverse, floodNode ? " and on the node's" : "");
  std::printf("%6s %-9s %8s %8s %8s %9s %10s %10s %8s %6s %7s\n", "t s", "phase", "p50 ms",
              "p99 ms", "max ms", "RSS MiB", "received", "dropped", "relayed", "cmds", "log");
  const auto start = SteadyClock::now();
  auto elapsed = [&] { return std::chrono::duration<double>(SteadyClock::now() - start).count(); };
  size_t logLines = 0;
  double rssStart = 0, worstP99 = 0, bestP99 = 1e9;
  uint64_t recorded = 0, takenWhileRecording = 0, torn = 0;
  std::string lastShow;
  core->Tick().TakePeriods();
  for (int turn = 0; elapsed() < seconds; ++turn) {
    const bool recording = turn % 2 == 0;
    const std::string show = dir + fmt::format("/show{}.dmx", turn);
    uint64_t takenBefore = 0;
    if (recording) {
      view.mode = dmx::OutputMode::ArtNet;
      core->Recorder().Start(show);
      takenBefore = bridge.Counters().dmxTaken.load();
      view.showRunning = true;
    } else {
      if (!lastShow.empty()) core->Player().Select(lastShow);
      view.playbackActive = !lastShow.empty();
      view.mode = dmx::OutputMode::Desk;
      desk.RunStop("Run");
      view.sceneRunning = true;
    }
    for (int slice = 0; slice < 3 && elapsed() < seconds; ++slice) {
      std::this_thread::sleep_for(std::chrono::seconds(10));
      logLines += core->Log().TakeNew().size();  // as the window drains it
      const dmx::TickPeriods periods = core->Tick().TakePeriods();
      const double p99 = periods.Percentile(0.99);
      if (rssStart == 0) rssStart = RssMiB();
      worstP99 = std::max(worstP99, p99);
      bestP99 = std::min(bestP99, p99);
      const net::BridgeCounters& c = bridge.Counters();
      std::printf("%6.0f %-9s %8.1f %8.1f %8.1f %9.1f %10llu %10llu %8llu %6llu %7zu\n", elapsed(),
                  recording ? "record" : "scenes", periods.Percentile(0.5), p99,
                  periods.Percentile(1.0), RssMiB(),
                  static_cast<unsigned long long>(c.received.load()),
                  static_cast<unsigned long long>(c.dropped.load()),
                  static_cast<unsigned long long>(relaysAnswered.load()),
                  static_cast<unsigned long long>(commands.load()), logLines);
      std::fflush(stdout);
    }
    if (recording) {
      // Read before the recording stops asking: every ArtDmx counted asked for a frame.
      const uint64_t taken = bridge.Counters().dmxTaken.load() - takenBefore;
      view.showRunning = false;
      core->Recorder().Flush();
      core->Recorder().Stop();
      std::string why;
      const std::string bytes = common::ReadWholeFile(show, why).value_or("");
      const uint64_t frames = bytes.size() / dmx::kShowFrameBytes;
      for (size_t at = 0; at + dmx::kShowFrameBytes <= bytes.size(); at += dmx::kShowFrameBytes) {
        if (!Untorn(bytes, at)) ++torn;
      }
      recorded += frames;
      takenWhileRecording += taken;
      if (!lastShow.empty()) std::filesystem::remove(lastShow);
      lastShow = show;
    } else {
      view.sceneRunning = false;
      desk.RunStop("Stop");
      view.playbackActive = false;
    }
  }
  stop = true;
  network.join();
  relays.join();
  window.join();
  core->Tick().DestroyTimer();
  const double rssEnd = RssMiB();
  std::printf("\nticks %llu; tick p99 period ranged %.1f .. %.1f ms over the 10 s slices\n",
              static_cast<unsigned long long>(core->Tick().Ticks()), bestP99, worstP99);
  std::printf("RSS %.1f MiB after 10 s, %.1f MiB at the end\n", rssStart, rssEnd);
  std::printf(
      "recorded %llu frames, %llu ArtDmx taken while recording, %llu torn, %llu dropped "
      "by a full queue\n",
      static_cast<unsigned long long>(recorded),
      static_cast<unsigned long long>(takenWhileRecording), static_cast<unsigned long long>(torn),
      static_cast<unsigned long long>(core->Recorder().DroppedFrames()));
  std::printf(
      "console ArtDmx sent %llu, flood sent %llu, relays answered %llu, commands %llu "
      "(%llu discoveries), log lines %zu\n",
      static_cast<unsigned long long>(consoleSent.load()),
      static_cast<unsigned long long>(floodSent.load()),
      static_cast<unsigned long long>(relaysAnswered.load()),
      static_cast<unsigned long long>(commands.load()),
      static_cast<unsigned long long>(discoveries.load()), logLines);
  std::sort(readMs.begin(), readMs.end());
  if (!readMs.empty()) {
    std::printf(
        "a read of a fixture from asking to its end: p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
        readMs[readMs.size() / 2], readMs[readMs.size() * 99 / 100], readMs.back());
  }
  core->Shutdown();
  std::filesystem::remove_all(dir);
  return 0;
}
