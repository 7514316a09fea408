// What the rack view costs the bus: the time one look at the rack holds the train bus's lock
// (the view looks at most 20 times a second), and a bus word with and without a view looking
// as fast as it can.
#include "sim/RackState.h"
#include "sim/SimRack.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <thread>

namespace {

void BM_RackStateUnderTheBusLock(benchmark::State& state) {
    sim::TSimRack rack(sim::DefaultRack(), sim::TSimRack::TSerialLine::None);
    for (auto _ : state) {
        sim::TRackState seen = rack.State();
        benchmark::DoNotOptimize(seen);
    }
}
BENCHMARK(BM_RackStateUnderTheBusLock);

void BM_RackFlashesOfOneLook(benchmark::State& state) {
    sim::TSimRack rack(sim::DefaultRack(), sim::TSimRack::TSerialLine::None);
    sim::TRackFlashes flashes;
    const sim::TRackState seen = rack.State();
    std::uint32_t now = 0;
    for (auto _ : state)
        flashes.Take(seen, now += 50);
}
BENCHMARK(BM_RackFlashesOfOneLook);

// A data strobe and its answer on the train bus, as the serial card applies it; arg 1: a
// thread takes the rack's state without pause meanwhile (far more than the view's 20 a second).
void BM_BusWordBesideTheView(benchmark::State& state) {
    sim::TSimRack rack(sim::DefaultRack(), sim::TSimRack::TSerialLine::None);
    std::atomic<bool> stop{false};
    std::thread view;
    if (state.range(0) == 1)
        view = std::thread([&] {
            while (!stop.load())
                benchmark::DoNotOptimize(rack.State());
        });
    for (auto _ : state) {
        rack.Bus.ApplyWord(0x80 + 9);
        benchmark::DoNotOptimize(rack.Bus.ApplyWord(0x40 + 0x15));
    }
    stop.store(true);
    if (view.joinable())
        view.join();
}
BENCHMARK(BM_BusWordBesideTheView)->Arg(0)->Arg(1)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
