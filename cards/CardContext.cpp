#include "cards/CardContext.h"

namespace cards {

TPageEnabling PageEnabling(bool connected, bool parallel, bool testMode) {
    TPageEnabling enabling;
    enabling.SckVersturen = !parallel;
    enabling.PckVersturen = parallel;
    enabling.CardTests = !testMode && connected;
    enabling.StrobeButtons = testMode;
    enabling.StrobeGroups = !testMode;
    enabling.TestMode = testMode;
    return enabling;
}

void TCardContext::Message(TPage page, bool error, const std::string& text) {
    if (FrontEnd)
        FrontEnd->Message(page, error, text);
}

void TCardContext::Error(const std::string& text) {
    if (FrontEnd)
        FrontEnd->Error(text);
}

} // namespace cards
