#pragma once

#include "diag/CardTests.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace diag {

// When a test ends: after a number of cycles, after a time (a soak), at the first error or
// after a number of them; with no limit at all, one cycle.
struct TRunLimits {
    std::uint64_t Cycles = 0;
    double Seconds = 0;
    bool StopOnError = false;
    std::uint64_t MaxErrors = 0;
};

enum class TVerdict { Pass, Fail, Unreachable };
const char* VerdictName(TVerdict verdict);

// Runs tests one after the other, a cycle at a time, and keeps the verdict: unreachable when
// the line was lost or the rack stopped answering (three cycles in a row without one valid
// reply), else fail when a test found a card error, else pass.
class TRun {
public:
    static constexpr int SilentCyclesBeforeGivingUp = 3;

    TRun(std::vector<std::unique_ptr<TCardTest>> tests, TRunLimits limits);

    // The clock of the first test starts now (after the connection set-up).
    void Begin();
    // One cycle of the test under way; false once every test has ended (or the run was
    // stopped or cut off).
    bool Step();
    // Ends the run after the cycle under way (Ctrl+C, Stop).
    void Stop() { mStopped = true; }

    TVerdict Verdict() const;
    bool Stopped() const { return mStopped; }
    // Why the rack could not be reached, when it could not.
    const std::string& UnreachableReason() const { return mUnreachable; }
    void SetUnreachable(std::string reason);

    const std::vector<std::unique_ptr<TCardTest>>& Tests() const { return mTests; }
    std::size_t Current() const { return mCurrent; }
    const TRunLimits& Limits() const { return mLimits; }
    // Seconds since the test under way began.
    double TestSeconds() const;
    // The time left of the test under way when its end is known: cycles at the rate so far, or
    // the soak's time; negative when unknown.
    double SecondsLeft() const;

private:
    bool TestDone(const TCardTest& test) const;

    std::vector<std::unique_ptr<TCardTest>> mTests;
    TRunLimits mLimits;
    std::size_t mCurrent = 0;
    std::uint64_t mTestStartNs = 0;
    int mSilentInARow = 0;
    bool mStopped = false;
    std::string mUnreachable;
};

// What the report names beside the tests.
struct TReportHeader {
    std::string Transport; // "serial", "parallel"
    std::string Port;
    std::int64_t StartedWallNs = 0;
    double Seconds = 0;
};

// The run as a JSON report:
// {"result": "pass"|"fail"|"unreachable", "transport": ..., "port": ..., "started": ISO time,
//  "seconds": ..., "tests": [...]} (the README describes every field).
std::string ReportJson(const TRun& run, const TReportHeader& header);

} // namespace diag
