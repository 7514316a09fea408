#include "session/Timers.h"

namespace session {

namespace {

class TStillTimer final : public cards::TTickSource {
public:
    explicit TStillTimer(int interval) : mInterval(interval) {}
    void Start() override { mRunning = true; }
    void Stop() override { mRunning = false; }
    bool Running() const override { return mRunning; }
    void SetInterval(int ms) override { mInterval = ms; }
    int Interval() const override { return mInterval; }

private:
    bool mRunning = false;
    int mInterval;
};

} // namespace

std::unique_ptr<cards::TTickSource> TStillTimers::Make(const std::string& /*name*/,
                                                        int intervalMs) {
    return std::make_unique<TStillTimer>(intervalMs);
}

} // namespace session
