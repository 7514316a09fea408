#pragma once

#include "cards/CardModels.h"

#include <QObject>
#include <vector>

class QTabWidget;
class QWidget;

namespace cards {

class TBusWordPage;
class TCardPage;
class TIokPage;
class TLkkEvlPage;
class TSlkPage;
class TXbkPage;
class T3bkPage;

// The card pages of the main window's page control ("SCK/ MCK" to "IOK"): views on the card
// models, and their front-end on the desktop. It tells the models which page is active and
// which page the input focus left, and shows their messages in message boxes.
class TCardPages : public QObject, public TCardFrontEnd {
    Q_OBJECT
public:
    // Adds the seven card pages to `pageControl` after its "INTRO" page, over `models`.
    TCardPages(TCardModels& models, QTabWidget* pageControl, QObject* parent = nullptr);
    ~TCardPages() override;

    TCardModels& Models;

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

    // The page a tab sheet shows ("INTRO" for any other widget).
    TPage PageOf(const QWidget* sheet) const;

    // TCardFrontEnd
    void Message(TPage page, bool error, const std::string& text) override;
    void Error(const std::string& text) override;

private:
    void FocusChanged(QWidget* old, QWidget* now);

    QTabWidget* mPageControl;
    std::vector<TCardPage*> mPages;
};

} // namespace cards
