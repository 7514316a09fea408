#pragma once

#include "diag/Run.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace bus {
class TBus;
}

namespace diag {

// A run as the diagnostics window's controls choose it.
struct TRunChoice {
    bool Scan = false; // the rack's places 0 to 63, else the IO card through its test plug
    int Place = 9;
    bool Inverted = false; // the test plug reads each output back inverted
    // walk1, walk0, checker, count, random, in TPatternKind's order.
    std::array<bool, 5> Patterns{true, true, true, false, false};
    std::uint32_t Seed = 1;
    enum class TEnd { Cycles, Seconds, UntilStop };
    TEnd End = TEnd::Cycles;
    std::uint64_t Count = 1000; // cycles or seconds
    enum class TOnError { Count, StopAtFirst, StopAfter };
    TOnError OnError = TOnError::Count;
    std::uint64_t MaxErrors = 10;
};

inline constexpr const char* PatternKeys[] = {"walk1", "walk0", "checker", "count", "random"};

// The ranges of the choice's numbers, as the form's fields keep them.
struct TRunChoiceRanges {
    static constexpr int PlaceMinimum = 0;
    static constexpr int PlaceMaximum = 63;
    static constexpr std::uint32_t SeedMaximum = 1'000'000'000;
    static constexpr std::uint64_t CountMinimum = 1;
    static constexpr std::uint64_t CountMaximum = 1'000'000'000;
    static constexpr std::uint64_t MaxErrorsMinimum = 1;
    static constexpr std::uint64_t MaxErrorsMaximum = 1'000'000;
};
// The choice with each number brought into its range.
TRunChoice WithinRanges(TRunChoice choice);

// Which of the form's controls may be used: nothing of the choice while a run goes on; the
// place, the plug, the patterns and the seed for the IO card's test only; the count unless the
// run goes until Stop; the most errors only for "stop after". "Tellers op nul" once there is a
// run, the report once it has ended; the button reads "Stop" while it runs.
struct TRunFormView {
    bool KindEnabled = true;
    bool PlaceEnabled = true;
    bool PlugEnabled = true;
    bool PatternsEnabled = true;
    bool SeedEnabled = true;
    bool EndEnabled = true;
    bool CountEnabled = true;
    bool OnErrorEnabled = true;
    bool MaxErrorsEnabled = false;
    bool ResetEnabled = false;
    bool ReportEnabled = false;
    const char* StartCaption = "Start"; // "Start" or "Stop"
};
TRunFormView FormViewOf(const TRunChoice& choice, bool running, bool hasRun);

// The run the choice asks for, begun.
std::unique_ptr<TRun> MakeRun(bus::TBus& bus, const TRunChoice& choice);

// One cycle of the run as one exchange on the bus (the caller waits while another is under
// way); a lost serial line makes the rack unreachable. Whether the run goes on.
bool StepRun(bus::TBus& bus, TRun& run);

// One input of the map of the IO card's 16: its pin's number, then once tested its errors and
// the fault found ("vast op 0", "kortgesloten 5"), each on a line of its own.
struct TInputView {
    std::string Caption;
    bool Tested = false;
    std::uint64_t Errors = 0;
};

// What the diagnostics show of a run (none yet: the counts at 0): the counters' lines and the
// inputs' map.
struct TRunView {
    std::string Counts;
    std::array<TInputView, 16> Inputs;
};
TRunView ViewOf(const TRun* run);

// The verdict in words, with the reason when the rack could not be reached.
std::string VerdictText(const TRun& run);

} // namespace diag
