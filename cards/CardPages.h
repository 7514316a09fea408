#pragma once

#include <QObject>

class QTabWidget;
class QTimer;
class QWidget;

namespace cards {

// The card pages of the main window's page control ("SCK/ MCK" to "IOK"), the card-test
// state they share, the test timer's work and the rules by which the pages' buttons follow
// the settings.
class TCardPages : public QObject {
    Q_OBJECT
public:
    // Adds the seven card pages to `pageControl` after its "INTRO" page. `timerSpeed` is the
    // main window's test timer.
    TCardPages(QTabWidget* pageControl, QTimer* timerSpeed, QObject* parent = nullptr);

    QWidget* TabSheetSCK = nullptr;
    QWidget* TabSheetPCK = nullptr;
    QWidget* TabSheetSLK = nullptr;
    QWidget* TabSheetXBK = nullptr;
    QWidget* TabSheet3BK = nullptr;
    QWidget* TabSheetLKK_EVL = nullptr;
    QWidget* TabSheetIOK = nullptr;

    // Enables the pages' send and start buttons for the method, the test mode (read from
    // the settings window) and whether the rack connection came up.
    void Instellingen(bool connected, bool parallel);

    // The test timer's tick: the work of whichever card page is active.
    void TimerSpeedTimer();

private:
    QTabWidget* mPageControl;
    QTimer* mTimerSpeed;
};

} // namespace cards
