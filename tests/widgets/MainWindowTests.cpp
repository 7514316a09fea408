#include "DialogRecorder.h"
#include "Fonts.h"
#include "TestFiles.h"
#include "app/AboutBox.h"
#include "app/HelpBox.h"
#include "app/MainWindow.h"
#include "app/QtTimers.h"
#include "app/SplashScreen.h"
#include "bus/ParallelTransport.h"
#include "platform/Tick.h"
#include "serial/PortNames.h"
#include "session/RackSession.h"
#include "settings/qt/SettingsWindow.h"
#include "sim/SimParallelCard.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

using app::TFormMorvelplint;

namespace {

// The main window and the settings window as the program builds them, in a folder of the
// test's own, over the simulated parallel card.
class MainWindowTest : public ::testing::Test {
protected:
    sim::TTrainBus Rack;
    sim::TSimParallelCard ParallelCard{Rack};
    platform::TPortBackend* PreviousBackend = nullptr;
    serial::TPortNameSource PreviousSource;
    TDialogRecorder Dialogs;
    app::TQtTimers Timers;
    std::unique_ptr<session::TRackSession> Session;
    std::filesystem::path Folder;
    std::filesystem::path PreviousFolder;
    std::unique_ptr<TFormMorvelplint> Window;
    std::unique_ptr<bus::TStatusForm> Status;

    void SetUp() override {
        PreviousBackend = platform::SetPortBackend(&ParallelCard);
        bus::ParTransport().CreateWorker();
        PreviousSource = serial::SetPortNameSource([] {
            return std::vector<std::string>{"/tmp/morvelplint-no-port-a",
                                            "/tmp/morvelplint-no-port-b"};
        });
        Folder = MakeTempFolder("morvelplint-main");
        PreviousFolder = std::filesystem::current_path();
        std::filesystem::current_path(Folder);
    }

    void Create(const QStringList& arguments = {}) {
        // A program's windows over a session of their own.
        Status.reset();
        Window.reset();
        Session.reset();
        Session = std::make_unique<session::TRackSession>(Timers, session::TSessionOptions{});
        Window = std::make_unique<TFormMorvelplint>(*Session, Timers, arguments);
        Status = std::make_unique<bus::TStatusForm>(*Session, Timers.Timer("TimerStatus"),
                                                    Window.get());
    }

    void TearDown() override {
        Status.reset();
        Window.reset();
        Session.reset();
        bus::ParTransport().StopWorker();
        bus::ParTransport().ResetTransport(200);
        platform::SetPortBackend(PreviousBackend);
        serial::SetPortNameSource(PreviousSource);
        std::filesystem::current_path(PreviousFolder);
        std::filesystem::remove_all(Folder);
    }

    // Lets the message loop run until `done` or the time is up.
    template <typename F> bool RunUntil(F done, std::uint32_t ms) {
        const std::uint32_t start = platform::GetTickCount();
        while (!done()) {
            if (platform::TicksPassed(start, ms))
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    QString ActivePage() const { return Window->PageControlTester->currentWidget()->objectName(); }
};

struct TItem {
    const char* Caption;
    const char* Hint;
};

void ExpectMenu(QMenu* menu, const char* caption, const char* hint,
                const std::vector<TItem>& items) {
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), caption);
    EXPECT_EQ(menu->menuAction()->statusTip(), hint);
    std::vector<QAction*> actions;
    for (QAction* action : menu->actions())
        actions.push_back(action);
    ASSERT_EQ(actions.size(), items.size()) << caption;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].Caption == nullptr) {
            EXPECT_TRUE(actions[i]->isSeparator()) << caption << " item " << i;
            continue;
        }
        EXPECT_EQ(actions[i]->text(), items[i].Caption);
        EXPECT_EQ(actions[i]->statusTip(), items[i].Hint);
    }
}

} // namespace

TEST_F(MainWindowTest, WindowHasItsMenuSpeedBarAndEightPages) {
    Create();
    EXPECT_EQ(Window->windowTitle(), "Morvelplint");
    EXPECT_EQ(Window->centralWidget()->size(), QSize(612, 376));
    EXPECT_FALSE(Window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(Window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(Window->SpeedPanel->height(), 35);

    const QStringList captions{"INTRO", "SCK/ MCK", "PCK", "SLK", "(?)BK", "3BK", "LKK_EVL", "IOK"};
    const QStringList names{"TabSheetINTRO", "TabSheetSCK", "TabSheetPCK",     "TabSheetSLK",
                            "TabSheetXBK",   "TabSheet3BK", "TabSheetLKK_EVL", "TabSheetIOK"};
    ASSERT_EQ(Window->PageControlTester->count(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(Window->PageControlTester->tabText(i), captions[i]);
        EXPECT_EQ(Window->PageControlTester->widget(i)->objectName(), names[i]);
    }

    std::vector<QMenu*> menus;
    for (QAction* action : Window->menuBar()->actions())
        menus.push_back(action->menu());
    ASSERT_EQ(menus.size(), 3u);
    ExpectMenu(menus[0], "&Bestand", "File en Print commando's",
               {{"&Openen...", "Open file met initialisatie"},
                {"&Bewaar...", "Save file met initialisatie"},
                {"B&ewaar als...", "Save file as met initialisatie"},
                {nullptr, nullptr},
                {"Print &Fontsetup", "Font setup"},
                {"P&rint Setup", "Printer setup"},
                {"&Print", "Print instellingen"},
                {nullptr, nullptr},
                {"E&xit    (Alt+F4)", "Einde programma"}});
    ExpectMenu(menus[1], "&Instellingen", "Instellingen",
               {{"&Status...", "Status Instellingen"},
                {nullptr, nullptr},
                {"&LED uit", ""},
                {nullptr, nullptr},
                {"&Busmonitor...", "Alle woorden en antwoorden op de bus"},
                {"&Kaartdiagnose...", "Een kaart onbewaakt testen, met tellers en een diagnose"}});
    EXPECT_EQ(Window->Busmonitor->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_B));
    ExpectMenu(
        menus[2], "  &Help      ", "Help en About",
        {{"&Help", "Help instructies"}, {nullptr, nullptr}, {"&Info...", "About de auteurs"}});
    EXPECT_EQ(Window->HelpCommand->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_TRUE(Window->StopInstellingen->isEnabled()) << "\"&LED uit\" starts enabled";

    const std::vector<std::pair<QToolButton*, const char*>> speedButtons{
        {Window->SpeedButtonOpen, "Open"},
        {Window->SpeedButtonSave, "Save"},
        {Window->SpeedButtonPrint, "Print"},
        {Window->SpeedButtonPrintSetup, "Printer setup"},
        {Window->SpeedButtonFontSetup, "Font setup"},
        {Window->SpeedButtonMonitor, "Busmonitor"},
        {Window->SpeedButtonHelp, "Help"}};
    int lastX = -1;
    for (const auto& [button, hint] : speedButtons) {
        EXPECT_EQ(button->toolTip(), hint);
        EXPECT_GT(button->x(), lastX) << hint << " in order from left to right";
        lastX = button->x();
    }
    EXPECT_GT(Window->SpeedButtonHelp->x(), 550) << "at the right end";
    EXPECT_FALSE(Window->TimerSpeed->isActive());
    EXPECT_EQ(Window->TimerSpeed->interval(), 400);
}

TEST_F(MainWindowTest, WindowShowsTheIconTheDesktopShowsForTheProgram) {
    Create();
    const QIcon icon = Window->windowIcon();
    for (int size : {16, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        const QString file =
            QString(MORVELPLINT_ICON_BUILD_DIR "/%1x%1/apps/morvelplint.png").arg(size);
        const QImage installed(file);
        ASSERT_FALSE(installed.isNull()) << file.toStdString();
        EXPECT_EQ(icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  installed.convertToFormat(QImage::Format_ARGB32_Premultiplied))
            << size;
    }
}

TEST_F(MainWindowTest, DebugSwitchCountsOnlyAsFirstArgumentInAnyCase) {
    Create({"/DeBuG"});
    Window->show();
    EXPECT_TRUE(Status->DebugMode());
    Status.reset();
    Window.reset();

    Create({"/sim", "/debug"});
    Window->show();
    EXPECT_FALSE(Status->DebugMode());
}

TEST_F(MainWindowTest, StartsOnIntroAndLoadsTheSettingsFileOfTheFolder) {
    std::ofstream("Morvelplint.ini", std::ios::binary) << "[ZELM]\r\nMethode= Parallel\r\n";
    Create();
    Status->TimerStatus->stop();
    Window->show();
    EXPECT_EQ(ActivePage(), "TabSheetINTRO");
    EXPECT_TRUE(Status->RadioButtonParallel->isChecked());
    ASSERT_TRUE(Status->TimerStatus->isActive()) << "the load armed the set-up";
    ASSERT_TRUE(RunUntil([this] { return ActivePage() == "TabSheetPCK"; }, 5000));
    EXPECT_TRUE(Status->BusReady());
    EXPECT_FALSE(Window->StopInstellingen->isEnabled());
}

TEST_F(MainWindowTest, BadTestTimeAtStartIsShownAndTheWindowStillComesUp) {
    std::ofstream("Morvelplint.ini", std::ios::binary) << "[ZELM]\r\nTijd= veel\r\n";
    Create();
    Status->TimerStatus->stop();
    app::SplashScreen = new app::TSplashScreen;
    Window->show();
    EXPECT_TRUE(Window->isVisible());
    EXPECT_EQ(app::SplashScreen, nullptr);
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "'VEEL' is not a valid integer value");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, SplashStaysASecondAfterTheWindowBeganToShow) {
    Create();
    Status->TimerStatus->stop();
    app::SplashScreen = new app::TSplashScreen;
    app::SplashScreen->show();
    const std::uint32_t start = platform::GetTickCount();
    Window->show();
    EXPECT_GE(platform::GetTickCount() - start, 1000u);
    EXPECT_EQ(app::SplashScreen, nullptr);
    Status->TimerStatus->stop();
}

TEST_F(MainWindowTest, OpenLoadsOnlyAConfirmedChoice) {
    Create();
    Status->TimerStatus->stop();
    std::ofstream("other.ini", std::ios::binary) << "[ZELM]\r\nTijd= 700\r\n";

    Dialogs.OpenAnswers = {std::nullopt};
    Window->OpenClick();
    EXPECT_EQ(Dialogs.Proposed, QStringList{"Morvelplint.ini"});
    EXPECT_FALSE(Status->TimerStatus->isActive());

    Dialogs.OpenAnswers = {QString("other.ini")};
    Window->OpenClick();
    EXPECT_EQ(Status->SpinEditTestTijd->value(), 700);
    EXPECT_TRUE(Status->TimerStatus->isActive());
    Status->TimerStatus->stop();
}

TEST_F(MainWindowTest, SaveAsksOnceForANameAndACancelWritesNothing) {
    Create();
    Status->TimerStatus->stop();
    Dialogs.SaveAnswers = {std::nullopt};
    Window->SaveClick();
    EXPECT_EQ(Dialogs.Proposed, QStringList{"Morvelplint.ini"});
    EXPECT_FALSE(std::filesystem::exists("Morvelplint.ini"));

    Dialogs.SaveAnswers = {QString("mine.ini")};
    Window->SaveClick();
    EXPECT_TRUE(ReadAll("mine.ini").starts_with("[ZELM]\r\nMethode= Serieel\r\n"));

    Status->SpinEditTestTijd->setValue(850);
    Window->SaveClick(); // no dialog this time
    EXPECT_EQ(Dialogs.Proposed.size(), 2);
    EXPECT_NE(ReadAll("mine.ini").find("Tijd= 850\r\n"), std::string::npos);

    Dialogs.SaveAnswers = {QString("copy.ini")};
    Window->SaveasClick();
    EXPECT_EQ(Dialogs.Proposed.size(), 3);
    EXPECT_EQ(ReadAll("copy.ini"), ReadAll("mine.ini"));
}

TEST_F(MainWindowTest, SaveProposesTheOpenedFileName) {
    Create();
    Status->TimerStatus->stop();
    std::ofstream("opened.ini", std::ios::binary) << "[ZELM]\r\n";
    Dialogs.OpenAnswers = {QString("opened.ini")};
    Window->OpenClick();
    Status->TimerStatus->stop();
    Dialogs.SaveAnswers = {std::nullopt};
    Window->SaveClick();
    EXPECT_EQ(Dialogs.Proposed.last(), "opened.ini");
}

TEST_F(MainWindowTest, EveryCaptionFitsItsControlInEachCommonFont) {
    InEachCommonFont([this] {
        Create();
        Status->TimerStatus->stop();
        {
            app::TAboutBox about(Window.get());
            app::THelpBox help(Window.get());
            app::TSplashScreen splash;
            for (const QWidget* window : std::initializer_list<const QWidget*>{
                     Window.get(), Status.get(), &about, &help, &splash})
                ExpectEveryCaptionFits(*window);
        }
        Status.reset();
        Window.reset();
    });
}
