// Wall time and CPU time of one GET DEVICE_INFO exchange on the virtual line, on the real
// clock. The wait for the answer must sleep: CPU time should be a small fraction of wall.

#include <benchmark/benchmark.h>

#include "common/Clock.h"
#include "common/Log.h"
#include "link/UsbLink.h"
#include "rdm/KnownPids.h"
#include "rdm/RdmEngine.h"
#include "virtualline/VirtualLine.h"

namespace {

using namespace velquor;

void RunExchanges(benchmark::State& state, uint16_t pid, rdm::Uid uid) {
  common::LogSink log(1000);
  virtualline::VirtualLine line(virtualline::DefaultRig(), common::RealClock());
  link::UsbLink usb(line, log, common::RealClock());
  rdm::RdmEngine engine(usb, log);
  usb.LinkOpen();
  usb.SetResponseTimeout(50);
  int64_t failures = 0;
  for (auto _ : state) {
    rdm::RdmAnswer a = engine.RdmTransact({rdm::GET_COMMAND, pid, {}}, uid, true);
    failures += !a.Ok();
    benchmark::DoNotOptimize(a.response[0]);
  }
  state.counters["failures"] = static_cast<double>(failures);
  state.counters["frames_polled"] = benchmark::Counter(
      static_cast<double>(line.Stats().reportsServed), benchmark::Counter::kAvgIterations);
}

void BM_GetDeviceInfo(benchmark::State& state) {
  RunExchanges(state, rdm::pid::DEVICE_INFO, rdm::Uid(0x7FF000000101ULL));
}
void BM_GetDeviceLabel(benchmark::State& state) {
  RunExchanges(state, rdm::pid::DEVICE_LABEL, rdm::Uid(0x7FF000000101ULL));
}
// A device that never answers: two full time-outs.
void BM_SilentDevice(benchmark::State& state) {
  RunExchanges(state, rdm::pid::DEVICE_INFO, rdm::Uid(0x123400005678ULL));
}

}  // namespace

BENCHMARK(BM_GetDeviceInfo)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(BM_GetDeviceLabel)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(BM_SilentDevice)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(20);

BENCHMARK_MAIN();
