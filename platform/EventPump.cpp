#include "platform/EventPump.h"

#include <utility>

namespace platform {

namespace {
std::function<void()>& Handler() {
    static std::function<void()> handler;
    return handler;
}
} // namespace

void ProcessMessages() {
    // Copy first: the handler may install another one while it runs.
    const auto handler = Handler();
    if (handler)
        handler();
}

std::function<void()> SetProcessMessages(std::function<void()> handler) {
    return std::exchange(Handler(), std::move(handler));
}

} // namespace platform

#include "platform/Tick.h"

namespace platform {

void WaitWithEvents(unsigned ms) {
    if (DesignedWaitsSkipped()) {
        ProcessMessages();
        DesignedSleep(ms);
        return;
    }
    const std::uint32_t start = GetTickCount();
    for (;;) {
        ProcessMessages();
        const std::uint32_t elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return;
        // Short naps keep the window responsive without spinning a core.
        Sleep(ms - elapsed < 5 ? ms - elapsed : 5);
    }
}

} // namespace platform
