// Full discovery of generated rigs on the virtual line with the real clock and the default
// 50 ms response time-out: exchanges and wall time per device found.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/Clock.h"
#include "common/Log.h"
#include "link/UsbLink.h"
#include "rdm/RdmEngine.h"
#include "virtualline/VirtualLine.h"
#include "workbench/Workbench.h"

int main(int argc, char** argv) {
  using namespace velquor;
  std::vector<int> sizes{1, 8, 32, 128};
  if (argc > 1) {
    sizes.clear();
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  }
  std::string dir = (std::filesystem::temp_directory_path() / "velquor_bench_discovery").string();
  std::filesystem::create_directories(dir);

  std::printf("%8s %8s %10s %14s %14s %12s\n", "rig", "found", "exchanges", "exch/device", "wall s",
              "wall s/dev");
  for (int n : sizes) {
    std::filesystem::remove(dir + "/devnames.lst");
    common::LogSink log(1000);
    virtualline::VirtualLine line(virtualline::GenerateRig(n), common::RealClock());
    link::UsbLink usb(line, log, common::RealClock());
    rdm::RdmEngine engine(usb, log);
    usb.LinkOpen();
    usb.ComboBoxRDMChange(1);
    workbench::Workbench bench(engine, log, common::RealClock(), dir, dir);

    auto start = std::chrono::steady_clock::now();
    bench.SpeedButtonDiscoverClick();
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int found = bench.Table().DeviceCount;
    const unsigned exchanges = line.Stats().requests;
    std::printf("%8d %8d %10u %14.1f %14.2f %12.3f\n", n, found, exchanges,
                found ? static_cast<double>(exchanges) / found : 0.0, wall,
                found ? wall / found : 0.0);
    std::fflush(stdout);
  }
  return 0;
}
