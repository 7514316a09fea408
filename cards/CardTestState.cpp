#include "cards/CardTestState.h"

#include "bus/UnitStatus.h"
#include "bus/UnitThread_PAR_IO.h"
#include "platform/EventPump.h"
#include "platform/Tick.h"

#include <deque>
#include <thread>

namespace cards {

TCardTestState CardTest;

int AwaitFeedback(bool processEvents) {
    std::uint32_t start = platform::GetTickCount();
    for (;;) {
        if (processEvents)
            platform::ProcessMessages();
        const int reply = bus::StatusForm->ReadBusFeedback();
        if (reply < bus::NoDataYet || reply == bus::NotConnected)
            return reply;
        if (platform::TicksPassed(start, AwaitBoundMs))
            return bus::NoDataYet;
        // The parallel transport answers at once; give its worker the processor meanwhile.
        std::this_thread::yield();
    }
}

void DrainFeedback(bool processEvents) {
    for (int replies = 0; replies < DrainBound; ++replies) {
        if (processEvents)
            platform::ProcessMessages();
        if (bus::StatusForm->ReadBusFeedback() >= bus::NoDataYet)
            return;
    }
}

namespace {

int gDepth = 0;
std::deque<std::function<void()>> gPending;

} // namespace

TBusSession::TBusSession() {
    ++gDepth;
}

TBusSession::~TBusSession() {
    if (--gDepth > 0)
        return;
    // Actions that arrived while this one waited run now, each as a session of its own.
    while (!gPending.empty()) {
        const auto action = std::move(gPending.front());
        gPending.pop_front();
        ++gDepth;
        bus::Guarded(action);
        --gDepth;
    }
}

bool TBusSession::Busy() {
    return gDepth > 0;
}

void RunPageAction(const std::function<void()>& action) {
    if (TBusSession::Busy()) {
        gPending.push_back(action);
        return;
    }
    TBusSession session;
    bus::Guarded(action);
}

bool RunTick(const std::function<void()>& tick) {
    if (TBusSession::Busy())
        return false;
    TBusSession session;
    bus::Guarded(tick);
    return true;
}

} // namespace cards
