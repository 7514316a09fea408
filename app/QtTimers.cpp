#include "app/QtTimers.h"

#include "cards/qt/QtTickSource.h"

#include <QTimer>
#include <memory>

namespace app {

namespace {

// A window timer that the tick source owns.
class TOwnTimer final : public cards::TTickSource {
public:
    TOwnTimer(const std::string& name, int interval) : mTicks(mTimer) {
        mTimer.setObjectName(QString::fromStdString(name));
        mTimer.setInterval(interval);
        mTicks.OnTick = [this] {
            if (OnTick)
                OnTick();
        };
    }
    QTimer& Timer() { return mTimer; }

    void Start() override { mTicks.Start(); }
    void Stop() override { mTicks.Stop(); }
    bool Running() const override { return mTicks.Running(); }
    void SetInterval(int ms) override { mTicks.SetInterval(ms); }
    int Interval() const override { return mTicks.Interval(); }

private:
    QTimer mTimer;
    cards::TQtTickSource mTicks;
};

} // namespace

std::unique_ptr<cards::TTickSource> TQtTimers::Make(const std::string& name, int intervalMs) {
    auto timer = std::make_unique<TOwnTimer>(name, intervalMs);
    mTimers[name] = &timer->Timer();
    return timer;
}

QTimer* TQtTimers::Timer(const std::string& name) const {
    const auto found = mTimers.find(name);
    return found == mTimers.end() ? nullptr : found->second;
}

} // namespace app
