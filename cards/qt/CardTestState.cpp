#include "cards/CardTestState.h"

#include "bus/Bus.h"
#include "bus/qt/Dialogs.h"

namespace cards {

TCardTestState CardTest;

void RunPageAction(bus::TBus& bus, const std::function<void()>& action) {
    bus.WhenIdle([action] { bus::Guarded(action); });
}

bool RunTick(bus::TBus& bus, const std::function<void()>& tick) {
    if (bus.Busy())
        return false;
    bus::TBus::TExchange exchange(bus);
    bus::Guarded(tick);
    return true;
}

} // namespace cards
