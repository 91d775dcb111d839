// Full discovery of generated rigs on the virtual line with the real clock and the default
// 50 ms response time-out: fixtures found, branches and exchanges per fixture, wall time per
// fixture, for neighbouring and scattered UIDs on each kind of overlapping answers.
//
//   bench_discovery                      every rig size, layout and overlap
//   bench_discovery 32 128               those sizes only
//   bench_discovery --neighbouring or 32 those sizes, one layout and one overlap
//   bench_discovery --before ...         with one answer frame per 5 ms poll, as the link
//                                        used to take them
//   bench_discovery --compare ...        each rig also with every branch waiting the whole
//                                        time-out, as before the wait was learned
//
// The generated rigs answer as a real line does: the box relays in 1 to 3 ms, fixtures turn
// round in 0.2 to 2 ms, the bytes take their time on the wire.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "OneFrameAPoll.h"
#include "common/Clock.h"
#include "common/Log.h"
#include "link/UsbLink.h"
#include "rdm/RdmEngine.h"
#include "virtualline/VirtualLine.h"
#include "workbench/Workbench.h"

int main(int argc, char** argv) {
  using namespace velquor;
  using virtualline::CollisionMode;
  using virtualline::UidLayout;
  std::vector<int> sizes;
  std::vector<UidLayout> layouts;
  std::vector<CollisionMode> modes;
  bool before = false;
  std::vector<bool> learnedWaits{true};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--before")
      before = true;
    else if (a == "--compare")
      learnedWaits = {false, true};
    else if (a == "--neighbouring")
      layouts.push_back(UidLayout::Neighbouring);
    else if (a == "--scattered")
      layouts.push_back(UidLayout::Scattered);
    else if (a == "or")
      modes.push_back(CollisionMode::Or);
    else if (a == "and")
      modes.push_back(CollisionMode::And);
    else if (a == "garbled")
      modes.push_back(CollisionMode::Garbled);
    else
      sizes.push_back(std::atoi(argv[i]));
  }
  if (sizes.empty()) sizes = {1, 2, 8, 32, 128};
  if (layouts.empty()) layouts = {UidLayout::Neighbouring, UidLayout::Scattered};
  if (modes.empty()) modes = {CollisionMode::Or, CollisionMode::And, CollisionMode::Garbled};
  const char* modeNames[] = {"or", "and", "garbled"};

  std::string dir = (std::filesystem::temp_directory_path() / "velquor_bench_discovery").string();
  std::filesystem::create_directories(dir);

  std::printf("%-12s %-8s %-9s %5s %6s %9s %10s %9s %9s %9s\n", "layout", "overlap", "dub wait",
              "rig", "found", "branches", "exchanges", "exch/fix", "wall s", "s/fix");
  for (UidLayout layout : layouts) {
    for (CollisionMode mode : modes) {
      for (int n : sizes) {
        for (bool learned : learnedWaits) {
          std::filesystem::remove(dir + "/devnames.lst");
          common::LogSink log(1000);
          virtualline::VirtualLine line(virtualline::GenerateRig(n, layout, mode),
                                        common::RealClock());
          benchsupport::OneFrameAPoll paced(line);
          benchsupport::BenchClock oldPace(true);
          link::UsbLink usb(before ? static_cast<link::LinkTransport&>(paced) : line, log,
                            before ? static_cast<common::Clock&>(oldPace) : common::RealClock());
          rdm::RdmEngine engine(usb, log);
          usb.LinkOpen();
          usb.SetResponseTimeout(50);
          engine.SetBranchWaitLearned(learned);
          workbench::Workbench bench(engine, log, common::RealClock(), dir, dir);

          auto start = std::chrono::steady_clock::now();
          bench.Discover().Run(workbench::Discovery::Mode::Full);
          double wall =
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
          const int found = bench.Table().Count();
          const unsigned exchanges = line.Stats().requests;
          const std::string wait =
              learned ? std::to_string(static_cast<int>(engine.LearnedBranchWaitMs())) + " ms"
                      : "time-out";
          std::printf("%-12s %-8s %-9s %5d %6d %9zu %10u %9.1f %9.2f %9.3f\n",
                      layout == UidLayout::Neighbouring ? "neighbouring" : "scattered",
                      modeNames[static_cast<int>(mode)], wait.c_str(), n, found,
                      bench.Discover().LastStatus().branches, exchanges,
                      found ? static_cast<double>(exchanges) / found : 0.0, wall,
                      found ? wall / found : 0.0);
          std::fflush(stdout);
        }
      }
    }
  }
  return 0;
}
