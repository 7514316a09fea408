#pragma once

#include "cards/TickSource.h"
#include "diag/RunView.h"
#include "platform/ChangeEvent.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace bus {
class TBus;
}

namespace session {

// The card diagnostics of a session: the form's choice, the run with its state, its view and
// its report. A run is a running test like a card page's and goes a cycle at a time on its
// timer, each cycle one exchange with the rack, between everything else the session does.
class TDiagnostics {
public:
    // `cardTestRuns` tells whether a card page's test has the test timer.
    TDiagnostics(bus::TBus& bus, std::unique_ptr<cards::TTickSource> timer,
                 std::function<bool()> cardTestRuns);
    ~TDiagnostics();
    TDiagnostics(const TDiagnostics&) = delete;
    TDiagnostics& operator=(const TDiagnostics&) = delete;

    // The form as the user fills it in, kept within its ranges.
    const diag::TRunChoice& Choice() const { return mChoice; }
    void SetChoice(const diag::TRunChoice& choice);
    diag::TRunFormView FormView() const;

    // Starts a run of the choice; the reason it is refused ("Er loopt al een kaarttest; stop
    // die eerst.") when a card test runs, else nothing.
    std::string Start();
    // Ends the run after the cycle under way; nothing when none runs.
    void Stop();
    // "Tellers op nul".
    void Reset();
    bool Running() const;

    // The last run (none before the first), what it shows, and its verdict once it ended.
    const diag::TRun* Run() const { return mRun.get(); }
    diag::TRunView View() const { return diag::ViewOf(mRun.get()); }
    const std::string& Verdict() const { return mVerdict; }
    // The report of the last run, as morvelplint-check writes it, with the transport and the
    // port it ran on; empty before the first run.
    std::string ReportJson() const;

    // The timer's work: one cycle, unless another exchange is under way.
    void Step();

    // Told after a start, every cycle, and the end.
    platform::TChangeEvent Changed;

private:
    void Finish();

    bus::TBus& mBus;
    std::unique_ptr<cards::TTickSource> mTimer;
    std::function<bool()> mCardTestRuns;
    diag::TRunChoice mChoice;
    std::unique_ptr<diag::TRun> mRun;
    std::int64_t mStartedWallNs = 0;
    std::string mVerdict;
};

} // namespace session
