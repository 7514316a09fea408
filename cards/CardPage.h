#pragma once

#include <QObject>
#include <QWidget>
#include <functional>

class QTabWidget;
class QTimer;

namespace cards {

// What every card page reaches: the main window's test timer and page control, and the way
// to run one tick at once from inside a page action.
struct TCardContext {
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

    TCardContext& mContext;
};

} // namespace cards
