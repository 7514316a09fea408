#include "web/PageTexts.h"

#include "platform/Messages.h"

#include <nlohmann/json.hpp>

namespace web {

namespace {

// Every text the page's script shows of its own; the catalogue translates them.
constexpr const char* Texts[] = {
    platform::TrMark("Overnemen"),
    platform::TrMark("Laat meekijken"),
    platform::TrMark("Scan deze code met een telefoon om mee te kijken (zonder te besturen)."),
    platform::TrMark("U bestuurt het rek."),
    platform::TrMark("U kijkt mee: een andere pagina bestuurt het rek."),
    platform::TrMark("U kijkt mee; niemand bestuurt het rek."),
    platform::TrMark("Verbonden"),
    platform::TrMark("Niet verbonden"),
    platform::TrMark("Bezig met verbinden..."),
    platform::TrMark("De verbinding met Morvelplint is weg; opnieuw verbinden..."),
    platform::TrMark("Deze pagina liep te ver achter; opnieuw verbinden..."),
    platform::TrMark("Openen"),
    platform::TrMark("Bewaren"),
    platform::TrMark("Poorten opnieuw zoeken"),
    platform::TrMark("Afdrukken"),
    // The tools: the bus monitor, the rack view, the card diagnostics, help and about.
    platform::TrMark("Bevriezen"),
    platform::TrMark("Gemist op deze pagina:"),
    platform::TrMark("Wissen"),
    platform::TrMark("Tijd"),
    platform::TrMark("Tijd vanaf de start"),
    platform::TrMark("Tijd na de vorige rij"),
    platform::TrMark("Kloktijd"),
    platform::TrMark("Adres"),
    platform::TrMark("Data"),
    platform::TrMark("Latchadres"),
    platform::TrMark("Latchdata"),
    platform::TrMark("Overig"),
    platform::TrMark("Plaats:"),
    platform::TrMark("alle"),
    platform::TrMark("Alleen problemen"),
    platform::TrMark("Notitie bij dit moment"),
    platform::TrMark("Notitie"),
    platform::TrMark("Alleen de getoonde rijen"),
    platform::TrMark("Busmonitor"),
    platform::TrMark("Tonen:"),
    platform::TrMark("Bewaar..."),
    platform::TrMark("Richting"),
    platform::TrMark("Woord"),
    platform::TrMark("Bits"),
    platform::TrMark("Strobe"),
    platform::TrMark("Adres/data"),
    platform::TrMark("Antwoord"),
    platform::TrMark("Betekenis"),
    platform::TrMark("Latentie (ms)"),
    platform::TrMark("Status"),
    platform::TrMark("Plaats"),
    platform::TrMark("lijn"),
    platform::TrMark("Kortsluiting"),
    platform::TrMark("Stil (meldt niets)"),
    platform::TrMark("Ingang"),
    platform::TrMark("werkt"),
    platform::TrMark("zit vast op 0"),
    platform::TrMark("zit vast op 1"),
    platform::TrMark("Stil"),
    platform::TrMark("Onzin na elk antwoord"),
    platform::TrMark("Ophangen"),
    platform::TrMark("Nieuwe kaart"),
    platform::TrMark("Seriele kaart"),
    platform::TrMark("Storing op een kaart"),
    platform::TrMark("Rek"),
    platform::TrMark("Lijn"),
    platform::TrMark("sectie"),
    platform::TrMark("pen"),
    platform::TrMark("uit"),
    platform::TrMark("in"),
    platform::TrMark("stil"),
    platform::TrMark("lege plaats"),
    platform::TrMark("Locomotief"),
    platform::TrMark("snelheid %1"),
    platform::TrMark("IOK %1: pennen 1 tot 16, testplug erin"),
    platform::TrMark("IOK %1: pennen 1 tot 16, zonder testplug (klik op een ingang)"),
    platform::TrMark("Opgehangen"),
    platform::TrMark("Op %1."),
    platform::TrMark("niet verbonden"),
    platform::TrMark("IO-kaart via de testplug"),
    platform::TrMark("Rek scannen (plaatsen 0 tot 63)"),
    platform::TrMark("Testplug"),
    platform::TrMark("gelijk"),
    platform::TrMark("omgekeerd"),
    platform::TrMark("zaad "),
    platform::TrMark("Cycli"),
    platform::TrMark("Seconden"),
    platform::TrMark("Tot Stop"),
    platform::TrMark("Fouten tellen en doorgaan"),
    platform::TrMark("Stoppen bij de eerste fout"),
    platform::TrMark("Stoppen na"),
    platform::TrMark(" fouten"),
    platform::TrMark("Start"),
    platform::TrMark("Stop"),
    platform::TrMark("Tellers op nul"),
    platform::TrMark("Rapport bewaren..."),
    platform::TrMark("Ingangen"),
    platform::TrMark("Test"),
    platform::TrMark("Patronen"),
    platform::TrMark("Kaartdiagnose"),
    platform::TrMark("Help"),
    platform::TrMark("Over"),
    platform::TrMark("Instellingen"),
    // The menu of pages on a narrow screen, the monitor's rows, the message boxes' icons.
    platform::TrMark("Pagina's"),
    platform::TrMark("Rijen"),
    platform::TrMark("Fout"),
    platform::TrMark("Informatie"),
};

} // namespace

std::string PageTextsJson() {
    nlohmann::json texts = nlohmann::json::object();
    for (const char* text : Texts)
        texts[text] = platform::Tr(text);
    return texts.dump();
}

} // namespace web
