#include "diag/RunView.h"

#include "bus/Bus.h"
#include "bus/CardWords.h"
#include "capture/CaptureFiles.h"
#include "platform/Messages.h"
#include "serial/ComError.h"

#include <algorithm>
#include <cstdio>

namespace diag {

namespace {

using platform::Tr;

const char* FaultText(TFault fault) {
    switch (fault) {
    case TFault::Stuck0:
        return Tr("vast op 0");
    case TFault::Stuck1:
        return Tr("vast op 1");
    case TFault::Shorted:
        return Tr("kortgesloten");
    case TFault::Intermittent:
        return Tr("soms fout");
    case TFault::None:
        break;
    }
    return "";
}

// A share with four decimals, whatever the locale's decimal sign.
std::string Fraction(std::uint64_t part, std::uint64_t whole) {
    const double share = whole ? static_cast<double>(part) / static_cast<double>(whole) : 0.0;
    const auto tenThousandths = static_cast<std::uint64_t>(share * 10000 + 0.5);
    std::string decimals = std::to_string(tenThousandths % 10000);
    return std::to_string(tenThousandths / 10000) + "." +
           std::string(4 - decimals.size(), '0') + decimals;
}

} // namespace

TRunChoice WithinRanges(TRunChoice choice) {
    using R = TRunChoiceRanges;
    choice.Place = std::clamp(choice.Place, R::PlaceMinimum, R::PlaceMaximum);
    choice.Seed = std::min(choice.Seed, R::SeedMaximum);
    choice.Count = std::clamp(choice.Count, R::CountMinimum, R::CountMaximum);
    choice.MaxErrors = std::clamp(choice.MaxErrors, R::MaxErrorsMinimum, R::MaxErrorsMaximum);
    return choice;
}

TRunFormView FormViewOf(const TRunChoice& choice, bool running, bool hasRun) {
    TRunFormView view;
    const bool io = !choice.Scan;
    view.KindEnabled = !running;
    view.PlaceEnabled = !running && io;
    view.PlugEnabled = !running && io;
    view.PatternsEnabled = !running && io;
    view.SeedEnabled = !running && io;
    view.EndEnabled = !running;
    view.CountEnabled = !running && choice.End != TRunChoice::TEnd::UntilStop;
    view.OnErrorEnabled = !running;
    view.MaxErrorsEnabled = !running && choice.OnError == TRunChoice::TOnError::StopAfter;
    view.ResetEnabled = hasRun;
    view.ReportEnabled = hasRun && !running;
    view.StartCaption = running ? "Stop" : "Start";
    return view;
}

std::unique_ptr<TRun> MakeRun(bus::TBus& bus, const TRunChoice& choice) {
    std::vector<std::unique_ptr<TCardTest>> tests;
    if (choice.Scan) {
        tests.push_back(std::make_unique<TScanTest>(bus));
    } else {
        TIoTest::TOptions options;
        options.Place = choice.Place;
        options.Inverted = choice.Inverted;
        for (std::size_t i = 0; i < choice.Patterns.size(); ++i)
            if (choice.Patterns[i])
                options.Patterns.push_back({static_cast<TPatternKind>(i), choice.Seed});
        tests.push_back(std::make_unique<TIoTest>(bus, options));
    }
    TRunLimits limits;
    switch (choice.End) {
    case TRunChoice::TEnd::Cycles:
        limits.Cycles = choice.Count;
        break;
    case TRunChoice::TEnd::Seconds:
        limits.Seconds = static_cast<double>(choice.Count);
        break;
    case TRunChoice::TEnd::UntilStop:
        limits.Cycles = UINT64_MAX;
        break;
    }
    limits.StopOnError = choice.OnError == TRunChoice::TOnError::StopAtFirst;
    if (choice.OnError == TRunChoice::TOnError::StopAfter)
        limits.MaxErrors = choice.MaxErrors;
    auto run = std::make_unique<TRun>(std::move(tests), limits);
    run->Begin();
    return run;
}

TRunView ViewOf(const TRun* run) {
    const TCardTest* test =
        run && !run->Tests().empty()
            ? run->Tests()[std::min(run->Current(), run->Tests().size() - 1)].get()
            : nullptr;
    const TTestCounts counts = test ? test->Counts() : TTestCounts{};
    TRunView view;
    view.Counts = platform::Args(
        Tr("Cycli: %1   Woorden: %2   Fouten: %3   Zonder antwoord: %4   Foutfractie: %5"),
        {std::to_string(counts.Cycles), std::to_string(counts.Words),
         std::to_string(counts.Errors), std::to_string(counts.NoReply),
         Fraction(counts.Errors, counts.Cycles)});
    if (counts.FirstErrorNs != 0)
        view.Counts += "\n" + platform::Args(Tr("Eerste fout: %1   Laatste fout: %2"),
                                             {bus::IsoTime(counts.FirstErrorNs),
                                              bus::IsoTime(counts.LastErrorNs)});
    const auto* io = dynamic_cast<const TIoTest*>(test);
    if (io && io->Evidence().Silent())
        view.Counts += std::string("\n") +
                       Tr("De kaart meldt niets op haar terugmeldlijnen (stil, geen kaart in de "
                          "plaats, of een ander adres).");
    for (int pin = 1; pin <= 16; ++pin) {
        TInputView& input = view.Inputs[static_cast<std::size_t>(pin - 1)];
        input.Caption = std::to_string(pin);
        if (!io || io->Counts().Cycles == 0)
            continue;
        const int bit = bus::IoPinBit[static_cast<std::size_t>(pin - 1)];
        input.Tested = true;
        input.Errors = io->Evidence().Count(bit).Errors();
        const TInputDiagnosis diagnosis = io->Evidence().Diagnose(bit);
        input.Caption += "\n" + std::to_string(input.Errors);
        if (diagnosis.Fault != TFault::None)
            input.Caption += std::string("\n") + FaultText(diagnosis.Fault);
        if (diagnosis.Partner >= 0)
            input.Caption += " " + std::to_string(bus::IoPinOfBit(diagnosis.Partner));
    }
    return view;
}

bool StepRun(bus::TBus& bus, TRun& run) {
    bool more = false;
    {
        bus::TBus::TExchange exchange(bus);
        try {
            more = run.Step();
        } catch (const serial::EComPort& error) {
            run.SetUnreachable(serial::ExplainedMessage(error));
        }
    }
    return more && run.Verdict() != TVerdict::Unreachable;
}

std::string VerdictText(const TRun& run) {
    static const char* const verdicts[] = {platform::TrMark("Geslaagd"),
                                           platform::TrMark("Kaartfout gevonden"),
                                           platform::TrMark("Het rek is niet bereikbaar")};
    std::string verdict = Tr(verdicts[static_cast<int>(run.Verdict())]);
    if (!run.UnreachableReason().empty())
        verdict += ": " + run.UnreachableReason();
    return verdict;
}

} // namespace diag
