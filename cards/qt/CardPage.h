#pragma once

#include "bus/Bus.h"
#include "bus/SettingsFile.h"
#include "cards/CardTestState.h"

#include <QObject>
#include <QWidget>
#include <functional>

class QTabWidget;
class QTimer;

namespace cards {

// What every card page reaches, given by whoever makes the pages: the bus, the card-test
// state, the settings as the settings window holds them at the moment of asking, the main
// window's test timer and page control, and the way to run one tick at once from inside a
// page action.
struct TCardContext {
    bus::TBus& Bus;
    TCardTestState& State;
    std::function<bus::TSettings()> Settings;
    QTimer* TimerSpeed = nullptr;
    QTabWidget* PageControl = nullptr;
    std::function<void()> TickNow;
};

// One card page on its tab sheet.
class TCardPage : public QObject {
    Q_OBJECT
public:
    TCardPage(TCardContext& context, QWidget* sheet)
        : QObject(sheet), Sheet(sheet), mContext(context) {}

    QWidget* const Sheet;

    // The interval the test timer takes at the start of a tick on this page, or -1 when the
    // page has no timed test.
    virtual int TickInterval() const { return -1; }
    // The test timer's work while this page is active.
    virtual void Tick() {}
    // The input focus left the page.
    virtual void Exit() {}

protected:
    void StartTimer();
    void StopTimer();
    bool TimerRunning() const;

    bus::TBus& Bus() const { return mContext.Bus; }
    TCardTestState& State() const { return mContext.State; }
    bus::TSettings Settings() const { return mContext.Settings(); }
    int AwaitFeedback(bool processEvents) const { return Bus().AwaitFeedback(processEvents); }
    void DrainFeedback(bool processEvents) const { Bus().DrainFeedback(processEvents); }
    // A handler that talks to the rack: runs as an exchange of its own (see RunPageAction).
    void Action(const std::function<void()>& action) const { RunPageAction(Bus(), action); }

    TCardContext& mContext;
};

} // namespace cards
