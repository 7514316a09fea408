#pragma once

#include "session/Timers.h"

#include <map>
#include <string>

// The session's timers for a test, which fires them by hand: nothing ticks by itself.
class TTestTimers final : public session::TTimers {
public:
    class TTimer final : public cards::TTickSource {
    public:
        explicit TTimer(int interval) : mInterval(interval) {}
        void Start() override { mRunning = true; }
        void Stop() override { mRunning = false; }
        bool Running() const override { return mRunning; }
        void SetInterval(int ms) override { mInterval = ms; }
        int Interval() const override { return mInterval; }

    private:
        bool mRunning = false;
        int mInterval;
    };

    std::unique_ptr<cards::TTickSource> Make(const std::string& name, int intervalMs) override {
        auto timer = std::make_unique<TTimer>(intervalMs);
        mTimers[name] = timer.get();
        return timer;
    }
    TTimer& operator[](const std::string& name) { return *mTimers.at(name); }
    // One tick of the timer `name` when it runs; false when it does not.
    bool Fire(const std::string& name) {
        TTimer& timer = (*this)[name];
        if (!timer.Running())
            return false;
        if (timer.OnTick)
            timer.OnTick();
        return true;
    }

private:
    std::map<std::string, TTimer*> mTimers;
};
