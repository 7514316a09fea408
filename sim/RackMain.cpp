#include "sim/SimSerialCard.h"
#include "sim/SimTestCard.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <pthread.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr const char* Usage = "Gebruik: morvelplint-rack [--link PAD]\n";

constexpr const char* Help =
    "Gebruik: morvelplint-rack [--link PAD]\n"
    "\n"
    "Start een gesimuleerd ZELM-rek achter een gesimuleerde seriele kaart op een nieuwe\n"
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
    "In elke plaats p (0 tot 63) van het rek zit een testkaart die p modulo 16 op haar\n"
    "terugmeldlijnen zet en kortsluiting meldt als bit 4 van p gezet is (plaatsen 16-31\n"
    "en 48-63).\n"
    "\n"
    "Opties:\n"
    "  --link PAD   maakt een symbolische link PAD naar de pseudo-terminal en haalt die\n"
    "               bij het stoppen weer weg; een bestaande symbolische link op PAD\n"
    "               wordt vervangen, een ander bestand niet\n"
    "  -h, --help   toont deze uitleg\n";

bool MakeLink(const std::string& link, const std::string& target) {
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0) {
        // A link left behind by a run that was killed is replaced; anything else is the
        // user's and stays.
        if (!S_ISLNK(existing.st_mode)) {
            std::fprintf(stderr, "morvelplint-rack: %s bestaat al en is geen symbolische link\n",
                         link.c_str());
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "morvelplint-rack: kan de link %s niet maken: %s\n", link.c_str(),
                     std::strerror(errno));
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
    std::string link;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            std::fputs(Help, stdout);
            return 0;
        }
        if (argument == "--link" && i + 1 < argc && argv[i + 1][0] != '\0') {
            link = argv[++i];
            continue;
        }
        std::fprintf(stderr, "morvelplint-rack: onbekende of onvolledige optie '%s'\n%s", argv[i],
                     Usage);
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

    sim::TTrainBus rack;
    for (int place = 0; place < sim::TTrainBus::Places; ++place) {
        auto card = std::make_shared<sim::TSimTestCard>();
        card->Lines = static_cast<std::uint8_t>(place & 15);
        card->Short = (place & 16) != 0;
        rack.Plug(place, card);
    }

    std::unique_ptr<sim::TSimSerialCard> serialCard;
    try {
        serialCard = std::make_unique<sim::TSimSerialCard>(rack);
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "morvelplint-rack: geen pseudo-terminal beschikbaar (%s)\n",
                     error.what());
        return 1;
    }
    const std::string& path = serialCard->SlavePath();
    if (!link.empty() && !MakeLink(link, path))
        return 1;

    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "Gesimuleerd rek op %s%s%s. Stoppen met Ctrl+C.\n", path.c_str(),
                 link.empty() ? "" : ", link ", link.c_str());

    int signal = 0;
    while (sigwait(&stopSignals, &signal) != 0) {
    }
    if (!link.empty())
        RemoveLink(link, path);
    return 0;
}
