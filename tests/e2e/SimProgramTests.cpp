// The whole program in this process, started with /sim as a newcomer would start it, and
// driven through its windows.
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "cards/qt/CardPages.h"
#include "cards/qt/PageBusWord.h"
#include "cards/qt/PageIok.h"
#include "platform/Tick.h"
#include "settings/qt/SettingsWindow.h"
#include "tests/widgets/DialogRecorder.h"

#include <QApplication>
#include <QLabel>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

struct TSeen {
    bool Connected = false;
    QString Page;
    std::vector<QColor> Lamps;
    QColor Kort;
    std::vector<QColor> IokLamps;
};

// Waits in the message loop until the set-up has run, then does `drive`, then ends the run.
void WhenConnected(TSeen& seen, std::function<void(app::TFormMorvelplint&)> drive) {
    app::SetStartedHook([&seen, drive](app::TFormMorvelplint& window) {
        auto* poll = new QTimer(&window);
        const std::uint32_t start = platform::GetTickCount();
        QObject::connect(poll, &QTimer::timeout, &window, [&seen, drive, &window, poll, start] {
            const bool done = bus::StatusForm->BusReady() && !bus::StatusForm->SetUpRunning() &&
                              !bus::StatusForm->TimerStatus->isActive();
            if (!done && !platform::TicksPassed(start, 20000))
                return;
            poll->stop();
            seen.Connected = done;
            seen.Page = window.PageControlTester->currentWidget()->objectName();
            if (done)
                drive(window);
            window.ExitClick();
        });
        poll->start(50);
    });
}

} // namespace

TEST(SimProgram, SckPageShowsTheSimulatedCardsReply) {
    char pattern[] = "/tmp/morvelplint-sim-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    qputenv("QT_QPA_PLATFORM", "offscreen");

    TSeen seen;
    WhenConnected(seen, [&seen](app::TFormMorvelplint& window) {
        cards::TBusWordPage& sck = *window.CardPages->PageSCK;
        sck.ButtonD[0]->click();      // place 1: a card that reports S2
        sck.ButtonVersturen->click(); // address strobe
        sck.ButtonD[0]->click();      // data 0
        sck.RadioGroupStrobe->Item(1)->click();
        sck.ButtonVersturen->click(); // data strobe: the card's feedback comes back
        for (auto* lamp : sck.ShapeS)
            seen.Lamps.push_back(lamp->BrushColor());
        seen.Kort = sck.ShapeKort->BrushColor();

        cards::TIokPage& iok = *window.CardPages->PageIOK;
        iok.SpinEditIOKadr->setValue(9); // the IO card, its test plug in
        iok.ButtonIOK[4]->click();
        iok.ButtonIOK[13]->click();
        iok.ButtonIOKVersturen->click();
        for (auto* lamp : iok.ShapeIOK)
            seen.IokLamps.push_back(lamp->BrushColor());
    });
    char name[] = "morvelplint";
    char sim[] = "/sim";
    char* argv[] = {name, sim, nullptr};
    const int result = app::RunMorvelplint(2, argv);

    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(seen.Connected) << "the simulated serial card did not come up";
    EXPECT_EQ(seen.Page, "TabSheetSCK");
    ASSERT_EQ(seen.Lamps.size(), 4u);
    EXPECT_EQ(seen.Lamps[0], QColor(255, 255, 255));
    EXPECT_EQ(seen.Lamps[1], QColor(255, 255, 0));
    EXPECT_EQ(seen.Lamps[2], QColor(255, 255, 255));
    EXPECT_EQ(seen.Lamps[3], QColor(255, 255, 255));
    EXPECT_EQ(seen.Kort, QColor(0, 128, 0));
    ASSERT_EQ(seen.IokLamps.size(), 16u);
    for (std::size_t n = 1; n <= 16; ++n)
        EXPECT_EQ(seen.IokLamps[n - 1],
                  n == 5 || n == 14 ? QColor(255, 255, 255) : QColor(255, 255, 0))
            << "input lamp " << n;
}

TEST(SimProgram, RackFileGivenAfterSimIsTheRackAndTheIntroPageSaysWhereItsCardsSit) {
    char pattern[] = "/tmp/morvelplint-sim-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::ofstream("rek.json") << R"({"cards": [{"place": 1, "kind": "io", "plug": false},
                                                {"places": [2, 3], "kind": "three-rail"}]})";

    TSeen seen;
    QString intro;
    WhenConnected(seen, [&](app::TFormMorvelplint& window) {
        intro = window.LabelIntroRek->text();
        cards::TBusWordPage& sck = *window.CardPages->PageSCK;
        sck.ButtonD[1]->click(); // place 2: the first three-rail card, the locomotive in 1
        sck.ButtonVersturen->click();
        sck.ButtonD[1]->click();
        sck.RadioGroupStrobe->Item(1)->click();
        sck.ButtonVersturen->click();
        for (auto* lamp : sck.ShapeS)
            seen.Lamps.push_back(lamp->BrushColor());
    });
    char name[] = "morvelplint";
    char sim[] = "/sim";
    char file[] = "rek.json";
    char* argv[] = {name, sim, file, nullptr};
    const int result = app::RunMorvelplint(3, argv);

    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(seen.Connected);
    EXPECT_EQ(intro,
              QString::fromUtf8("Gesimuleerd rek: 3BK 2, 3 \u00b7 IOK 1. Ctrl+R toont het rek."));
    ASSERT_EQ(seen.Lamps.size(), 4u);
    EXPECT_EQ(seen.Lamps[0], QColor(255, 255, 0)) << "section 1 occupied";
    EXPECT_EQ(seen.Lamps[1], QColor(255, 255, 255));
}

TEST(SimProgram, BadRackFileIsRefusedWithAMessageAndNothingStarts) {
    char pattern[] = "/tmp/morvelplint-sim-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    const std::string file = (folder / "rek.json").string();
    std::ofstream(file) << R"({"cards": [{"place": 70, "kind": "io"}]})";
    qputenv("QT_QPA_PLATFORM", "offscreen");

    TDialogRecorder dialogs;
    bool started = false;
    app::SetStartedHook([&](app::TFormMorvelplint& window) {
        started = true;
        window.ExitClick();
    });
    char name[] = "morvelplint";
    char sim[] = "/SIM";
    std::string given = file;
    char* argv[] = {name, sim, given.data(), nullptr};
    const int result = app::RunMorvelplint(3, argv);
    app::SetStartedHook(nullptr);
    std::filesystem::remove_all(folder);

    EXPECT_NE(result, 0);
    EXPECT_FALSE(started);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Icon, bus::TDialogs::TIcon::Error);
    EXPECT_EQ(dialogs.Messages[0].Text.toStdString(),
              file + ": cards[0].place: 70 ligt niet tussen 0 en 63");
}
