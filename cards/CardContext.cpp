#include "cards/CardContext.h"

#include "serial/ComError.h"

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

void TCardContext::Guarded(const std::function<void()>& work) {
    try {
        work();
    } catch (const serial::EComPort& error) {
        Error(serial::ExplainedMessage(error));
    } catch (const std::exception& error) {
        Error(error.what());
    }
}

void TCardContext::Message(TPage page, bool error, const std::string& text) {
    if (FrontEnd)
        FrontEnd->Message(page, error, text);
}

void TCardContext::Error(const std::string& text) {
    if (FrontEnd)
        FrontEnd->Error(text);
}

bool TCardContext::Refused(TPage page) {
    const std::string reason = Refusal ? Refusal() : std::string();
    if (reason.empty())
        return false;
    Message(page, true, reason);
    return true;
}

void TCardContext::Action(std::function<void()> action) {
    Bus.WhenIdle([this, action = std::move(action)] { Guarded(action); });
}

bool TCardContext::Tick(const std::function<void()>& tick) {
    if (Bus.Busy())
        return false;
    bus::TBus::TExchange exchange(Bus);
    Guarded(tick);
    return true;
}

} // namespace cards
