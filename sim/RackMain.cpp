#include "platform/Console.h"
#include "platform/Messages.h"
#include "platform/Privileges.h"
#include "sim/SimSerialCard.h"
#include "sim/SimTestCard.h"
#include "sim/RackFile.h"
#include "sim/SimRack.h"

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <pthread.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::Tr;
using platform::TrMark;

constexpr const char* Usage =
    TrMark("Gebruik: morvelplint-rack [--rack BESTAND] [--link PAD] [--log BESTAND]");

// What --help shows after the usage line.
constexpr const char* Help =
    TrMark("Start een gesimuleerd ZELM-rek achter een gesimuleerde seriele kaart op een nieuwe\n"
           "pseudo-terminal en draait door tot Ctrl+C (of SIGTERM of SIGHUP). Het pad van de\n"
           "pseudo-terminal staat als enige regel op de standaarduitvoer; open het als seriele\n"
           "poort in Morvelplint, in een terminalprogramma of vanuit een script.\n"
           "\n"
           "De kaart werkt als de echte seriele kaart. Elke verbinding (elke keer dat de poort\n"
           "geopend wordt) begint op 9600 baud met de optiebyte, die de kaart terugstuurt; met\n"
           "bit 3 (0x08) van de optiebyte gaan de buswoorden daarna op 19200 baud. Op elk\n"
           "buswoord volgt precies een byte: bij een datastrobe de terugmelding van de kaart in\n"
           "de gekozen plaats, anders het woord zelf. Een byte op een andere snelheid krijgt\n"
           "geen antwoord.\n"
           "\n"
           "Welke kaart in welke plaats zit, staat in een rekbestand (JSON), hetzelfde dat\n"
           "morvelplint /sim leest. Zonder --rack is dat het standaardrek, default-rack.json\n"
           "naast het programma of in share/morvelplint: blokkaarten (twee-rail) in 0, 4 en 7,\n"
           "een drie-rail blokkaart in 6, testkaarten in 1, 2 en 3 die 2, 4 en 8 melden, de\n"
           "LKK in 5, de IOK met testplug in 9 en de SLK in 63. Een rekbestand dat niet klopt,\n"
           "wordt geweigerd met de plaats in het bestand en wat er mis is.\n"
           "\n"
           "Opties:\n"
           "  --rack BESTAND  het rek uit BESTAND in plaats van het standaardrek\n"
           "  --link PAD      maakt een symbolische link PAD naar de pseudo-terminal en haalt\n"
           "                  die bij het stoppen weer weg; een bestaande symbolische link op\n"
           "                  PAD wordt vervangen, een ander bestand niet\n"
           "  --log BESTAND   schrijft elke byte die de kaart van de lijn neemt als een regel\n"
           "                  (0x85) in BESTAND, terwijl het rek draait\n"
           "  -h, --help      toont deze uitleg\n");

using platform::Complain;

bool MakeLink(const std::string& link, const std::string& target) {
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0) {
        // A link left behind by a run that was killed is replaced; anything else is the
        // user's and stays.
        if (!S_ISLNK(existing.st_mode)) {
            Complain(Tr("%s bestaat al en is geen symbolische link"), link.c_str());
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        Complain(Tr("kan de link %s niet maken: %s"), link.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// Removes the link only while it still points to this run's terminal: another run may have
// taken the name over meanwhile.
void RemoveLink(const std::string& link, const std::string& target) {
    char buffer[256];
    const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
    if (length > 0 && std::string_view(buffer, static_cast<std::size_t>(length)) == target)
        unlink(link.c_str());
}

} // namespace

int main(int argc, char* argv[]) {
    platform::SetProgramName("morvelplint-rack");
    // The rack reaches no port at all. Started as root, or given capabilities by mistake, it
    // gives them up as the program does, before it reads anything the user chose.
    const int dropError = platform::DropPrivileges();
    // Texts in the user's language, from the catalogues the program uses too.
    std::setlocale(LC_ALL, "");
    platform::InitMessages({platform::DefaultDomain},
                           platform::CatalogueFolders(platform::ProgramFolder()),
                           platform::UserLanguage());
    if (dropError != 0) {
        Complain(Tr("kan zijn rechten niet opgeven (%s)"), std::strerror(dropError));
        return 1;
    }

    std::string link;
    std::string rackFile;
    std::string logFile;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            std::printf("%s\n\n%s", Tr(Usage), Tr(Help));
            return 0;
        }
        if (argument == "--link" && i + 1 < argc && argv[i + 1][0] != '\0') {
            link = argv[++i];
            continue;
        }
        if (argument == "--rack" && i + 1 < argc && argv[i + 1][0] != '\0') {
            rackFile = argv[++i];
            continue;
        }
        if (argument == "--log" && i + 1 < argc && argv[i + 1][0] != '\0') {
            logFile = argv[++i];
            continue;
        }
        Complain(Tr("onbekende of onvolledige optie '%s'"), argv[i]);
        std::fprintf(stderr, "%s\n", Tr(Usage));
        return 2;
    }

    // The stop signals are blocked before the card's thread exists, so that it inherits the
    // mask and the main thread alone takes them, with sigwait: no handler, nothing to race.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A script that reads the path and closes the pipe must not end the rack.
    std::signal(SIGPIPE, SIG_IGN);

    // The default rack file where it is installed; the same rack built in where it is not.
    std::string rackName =
        rackFile.empty() ? sim::FindDefaultRackFile(platform::ProgramFolder()) : rackFile;
    sim::TRackDescription description = sim::DefaultRack();
    if (!rackName.empty()) {
        sim::TRackLoad load = sim::ReadRackFile(rackName);
        if (!load.Ok) {
            Complain("%s", load.Error.c_str());
            return 1;
        }
        description = std::move(load.Rack);
    } else {
        rackName = Tr("het ingebouwde standaardrek");
    }

    sim::TSimRack rack(description);
    if (!rack.SerialCard) {
        Complain(Tr("geen pseudo-terminal beschikbaar (%s)"), rack.NoSerialCard.c_str());
        return 1;
    }
    const std::string& path = rack.SerialCard->SlavePath();
    if (!link.empty() && !MakeLink(link, path))
        return 1;

    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    if (link.empty())
        std::fprintf(stderr, Tr("Gesimuleerd rek uit %s op %s. Stoppen met Ctrl+C."),
                     rackName.c_str(), path.c_str());
    else
        std::fprintf(stderr, Tr("Gesimuleerd rek uit %s op %s, link %s. Stoppen met Ctrl+C."),
                     rackName.c_str(), path.c_str(), link.c_str());
    std::fputc('\n', stderr);

    std::FILE* log = nullptr;
    if (!logFile.empty() && !(log = std::fopen(logFile.c_str(), "w"))) {
        Complain(Tr("kan %s niet schrijven: %s"), logFile.c_str(), std::strerror(errno));
        if (!link.empty())
            RemoveLink(link, path);
        return 1;
    }
    // With a log the bytes the card took are written out every 20 ms while the rack waits for
    // its stop signal.
    std::size_t logged = 0;
    const timespec every{0, 20'000'000};
    for (;;) {
        if (!log) {
            int signal = 0;
            if (sigwait(&stopSignals, &signal) == 0)
                break;
            continue;
        }
        const int signal = sigtimedwait(&stopSignals, nullptr, &every);
        const auto received = rack.SerialCard->Received();
        for (; logged < received.size(); ++logged)
            std::fprintf(log, "0x%02X\n", received[logged].Byte);
        std::fflush(log);
        if (signal > 0)
            break;
    }
    if (log)
        std::fclose(log);
    if (!link.empty())
        RemoveLink(link, path);
    return 0;
}
