// Words through the parallel transport onto the simulated parallel card, and the ring alone.
#include "bus/ParallelTransport.h"
#include "platform/PortIo.h"
#include "platform/Tick.h"
#include "sim/SimParallelCard.h"
#include "sim/SimTestCard.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <thread>

namespace {

// One word at a time, waiting for its result: what the card pages do. The design is one word
// per tick of the millisecond counter, so about 1000 words per second.
void BM_TransportWordRoundTrip(benchmark::State& state) {
    sim::TTrainBus rack;
    rack.Plug(5, std::make_shared<sim::TSimTestCard>());
    sim::TSimParallelCard card(rack);
    platform::TPortBackend* previous = platform::SetPortBackend(&card);
    bus::TParTransport transport;
    transport.CreateWorker();
    const int words[] = {128 + 5, 96, 64};
    std::size_t i = 0;
    for (auto _ : state) {
        transport.PutWord(words[i++ % 3]);
        int result = bus::NoDataYet;
        while ((result = transport.GetFeedback()) == bus::NoDataYet) {
        }
        benchmark::DoNotOptimize(result);
    }
    transport.StopWorker();
    platform::SetPortBackend(previous);
    state.SetItemsProcessed(state.iterations());
    state.counters["ms_per_word"] = benchmark::Counter(
        static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_TransportWordRoundTrip)->UseRealTime()->MinTime(2.0);

// A burst of 192 words (the rack's initialisation) queued at once, then all results taken.
void BM_TransportInitialisationBurst(benchmark::State& state) {
    sim::TTrainBus rack;
    sim::TSimParallelCard card(rack);
    platform::TPortBackend* previous = platform::SetPortBackend(&card);
    bus::TParTransport transport;
    transport.CreateWorker();
    for (auto _ : state) {
        for (int place = 0; place < 64; ++place) {
            transport.PutWord(128 + place);
            transport.PutWord(96);
            transport.PutWord(64);
        }
        for (int taken = 0; taken < 192;)
            if (transport.GetFeedback() != bus::NoDataYet)
                ++taken;
    }
    transport.StopWorker();
    platform::SetPortBackend(previous);
    state.SetItemsProcessed(state.iterations() * 192);
}
BENCHMARK(BM_TransportInitialisationBurst)->UseRealTime()->Unit(benchmark::kMillisecond);

// The ring alone: one producer thread, the benchmark thread consuming.
void BM_RingTwoThreads(benchmark::State& state) {
    constexpr int batch = 1 << 20;
    for (auto _ : state) {
        bus::TParQueue queue;
        std::thread producer([&] {
            for (int i = 0; i < batch;)
                if (queue.Push(i))
                    ++i;
        });
        std::int32_t value = 0;
        for (int taken = 0; taken < batch;)
            if (queue.Pop(value))
                ++taken;
        producer.join();
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_RingTwoThreads)->UseRealTime()->Unit(benchmark::kMillisecond);

// The ring alone on one thread: push and pop, the cost of the index handling.
void BM_RingPushPop(benchmark::State& state) {
    bus::TParQueue queue;
    std::int32_t value = 0;
    for (auto _ : state) {
        queue.Push(7);
        queue.Pop(value);
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RingPushPop);

} // namespace

BENCHMARK_MAIN();
