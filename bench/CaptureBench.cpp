// The bus monitor's capture: what recording one event costs (goal: under 1 microsecond), a
// word and its reply at a time as the bus records them, on a ring that is already full; and
// the same with the capture streamed to a file as it goes (morvelplint-check --capture).
#include "capture/Capture.h"
#include "capture/CaptureStream.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <unistd.h>

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

// Recording with the stream attached, as morvelplint-check records: its ring of 65536 events,
// each event formatted and handed to the stream's writer; the time includes the writer's
// share of the processor when both share one (taskset -c 0). Argument: 0 pcapng, 1 CSV.
void BM_CaptureStreamEvent(benchmark::State& state) {
    const bool csv = state.range(0) != 0;
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("morvelplint-stream-bench-" + std::to_string(::getpid()) +
                               (csv ? ".csv" : ".pcapng")))
                                 .string();
    bus::TCapture capture(1 << 16);
    std::string error;
    auto stream = bus::TCaptureStream::Open(capture, path, error);
    if (!stream) {
        state.SkipWithError(error.c_str());
        return;
    }
    int word = 0;
    for (auto _ : state) {
        capture.RecordWord(0x40 + (word++ & 31), bus::TEventTransport::Serial,
                           bus::TEventStatus::Ok);
        capture.RecordReply(0x45, bus::TEventTransport::Serial, bus::TEventStatus::Ok);
    }
    if (!stream->Close(error))
        state.SkipWithError(error.c_str());
    state.counters["ns_per_event"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 2,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
    state.counters["bytes_per_event"] =
        static_cast<double>(std::filesystem::file_size(path)) /
        static_cast<double>(state.iterations() * 2);
    std::filesystem::remove(path);
}
BENCHMARK(BM_CaptureStreamEvent)->Arg(0)->Arg(1)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
