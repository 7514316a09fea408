// morvelplint-web: the program's pages in a browser, from a PC, a phone or a tablet at the
// rack. An HTTP server for one page, a WebSocket to it, the card models and the bus below.
// Exit codes: 0 ended by Ctrl+C, 1 the address could not be had, the rights not given up or the
// key file refused, 3 bad arguments.
#include "bus/ParallelTransport.h"
#include "platform/Console.h"
#include "platform/Messages.h"
#include "platform/Network.h"
#include "platform/PortIo.h"
#include "platform/Privileges.h"
#include "platform/Tick.h"
#include "serial/ComError.h"
#include "session/RackSession.h"
#include "sim/RackFile.h"
#include "web/Announce.h"
#include "web/BusLoop.h"
#include "web/KeyFile.h"
#include "web/QrCode.h"
#include "web/Server.h"
#include "web/WebApp.h"

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
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
    "[--quiet] [--new-key]");

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
    "  --new-key            maakt nieuwe sleutelwoorden: de adressen en bladwijzers van\n"
    "                       eerder werken dan niet meer\n"
    "  -h, --help           toont deze uitleg\n"
    "\n"
    "Het eerste http://-adres dat het programma schrijft is het adres om te openen. Ctrl+C\n"
    "stopt het netjes.\n"
    "\n"
    "Buiten 127.0.0.1 staan de sleutelwoorden in Morvelplint.key in de huidige map (onder\n"
    "Windows in Documenten\\Morvelplint), gemaakt bij de eerste start en alleen voor de\n"
    "eigenaar te lezen; zo blijven de adressen bij elke start dezelfde. Een sleutelbestand\n"
    "dat niet te lezen, beschadigd of voor anderen te lezen is, wordt geweigerd (en niets\n"
    "bediend); --new-key vervangt het.\n");

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
    bool NewKey = false;
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
        } else if (arg == "--new-key") {
            args.NewKey = true;
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
// and the machine's name on the network where avahi-daemon announces it.
std::vector<std::string> Hosts(const TArguments& args, const std::string& name) {
    std::vector<std::string> hosts;
    if (args.Address == "0.0.0.0") {
        hosts = platform::LocalAddresses();
        if (hosts.empty())
            hosts.push_back("127.0.0.1");
    } else {
        hosts.push_back(args.Address);
    }
    if (!name.empty())
        hosts.push_back(name);
    return hosts;
}

// The addresses to open, with the token where one guards them, and the words to go with them.
void PrintAddresses(const TArguments& args, const web::TAccessConfig& access, unsigned port,
                    const std::string& name) {
    std::vector<std::string> urls;
    for (const std::string& host : Hosts(args, name)) {
        const std::string base = "http://" + host + ":" + std::to_string(port) + "/";
        urls.push_back(access.Loopback ? base : base + "?token=" + access.Token);
        if (!access.Loopback)
            urls.push_back(base + "?view=" + access.ViewToken);
    }
    for (std::size_t i = 0; i < urls.size(); ++i) {
        std::printf("%s %s\n",
                    access.Loopback || i % 2 == 0 ? Tr("Morvelplint in de browser:")
                                                  : Tr("Alleen meekijken:"),
                    urls[i].c_str());
        // The address with its token as a code for a phone to scan, after its pair of lines.
        if (!access.Loopback && !args.Quiet && i % 2 == 1)
            std::printf("%s", web::QrTerminal(urls[i - 1]).c_str());
    }
    if (!args.Quiet && !access.Loopback)
        std::printf("%s\n", Tr("Wie het sleutelwoord uit het eerste adres heeft, kan het rek "
                               "besturen; geef het alleen wie dat mag."));
    std::fflush(stdout);
    if (args.Open && !platform::OpenInBrowser(urls.front()))
        Complain("%s", Tr("kan de browser niet openen; open het adres zelf"));
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
    session::TSessionOptions options;
    options.Debug = args.Debug;
    options.ParallelAccess = *ports;
    if (args.Sim) {
        options.SimRack = SimRack(args.RackFile);
        if (!options.SimRack)
            return ExitBadArguments;
    }

    const bool loopback = args.Address == "127.0.0.1" || args.Address == "localhost";
    web::TAccessConfig access;
    std::string keyNote;
    access.Loopback = loopback;
    access.Port = args.Port;
    if (!loopback) {
        std::error_code ignored;
        std::filesystem::path folder = std::filesystem::absolute(web::KeyFolder(), ignored);
        if (folder.empty())
            folder = web::KeyFolder();
        const std::string path = (folder / web::KeyFileName).lexically_normal().string();
        const web::TKeyFile keys = web::LoadKeyFile(path, args.NewKey);
        if (!keys.Ok) {
            Complain("%s", keys.Error.c_str());
            return ExitNotServed;
        }
        access.Token = keys.Token;
        access.ViewToken = keys.ViewToken;
        // Said after the addresses, whose first is the first line.
        if (args.NewKey)
            keyNote = platform::Args(Tr("Nieuwe sleutelwoorden in %1: de adressen en "
                                        "bladwijzers van eerder werken niet meer."),
                                     {path});
        else if (keys.Made && !args.Quiet)
            keyNote = platform::Args(Tr("De sleutelwoorden staan nu in %1; de adressen "
                                        "blijven bij elke start dezelfde."),
                                     {path});
    }

    web::TBusLoop loop;
    {
        session::TRackSession session(loop, std::move(options));
        // The server's events go to the application, which is made first; its pushes go to
        // the server, which is running by the time the loop runs.
        web::TServer* network = nullptr;
        web::TWebApp application(session, loop, [&network](int page, std::string text) {
            if (network)
                network->Send(page, std::move(text));
        });
        web::TServer server(args.Address, args.Port, access, application.ServerEvents());
        network = &server;

        std::string error;
        if (!server.Start(error)) {
            Complain(Tr("kan niet luisteren op %s:%u: %s"), args.Address.c_str(),
                     static_cast<unsigned>(args.Port), error.c_str());
            return ExitNotServed;
        }
        // Its name on the network, while it listens there.
        web::TAnnouncement announcement(loopback ? nullptr : web::RealAvahi());
        std::string note;
        if (!announcement.Start(server.Port(), note) && !note.empty())
            Complain("%s", note.c_str());
        PrintAddresses(args, access, server.Port(), announcement.HostName());
        if (!keyNote.empty()) {
            std::printf("%s\n", keyNote.c_str());
            std::fflush(stdout);
        }
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
        announcement.Stop();
        server.Stop();
        session.Close();
        // The session closes the open serial port with its DTR pulse.
    }
    bus::ParTransport().StopWorker();
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
