// The show player's cost per frame on a 100 MB show (the file stays open; one pread of 518
// bytes a frame), and the recorder's cost per frame (request, write, served).

#include <benchmark/benchmark.h>

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

}  // namespace

BENCHMARK_MAIN();
