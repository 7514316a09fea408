#include "diag/CheckRun.h"

#include "platform/Console.h"
#include "platform/Messages.h"
#include "serial/ComError.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace diag {

namespace {

using platform::Tr;

std::string Duration(double seconds) {
    const auto total = static_cast<long long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                  total % 60);
    return text;
}

// The progress of the test under way.
class TProgress {
public:
    TProgress(bool quiet, std::FILE* out)
        : mQuiet(quiet), mOut(out),
          mTerminal(out == stdout ? platform::OutputIsTerminal() : platform::ErrorIsTerminal()) {}

    void Show(const TRun& run, bool force = false) {
        if (mQuiet || run.Current() >= run.Tests().size())
            return;
        const auto now = std::chrono::steady_clock::now();
        const auto every = mTerminal ? std::chrono::milliseconds(200) : std::chrono::seconds(10);
        if (!force && now - mLast < every)
            return;
        mLast = now;
        const TCardTest& test = *run.Tests()[run.Current()];
        const double seconds = run.TestSeconds();
        const double rate = seconds > 0 ? static_cast<double>(test.Counts().Words) / seconds : 0;
        const double left = run.SecondsLeft();
        std::fprintf(mOut, Tr("%s%s: cycli %llu, fouten %llu, geen antwoord %llu, %.0f woorden/s%s%s"),
                    mTerminal ? "\r" : "", test.Name().c_str(),
                    static_cast<unsigned long long>(test.Counts().Cycles),
                    static_cast<unsigned long long>(test.Counts().Errors),
                    static_cast<unsigned long long>(test.Counts().NoReply), rate,
                    left >= 0 ? Tr(", nog ") : "", left >= 0 ? Duration(left).c_str() : "");
        std::fputs(mTerminal ? "\033[K" : "\n", mOut);
        mShown = true;
        if (std::fflush(mOut) != 0 || std::ferror(mOut))
            mQuiet = true;
    }

    void End() {
        if (mTerminal && mShown && !mQuiet)
            std::fputc('\n', mOut);
    }

private:
    bool mQuiet;
    std::FILE* mOut;
    bool mTerminal;
    bool mShown = false;
    std::chrono::steady_clock::time_point mLast{};
};

std::string SetUpFailure(const bus::TSetUpResult& result) {
    switch (result.Outcome) {
    case bus::TSetUpOutcome::ParallelRefused:
        return std::string(Tr("De parallelle kaart kan niet worden gebruikt.")) + " " +
               result.Reason;
    case bus::TSetUpOutcome::CardSilent:
        return Tr("de seriele kaart gaf geen antwoord op de optiebyte");
    case bus::TSetUpOutcome::PortUnusable: {
        char text[512];
        std::snprintf(text, sizeof text, Tr("kan \"%s\" niet gebruiken: %s"),
                      result.Port.c_str(), result.Reason.c_str());
        return text;
    }
    default:
        return {};
    }
}

} // namespace

std::vector<std::unique_ptr<TCardTest>> CheckTests(bus::TBus& bus,
                                                   const std::vector<std::string>& names,
                                                   TIoTest::TOptions io) {
    std::vector<std::unique_ptr<TCardTest>> tests;
    for (const std::string& name : names) {
        if (name == "scan") {
            tests.push_back(std::make_unique<TScanTest>(bus));
            continue;
        }
        io.Place = std::stoi(name.substr(3));
        tests.push_back(std::make_unique<TIoTest>(bus, io));
    }
    return tests;
}

void RunCheck(bus::TBus& bus, TRun& run, const bus::TSetUpChoice& choice, std::FILE* progress,
              const std::function<bool()>& stop) {
    const bus::TSetUpResult result = bus.SetUp(choice);
    if (result.Outcome != bus::TSetUpOutcome::Connected)
        run.SetUnreachable(SetUpFailure(result));
    run.Begin();
    TProgress shown(progress == nullptr, progress ? progress : stdout);
    try {
        while (run.Verdict() != TVerdict::Unreachable && run.Step()) {
            if (stop())
                run.Stop();
            shown.Show(run);
        }
    } catch (const serial::EComPort& error) {
        run.SetUnreachable(serial::ExplainedMessage(error));
    }
    shown.End();
}

void PrintSummary(const TRun& run, std::FILE* out) {
    for (const auto& test : run.Tests())
        std::fprintf(out, Tr("%s: %llu cycli, %llu woorden, %llu fouten, %llu zonder antwoord\n"),
                     test->Name().c_str(), static_cast<unsigned long long>(test->Counts().Cycles),
                     static_cast<unsigned long long>(test->Counts().Words),
                     static_cast<unsigned long long>(test->Counts().Errors),
                     static_cast<unsigned long long>(test->Counts().NoReply));
    for (const auto& test : run.Tests())
        if (const auto* io = dynamic_cast<const TIoTest*>(test.get()); io && io->Evidence().Silent())
            std::fprintf(out,
                         Tr("%s: de kaart meldt niets op haar terugmeldlijnen (stil, geen "
                            "kaart in de plaats, of een ander adres)\n"),
                         test->Name().c_str());
    std::fprintf(out, Tr("Resultaat: %s%s\n"), VerdictName(run.Verdict()),
                 run.Stopped() ? Tr(" (gestopt)") : "");
}

} // namespace diag
