// morvelplint-check: card diagnostics without a window, for a script or a club's soak test.
// Exit codes: 0 every test passed, 1 a card error was found, 2 the rack could not be reached,
// 3 bad arguments (a report or capture that cannot be written among them), 4 the report or the
// capture could not be written at the end.
#include "bus/Bus.h"
#include "bus/ParallelTransport.h"
#include "capture/CaptureStream.h"
#include "diag/CheckRun.h"
#include "platform/Console.h"
#include "platform/Messages.h"
#include "platform/PortIo.h"
#include "platform/Privileges.h"
#include "platform/Tick.h"
#include "serial/ComError.h"
#include "session/RackSession.h"
#include "settings/OutputFile.h"
#include "sim/RackFile.h"
#include "sim/SimRack.h"

#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using platform::Tr;
using platform::TrMark;

constexpr int ExitPass = 0;
constexpr int ExitCardError = 1;
constexpr int ExitUnreachable = 2;
constexpr int ExitBadArguments = 3;
constexpr int ExitNotWritten = 4;

constexpr const char* Usage = TrMark(
    "Gebruik: morvelplint-check [--port PAD | --parallel | --sim [REKBESTAND]] [OPTIES] TEST...");

constexpr const char* Help = TrMark(
    "Test kaarten van een ZELM-rek zonder venster en geeft een oordeel, een rapport en een\n"
    "afsluitcode. TEST is:\n"
    "  scan          elke plaats 0 tot 63: adres, datastrobe, en wat de kaart terugmeldt\n"
    "  io@PLAATS     de IO-kaart in PLAATS met de testplug: patronen op de 16 uitgangen,\n"
    "                teruggelezen op de 16 ingangen, met fouten en een diagnose per ingang\n"
    "\n"
    "Verbinding (een van de drie):\n"
    "  --port PAD        de seriele kaart op deze poort (/dev/ttyUSB0, /dev/serial/by-id/...)\n"
    "  --parallel        de parallelle kaart (I/O-poorten 788 en 789)\n"
    "  --sim [BESTAND]   het gesimuleerde rek uit het rekbestand BESTAND (anders het\n"
    "                    standaardrek), achter zijn gesimuleerde seriele kaart\n"
    "  --baud 9600|19200 de snelheid van de seriele kaart (standaard 9600)\n"
    "\n"
    "Opties:\n"
    "  --pattern LIJST   walk1,walk0,checker,count,random[:ZAAD] (standaard\n"
    "                    walk1,walk0,checker); een cyclus is een waarde op de uitgangen\n"
    "  --plug straight|inverted  de testplug verbindt elke uitgang met dezelfde ingang,\n"
    "                    gelijk (standaard) of omgekeerd\n"
    "  --cycles N        N cycli per test (standaard 1; bij scan is een cyclus het hele rek)\n"
    "  --duration SEC    elke test zo lang (duurtest)\n"
    "  --stop-on-error   stopt een test bij de eerste fout\n"
    "  --max-errors N    stopt een test na N fouten\n"
    "  --settle MS       wachttijd tussen het zetten en teruglezen van de uitgangen\n"
    "  --report BESTAND  het rapport als JSON\n"
    "  --capture BESTAND alle buswoorden en antwoorden als pcapng (of CSV bij .csv),\n"
    "                    geschreven terwijl de test loopt, ook in een FIFO\n"
    "  --quiet           geen voortgang en geen samenvatting\n"
    "  -h, --help        toont deze uitleg\n"
    "\n"
    "Een BESTAND - is de standaarduitvoer; voortgang en samenvatting gaan dan naar de\n"
    "standaardfoutuitvoer.\n"
    "\n"
    "Afsluitcode: 0 alles goed, 1 een kaartfout gevonden, 2 het rek was niet bereikbaar,\n"
    "3 verkeerde argumenten (ook een rapport of opname die niet kan worden gemaakt),\n"
    "4 het rapport of de opname kon aan het eind niet worden geschreven.\n"
    "Ctrl+C stopt netjes en schrijft rapport en opname toch.\n");

std::atomic<bool> gStop{false};

void OnStop() {
    gStop = true;
}

using platform::Complain;

struct TArguments {
    enum class TConnection { None, Port, Parallel, Sim } Connection = TConnection::None;
    std::string Port;
    std::string RackFile; // --sim: the rack file, or empty for the default rack
    bool Baud19200 = false;
    std::string Capture;
    std::string Report;
    std::vector<diag::TPattern> Patterns{{diag::TPatternKind::Walk1},
                                         {diag::TPatternKind::Walk0},
                                         {diag::TPatternKind::Checker}};
    bool Inverted = false;
    diag::TRunLimits Limits;
    std::uint32_t SettleMs = 0;
    bool Quiet = false;
    std::vector<std::string> Tests;
};

bool Whole(std::string_view text, std::uint64_t& value) {
    if (text.empty())
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || value > (UINT64_MAX - 9) / 10)
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

bool IsTest(std::string_view text) {
    return text == "scan" || text.starts_with("io@");
}

// Reads the arguments; false after saying what is wrong (or after --help, with `help` set).
bool Parse(int argc, char* argv[], TArguments& args, bool& help) {
    const auto value = [&](int& i, const char* option) -> const char* {
        if (i + 1 >= argc) {
            Complain(Tr("%s verwacht een waarde"), option);
            return nullptr;
        }
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::uint64_t number = 0;
        if (arg == "-h" || arg == "--help") {
            help = true;
            return false;
        } else if (arg == "--port" || arg == "--parallel" || arg == "--sim") {
            if (args.Connection != TArguments::TConnection::None) {
                Complain("%s", Tr("kies een verbinding: --port, --parallel of --sim"));
                return false;
            }
            if (arg == "--port") {
                const char* port = value(i, "--port");
                if (!port)
                    return false;
                args.Connection = TArguments::TConnection::Port;
                args.Port = port;
            } else if (arg == "--parallel") {
                args.Connection = TArguments::TConnection::Parallel;
            } else {
                args.Connection = TArguments::TConnection::Sim;
                // The rack file is optional: the next argument when it is neither an option
                // nor a test.
                if (i + 1 < argc && argv[i + 1][0] != '-' && !IsTest(argv[i + 1]))
                    args.RackFile = argv[++i];
            }
        } else if (arg == "--baud") {
            const char* baud = value(i, "--baud");
            if (!baud)
                return false;
            if (std::string_view(baud) != "9600" && std::string_view(baud) != "19200") {
                Complain(Tr("--baud kent alleen 9600 en 19200, niet %s"), baud);
                return false;
            }
            args.Baud19200 = std::string_view(baud) == "19200";
        } else if (arg == "--pattern") {
            const char* list = value(i, "--pattern");
            std::string error;
            if (!list || !diag::ParsePatterns(list, args.Patterns, error)) {
                if (list)
                    Complain("%s", error.c_str());
                return false;
            }
        } else if (arg == "--plug") {
            const char* plug = value(i, "--plug");
            if (!plug)
                return false;
            if (std::string_view(plug) != "straight" && std::string_view(plug) != "inverted") {
                Complain(Tr("--plug kent alleen straight en inverted, niet %s"), plug);
                return false;
            }
            args.Inverted = std::string_view(plug) == "inverted";
        } else if (arg == "--cycles" || arg == "--max-errors" || arg == "--settle" ||
                   arg == "--duration") {
            const std::string option(arg);
            const char* text = value(i, option.c_str());
            if (!text)
                return false;
            if (!Whole(text, number) || number == 0 || number > 1'000'000'000'000ULL) {
                Complain(Tr("%s verwacht een geheel getal groter dan 0, niet %s"),
                         option.c_str(), text);
                return false;
            }
            if (arg == "--cycles")
                args.Limits.Cycles = number;
            else if (arg == "--max-errors")
                args.Limits.MaxErrors = number;
            else if (arg == "--settle")
                args.SettleMs = static_cast<std::uint32_t>(std::min<std::uint64_t>(number, 60000));
            else
                args.Limits.Seconds = static_cast<double>(number);
        } else if (arg == "--stop-on-error") {
            args.Limits.StopOnError = true;
        } else if (arg == "--report" || arg == "--capture") {
            const std::string option(arg);
            const char* file = value(i, option.c_str());
            if (!file)
                return false;
            (arg == "--report" ? args.Report : args.Capture) = file;
        } else if (arg == "--quiet") {
            args.Quiet = true;
        } else if (IsTest(arg)) {
            if (arg.starts_with("io@") && (!Whole(arg.substr(3), number) || number > 63)) {
                Complain(Tr("%s: een plaats is een getal van 0 tot 63"), argv[i]);
                return false;
            }
            args.Tests.emplace_back(arg);
        } else {
            Complain(Tr("onbekend argument: %s"), argv[i]);
            return false;
        }
    }
    if (args.Limits.Cycles > 0 && args.Limits.Seconds > 0) {
        Complain("%s", Tr("--cycles en --duration gaan niet samen"));
        return false;
    }
    if (args.Connection == TArguments::TConnection::None) {
        Complain("%s", Tr("kies een verbinding: --port, --parallel of --sim"));
        return false;
    }
    if (args.Tests.empty()) {
        Complain("%s", Tr("geen test gegeven (scan of io@PLAATS)"));
        return false;
    }
    if (!args.Report.empty() && !args.Capture.empty() && bus::IsStandardOutput(args.Report) &&
        bus::IsStandardOutput(args.Capture)) {
        Complain("%s", Tr("het rapport en de opname kunnen niet allebei naar de standaarduitvoer"));
        return false;
    }
    return true;
}

// Whether the report's and the capture's places can be written, before anything is sent.
bool OutputsCanBeMade(const TArguments& args) {
    std::string error;
    if (!args.Report.empty() && !bus::CheckOutputFile(args.Report, error)) {
        Complain(Tr("kan het rapport %s niet schrijven: %s"), args.Report.c_str(), error.c_str());
        return false;
    }
    if (!args.Capture.empty() && !bus::CheckOutputFile(args.Capture, error)) {
        Complain(Tr("kan de opname %s niet schrijven: %s"), args.Capture.c_str(), error.c_str());
        return false;
    }
    return true;
}

int Check(const TArguments& args) {
    // Progress and the summary make room on standard output for a report or a capture.
    std::FILE* const out = bus::IsStandardOutput(args.Report) || bus::IsStandardOutput(args.Capture)
                               ? stderr
                               : stdout;
    const std::int64_t started = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
    const auto start = std::chrono::steady_clock::now();

    // The parallel card's ports are asked for, and what the request needed given up, while
    // this is the only thread; the transport's worker comes after both.
    const bool parallel = args.Connection == TArguments::TConnection::Parallel;
    platform::TRealPortBackend realPorts;
    int dropError = 0;
    const auto access = bus::ParTransport().Start(parallel ? &realPorts : nullptr, [&] {
        dropError = platform::DropPrivileges();
        return dropError == 0;
    });
    if (!access) {
        Complain(Tr("kan zijn rechten niet opgeven: %s"), std::strerror(dropError));
        return ExitUnreachable;
    }
    // However the check ends, the worker is gone before the port backend it uses.
    struct TWorkerEnd {
        ~TWorkerEnd() {
            bus::ParTransport().StopWorker();
            platform::SetPortBackend(nullptr);
        }
    } workerEnd;

    session::TSessionOptions options;
    options.ParallelAccess = *access;
    options.CaptureEvents = 1 << 16; // the stream takes the events as they come
    bus::TSetUpChoice choice;
    choice.Baud19200 = args.Baud19200;
    diag::TReportHeader header{"serial", args.Port, started, 0};
    if (args.Connection == TArguments::TConnection::Sim) {
        const sim::TRackLoad load = args.RackFile.empty()
                                        ? sim::TRackLoad{true, {}, sim::DefaultRack()}
                                        : sim::ReadRackFile(args.RackFile);
        if (!load.Ok) {
            Complain("%s", load.Error.c_str());
            return ExitBadArguments;
        }
        options.SimRack = load.Rack;
    }
    session::TStillTimers timers;
    session::TRackSession session(timers, std::move(options));
    if (sim::TSimRack* rack = session.Rack()) {
        if (!rack->SerialCard) {
            Complain("%s", Tr("geen pseudo-terminal voor het gesimuleerde rek"));
            return ExitUnreachable;
        }
        header.Port = rack->SerialCard->SlavePath();
    }
    if (parallel) {
        choice.Parallel = true;
        header.Transport = "parallel";
        header.Port = "0x314";
    }
    choice.Port = header.Port;

    bus::TBus& bus = session.Bus();
    bus::TCapture& capture = session.Capture();
    std::unique_ptr<bus::TCaptureStream> stream;
    if (!args.Capture.empty()) {
        std::string error;
        stream = bus::TCaptureStream::Open(capture, args.Capture, error);
        if (!stream) {
            Complain(Tr("kan de opname %s niet schrijven: %s"), args.Capture.c_str(),
                     error.c_str());
            return ExitBadArguments;
        }
    }

    diag::TIoTest::TOptions io;
    io.Patterns = args.Patterns;
    io.Inverted = args.Inverted;
    io.SettleMs = args.SettleMs;
    diag::TRun run(diag::CheckTests(bus, args.Tests, io), args.Limits);

    diag::RunCheck(bus, run, choice, args.Quiet ? nullptr : out, [] { return gStop.load(); });
    bus.CloseSerialLink();

    header.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int code = ExitPass;
    bool written = true;
    if (!args.Report.empty()) {
        std::string error;
        if (!bus::SaveFile(args.Report, diag::ReportJson(run, header), error)) {
            Complain(Tr("kan het rapport %s niet schrijven: %s"), args.Report.c_str(),
                     error.c_str());
            written = false;
        }
    }
    if (stream) {
        std::string error;
        if (!stream->Close(error)) {
            Complain(Tr("kan de opname %s niet schrijven: %s"), args.Capture.c_str(),
                     error.c_str());
            written = false;
        }
    }

    switch (run.Verdict()) {
    case diag::TVerdict::Pass:
        code = ExitPass;
        break;
    case diag::TVerdict::Fail:
        code = ExitCardError;
        break;
    case diag::TVerdict::Unreachable:
        code = ExitUnreachable;
        Complain(Tr("het rek is niet bereikbaar: %s"), run.UnreachableReason().c_str());
        break;
    }
    if (!args.Quiet)
        diag::PrintSummary(run, out);
    // A report or capture that is not whole is worth more than any verdict a script reads.
    return written ? code : ExitNotWritten;
}

} // namespace

int main(int argc, char* argv[]) {
    platform::SetProgramName("morvelplint-check");
    std::setlocale(LC_ALL, "");
    platform::InitMessages({platform::DefaultDomain, serial::TextDomain},
                           platform::CatalogueFolders(platform::ProgramFolder()),
                           platform::UserLanguage());
    TArguments args;
    bool help = false;
    if (!Parse(argc, argv, args, help)) {
        if (help) {
            std::printf("%s\n\n%s", Tr(Usage), Tr(Help));
            return ExitPass;
        }
        std::fprintf(stderr, "%s\n", Tr(Usage));
        return ExitBadArguments;
    }
    if (!OutputsCanBeMade(args))
        return ExitBadArguments;
    // A reader that goes away (`| head`) ends what goes to it, not the run.
    platform::IgnoreBrokenPipes();
    platform::OnStopRequest(OnStop);
    return Check(args);
}
