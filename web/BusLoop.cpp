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

void TBusLoop::Start() {
    mRunning = true;
    mNextTick = TClock::now() + std::chrono::milliseconds(mInterval);
}

void TBusLoop::Stop() {
    mRunning = false;
}

void TBusLoop::SetInterval(int ms) {
    mInterval = std::max(ms, 1);
    // As the window's timer does: a new interval starts the wait for the next tick anew.
    if (mRunning)
        mNextTick = TClock::now() + std::chrono::milliseconds(mInterval);
}

TBusLoop::TClock::time_point TBusLoop::NextDue() const {
    TClock::time_point due = mRunning ? mNextTick : TClock::time_point::max();
    for (const TTimer& timer : mTimers)
        due = std::min(due, timer.Due);
    return due;
}

void TBusLoop::RunDue() {
    for (;;) {
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
    if (mRunning && TClock::now() >= mNextTick) {
        mNextTick = TClock::now() + std::chrono::milliseconds(mInterval);
        if (OnTick)
            OnTick();
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
