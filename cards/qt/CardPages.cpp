#include "cards/qt/CardPages.h"

#include "cards/CardTestState.h"
#include "cards/qt/Controls.h"
#include "cards/qt/PageBlock.h"
#include "cards/qt/PageBusWord.h"
#include "cards/qt/PageIok.h"
#include "cards/qt/PageLkkEvl.h"
#include "cards/qt/PageSlk.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace cards {

namespace {

QWidget* AddPage(QTabWidget* pageControl, const char* name, const QString& caption) {
    auto* page = new QWidget;
    page->setObjectName(name);
    pageControl->addTab(page, caption);
    return page;
}

bool Inside(const QWidget* widget, const QWidget* sheet) {
    return widget && (widget == sheet || sheet->isAncestorOf(widget));
}

} // namespace

TCardPages::TCardPages(bus::TBus& bus, TCardTestState& state,
                       std::function<bus::TSettings()> settings, QTabWidget* pageControl,
                       QTimer* timerSpeed, QObject* parent)
    : QObject(parent), mPageControl(pageControl),
      mContext{bus, state, std::move(settings), timerSpeed, pageControl, [this] { TickWork(); }} {
    TabSheetSCK = AddPage(pageControl, "TabSheetSCK", "SCK/ MCK");
    TabSheetPCK = AddPage(pageControl, "TabSheetPCK", "PCK");
    TabSheetSLK = AddPage(pageControl, "TabSheetSLK", "SLK");
    TabSheetXBK = AddPage(pageControl, "TabSheetXBK", "(?)BK");
    TabSheet3BK = AddPage(pageControl, "TabSheet3BK", "3BK");
    TabSheetLKK_EVL = AddPage(pageControl, "TabSheetLKK_EVL", "LKK_EVL");
    TabSheetIOK = AddPage(pageControl, "TabSheetIOK", "IOK");

    PageSCK = new TBusWordPage(mContext, TabSheetSCK, TBusWordPage::TKind::SCK);
    PagePCK = new TBusWordPage(mContext, TabSheetPCK, TBusWordPage::TKind::PCK);
    PageSLK = new TSlkPage(mContext, TabSheetSLK);
    PageXBK = new TXbkPage(mContext, TabSheetXBK);
    Page3BK = new T3bkPage(mContext, TabSheet3BK);
    PageLKK_EVL = new TLkkEvlPage(mContext, TabSheetLKK_EVL);
    PageIOK = new TIokPage(mContext, TabSheetIOK);
    mPages = {PageSCK, PagePCK, PageSLK, PageXBK, Page3BK, PageLKK_EVL, PageIOK};

    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget* old, QWidget* now) { FocusChanged(old, now); });
}

void TCardPages::Instellingen(bool connected, bool parallel) {
    PageSCK->ButtonVersturen->setEnabled(!parallel);
    PagePCK->ButtonVersturen->setEnabled(parallel);

    const bool testMode = mContext.Settings().Testen;
    for (QPushButton* button :
         {PageSLK->ButtonSLKVersturen, PageXBK->Button2BKControl, Page3BK->Button3BKControl,
          PageLKK_EVL->ButtonLKK_EVLversturen, PageIOK->ButtonIOKVersturen})
        button->setEnabled(!testMode && connected);
    for (TBusWordPage* page : {PageSCK, PagePCK}) {
        page->ButtonData->setEnabled(testMode);
        page->ButtonAdr->setEnabled(testMode);
        page->LabelData->setEnabled(testMode);
        page->LabelAdr->setEnabled(testMode);
        page->RadioGroupStrobe->setEnabled(!testMode);
        page->LabelD[5]->setText(testMode ? "D5/ Latch Strobe" : "D5");
    }
}

void TCardPages::TimerSpeedTimer() {
    RunTick(mContext.Bus, [this] { TickWork(); });
}

void TCardPages::TickWork() {
    QWidget* active = mPageControl->currentWidget();
    for (TCardPage* page : mPages) {
        if (page->Sheet != active)
            continue;
        const int interval = page->TickInterval();
        if (interval < 0)
            return;
        mContext.TimerSpeed->setInterval(interval);
        page->Tick();
        return;
    }
}

void TCardPages::FocusChanged(QWidget* old, QWidget* now) {
    if (!FocusMovedWithinWindow(old, now))
        return;
    for (TCardPage* page : mPages)
        if (Inside(old, page->Sheet) && !Inside(now, page->Sheet))
            RunPageAction(mContext.Bus, [page] { page->Exit(); });
}

} // namespace cards
