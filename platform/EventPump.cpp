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
