#include "web/BusLoop.h"

#include "platform/EventPump.h"

#include <algorithm>

namespace web {

TBusLoop::TBusLoop() {
    mPreviousPump = platform::SetProcessMessages([this] { RunDue(); });
}

TBusLoop::~TBusLoop() {
    platform::SetProcessMessages(mPreviousPump);
}

void TBusLoop::Post(std::function<void()> work) {
    {
        const std::lock_guard lock(mMutex);
        mPosted.push_back(std::move(work));
    }
    mWake.notify_one();
}

void TBusLoop::After(int ms, std::function<void()> work) {
    mTimers.push_back({TClock::now() + std::chrono::milliseconds(ms), std::move(work)});
}

void TBusLoop::Quit() {
    {
        const std::lock_guard lock(mMutex);
        mQuit = true;
    }
    mWake.notify_one();
}

// A repeating timer of the loop, as the window's timers are: a new interval while it runs
// starts the wait for the next tick anew.
class TBusLoop::TLoopTimer final : public cards::TTickSource {
public:
    TLoopTimer(TBusLoop& loop, int interval) : mLoop(loop), mInterval(std::max(interval, 0)) {
        mLoop.mTickers.push_back(this);
    }
    ~TLoopTimer() override { std::erase(mLoop.mTickers, this); }

    void Start() override {
        mRunning = true;
        Next = TClock::now() + std::chrono::milliseconds(mInterval);
    }
    void Stop() override { mRunning = false; }
    bool Running() const override { return mRunning; }
    void SetInterval(int ms) override {
        mInterval = std::max(ms, 0);
        if (mRunning)
            Next = TClock::now() + std::chrono::milliseconds(mInterval);
    }
    int Interval() const override { return mInterval; }

    TClock::time_point Next{};

private:
    TBusLoop& mLoop;
    int mInterval;
    bool mRunning = false;
};

std::unique_ptr<cards::TTickSource> TBusLoop::Make(const std::string& /*name*/, int intervalMs) {
    return std::make_unique<TLoopTimer>(*this, intervalMs);
}

bool TBusLoop::AnyTimerRunning() const {
    return std::any_of(mTickers.begin(), mTickers.end(),
                       [](const TLoopTimer* timer) { return timer->Running(); });
}

TBusLoop::TClock::time_point TBusLoop::NextDue() const {
    TClock::time_point due = TClock::time_point::max();
    for (const TLoopTimer* ticker : mTickers)
        if (ticker->Running())
            due = std::min(due, ticker->Next);
    for (const TTimer& timer : mTimers)
        due = std::min(due, timer.Due);
    return due;
}

void TBusLoop::RunDue() {
    // What was posted before this turn; what that work posts waits for the next turn, after the
    // timers that are due, so that work which posts its next part holds none of them up.
    std::size_t count = 0;
    {
        const std::lock_guard lock(mMutex);
        count = mPosted.size();
    }
    for (; count > 0; --count) {
        std::function<void()> work;
        {
            const std::lock_guard lock(mMutex);
            if (mPosted.empty())
                break;
            work = std::move(mPosted.front());
            mPosted.pop_front();
        }
        work();
    }
    const TClock::time_point now = TClock::now();
    for (std::size_t i = 0; i < mTimers.size();) {
        if (mTimers[i].Due > now) {
            ++i;
            continue;
        }
        const std::function<void()> work = std::move(mTimers[i].Work);
        mTimers.erase(mTimers.begin() + static_cast<std::ptrdiff_t>(i));
        work();
        i = 0; // the work may have added or taken timers
    }
    // Each timer that is due ticks once; a tick may start, stop, make or end timers.
    const std::vector<TLoopTimer*> tickers = mTickers;
    for (TLoopTimer* ticker : tickers) {
        if (std::find(mTickers.begin(), mTickers.end(), ticker) == mTickers.end())
            continue;
        if (!ticker->Running() || TClock::now() < ticker->Next)
            continue;
        ticker->Next = TClock::now() + std::chrono::milliseconds(ticker->Interval());
        if (ticker->OnTick)
            ticker->OnTick();
    }
}

void TBusLoop::Run() {
    for (;;) {
        {
            std::unique_lock lock(mMutex);
            const TClock::time_point due = NextDue();
            const auto ready = [this] { return mQuit || !mPosted.empty(); };
            if (due == TClock::time_point::max())
                mWake.wait(lock, ready);
            else
                mWake.wait_until(lock, due, ready);
            if (mQuit)
                return;
        }
        RunDue();
    }
}

} // namespace web
