// The device panel's Read of one fixture and a batch readdress of 64 fixtures, on the
// virtual line with the real clock and the default 50 ms response time-out, as the program
// does them now and as it did before (one answer frame per 5 ms poll; the whole list read
// again after a batch), in one run.
//
//   bench_panel [rounds]      each figure measured `rounds` times (default 5): best, median
//
// "waits ms" is what the sleeps alone ask for (the link's waits, the pauses after a SET): the
// rest is the machine waking the program up and the work between exchanges.

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "OneFrameAPoll.h"
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
  Rig(virtualline::Rig rig, const std::string& dir, bool before)
      : line(std::move(rig), common::RealClock()),
        paced(line),
        usb(before ? static_cast<link::LinkTransport&>(paced) : line, log, linkClock),
        engine(usb, log),
        bench(engine, log, pauseClock, dir, dir) {
    linkClock.wholePolls = before;
    usb.LinkOpen();
    usb.SetResponseTimeout(50);
  }
  // What the waits alone take: the link's waits and the pauses after a SET.
  double FloorMs() const { return linkClock.sleptMs + pauseClock.sleptMs; }
  benchsupport::BenchClock linkClock, pauseClock;
  common::LogSink log{2000};
  virtualline::VirtualLine line;
  benchsupport::OneFrameAPoll paced;
  link::UsbLink usb;
  rdm::RdmEngine engine;
  workbench::Workbench bench;
};

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
      .count();
}

struct Figure {
  std::vector<double> ms;
  double Best() const { return *std::min_element(ms.begin(), ms.end()); }
  double Median() const {
    std::vector<double> v = ms;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }
};

void WriteList(const std::string& dir, const std::vector<uint64_t>& uids) {
  std::string text, error;
  for (uint64_t uid : uids) text += fmt::format("{:012X}=\r\n", uid);
  common::WriteFileAtomic(dir + "/devnames.lst", text, error);
}

struct Run {
  double ms = 0;
  unsigned exchanges = 0;
  double floorMs = 0;
};

// One panel Read of the moving head.
Run PanelRead(const std::string& dir, bool before) {
  WriteList(dir, {0x7FF000000101ULL});
  Rig r(virtualline::DefaultRig(), dir, before);
  r.bench.List().LoadDeviceTable(false);
  r.bench.Devices().SelectRow(0);
  r.bench.RdmPage().Read();  // warm: files and allocations
  const unsigned requests = r.line.Stats().requests;
  r.linkClock.sleptMs = r.pauseClock.sleptMs = 0;
  const auto start = std::chrono::steady_clock::now();
  r.bench.RdmPage().Read();
  return {Ms(start), r.line.Stats().requests - requests, r.FloorMs()};
}

// A batch readdress of 64 fixtures, per fixture.
Run Batch(const std::string& dir, bool before) {
  virtualline::Rig rig = virtualline::GenerateRig(64);
  std::vector<uint64_t> uids;
  for (const auto& f : rig.fixtures) uids.push_back(f.uid);
  WriteList(dir, uids);
  Rig r(std::move(rig), dir, before);
  r.bench.List().LoadDeviceTable(false);
  r.bench.RdmPage().startAddressText = "1";
  r.bench.RdmPage().incrementText = "8";
  r.bench.RdmPage().firstFixtureText = "1";
  r.bench.RdmPage().lastFixtureText = "64";
  const workbench::BatchPlan plan = r.bench.RdmPage().PlanBatch();
  const auto targets = workbench::BatchTargets(r.bench.Table(), plan);
  const unsigned requests = r.line.Stats().requests;
  r.linkClock.sleptMs = r.pauseClock.sleptMs = 0;
  const auto start = std::chrono::steady_clock::now();
  if (before) {
    // The addresses, then the whole list read again from the file and the line.
    for (const auto& t : targets) r.bench.Operations().SetStartAddress(t.uid, t.address);
    r.bench.List().LoadDeviceTable(true);
  } else {
    r.bench.List().BatchAddress(plan, targets);
  }
  return {Ms(start) / 64, r.line.Stats().requests - requests, r.FloorMs() / 64};
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string dir = (std::filesystem::temp_directory_path() / "velquor_bench_panel").string();
  std::filesystem::create_directories(dir);

  std::printf("%-44s %9s %8s %8s %8s\n", "", "exchanges", "best ms", "median", "waits ms");
  for (bool before : {true, false}) {
    Figure read, batch;
    Run lastRead, lastBatch;
    for (int i = 0; i < rounds; ++i) read.ms.push_back((lastRead = PanelRead(dir, before)).ms);
    for (int i = 0; i < rounds; ++i) batch.ms.push_back((lastBatch = Batch(dir, before)).ms);
    const char* when = before ? "before" : "now   ";
    std::printf("%s panel Read of one moving head       %9u %8.1f %8.1f %8.1f\n", when,
                lastRead.exchanges, read.Best(), read.Median(), lastRead.floorMs);
    std::printf("%s batch of 64 fixtures, per fixture   %9u %8.1f %8.1f %8.1f\n", when,
                lastBatch.exchanges, batch.Best(), batch.Median(), lastBatch.floorMs);
    std::fflush(stdout);
  }
  return 0;
}
