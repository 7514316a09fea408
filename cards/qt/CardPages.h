#pragma once

#include "cards/qt/CardPage.h"

#include <QObject>
#include <vector>

class QTabWidget;
class QTimer;
class QWidget;

namespace cards {

class TBusWordPage;
class TIokPage;
class TLkkEvlPage;
class TSlkPage;
class TXbkPage;
class T3bkPage;

// The card pages of the main window's page control ("SCK/ MCK" to "IOK"), the test timer's
// work and the rules by which the pages' buttons follow the settings.
class TCardPages : public QObject {
    Q_OBJECT
public:
    // Adds the seven card pages to `pageControl` after its "INTRO" page, over `bus` and the
    // card-test state; `settings` gives the settings as they are at the moment of asking, and
    // `timerSpeed` is the main window's test timer.
    TCardPages(bus::TBus& bus, TCardTestState& state, std::function<bus::TSettings()> settings,
               QTabWidget* pageControl, QTimer* timerSpeed, QObject* parent = nullptr);

    QWidget* TabSheetSCK = nullptr;
    QWidget* TabSheetPCK = nullptr;
    QWidget* TabSheetSLK = nullptr;
    QWidget* TabSheetXBK = nullptr;
    QWidget* TabSheet3BK = nullptr;
    QWidget* TabSheetLKK_EVL = nullptr;
    QWidget* TabSheetIOK = nullptr;

    TBusWordPage* PageSCK = nullptr;
    TBusWordPage* PagePCK = nullptr;
    TSlkPage* PageSLK = nullptr;
    TLkkEvlPage* PageLKK_EVL = nullptr;
    TIokPage* PageIOK = nullptr;
    TXbkPage* PageXBK = nullptr;
    T3bkPage* Page3BK = nullptr;

    // Enables the pages' send and start buttons for the method, the test mode (as the
    // settings hold it now) and whether the rack connection came up.
    void Instellingen(bool connected, bool parallel);

    // The test timer's tick: skipped while a page action or another tick waits for the rack.
    void TimerSpeedTimer();
    // The tick's work for the active page, for a page that starts its test with a tick at once.
    void TickWork();

private:
    void FocusChanged(QWidget* old, QWidget* now);

    QTabWidget* mPageControl;
    TCardContext mContext;
    std::vector<TCardPage*> mPages;
};

} // namespace cards
