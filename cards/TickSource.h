#pragma once

#include <functional>

namespace cards {

// The test timer's clock: the window's timer on the desktop, any other loop elsewhere. Once
// started it calls OnTick every Interval milliseconds until it is stopped; one test runs at a
// time on it. A new interval while it runs starts the wait for the next tick anew.
class TTickSource {
public:
    virtual ~TTickSource() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool Running() const = 0;
    virtual void SetInterval(int ms) = 0;
    virtual int Interval() const = 0;

    // The work of a tick; set by the card models.
    std::function<void()> OnTick;
};

} // namespace cards
