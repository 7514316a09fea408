// The about, help and splash windows, and the main window's help and about commands.
#include "DialogRecorder.h"
#include "Fonts.h"
#include "app/AboutBox.h"
#include "app/HelpBox.h"
#include "app/MainWindow.h"
#include "app/QtTimers.h"
#include "app/SplashScreen.h"
#include "bus/ParallelTransport.h"
#include "cards/qt/CardPages.h"
#include "platform/Tick.h"
#include "serial/PortNames.h"
#include "session/RackSession.h"
#include "settings/qt/SettingsWindow.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QFontMetrics>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <QtMath>
#include <gtest/gtest.h>

using app::TAboutBox;
using app::TFileVersion;
using app::THelpBox;

namespace {

template <typename F> bool RunUntil(F done, std::uint32_t ms) {
    const std::uint32_t start = platform::GetTickCount();
    while (!done()) {
        if (platform::TicksPassed(start, ms))
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

const std::vector<std::pair<int, QString>> Topics{{-1, "Algemeen"}, {1, "SCK"},   {2, "PCK"},
                                                  {3, "SLK"},       {4, "(?)BK"}, {5, "3BK"},
                                                  {6, "LKK_EVL"},   {7, "IOK"}};

QTextBlock FindLine(const THelpBox& help, const QString& text) {
    for (QTextBlock block = help.MemoHelp->document()->begin(); block.isValid();
         block = block.next())
        if (block.text() == text)
            return block;
    return {};
}

int Top(const THelpBox& help, const QTextBlock& block) {
    return qRound(help.MemoHelp->document()->documentLayout()->blockBoundingRect(block).top());
}

} // namespace

// ---- about window ----

TEST(AboutBox, VersionLineNamesTheProgramsVersion) {
    TAboutBox about(TFileVersion{6, 1, 0, 177});
    EXPECT_EQ(about.LabelVersion->text(), "Version 6.1.0.177, dd: 20 maart 2009");
    TAboutBox none(std::nullopt);
    EXPECT_EQ(none.LabelVersion->text(), "Version , dd: 20 maart 2009");
    TAboutBox zero(TFileVersion{0, 0, 0, 0});
    EXPECT_EQ(zero.LabelVersion->text(), "Version , dd: 20 maart 2009");
    TAboutBox high(TFileVersion{65535, 0, 0, 1});
    EXPECT_EQ(high.LabelVersion->text(), "Version 65535.0.0.1, dd: 20 maart 2009");
}

TEST(AboutBox, VersionTextsOfTheBuildAreReadAsFourSixteenBitParts) {
    const auto full = app::ParseFileVersion("6.1.0.177");
    ASSERT_TRUE(full);
    EXPECT_EQ(app::VersionText(full), "6.1.0.177");
    EXPECT_EQ(app::VersionText(app::ParseFileVersion("2.5")), "2.5.0.0");
    for (const char* bad : {"", "1.2.3.4.5", "1.x", "65536.0", " 1.2", "-1.2", "1..2", "+3"})
        EXPECT_FALSE(app::ParseFileVersion(bad)) << '"' << bad << '"';
    EXPECT_EQ(app::VersionText(app::ParseFileVersion("0.0.0.0")), "");

    // The program's own version is the one the build sets, in all four parts.
    ASSERT_EQ(QString(MORVELPLINT_VERSION).count('.'), 3);
    TAboutBox about;
    EXPECT_EQ(about.LabelVersion->text(),
              QString("Version %1, dd: 20 maart 2009").arg(MORVELPLINT_VERSION));
}

TEST(AboutBox, WindowHasItsSizeFrameAndPictures) {
    TAboutBox about(std::nullopt);
    EXPECT_EQ(about.windowTitle(), "About morvelplint");
    EXPECT_EQ(about.size(), QSize(428, 337));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_EQ(about.font().pixelSize(), 13);
    EXPECT_EQ(about.PanelAbout->geometry(), QRect(10, 10, 407, 252));
    EXPECT_EQ(about.LabelName->text(), "Morvelplint");
    EXPECT_EQ(about.LabelName->font().pixelSize(), 23);
    EXPECT_TRUE(about.LabelName->font().bold());
    EXPECT_EQ(about.ImageZELM->pixmap().size(), QSize(109, 77));
    EXPECT_GT(about.ImageZELM->x(), about.PanelAbout->width() / 2) << "at the upper right";
    EXPECT_TRUE(about.DisclaimerA->wordWrap());
    EXPECT_TRUE(about.DisclaimerB->wordWrap());
    for (QLabel* label : {about.LabelRechten, about.DisclaimerA, about.DisclaimerB,
                          about.LabelAuteur1, about.LabelAuteur2}) {
        EXPECT_FALSE(label->text().isEmpty()) << label->objectName().toStdString();
        EXPECT_LE(label->geometry().bottom(), about.PanelAbout->height());
    }
    EXPECT_EQ(about.OKButton->text(), "OK");
    EXPECT_TRUE(about.OKButton->isDefault());
    EXPECT_GT(about.OKButton->y(), about.AnimationTop() + 32) << "below the animation";
    EXPECT_EQ(about.TimerAbout->interval(), 50);
    EXPECT_FALSE(about.TimerAbout->isActive());
    ASSERT_EQ(about.ImageListAbout.size(), 2);
    for (const QPixmap& picture : about.ImageListAbout)
        EXPECT_EQ(picture.size(), QSize(32, 32));
    EXPECT_NE(about.ImageListAbout[0].toImage(), about.ImageListAbout[1].toImage());
}

TEST(AboutBox, PictureEntersFromTheRightAndTurnsBeyondBothEdges) {
    TAboutBox about(std::nullopt);
    const int width = about.frameGeometry().width();
    EXPECT_EQ(about.AnimationX(), width);
    EXPECT_EQ(about.PictureShown(), -1);

    // The first tick turns it at once.
    about.TimerAboutTimer();
    EXPECT_EQ(about.AnimationX(), width + 4);
    EXPECT_TRUE(about.MovingLeft());
    EXPECT_EQ(about.PictureShown(), 0);

    // To the left edge, 4 pixels a tick, with picture 1, until it is out of sight.
    int ticks = 0;
    while (about.MovingLeft() && ticks < 1000) {
        about.TimerAboutTimer();
        ++ticks;
        EXPECT_EQ(about.PictureShown(), 1);
    }
    EXPECT_EQ(about.AnimationX(), -36) << "turned on the first step below -32";
    EXPECT_EQ(ticks, (width + 4 + 36) / 4);

    // Back to the right with picture 0, turning on the first step beyond the width.
    about.TimerAboutTimer();
    EXPECT_EQ(about.AnimationX(), -32);
    EXPECT_EQ(about.PictureShown(), 0);
    ticks = 1;
    while (!about.MovingLeft() && ticks < 1000) {
        about.TimerAboutTimer();
        ++ticks;
        EXPECT_EQ(about.PictureShown(), 0);
    }
    EXPECT_EQ(about.AnimationX(), width + 4);
    EXPECT_EQ(ticks, (width + 4 + 36) / 4);
    about.TimerAboutTimer();
    EXPECT_EQ(about.AnimationX(), width);
    EXPECT_EQ(about.PictureShown(), 1);
}

TEST(AboutBox, PicturePaintsWhereTheAnimationStands) {
    TAboutBox about(std::nullopt);
    for (int i = 0; i < 30; ++i)
        about.TimerAboutTimer();
    const int x = about.AnimationX();
    ASSERT_GT(x, 0);
    const QImage shot = about.grab().toImage();
    const QImage picture = about.ImageListAbout[1].toImage().convertToFormat(shot.format());
    // The picture's wheels (opaque pixels) stand where the picture was drawn.
    int matching = 0;
    int opaque = 0;
    for (int py = 0; py < 32; ++py)
        for (int px = 0; px < 32; ++px)
            if (qAlpha(about.ImageListAbout[1].toImage().pixel(px, py)) == 255) {
                ++opaque;
                matching +=
                    shot.pixel(x + px, about.AnimationTop() + py) == picture.pixel(px, py);
            }
    ASSERT_GT(opaque, 100);
    EXPECT_EQ(matching, opaque);
}

TEST(AboutBox, AnimationStopsWhileInactiveAndGoesOnFromTheSamePlace) {
    TAboutBox about(std::nullopt);
    about.show();
    about.activateWindow();
    ASSERT_TRUE(RunUntil([&] { return about.isActiveWindow(); }, 3000));
    EXPECT_TRUE(about.TimerAbout->isActive());
    ASSERT_TRUE(RunUntil([&] { return about.AnimationX() < 400; }, 5000)) << "it runs";

    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(RunUntil([&] { return other.isActiveWindow(); }, 3000));
    EXPECT_FALSE(about.TimerAbout->isActive());
    const int x = about.AnimationX();
    RunUntil([] { return false; }, 300);
    EXPECT_EQ(about.AnimationX(), x) << "no ticks while inactive";

    about.activateWindow();
    ASSERT_TRUE(RunUntil([&] { return about.isActiveWindow(); }, 3000));
    ASSERT_TRUE(RunUntil([&] { return about.AnimationX() != x; }, 3000));
    EXPECT_EQ(about.AnimationX(), x - 4) << "resumed from where it stood";
}

// ---- help window ----

TEST(HelpBox, WindowHasItsSizeMemoAndScrollBar) {
    THelpBox help;
    EXPECT_EQ(help.windowTitle(), "Help");
    EXPECT_EQ(help.height(), 349);
    EXPECT_GE(help.width(), 496);
    EXPECT_EQ(help.minimumSize(), help.maximumSize());
    EXPECT_TRUE(help.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(help.PanelHelp->height(), 305);
    EXPECT_EQ(help.PanelHelp->width(), help.width() - 21) << "the panel takes the width";
    EXPECT_EQ(help.MemoHelp->width(), help.PanelHelp->width());
    EXPECT_TRUE(help.MemoHelp->isReadOnly());
    EXPECT_EQ(help.MemoHelp->lineWrapMode(), QTextEdit::NoWrap);
    EXPECT_EQ(help.ScrollBarVertHelp->minimum(), 0);
    EXPECT_EQ(help.ScrollBarVertHelp->singleStep(), 8);
    EXPECT_EQ(help.ScrollBarVertHelp->pageStep(), 300);
    EXPECT_EQ(help.ScrollBarVertHelp->height(), 303);
    EXPECT_EQ(help.ScrollBarVertHelp->geometry().right(), help.width() - 1) << "right edge";
    EXPECT_EQ(help.OKBtn->text(), "OK");
    EXPECT_TRUE(help.OKBtn->isDefault());
    EXPECT_EQ(help.HelpTopic, -1);
}

TEST(HelpBox, TextHasItsSectionsInOrderEachHeadedOnALineOfItsOwn) {
    THelpBox help;
    const QStringList order{"Algemeen", "Init", "SCK",     "PCK", "SLK",
                            "(?)BK",    "3BK",  "LKK_EVL", "IOK"};
    QStringList headings;
    const QTextDocument* text = help.MemoHelp->document();
    for (QTextBlock block = text->begin(); block.isValid(); block = block.next())
        if (order.contains(block.text()))
            headings << block.text();
    EXPECT_EQ(headings, order);
    EXPECT_FALSE(text->begin().text().isEmpty()) << "a title line first";
}

TEST(HelpBox, EveryLineFitsTheMemoAtThePitchOfItsFont) {
    InEachCommonFont([] {
        THelpBox help;
        const QTextDocument* text = help.MemoHelp->document();
        QFont bold = help.MemoHelp->font();
        bold.setBold(true);
        EXPECT_GE(help.LinePitch(), QFontMetrics(help.MemoHelp->font()).lineSpacing());
        EXPECT_GE(help.LinePitch(), QFontMetrics(bold).lineSpacing()) << "bold lines fit";
        const int room = help.PanelHelp->contentsRect().width() - 2 * THelpBox::TextMargin;
        for (QTextBlock block = text->begin(); block.isValid(); block = block.next()) {
            const QRectF line = text->documentLayout()->blockBoundingRect(block);
            EXPECT_EQ(qRound(line.top()),
                      THelpBox::TextMargin + block.blockNumber() * help.LinePitch())
                << block.blockNumber();
            ASSERT_GT(block.layout()->lineCount(), 0);
            EXPECT_LE(block.layout()->lineAt(0).naturalTextWidth(), room)
                << "line " << block.blockNumber() << ": " << block.text().toStdString();
        }
        // The whole text can be scrolled into the panel, down to its last line.
        const int shown = help.PanelHelp->contentsRect().height();
        const int height = qCeil(text->size().height());
        EXPECT_GE(help.MemoHelp->height(), height);
        EXPECT_GE(help.ScrollBarVertHelp->maximum() + shown, height);
        EXPECT_GE(help.MemoHelp->height(), help.ScrollBarVertHelp->maximum() + shown);
    });
}

TEST(HelpBox, EachTopicShowsItsHeadingAtTheTop) {
    InEachCommonFont([] {
        THelpBox help;
        for (const auto& [topic, heading] : Topics) {
            help.HelpTopic = topic;
            help.show();
            const int position = help.ScrollBarVertHelp->value();
            EXPECT_EQ(position, help.TopicPosition(topic, -1));
            EXPECT_EQ(help.MemoHelp->y(), -position);

            const QTextBlock line = FindLine(help, heading);
            ASSERT_TRUE(line.isValid()) << heading.toStdString();
            const int top = Top(help, line);
            if (topic == -1) {
                EXPECT_EQ(position, 0);
                // At the top the title line comes first, then "Algemeen".
                EXPECT_LT(top + help.LinePitch(), 303);
            } else {
                // The heading stands where the title line stands at the top.
                EXPECT_EQ(top - position, THelpBox::TextMargin) << heading.toStdString();
                EXPECT_LE(position, help.ScrollBarVertHelp->maximum()) << heading.toStdString();
                EXPECT_TRUE(line.previous().text().isEmpty())
                    << "only a blank line above " << heading.toStdString();
            }
            help.hide();
        }
    });
}

TEST(HelpBox, OtherTopicsKeepThePosition) {
    THelpBox help;
    help.ScrollBarVertHelp->setValue(1000);
    for (const int topic : {0, 8, -2, 100}) {
        help.HelpTopic = topic;
        help.show();
        EXPECT_EQ(help.ScrollBarVertHelp->value(), 1000) << topic;
        help.hide();
    }
}

TEST(HelpBox, ScrollBarAndWheelMoveTheMemoWhichNeverScrollsItself) {
    THelpBox help;
    help.show();
    help.ScrollBarVertHelp->setValue(808);
    EXPECT_EQ(help.MemoHelp->pos(), QPoint(0, -808));
    EXPECT_EQ(help.MemoHelp->verticalScrollBar()->value(), 0);

    QWheelEvent down(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(help.MemoHelp->viewport(), &down);
    EXPECT_GT(help.ScrollBarVertHelp->value(), 808);
    EXPECT_EQ(help.MemoHelp->y(), -help.ScrollBarVertHelp->value());
    EXPECT_EQ(help.MemoHelp->verticalScrollBar()->value(), 0);
}

TEST(HelpBox, OkHidesTheWindowWhichKeepsItsPlace) {
    THelpBox help;
    help.HelpTopic = 5;
    help.show();
    help.move(help.pos() + QPoint(17, 9));
    const QPoint place = help.pos();
    help.OKBtn->click();
    EXPECT_FALSE(help.isVisible());
    const int section3BK = help.TopicPosition(5, -1);
    EXPECT_EQ(help.ScrollBarVertHelp->value(), section3BK);
    help.HelpTopic = 0;
    help.show();
    EXPECT_EQ(help.pos(), place);
    EXPECT_EQ(help.ScrollBarVertHelp->value(), section3BK);
}

// ---- splash window ----

TEST(SplashScreen, HasItsSizePictureAndName) {
    app::TSplashScreen splash;
    EXPECT_EQ(splash.size(), QSize(285, 217));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    const auto* picture = splash.findChild<QLabel*>("ImageSplash");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->size(), QSize(279, 211));
    EXPECT_EQ(picture->pixmap().size(), QSize(279, 211)) << "drawn at its size, not stretched";
    const auto* name = splash.findChild<QLabel*>("LabelAppName");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), "Morvelplint");
    EXPECT_EQ(name->font().pixelSize(), 19);
    const QImage shot = splash.grab().toImage();
    const QRect place = name->geometry().translated(name->parentWidget()->pos());
    EXPECT_GT(place.left(), 142);
    EXPECT_GT(place.top(), 108);
    EXPECT_EQ(shot.pixelColor(place.left() + 1, place.top() + 1), QColor("green"))
        << "green behind the name";
}

// ---- the main window's help and about commands ----

namespace {

class ShellCommandTest : public ::testing::Test {
protected:
    TDialogRecorder Dialogs;
    serial::TPortNameSource PreviousSource;
    app::TQtTimers Timers;
    std::unique_ptr<session::TRackSession> Session;
    std::unique_ptr<app::TFormMorvelplint> Window;
    std::unique_ptr<TAboutBox> About;
    std::unique_ptr<THelpBox> Help;
    std::unique_ptr<bus::TStatusForm> Status;

    void SetUp() override {
        PreviousSource = serial::SetPortNameSource([] { return std::vector<std::string>{"COM1"}; });
        bus::ParTransport().CreateWorker();
        Session = std::make_unique<session::TRackSession>(Timers, session::TSessionOptions{});
        Window = std::make_unique<app::TFormMorvelplint>(*Session, Timers, QStringList());
        About = std::make_unique<TAboutBox>(Window.get());
        Help = std::make_unique<THelpBox>(Window.get());
        Status = std::make_unique<bus::TStatusForm>(*Session, Timers.Timer("TimerStatus"),
                                                    Window.get());
        Status->TimerStatus->stop();
    }

    void TearDown() override {
        Status.reset();
        Help.reset();
        About.reset();
        Window.reset();
        Session.reset();
        bus::ParTransport().StopWorker();
        serial::SetPortNameSource(PreviousSource);
    }

    void ShowPage(QWidget* page) { Window->PageControlTester->setCurrentWidget(page); }
};

} // namespace

TEST_F(ShellCommandTest, EveryPageHasItsHelpTopic) {
    const cards::TCardPages& pages = *Window->CardPages;
    const std::vector<std::pair<QWidget*, int>> expected{
        {Window->TabSheetINTRO, -1}, {pages.TabSheetSCK, 1}, {pages.TabSheetPCK, 2},
        {pages.TabSheetSLK, 3},      {pages.TabSheetXBK, 4}, {pages.TabSheet3BK, 5},
        {pages.TabSheetLKK_EVL, 6},  {pages.TabSheetIOK, 7}};
    for (const auto& [page, topic] : expected) {
        ShowPage(page);
        EXPECT_EQ(Window->ActivePageHelpTopic(), topic) << page->objectName().toStdString();
    }
}

TEST_F(ShellCommandTest, HelpAfterOkShowsTheNewPagesSectionWhileShowingItOnlyComesForward) {
    ShowPage(Window->CardPages->TabSheet3BK);
    Window->HelpCommand->trigger();
    ASSERT_TRUE(Help->isVisible());
    const int section3BK = Help->TopicPosition(5, -1);
    ASSERT_GT(section3BK, 0);
    EXPECT_EQ(Help->ScrollBarVertHelp->value(), section3BK);

    // Another page while the help shows: it stays at "3BK".
    ShowPage(Window->CardPages->TabSheetSCK);
    Window->HelpCommand->trigger();
    EXPECT_TRUE(Help->isVisible());
    EXPECT_EQ(Help->ScrollBarVertHelp->value(), section3BK);

    // Hidden by OK, then F1 on "INTRO": at the top.
    Help->OKBtn->click();
    ASSERT_FALSE(Help->isVisible());
    ShowPage(Window->TabSheetINTRO);
    Window->HelpCommand->trigger();
    EXPECT_TRUE(Help->isVisible());
    EXPECT_EQ(Help->ScrollBarVertHelp->value(), 0);

    Help->OKBtn->click();
    ShowPage(Window->CardPages->TabSheetIOK);
    Window->SpeedButtonHelp->click();
    EXPECT_TRUE(Help->isVisible());
    EXPECT_EQ(Help->ScrollBarVertHelp->value(), Help->TopicPosition(7, -1));
}

TEST_F(ShellCommandTest, InfoShowsTheAboutWindowModally) {
    bool modal = false;
    bool shown = false;
    QTimer::singleShot(0, About.get(), [&] {
        shown = About->isVisible();
        modal = About->isModal();
        About->OKButton->click();
    });
    // Whatever happens above, the window does not stay open.
    QTimer::singleShot(5000, About.get(), [&] { About->reject(); });
    Window->About->trigger();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(modal);
    EXPECT_FALSE(About->isVisible());
    EXPECT_EQ(About->result(), QDialog::Accepted);
}
