#include "cards/CardPages.h"

#include "bus/UnitStatus.h"
#include "cards/CardTestState.h"
#include "cards/Controls.h"
#include "cards/PageBlock.h"
#include "cards/PageBusWord.h"
#include "cards/PageIok.h"
#include "cards/PageLkkEvl.h"
#include "cards/PageSlk.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
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

template <typename T> void SetEnabled(QObject* root, const char* name, bool enabled) {
    if (auto* control = root->findChild<T*>(name))
        control->setEnabled(enabled);
}

bool Inside(const QWidget* widget, const QWidget* sheet) {
    return widget && (widget == sheet || sheet->isAncestorOf(widget));
}

} // namespace

TCardPages::TCardPages(QTabWidget* pageControl, QTimer* timerSpeed, QObject* parent)
    : QObject(parent), mPageControl(pageControl) {
    mContext.TimerSpeed = timerSpeed;
    mContext.PageControl = pageControl;
    mContext.TickNow = [this] { TickWork(); };

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
    QObject* root = mPageControl;
    SetEnabled<QAbstractButton>(root, "ButtonSCKVersturen", !parallel);
    SetEnabled<QAbstractButton>(root, "ButtonPCKVersturen", parallel);

    const bool testMode = bus::StatusForm && bus::StatusForm->CheckBoxTesten->isChecked();
    for (const char* name : {"ButtonSLKVersturen", "Button2BKControl", "Button3BKControl",
                             "ButtonLKK_EVLversturen", "ButtonIOKVersturen"})
        SetEnabled<QAbstractButton>(root, name, !testMode && connected);
    for (const char* name : {"ButtonSCKData", "ButtonSCKAdr", "ButtonPCKData", "ButtonPCKAdr"})
        SetEnabled<QAbstractButton>(root, name, testMode);
    for (const char* name : {"LabelSCKData", "LabelSCKAdr", "LabelPCKData", "LabelPCKadr"})
        SetEnabled<QLabel>(root, name, testMode);
    for (const char* name : {"RadioGroupSCKStrobe", "RadioGroupPCKStrobe"})
        SetEnabled<QGroupBox>(root, name, !testMode);
    for (const char* name : {"LabelSCKD5", "LabelPCKD5"})
        if (auto* label = root->findChild<QLabel*>(name))
            label->setText(testMode ? "D5/ Latch Strobe" : "D5");
}

void TCardPages::TimerSpeedTimer() {
    RunTick([this] { TickWork(); });
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
            RunPageAction([page] { page->Exit(); });
}

} // namespace cards
