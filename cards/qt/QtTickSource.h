#pragma once

#include "cards/TickSource.h"

#include <QMetaObject>

class QTimer;

namespace cards {

// The test timer's clock on the desktop: the main window's timer TimerSpeed.
class TQtTickSource final : public TTickSource {
public:
    explicit TQtTickSource(QTimer& timer);
    ~TQtTickSource() override;
    TQtTickSource(const TQtTickSource&) = delete;
    TQtTickSource& operator=(const TQtTickSource&) = delete;

    void Start() override;
    void Stop() override;
    bool Running() const override;
    void SetInterval(int ms) override;
    int Interval() const override;

private:
    QTimer& mTimer;
    QMetaObject::Connection mTicks;
};

} // namespace cards
