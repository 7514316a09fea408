#include "cards/qt/QtTickSource.h"

#include <QTimer>

namespace cards {

TQtTickSource::TQtTickSource(QTimer& timer) : mTimer(timer) {
    mTicks = QObject::connect(&mTimer, &QTimer::timeout, &mTimer, [this] {
        if (OnTick)
            OnTick();
    });
}

TQtTickSource::~TQtTickSource() {
    QObject::disconnect(mTicks);
}

void TQtTickSource::Start() {
    mTimer.start();
}

void TQtTickSource::Stop() {
    mTimer.stop();
}

bool TQtTickSource::Running() const {
    return mTimer.isActive();
}

void TQtTickSource::SetInterval(int ms) {
    mTimer.setInterval(ms);
}

int TQtTickSource::Interval() const {
    return mTimer.interval();
}

} // namespace cards
