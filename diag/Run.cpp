#include "diag/Run.h"

#include "bus/CardWords.h"
#include "capture/CaptureFiles.h"
#include "platform/Messages.h"
#include "platform/Tick.h"

#include <chrono>
#include <cstdio>

namespace diag {

namespace {

// On the program's clock: a soak's time is a wait like any other.
std::uint64_t MonotonicNs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          platform::TTickClock::now().time_since_epoch())
                                          .count());
}

// ---- a small JSON writer: the report has a fixed shape ----

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string Counts(const TTestCounts& counts) {
    std::string json = "\"cycles\": " + std::to_string(counts.Cycles) +
                       ", \"words\": " + std::to_string(counts.Words) +
                       ", \"errors\": " + std::to_string(counts.Errors) +
                       ", \"no_reply\": " + std::to_string(counts.NoReply) + ", \"error_rate\": " +
                       Number(counts.Cycles ? static_cast<double>(counts.Errors) /
                                                  static_cast<double>(counts.Cycles)
                                            : 0.0);
    if (counts.FirstErrorNs != 0)
        json += ", \"first_error\": " + Quoted(bus::IsoTime(counts.FirstErrorNs)) +
                ", \"last_error\": " + Quoted(bus::IsoTime(counts.LastErrorNs));
    return json;
}

std::string IoJson(const TIoTest& test) {
    std::string json = "{\"test\": " + Quoted(test.Name()) + ", \"pattern\": " +
                       Quoted(PatternNames(test.Options().Patterns)) + ", \"plug\": " +
                       Quoted(test.Options().Inverted ? "inverted" : "straight") + ", " +
                       Counts(test.Counts()) +
                       (test.Evidence().Silent() ? ", \"card\": \"silent\"" : "") +
                       ", \"inputs\": [";
    bool first = true;
    for (int pin = 1; pin <= 16; ++pin) {
        const int bit = bus::IoPinBit[static_cast<std::size_t>(pin - 1)];
        const TInputCount& count = test.Evidence().Count(bit);
        const TInputDiagnosis diagnosis = test.Evidence().Diagnose(bit);
        if (count.Errors() == 0)
            continue;
        json += std::string(first ? "" : ", ") + "{\"input\": " + std::to_string(pin) +
                ", \"errors\": " + std::to_string(count.Errors()) +
                ", \"read_0_expected_1\": " + std::to_string(count.Read0Expected1) +
                ", \"read_1_expected_0\": " + std::to_string(count.Read1Expected0);
        if (diagnosis.Fault != TFault::None)
            json += ", \"diagnosis\": " + Quoted(FaultName(diagnosis.Fault));
        if (diagnosis.Partner >= 0)
            json += ", \"partner\": " + std::to_string(bus::IoPinOfBit(diagnosis.Partner));
        json += "}";
        first = false;
    }
    return json + "]}";
}

std::string ScanJson(const TScanTest& test) {
    std::string json = "{\"test\": \"scan\", " + Counts(test.Counts()) + ", \"places\": [";
    bool first = true;
    for (const TPlaceReading& reading : test.Readings()) {
        json += std::string(first ? "" : ", ") + "{\"place\": " + std::to_string(reading.Place) +
                ", \"lines\": " + std::to_string(reading.Lines) +
                ", \"short\": " + (reading.Short ? "true" : "false") +
                ", \"reply\": " + (reading.Reply ? "true" : "false") + "}";
        first = false;
    }
    return json + "]}";
}

} // namespace

const char* VerdictName(TVerdict verdict) {
    switch (verdict) {
    case TVerdict::Pass:
        return "pass";
    case TVerdict::Fail:
        return "fail";
    case TVerdict::Unreachable:
        return "unreachable";
    }
    return "";
}

TRun::TRun(std::vector<std::unique_ptr<TCardTest>> tests, TRunLimits limits)
    : mTests(std::move(tests)), mLimits(limits), mTestStartNs(MonotonicNs()) {}

double TRun::TestSeconds() const {
    return static_cast<double>(MonotonicNs() - mTestStartNs) / 1e9;
}

double TRun::SecondsLeft() const {
    if (mCurrent >= mTests.size())
        return 0;
    if (mLimits.Seconds > 0)
        return std::max(0.0, mLimits.Seconds - TestSeconds());
    const std::uint64_t cycles = mTests[mCurrent]->Counts().Cycles;
    const std::uint64_t total = mLimits.Cycles > 0 ? mLimits.Cycles : 1;
    if (cycles == 0)
        return -1;
    return TestSeconds() / static_cast<double>(cycles) * static_cast<double>(total - cycles);
}

bool TRun::TestDone(const TCardTest& test) const {
    const TTestCounts& counts = test.Counts();
    if (mLimits.StopOnError && counts.Errors > 0)
        return true;
    if (mLimits.MaxErrors > 0 && counts.Errors >= mLimits.MaxErrors)
        return true;
    if (mLimits.Seconds > 0)
        return TestSeconds() >= mLimits.Seconds;
    return counts.Cycles >= (mLimits.Cycles > 0 ? mLimits.Cycles : 1);
}

void TRun::Begin() {
    mTestStartNs = MonotonicNs();
}

bool TRun::Step() {
    if (mStopped || !mUnreachable.empty() || mCurrent >= mTests.size())
        return false;
    TCardTest& test = *mTests[mCurrent];
    const TCycle cycle = test.Cycle();
    mSilentInARow = cycle == TCycle::Silent ? mSilentInARow + 1 : 0;
    if (mSilentInARow >= SilentCyclesBeforeGivingUp) {
        SetUnreachable(platform::Tr("het rek gaf geen antwoord"));
        return false;
    }
    if (TestDone(test)) {
        ++mCurrent;
        mTestStartNs = MonotonicNs();
        mSilentInARow = 0;
    }
    return mCurrent < mTests.size() && !mStopped;
}

void TRun::SetUnreachable(std::string reason) {
    mUnreachable = reason.empty() ? "unreachable" : std::move(reason);
}

TVerdict TRun::Verdict() const {
    if (!mUnreachable.empty())
        return TVerdict::Unreachable;
    for (const auto& test : mTests)
        if (test->Counts().Errors > 0 || test->Counts().NoReply > 0)
            return TVerdict::Fail;
    return TVerdict::Pass;
}

std::string ReportJson(const TRun& run, const TReportHeader& header) {
    std::string json = "{\"result\": " + Quoted(VerdictName(run.Verdict())) +
                       ", \"transport\": " + Quoted(header.Transport) +
                       ", \"port\": " + Quoted(header.Port) +
                       ", \"started\": " + Quoted(bus::IsoTime(header.StartedWallNs)) +
                       ", \"seconds\": " + Number(header.Seconds);
    if (!run.UnreachableReason().empty())
        json += ", \"reason\": " + Quoted(run.UnreachableReason());
    json += ", \"tests\": [";
    bool first = true;
    for (const auto& test : run.Tests()) {
        json += first ? "" : ", ";
        first = false;
        if (const auto* io = dynamic_cast<const TIoTest*>(test.get()))
            json += IoJson(*io);
        else if (const auto* scan = dynamic_cast<const TScanTest*>(test.get()))
            json += ScanJson(*scan);
    }
    return json + "]}\n";
}

} // namespace diag
