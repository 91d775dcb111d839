// The engine tick's period on the real clock while the desk fades all 512 slots on the DMX
// page of the virtual line: p50, p99 and the largest interval between steps, and how far
// they stray from 40 ms. Usage: bench_tick_jitter [TICKS] [--busy] [--record] (--busy keeps
// both cores busy with spinning threads meanwhile; --record runs a recording at the same
// time, its frames asked for at ArtDmx's 44 a second, as the network thread would).

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "common/Clock.h"
#include "common/Log.h"
#include "dmx/EngineTick.h"
#include "dmx/SceneDesk.h"
#include "dmx/ShowRecorder.h"
#include "link/UsbLink.h"
#include "rdm/RdmEngine.h"
#include "virtualline/VirtualLine.h"

int main(int argc, char** argv) {
  using namespace velquor;
  size_t ticks = 2000;
  bool busy = false, record = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--busy") == 0) {
      busy = true;
    } else if (std::strcmp(argv[i], "--record") == 0) {
      record = true;
    } else {
      ticks = static_cast<size_t>(std::atoll(argv[i]));
    }
  }
  common::LogSink log(1000);
  virtualline::VirtualLine line(virtualline::DefaultRig(), common::RealClock());
  link::UsbLink usb(line, log, common::RealClock());
  rdm::RdmEngine engine(usb, log);
  usb.LinkOpen();
  dmx::OutputUniverse universe;
  dmx::SceneDesk desk(universe, log);
  for (size_t i = 0; i < dmx::kSlots; ++i) universe.Store(i, static_cast<uint8_t>(i));
  desk.Add("65535", "0");
  for (size_t i = 0; i < dmx::kSlots; ++i) universe.Store(i, static_cast<uint8_t>(255 - i));
  desk.Add("65535", "0");

  std::vector<std::chrono::steady_clock::time_point> stamps;
  stamps.reserve(ticks + 1);
  dmx::EngineHooks hooks;
  hooks.sceneStep = [&] {
    if (stamps.size() <= ticks) stamps.push_back(std::chrono::steady_clock::now());
    desk.SceneStep();
  };
  std::atomic<bool> rdmBusy{false};
  std::atomic<int32_t> holdOff{0};
  dmx::EngineTick tick(usb, engine, universe, rdmBusy, holdOff, log, common::RealClock(), hooks);
  tick.View().mode = dmx::OutputMode::Desk;
  tick.View().sceneRunning = true;

  std::atomic<bool> stopSpin{false};
  std::vector<std::thread> spinners;
  if (busy) {
    for (unsigned c = 0; c < std::max(2u, std::thread::hardware_concurrency()); ++c) {
      spinners.emplace_back([&] {
        volatile uint64_t x = 0;
        while (!stopSpin.load()) x = x + 1;
      });
    }
  }
  dmx::ShowRecorder recorder(universe);
  const std::string show = "/tmp/velquor-jitter-record.dmx";
  std::thread requester;
  if (record) {
    recorder.Start(show);
    requester = std::thread([&] {
      while (!stopSpin.load()) {
        recorder.RequestFrame();
        std::this_thread::sleep_for(std::chrono::microseconds(22700));
      }
    });
  }
  tick.CreateTimer();
  while (stamps.size() <= ticks) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  tick.DestroyTimer();
  stopSpin = true;
  for (auto& t : spinners) t.join();
  if (requester.joinable()) requester.join();
  recorder.Stop();
  std::remove(show.c_str());

  std::vector<double> periods;
  for (size_t i = 1; i < stamps.size(); ++i) {
    periods.push_back(std::chrono::duration<double, std::milli>(stamps[i] - stamps[i - 1]).count());
  }
  std::sort(periods.begin(), periods.end());
  auto at = [&](double q) { return periods[static_cast<size_t>(q * (periods.size() - 1))]; };
  std::printf("engine tick, %zu periods, scene fading 512 slots%s%s\n", periods.size(),
              record ? ", a recording running" : "", busy ? ", both cores busy" : ", idle machine");
  std::printf("period ms: min %.3f  p50 %.3f  p99 %.3f  max %.3f\n", periods.front(), at(0.5),
              at(0.99), periods.back());
  std::printf("DMX frames sent: %u\n", line.Stats().dmxFrames);
  return 0;
}
