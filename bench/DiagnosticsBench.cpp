// A soak of the IO card test against the simulated serial card with its wire timing: the words
// per second it reaches, as a share of what the line allows (goal: at least 95 %). Every word
// waits for its reply, so the line's limit is a byte out and a byte back a word: baud / 20.
#include "bus/Bus.h"
#include "bus/ParallelTransport.h"
#include "diag/CardTests.h"
#include "platform/Tick.h"
#include "sim/SimIoCard.h"
#include "sim/SimSerialCard.h"

#include <benchmark/benchmark.h>
#include <memory>

namespace {

void BM_IoSoak(benchmark::State& state) {
    const int baud = static_cast<int>(state.range(0));
    sim::TTrainBus rack;
    rack.Plug(9, std::make_shared<sim::TSimIoCard>());
    sim::TSimSerialCard card(rack);
    card.SetWireTiming(true);
    bus::TParTransport parallel;
    bus::TBus bus(parallel);
    bus::TSetUpChoice choice;
    choice.Port = card.SlavePath();
    choice.Baud19200 = baud == 19200;
    platform::SkipDesignedWaits(true); // the simulated card needs no time to wake up
    const bool connected = bus.SetUp(choice).Outcome == bus::TSetUpOutcome::Connected;
    platform::SkipDesignedWaits(false);
    if (!connected) {
        state.SkipWithError("the simulated serial card did not come up");
        return;
    }
    diag::TIoTest test(bus, {9, {{diag::TPatternKind::Walk1}, {diag::TPatternKind::Walk0},
                                 {diag::TPatternKind::Checker}}});
    for (auto _ : state)
        benchmark::DoNotOptimize(test.Cycle());
    const double words = static_cast<double>(test.Counts().Words);
    state.counters["words_per_s"] = benchmark::Counter(words, benchmark::Counter::kIsRate);
    state.counters["share_of_line"] =
        benchmark::Counter(words / (baud / 20.0), benchmark::Counter::kIsRate);
    state.counters["errors"] = static_cast<double>(test.Counts().Errors);
    state.SetLabel(std::to_string(baud) + " baud");
    bus.CloseSerialLink();
}
BENCHMARK(BM_IoSoak)->Arg(9600)->Arg(19200)->UseRealTime()->MinTime(5.0);

} // namespace

BENCHMARK_MAIN();
