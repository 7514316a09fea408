#include "cards/qt/CardPages.h"

#include "bus/qt/Dialogs.h"
#include "cards/qt/Controls.h"
#include "cards/qt/PageBlock.h"
#include "cards/qt/PageBusWord.h"
#include "cards/qt/PageIok.h"
#include "cards/qt/PageLkkEvl.h"
#include "cards/qt/PageSlk.h"

#include <QApplication>
#include <QTabWidget>

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

TCardPages::TCardPages(TCardModels& models, QTabWidget* pageControl, QObject* parent)
    : QObject(parent), Models(models), mPageControl(pageControl) {
    TabSheetSCK = AddPage(pageControl, "TabSheetSCK", "SCK/ MCK");
    TabSheetPCK = AddPage(pageControl, "TabSheetPCK", "PCK");
    TabSheetSLK = AddPage(pageControl, "TabSheetSLK", "SLK");
    TabSheetXBK = AddPage(pageControl, "TabSheetXBK", "(?)BK");
    TabSheet3BK = AddPage(pageControl, "TabSheet3BK", "3BK");
    TabSheetLKK_EVL = AddPage(pageControl, "TabSheetLKK_EVL", "LKK_EVL");
    TabSheetIOK = AddPage(pageControl, "TabSheetIOK", "IOK");

    PageSCK = new TBusWordPage(this, TabSheetSCK, models.Sck);
    PagePCK = new TBusWordPage(this, TabSheetPCK, models.Pck);
    PageSLK = new TSlkPage(this, TabSheetSLK, models.Slk);
    PageXBK = new TXbkPage(this, TabSheetXBK, models.Xbk);
    Page3BK = new T3bkPage(this, TabSheet3BK, models.Bk3);
    PageLKK_EVL = new TLkkEvlPage(this, TabSheetLKK_EVL, models.LkkEvl);
    PageIOK = new TIokPage(this, TabSheetIOK, models.Iok);
    mPages = {PageSCK, PagePCK, PageSLK, PageXBK, Page3BK, PageLKK_EVL, PageIOK};

    connect(pageControl, &QTabWidget::currentChanged, this,
            [this] { Models.SetActivePage(PageOf(mPageControl->currentWidget())); });
    Models.SetActivePage(PageOf(pageControl->currentWidget()));
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget* old, QWidget* now) { FocusChanged(old, now); });
    Models.SetFrontEnd(this);
}

TCardPages::~TCardPages() {
    Models.SetFrontEnd(nullptr);
    // The views leave their models first.
    for (TCardPage* page : mPages)
        delete page;
}

void TCardPages::Message(TPage page, bool error, const std::string& text) {
    QWidget* sheet = mPageControl;
    for (const TCardPage* view : mPages)
        if (view->Model().Page() == page)
            sheet = view->Sheet;
    bus::Dialogs().Message(sheet, error ? bus::TDialogs::TIcon::Error : bus::TDialogs::TIcon::None,
                           bus::ProgramTitle, QString::fromStdString(text), QString());
}

void TCardPages::Error(const std::string& text) {
    bus::ShowGeneralError(QString::fromLocal8Bit(text.c_str()));
}

TPage TCardPages::PageOf(const QWidget* sheet) const {
    for (const TCardPage* page : mPages)
        if (page->Sheet == sheet)
            return page->Model().Page();
    return TPage::Intro;
}

void TCardPages::FocusChanged(QWidget* old, QWidget* now) {
    if (!FocusMovedWithinWindow(old, now))
        return;
    for (const TCardPage* page : mPages)
        if (Inside(old, page->Sheet) && !Inside(now, page->Sheet))
            Models.LeavePage(page->Model().Page());
}

} // namespace cards
