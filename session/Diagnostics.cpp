#include "session/Diagnostics.h"

#include "bus/Bus.h"
#include "platform/Messages.h"
#include "serial/SerialCardLink.h"

#include <chrono>

namespace session {

namespace {

std::int64_t WallNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

TDiagnostics::TDiagnostics(bus::TBus& bus, std::unique_ptr<cards::TTickSource> timer,
                           std::function<bool()> cardTestRuns)
    : mBus(bus), mTimer(std::move(timer)), mCardTestRuns(std::move(cardTestRuns)) {
    // A cycle whenever nothing else is to be done.
    mTimer->SetInterval(0);
    mTimer->OnTick = [this] { Step(); };
}

TDiagnostics::~TDiagnostics() {
    mTimer->OnTick = nullptr;
}

void TDiagnostics::SetChoice(const diag::TRunChoice& choice) {
    if (Running())
        return;
    mChoice = diag::WithinRanges(choice);
    Changed.Tell();
}

diag::TRunFormView TDiagnostics::FormView() const {
    return diag::FormViewOf(mChoice, Running(), mRun != nullptr);
}

bool TDiagnostics::Running() const {
    return mTimer->Running();
}

std::string TDiagnostics::Start() {
    if (Running())
        return {};
    if (mCardTestRuns())
        return platform::Tr("Er loopt al een kaarttest; stop die eerst.");
    mRun = diag::MakeRun(mBus, mChoice);
    mStartedWallNs = WallNs();
    mVerdict.clear();
    mTimer->Start();
    Changed.Tell();
    return {};
}

void TDiagnostics::Stop() {
    if (!Running())
        return;
    mRun->Stop();
    Finish();
}

void TDiagnostics::Reset() {
    if (!mRun)
        return;
    for (const auto& test : mRun->Tests())
        test->ResetCounts();
    Changed.Tell();
}

void TDiagnostics::Step() {
    // A page or a tick waiting for the rack goes first.
    if (!mRun || mBus.Busy())
        return;
    const bool goesOn = diag::StepRun(mBus, *mRun);
    if (!Running())
        return; // stopped from within a wait of the cycle
    if (!goesOn) {
        Finish();
        return;
    }
    Changed.Tell();
}

void TDiagnostics::Finish() {
    mTimer->Stop();
    if (mRun)
        mVerdict = diag::VerdictText(*mRun);
    Changed.Tell();
}

std::string TDiagnostics::ReportJson() const {
    if (!mRun)
        return {};
    diag::TReportHeader header;
    header.Transport = mBus.Transport() == bus::TTransport::Parallel ? "parallel" : "serial";
    header.Port = header.Transport == "parallel" ? "0x314" : mBus.Link().Port();
    header.StartedWallNs = mStartedWallNs;
    header.Seconds = static_cast<double>(WallNs() - mStartedWallNs) / 1e9;
    return diag::ReportJson(*mRun, header);
}

} // namespace session
