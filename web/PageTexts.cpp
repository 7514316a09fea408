#include "web/PageTexts.h"

#include "platform/Messages.h"

#include <nlohmann/json.hpp>

namespace web {

namespace {

// Every text the page's script shows of its own; the catalogue translates them.
constexpr const char* Texts[] = {
    platform::TrMark("Overnemen"),
    platform::TrMark("U bestuurt het rek."),
    platform::TrMark("U kijkt mee: een andere pagina bestuurt het rek."),
    platform::TrMark("U kijkt mee; niemand bestuurt het rek."),
    platform::TrMark("Verbonden"),
    platform::TrMark("Niet verbonden"),
    platform::TrMark("Bezig met verbinden..."),
    platform::TrMark("De verbinding met Morvelplint is weg; opnieuw verbinden..."),
    platform::TrMark("Openen"),
    platform::TrMark("Bewaren"),
    platform::TrMark("Poorten opnieuw zoeken"),
};

} // namespace

std::string PageTextsJson() {
    nlohmann::json texts = nlohmann::json::object();
    for (const char* text : Texts)
        texts[text] = platform::Tr(text);
    return texts.dump();
}

} // namespace web
