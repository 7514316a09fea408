// The card tests' own pace against the wire-timed simulated serial card: the words a second the
// SLK sweep and the (?)BK shuttle put on the line when their ticks come back to back (the test
// timer's interval left out), as a share of what the line allows: every word awaits its answer,
// a byte out and a byte back, baud / 20 words a second.
#include "bus/Bus.h"
#include "bus/ParallelTransport.h"
#include "cards/CardModels.h"
#include "platform/Tick.h"
#include "sim/SimBlockCards.h"
#include "sim/SimSelectionCard.h"
#include "sim/SimSerialCard.h"

#include <benchmark/benchmark.h>
#include <memory>

namespace {

class TBenchTicks final : public cards::TTickSource {
public:
    void Start() override { mRunning = true; }
    void Stop() override { mRunning = false; }
    bool Running() const override { return mRunning; }
    void SetInterval(int ms) override { mInterval = ms; }
    int Interval() const override { return mInterval; }

private:
    bool mRunning = false;
    int mInterval = 400;
};

// A rack with the selection card in place 63 and a line of two two-rail block cards in places
// 10 and 11, reached over the simulated serial card at `baud`.
struct TWorld {
    explicit TWorld(int baud) {
        rack.Plug(63, std::make_shared<sim::TSimSelectionCard>());
        rack.Plug(10, line.Cards[0]);
        rack.Plug(11, line.Cards[1]);
        card.SetWireTiming(true);
        bus::TSetUpChoice choice;
        choice.Port = card.SlavePath();
        choice.Baud19200 = baud == 19200;
        platform::SkipDesignedWaits(true); // the simulated card needs no time to wake up
        connected = bus.SetUp(choice).Outcome == bus::TSetUpOutcome::Connected;
        platform::SkipDesignedWaits(false);
        models.Instellingen(connected, false);
    }
    ~TWorld() { bus.CloseSerialLink(); }

    sim::TTrainBus rack;
    sim::TSimBlockCards line{sim::TSimBlockLine::TKind::TwoRail, 2, 2000};
    sim::TSimSerialCard card{rack};
    bus::TParTransport parallel;
    bus::TBus bus{parallel};
    TBenchTicks ticks;
    cards::TCardModels models{bus, ticks};
    bool connected = false;
};

void Report(benchmark::State& state, const TWorld& world, std::size_t before, int baud) {
    const double words = static_cast<double>(world.card.Received().size() - before);
    state.counters["words_per_s"] = benchmark::Counter(words, benchmark::Counter::kIsRate);
    state.counters["share_of_line"] =
        benchmark::Counter(words / (baud / 20.0), benchmark::Counter::kIsRate);
    state.SetLabel(std::to_string(baud) + " baud");
}

void BM_SlkSweep(benchmark::State& state) {
    const int baud = static_cast<int>(state.range(0));
    TWorld world(baud);
    if (!world.connected) {
        state.SkipWithError("the simulated serial card did not come up");
        return;
    }
    world.models.SetActivePage(cards::TPage::Slk);
    world.models.Slk.ChooseRackMode();
    world.models.Slk.SetValue(4);
    world.models.Slk.Click(); // "Testen": the first sweep at once
    const std::size_t before = world.card.Received().size();
    for (auto _ : state)
        world.models.TimerSpeedTimer();
    Report(state, world, before, baud);
    world.models.Slk.Click();
}
BENCHMARK(BM_SlkSweep)->Arg(9600)->Arg(19200)->UseRealTime()->MinTime(3.0);

void BM_Shuttle(benchmark::State& state) {
    const int baud = static_cast<int>(state.range(0));
    TWorld world(baud);
    if (!world.connected) {
        state.SkipWithError("the simulated serial card did not come up");
        return;
    }
    cards::TBlockModel& xbk = world.models.Xbk;
    world.models.SetActivePage(cards::TPage::Xbk);
    for (int n = 0; n < 12; ++n)
        xbk.SetSection(n, n == 1 || n == 6);
    xbk.SetAddress(0, 10);
    xbk.SetAddress(1, 11);
    xbk.SetSpeedPosition(0);
    xbk.Click(); // "Go": the first tick at once
    const std::size_t before = world.card.Received().size();
    for (auto _ : state)
        world.models.TimerSpeedTimer();
    Report(state, world, before, baud);
    xbk.Click();
}
BENCHMARK(BM_Shuttle)->Arg(9600)->Arg(19200)->UseRealTime()->MinTime(3.0);

} // namespace

BENCHMARK_MAIN();
