// morvelplint-web: the program's pages in a browser, from a PC, a phone or a tablet at the
// rack. An HTTP server for one page, a WebSocket to it, the card models and the bus below.
// Exit codes: 0 ended by Ctrl+C, 1 the address could not be had or the rights not given up,
// 3 bad arguments.
#include "bus/Bus.h"
#include "bus/ParallelTransport.h"
#include "platform/Console.h"
#include "platform/Messages.h"
#include "platform/Network.h"
#include "platform/PortIo.h"
#include "platform/Privileges.h"
#include "platform/Tick.h"
#include "serial/ComError.h"
#include "serial/PortNames.h"
#include "sim/RackFile.h"
#include "sim/SimRack.h"
#include "web/BusLoop.h"
#include "web/Server.h"
#include "web/WebApp.h"

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using platform::Complain;
using platform::Tr;
using platform::TrMark;

constexpr int ExitStopped = 0;
constexpr int ExitNotServed = 1;
constexpr int ExitBadArguments = 3;

constexpr const char* Usage = TrMark(
    "Gebruik: morvelplint-web [--sim [REKBESTAND]] [--debug] [--listen ADRES[:POORT]] [--open] "
    "[--quiet]");

constexpr const char* Help = TrMark(
    "Morvelplint in de browser: elke pagina van het programma, van een pc, een telefoon of een\n"
    "tablet bij het rek. Het programma laadt Morvelplint.ini uit de huidige map en maakt de\n"
    "verbinding zoals het programma met vensters dat doet.\n"
    "\n"
    "  --sim [BESTAND]      het gesimuleerde rek (uit het rekbestand BESTAND) in plaats van\n"
    "                       het echte\n"
    "  --debug              de seriele weg zonder seriele kaart: elk antwoord is \"H\" (72)\n"
    "  --listen ADRES[:POORT]  luistert daar (standaard 127.0.0.1:8314); op elk ander adres\n"
    "                       dan 127.0.0.1 vraagt de pagina om het sleutelwoord uit de URL\n"
    "  --open               opent de pagina in de browser\n"
    "  --quiet              meldt niets dan de adressen\n"
    "  -h, --help           toont deze uitleg\n"
    "\n"
    "Het eerste http://-adres dat het programma schrijft is het adres om te openen. Ctrl+C\n"
    "stopt het netjes.\n");

std::atomic<bool> gStop{false};

void OnStop() {
    gStop = true;
}

struct TArguments {
    bool Sim = false;
    std::string RackFile;
    bool Debug = false;
    std::string Address = "127.0.0.1";
    std::uint16_t Port = 8314;
    bool Open = false;
    bool Quiet = false;
};

bool ParseListen(std::string_view text, TArguments& args) {
    const std::size_t colon = text.rfind(':');
    std::string_view address = text;
    if (colon != std::string_view::npos) {
        address = text.substr(0, colon);
        const std::string_view port = text.substr(colon + 1);
        unsigned value = 0;
        if (port.empty() || port.size() > 5)
            return false;
        for (const char c : port) {
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value > 65535)
            return false;
        args.Port = static_cast<std::uint16_t>(value);
    }
    if (address.empty())
        return false;
    args.Address = std::string(address);
    return true;
}

// False after saying what is wrong (or after --help, with `help` set).
bool Parse(int argc, char* argv[], TArguments& args, bool& help) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            help = true;
            return false;
        } else if (arg == "--sim") {
            args.Sim = true;
            if (i + 1 < argc && argv[i + 1][0] != '-')
                args.RackFile = argv[++i];
        } else if (arg == "--debug") {
            args.Debug = true;
        } else if (arg == "--listen") {
            if (i + 1 >= argc) {
                Complain(Tr("%s verwacht een waarde"), "--listen");
                return false;
            }
            if (!ParseListen(argv[++i], args)) {
                Complain(Tr("--listen verwacht ADRES of ADRES:POORT, niet %s"), argv[i]);
                return false;
            }
        } else if (arg == "--open") {
            args.Open = true;
        } else if (arg == "--quiet") {
            args.Quiet = true;
        } else {
            Complain(Tr("onbekend argument: %s"), argv[i]);
            return false;
        }
    }
    return true;
}

// The rack for --sim: from the file given, else from the default rack file where it is
// installed, else the same rack built in.
std::optional<sim::TRackDescription> SimRack(const std::string& given) {
    const std::string file =
        given.empty() ? sim::FindDefaultRackFile(platform::ProgramFolder()) : given;
    if (file.empty())
        return sim::DefaultRack();
    sim::TRackLoad load = sim::ReadRackFile(file);
    if (load.Ok)
        return std::move(load.Rack);
    Complain("%s", load.Error.c_str());
    return std::nullopt;
}

// The addresses to open: on the loopback its own, on every address each of the machine's,
// else the one it listens on.
std::vector<std::string> Hosts(const TArguments& args) {
    if (args.Address == "0.0.0.0") {
        std::vector<std::string> hosts = platform::LocalAddresses();
        if (hosts.empty())
            hosts.push_back("127.0.0.1");
        return hosts;
    }
    return {args.Address};
}

int Serve(const TArguments& args) {
    // The parallel card's ports are asked for, and what the request needed given up, while
    // this is the only thread; the transport's worker and the server come after both.
    platform::TRealPortBackend realPorts;
    int dropError = 0;
    const auto ports = bus::ParTransport().Start(args.Sim ? nullptr : &realPorts, [&] {
        dropError = platform::DropPrivileges();
        return dropError == 0;
    });
    if (!ports) {
        Complain(Tr("kan zijn rechten niet opgeven: %s"), std::strerror(dropError));
        return ExitNotServed;
    }

    std::unique_ptr<sim::TSimRack> rack;
    if (args.Sim) {
        const auto description = SimRack(args.RackFile);
        if (!description)
            return ExitBadArguments;
        rack = std::make_unique<sim::TSimRack>(*description);
        platform::SetPortBackend(&rack->ParallelCard);
        // The simulated card is awake at once: the waits a real card's wake-up and reset ask
        // for pass without taking the time.
        platform::SkipDesignedWaits(true);
        // The simulated rack's serial card is the one port there is: the machine's own are no
        // way to it. A new card from the rack view takes a hung-up one's place.
        if (rack->SerialCard)
            serial::SetPortNameSource([simulated = rack.get()] {
                return simulated->SerialCard
                           ? std::vector<std::string>{simulated->SerialCard->SlavePath()}
                           : std::vector<std::string>{};
            });
    }

    const bool loopback = args.Address == "127.0.0.1" || args.Address == "localhost";
    web::TAccessConfig access;
    access.Loopback = loopback;
    access.Port = args.Port;
    if (!loopback) {
        access.Token = web::MakeToken();
        access.ViewToken = web::MakeToken();
    }

    bus::TBus bus(bus::ParTransport());
    bus.SetParallelAccess(*ports);
    bus.SetDebugMode(args.Debug);
    // Everything on the bus from the start on, as the desktop program records it.
    bus::TCapture capture;
    capture.Simulated = rack != nullptr;
    bus.SetCapture(&capture);
    {
        web::TBusLoop loop;
        web::TWebApp* app = nullptr;
        web::TServerEvents events;
        events.Opened = [&](int page) { loop.Post([&app, page] { app->Hello(page); }); };
        events.Command = [&](int page, const web::TCommand& command) {
            loop.Post([&app, page, command] { app->Apply(command, page); });
        };
        events.DriverGone = [&] { loop.Post([&app] { app->DriverGone(); }); };
        events.Closed = [&](int page) { loop.Post([&app, page] { app->Closed(page); }); };
        events.Download = [&](std::string name, std::string query,
                              std::function<void(web::TDownload)> done) {
            loop.Post([&app, name = std::move(name), query = std::move(query),
                       done = std::move(done)] { done(app->Download(name, query)); });
        };
        web::TServer server(args.Address, args.Port, access, std::move(events));
        web::TWebApp application(bus, loop, [&server](int page, std::string text) {
            server.Send(page, std::move(text));
        });
        app = &application;
        application.Tools().SetCapture(&capture);
        if (rack) {
            application.Tools().SetRack(rack.get(), [&application](const std::string& port) {
                application.Settings().RefreshPorts();
                application.Settings().SelectPort(port);
            });
            if (rack->SerialCard)
                application.Settings().SelectPort(rack->SerialCard->SlavePath());
            else
                application.SetSimulatedParallelOnly();
            application.SetRackSummary(rack->Summary());
        }

        std::string error;
        if (!server.Start(error)) {
            Complain(Tr("kan niet luisteren op %s:%u: %s"), args.Address.c_str(),
                     static_cast<unsigned>(args.Port), error.c_str());
            return ExitNotServed;
        }
        std::vector<std::string> urls;
        for (const std::string& host : Hosts(args)) {
            const std::string base = "http://" + host + ":" + std::to_string(server.Port()) + "/";
            urls.push_back(loopback ? base : base + "?token=" + access.Token);
            if (!loopback)
                urls.push_back(base + "?view=" + access.ViewToken);
        }
        for (std::size_t i = 0; i < urls.size(); ++i)
            std::printf("%s %s\n",
                        loopback || i % 2 == 0 ? Tr("Morvelplint in de browser:")
                                               : Tr("Alleen meekijken:"),
                        urls[i].c_str());
        if (!args.Quiet && !loopback)
            std::printf("%s\n", Tr("Wie het sleutelwoord uit het eerste adres heeft, kan het rek "
                                   "besturen; geef het alleen wie dat mag."));
        std::fflush(stdout);
        if (args.Open && !platform::OpenInBrowser(urls.front()))
            Complain("%s", Tr("kan de browser niet openen; open het adres zelf"));

        // Ctrl+C sets a flag (in a signal handler nothing else may be done); the loop looks.
        std::function<void()> look;
        look = [&] {
            if (gStop)
                loop.Quit();
            else
                loop.After(100, look);
        };
        loop.Post([&] {
            application.Start();
            look();
        });
        loop.Run();
        if (!args.Quiet)
            std::printf("%s\n", Tr("Morvelplint in de browser stopt."));
        server.Stop();
        bus.Close();
    }
    // The open serial port closes with its DTR pulse.
    bus.CloseSerialLink();
    bus::ParTransport().StopWorker();
    platform::SetPortBackend(nullptr);
    return ExitStopped;
}

} // namespace

int main(int argc, char* argv[]) {
    platform::SetProgramName("morvelplint-web");
    std::setlocale(LC_ALL, "");
    platform::InitMessages({platform::DefaultDomain, serial::TextDomain},
                           platform::CatalogueFolders(platform::ProgramFolder()),
                           platform::UserLanguage());
    TArguments args;
    bool help = false;
    if (!Parse(argc, argv, args, help)) {
        if (help) {
            std::printf("%s\n\n%s", Tr(Usage), Tr(Help));
            return ExitStopped;
        }
        std::fprintf(stderr, "%s\n", Tr(Usage));
        return ExitBadArguments;
    }
    platform::IgnoreBrokenPipes();
    platform::OnStopRequest(OnStop);
    return Serve(args);
}
