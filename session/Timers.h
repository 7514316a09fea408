#pragma once

#include "cards/TickSource.h"

#include <memory>
#include <string>

namespace session {

// Where the session's timers come from: the window's timers on the desktop, the bus loop's in
// morvelplint-web, a clock the test steps in tests. Each timer, once started, calls OnTick
// every Interval milliseconds on the session's thread until it is stopped.
class TTimers {
public:
    virtual ~TTimers() = default;
    // A new timer, stopped, with `intervalMs`; `name` names it to whoever looks (the desktop
    // gives its window timer that object name: "TimerSpeed", "TimerStatus", ...).
    virtual std::unique_ptr<cards::TTickSource> Make(const std::string& name, int intervalMs) = 0;
};

// Timers that never tick: for a program that drives the session by hand (morvelplint-check
// runs its set-up and its test itself).
class TStillTimers final : public TTimers {
public:
    std::unique_ptr<cards::TTickSource> Make(const std::string& name, int intervalMs) override;
};

} // namespace session
