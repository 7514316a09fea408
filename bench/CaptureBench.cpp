// The bus monitor's capture: what recording one event costs (goal: under 1 microsecond), a
// word and its reply at a time as the bus records them, on a ring that is already full.
#include "bus/Capture.h"

#include <benchmark/benchmark.h>

namespace {

void BM_CaptureRecordEvent(benchmark::State& state) {
    bus::TCapture capture(static_cast<std::size_t>(state.range(0)));
    int word = 0;
    for (auto _ : state) {
        capture.RecordWord(0x40 + (word++ & 31), bus::TEventTransport::Parallel,
                           bus::TEventStatus::Ok);
        capture.RecordReply(0x45, bus::TEventTransport::Parallel, bus::TEventStatus::Ok);
    }
    benchmark::DoNotOptimize(capture.End());
    state.counters["ns_per_event"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 2,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
    state.counters["lost"] = static_cast<double>(capture.Lost());
}
// The program's ring, and a small one that is full from the start.
BENCHMARK(BM_CaptureRecordEvent)->Arg(1'000'000)->Arg(1024);

} // namespace

BENCHMARK_MAIN();
