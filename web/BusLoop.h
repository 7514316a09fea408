#pragma once

#include "platform/Tick.h"
#include "session/Timers.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace web {

// The thread that runs the bus and the card models, as the window's thread does on the
// desktop: work posted from the network's thread runs here one piece after another, the test
// timer's ticks and the single-shot timers fire here, and while a page waits for the rack the
// waits' event pump runs what has come meanwhile, as the desktop's message loop does (the
// bus's one-exchange rule then defers an action and skips a tick that comes inside a wait).
// Its timers are the session's.
class TBusLoop final : public session::TTimers {
public:
    using TClock = platform::TTickClock;

    TBusLoop();
    ~TBusLoop() override;
    TBusLoop(const TBusLoop&) = delete;
    TBusLoop& operator=(const TBusLoop&) = delete;

    // Any thread: `work` runs on the loop's thread.
    void Post(std::function<void()> work);
    // The loop's thread: `work` runs once, `ms` from now.
    void After(int ms, std::function<void()> work);
    // Runs work, timers and ticks until Quit; on the thread that is to be the loop's.
    void Run();
    // Any thread: Run returns once the work under way has ended.
    void Quit();

    // The loop's thread: what is due now, without waiting (the event pump's work): the work
    // posted before it began, then the timers and ticks that are due.
    void RunDue();

    // A timer of the loop: its ticks come on the loop's thread.
    std::unique_ptr<cards::TTickSource> Make(const std::string& name, int intervalMs) override;
    // Whether any of the loop's timers runs.
    bool AnyTimerRunning() const;

private:
    class TLoopTimer;
    struct TTimer {
        TClock::time_point Due;
        std::function<void()> Work;
    };
    TClock::time_point NextDue() const;

    std::mutex mMutex;
    std::condition_variable mWake;
    std::deque<std::function<void()>> mPosted;
    bool mQuit = false;
    std::vector<TTimer> mTimers;
    std::vector<TLoopTimer*> mTickers;
    std::function<void()> mPreviousPump;
};

} // namespace web
