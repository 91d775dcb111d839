// The cost of one scene step on the engine tick with all 512 slots fading (the step must fit
// easily into the 40 ms tick), and of the hold steps between fades.

#include <benchmark/benchmark.h>

#include "common/Log.h"
#include "dmx/SceneDesk.h"

namespace {

using namespace velquor;

// Two scenes whose every slot differs, with a long fade so that each step interpolates.
void Prepare(dmx::SceneDesk& desk, dmx::OutputUniverse& universe, const char* fade) {
  for (size_t i = 0; i < dmx::kSlots; ++i) universe.Store(i, static_cast<uint8_t>(i * 7));
  desk.Add(fade, "60000");
  for (size_t i = 0; i < dmx::kSlots; ++i) universe.Store(i, static_cast<uint8_t>(255 - i * 3));
  desk.Add(fade, "60000");
}

void BM_SceneStepFading512Slots(benchmark::State& state) {
  common::LogSink log(100);
  dmx::OutputUniverse universe;
  dmx::SceneDesk desk(universe, log);
  Prepare(desk, universe, "65535");  // some 1600 steps of fade before the hold
  int steps = 0;
  for (auto _ : state) {
    desk.SceneStep();
    if (++steps == 1500) {  // start the fade again before it ends
      state.PauseTiming();
      desk.Clear();
      Prepare(desk, universe, "65535");
      steps = 0;
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(universe.At(0));
  }
}
BENCHMARK(BM_SceneStepFading512Slots);

void BM_SceneStepHolding(benchmark::State& state) {
  common::LogSink log(100);
  dmx::OutputUniverse universe;
  dmx::SceneDesk desk(universe, log);
  Prepare(desk, universe, "0");
  for (int i = 0; i < 3; ++i) desk.SceneStep();  // past the fade, into a 60 s hold
  for (auto _ : state) desk.SceneStep();
}
BENCHMARK(BM_SceneStepHolding);

}  // namespace

BENCHMARK_MAIN();
