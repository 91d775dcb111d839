// The device panel's Read of one fixture and a batch readdress of 64 fixtures, on the
// virtual line with the real clock and the default 50 ms response time-out.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/Clock.h"
#include "common/Files.h"
#include "common/Log.h"
#include "link/UsbLink.h"
#include "rdm/RdmEngine.h"
#include "virtualline/VirtualLine.h"
#include "workbench/Workbench.h"

namespace {

using namespace velquor;

struct Rig {
  explicit Rig(virtualline::Rig rig, const std::string& dir)
      : line(std::move(rig), common::RealClock()),
        usb(line, log, common::RealClock()),
        engine(usb, log),
        bench(engine, log, common::RealClock(), dir, dir) {
    usb.LinkOpen();
    usb.SetResponseTimeout(50);
  }
  common::LogSink log{2000};
  virtualline::VirtualLine line;
  link::UsbLink usb;
  rdm::RdmEngine engine;
  workbench::Workbench bench;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main() {
  const std::string dir = (std::filesystem::temp_directory_path() / "velquor_bench_panel").string();
  std::filesystem::create_directories(dir);

  {
    std::string error;
    common::WriteFileAtomic(dir + "/devnames.lst", "7FF000000101=Spot 1\r\n", error);
    Rig r(virtualline::DefaultRig(), dir);
    r.bench.List().LoadDeviceTable(false);
    r.bench.Devices().SelectRow(0);
    const int runs = 10;
    auto start = std::chrono::steady_clock::now();
    const unsigned before = r.line.Stats().requests;
    for (int i = 0; i < runs; ++i) r.bench.RdmPage().Read();
    const double wall = Seconds(start) / runs;
    const double exchanges = static_cast<double>(r.line.Stats().requests - before) / runs;
    std::printf("panel Read of one moving head: %.1f exchanges, %.1f ms wall (mean of %d)\n",
                exchanges, wall * 1000, runs);
  }
  {
    std::filesystem::remove(dir + "/devnames.lst");
    Rig r(virtualline::GenerateRig(64), dir);
    auto start = std::chrono::steady_clock::now();
    r.bench.Discover().Run(workbench::Discovery::Mode::Full);
    std::printf("discovery of 64 fixtures first: %d found in %.1f s\n", r.bench.Table().Count(),
                Seconds(start));
    r.bench.RdmPage().startAddressText = "1";
    r.bench.RdmPage().incrementText = "8";
    r.bench.RdmPage().firstFixtureText = "1";
    r.bench.RdmPage().lastFixtureText = "64";
    const unsigned before = r.line.Stats().requests;
    start = std::chrono::steady_clock::now();
    const workbench::BatchPlan plan = r.bench.RdmPage().PlanBatch();
    r.bench.List().BatchAddress(plan, workbench::BatchTargets(r.bench.Table(), plan));
    const double wall = Seconds(start);
    std::printf(
        "batch of 64 fixtures (addresses, then the list re-read): %u exchanges, %.2f s wall, "
        "%.1f ms per fixture\n",
        r.line.Stats().requests - before, wall, wall * 1000 / 64);
  }
  return 0;
}
