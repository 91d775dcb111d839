// The show player's cost per frame on a 100 MB show (the file stays open; one pread of 518
// bytes a frame), the recorder's cost per frame (request, write, served), and a copy of the
// whole 100 MB show: its time and how much the process's peak resident memory grew.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/Log.h"
#include "dmx/ShowRecorder.h"

namespace {

using namespace velquor;

std::string BigShow() {
  const std::string path = std::filesystem::temp_directory_path() / "velquor-bench-100mb.dmx";
  const size_t frames = 100u * 1024 * 1024 / dmx::kShowFrameBytes;
  if (std::filesystem::exists(path) &&
      std::filesystem::file_size(path) == frames * dmx::kShowFrameBytes) {
    return path;
  }
  std::ofstream out(path, std::ios::binary);
  std::array<uint8_t, dmx::kSlots> levels{};
  for (size_t k = 0; k < frames; ++k) {
    levels[k % dmx::kSlots] = static_cast<uint8_t>(k);
    const dmx::ShowFrame frame = dmx::MakeShowFrame(static_cast<uint8_t>(k), levels);
    out.write(reinterpret_cast<const char*>(frame.data()), frame.size());
  }
  return path;
}

void BM_PlaybackFrameFrom100MbShow(benchmark::State& state) {
  common::LogSink log(100);
  dmx::OutputUniverse universe;
  dmx::ShowPlayer player(universe, log);
  player.Select(BigShow());
  for (auto _ : state) player.PlaybackStep();
  benchmark::DoNotOptimize(universe.At(0));
}
BENCHMARK(BM_PlaybackFrameFrom100MbShow);

void BM_RecordFrame(benchmark::State& state) {
  dmx::OutputUniverse universe;
  dmx::ShowRecorder recorder(universe);
  const std::string path = std::filesystem::temp_directory_path() / "velquor-bench-record.dmx";
  recorder.Start(path);
  for (auto _ : state) {
    recorder.RequestFrame();
    recorder.Flush();
  }
  recorder.Stop();
  std::filesystem::remove(path);
}
BENCHMARK(BM_RecordFrame);

long PeakResidentKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_CopyWhole100MbShow(benchmark::State& state) {
  common::LogSink log(100);
  const std::string source = BigShow();
  const std::string target = std::filesystem::temp_directory_path() / "velquor-bench-copy.dmx";
  const long before = PeakResidentKb();
  for (auto _ : state) {
    if (!dmx::CopyShowRange(source, target, 0, 1 << 30, log)) state.SkipWithError("copy failed");
  }
  state.counters["peak_rss_growth_MB"] = static_cast<double>(PeakResidentKb() - before) / 1024;
  std::filesystem::remove(target);
}
BENCHMARK(BM_CopyWhole100MbShow)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
