// The views of the latch card page and the IO card page ("LKK_EVL", "IOK"): their controls
// by name, tag and place, the models' state on them and the clicks forwarded, a square wave
// that goes on beside other windows and stops when the input focus leaves the page, and the
// card diagnostics window. What the models do is tests/unit/LatchIoModelTests.cpp's.
#include "DialogRecorder.h"
#include "ProgramWindows.h"
#include "TestFiles.h"
#include "app/CardDiagnostics.h"
#include "app/MainWindow.h"
#include "cards/qt/CardPages.h"
#include "cards/qt/Controls.h"
#include "cards/qt/PageBusWord.h"
#include "cards/qt/PageIok.h"
#include "cards/qt/PageLkkEvl.h"
#include "settings/qt/SettingsWindow.h"
#include "sim/SimRack.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

using cards::LampWhite;
using cards::LampYellow;

namespace {

// The program's windows over the rack that /sim gives (the latch card in place 5, the IO
// card in place 9), connected once over the simulated serial card.
struct TWorld {
    sim::TSimRack Rack;
    TProgramWindows Windows{Rack.ParallelCard, Rack.SerialCard->SlavePath()};
    std::unique_ptr<app::TFormMorvelplint>& Window = Windows.Window;
    std::unique_ptr<bus::TStatusForm>& Status = Windows.Status;

    TWorld() { Status->TimerStatusTimer(); }
    sim::TSerialCard& SerialCardOf() { return *Rack.SerialCard; }
};

class LatchIoPagesTest : public TProgramWindowsTest<TWorld> {
protected:
    cards::TLkkEvlPage& Lkk = *Pages.PageLKK_EVL;
    cards::TIokPage& Iok = *Pages.PageIOK;

    void SetUp() override {
        TProgramWindowsTest::SetUp();
        if (HasFatalFailure())
            return;
        World->Window->Instellingen(true, false);
        Lkk.SpinEditLKK_EVLadr->setValue(sim::TSimRack::LatchPlace);
        Iok.SpinEditIOKadr->setValue(sim::TSimRack::IoPlace);
        MarkNow();
    }

    void TearDown() override {
        TimerSpeed.stop();
        if (Lkk.CheckBoxLKK_EVLTest->isChecked())
            Lkk.CheckBoxLKK_EVLTest->click();
        if (Iok.CheckBoxIOKTest->isChecked())
            Iok.CheckBoxIOKTest->click();
    }
};

} // namespace

TEST_F(LatchIoPagesTest, PagesCarryTheirControlsByName) {
    QWidget* sheet = Pages.TabSheetLKK_EVL;
    for (const char* name :
         {"SpinEditLKK_EVLadr", "LabelLKK_EVLadr", "LabelLKKAdres", "RadioGroupEVLSelect",
          "ButtonLKK_EVLversturen", "CheckBoxLKK_EVLTest", "ButtonLKK_EVL64", "LabelLKK_EVLPen64"})
        EXPECT_NE(sheet->findChild<QWidget*>(name), nullptr) << name;
    EXPECT_EQ(Lkk.SpinEditLKK_EVLadr->maximum(), 31);
    EXPECT_EQ(Lkk.ButtonLKK_EVL[16]->property("Tag").toInt(), 1);
    EXPECT_EQ(Lkk.ButtonLKK_EVL[63]->property("Tag").toInt(), 0x8000);
    for (int i = 0; i < 63; ++i) {
        QWidget* next = Lkk.ButtonLKK_EVL[i]->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, Lkk.ButtonLKK_EVL[i + 1]) << "tab order after pin " << i + 1;
    }
    EXPECT_EQ(sheet->findChild<QLabel*>("LabelLKK_EVLPen17")->text(), "17");

    for (const char* name :
         {"SpinEditIOKadr", "ButtonIOKVersturen", "CheckBoxIOKTest", "ButtonIOK16", "ShapeIOK16"})
        EXPECT_NE(Pages.TabSheetIOK->findChild<QWidget*>(name), nullptr) << name;
    EXPECT_EQ(Iok.SpinEditIOKadr->maximum(), 63);
    const int bits[] = {12, 8, 13, 9, 14, 10, 15, 11, 4, 0, 5, 1, 6, 2, 7, 3};
    for (int n = 0; n < 16; ++n) {
        EXPECT_EQ(cards::Tag(Iok.ButtonIOK[n]), 1 << bits[n]) << "pin " << n + 1;
        EXPECT_EQ(cards::Tag(Iok.ShapeIOK[n]), 1 << bits[n]) << "pin " << n + 1;
    }
    for (QWidget* page : {Pages.TabSheetLKK_EVL, Pages.TabSheetIOK})
        for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isVisibleTo(page)) {
                EXPECT_TRUE(QRect(0, 0, 606, 315).contains(child->geometry()))
                    << child->objectName().toStdString();
            }
        }
}

TEST_F(LatchIoPagesTest, TheLatchAndIoPagesShowTheirModelsAndForwardTheClicks) {
    cards::TLkkEvlModel& lkk = Pages.Models.LkkEvl;
    Lkk.ButtonLKK_EVL[16]->click(); // pin 17
    EXPECT_TRUE(lkk.Pin(17));
    EXPECT_EQ(Lkk.ButtonLKK_EVL[16]->text(), "1");
    Lkk.RadioGroupEVLSelect->Item(3)->click();
    EXPECT_EQ(lkk.View().Evl, 3);
    Lkk.SpinEditLKK_EVLadr->setValue(7);
    EXPECT_EQ(lkk.View().Address, 7);
    Lkk.CheckBoxLKK_EVLTest->click();
    EXPECT_EQ(Lkk.ButtonLKK_EVLversturen->text(), "Testen");
    Lkk.CheckBoxLKK_EVLTest->click();
    EXPECT_EQ(Lkk.ButtonLKK_EVLversturen->text(), "Versturen");
    Lkk.ButtonLKK_EVL[16]->click();
    Lkk.RadioGroupEVLSelect->Item(0)->click();

    Iok.ButtonIOK[0]->click(); // pin 1
    Iok.ButtonIOK[9]->click(); // pin 10
    EXPECT_EQ(Pages.Models.Iok.Outputs(), 0x1001);
    EXPECT_EQ(Iok.ButtonIOK[9]->text(), "1");
    Iok.ButtonIOKVersturen->click();
    ASSERT_TRUE(SerialCard.WaitForReceived(Mark + 5, 5000));
    EXPECT_EQ(Sent(), (std::vector<int>{0x89, 0x71, 0x60, 0x50, 0x41}));
    for (int pin = 1; pin <= 16; ++pin)
        EXPECT_EQ(Iok.ShapeIOK[pin - 1]->BrushColor(), pin == 1 || pin == 10 ? LampWhite : LampYellow)
            << "the inputs mirror the outputs through the plug, pin " << pin;
    Iok.ButtonIOK[0]->click();
    Iok.ButtonIOK[9]->click();
}

TEST_F(LatchIoPagesTest, SquareWaveGoesOnBesideOtherWindowsAndLeavingThePageStopsIt) {
    World->Window->show();
    Status.TimerStatus->stop();
    QApplication::setActiveWindow(World->Window.get());
    World->Window->PageControlTester->setCurrentWidget(Pages.TabSheetIOK);
    Status.SpinEditTestTijd->setValue(100);
    Iok.CheckBoxIOKTest->click();
    Iok.ButtonIOKVersturen->setFocus();
    QApplication::processEvents();
    Iok.ButtonIOKVersturenClick();
    ASSERT_TRUE(TimerSpeed.isActive());
    ExpectTestGoesOnBesideOtherWindows(*World->Window, SerialCard);
    EXPECT_EQ(Iok.ButtonIOKVersturen->text(), "Stop");

    Iok.SpinEditIOKadr->setFocus(); // another control of the same page: the test goes on
    QApplication::processEvents();
    EXPECT_TRUE(TimerSpeed.isActive());
    World->Window->PageControlTester->setCurrentWidget(Pages.TabSheetSCK);
    Pages.PageSCK->ButtonVersturen->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_EQ(Iok.ButtonIOKVersturen->text(), "Testen");
    World->Window->hide();
}

TEST_F(LatchIoPagesTest, CardDiagnosticsFindsInputsStuckAtZeroAndSavesTheReport) {
    World->Window->KaartdiagnoseClick();
    ASSERT_NE(World->Window->CardDiagnostics, nullptr);
    app::TCardDiagnostics& diagnostics = *World->Window->CardDiagnostics;
    diagnostics.SpinEditAdres->setValue(sim::TSimRack::IoPlace);
    diagnostics.ComboBoxEinde->setCurrentIndex(0);
    diagnostics.SpinEditAantal->setValue(40);
    const auto run = [&diagnostics] {
        diagnostics.ButtonStartClick();
        EXPECT_TRUE(RunEventsUntil([&] { return !diagnostics.Running(); }, 20000));
    };

    run();
    EXPECT_EQ(diagnostics.LabelOordeel->text(), "Geslaagd");
    EXPECT_EQ(diagnostics.Run()->Tests()[0]->Counts().Cycles, 40u);
    EXPECT_EQ(diagnostics.Run()->Tests()[0]->Counts().Words, 40u * 9);

    // The plug pulled: every input reads 0, each one stuck at 0.
    World->Rack.Bus.Locked([] {
        World->Rack.IoCard->TestPlug = false;
        World->Rack.IoCard->ExternalInputs = 0;
    });
    diagnostics.RadioButtonIo->setChecked(true);
    run();
    EXPECT_EQ(diagnostics.LabelOordeel->text(), "Kaartfout gevonden");
    EXPECT_TRUE(diagnostics.LabelIngang[4]->text().contains("vast op 0"));
    EXPECT_TRUE(diagnostics.LabelTellers->text().contains("De kaart meldt niets"));

    const std::filesystem::path folder = MakeTempFolder("morvelplint-diagnose");
    Dialogs.SaveAnswers = {QString::fromStdString((folder / "rapport.json").string())};
    diagnostics.ButtonBewaarClick();
    const std::string report = ReadAll(folder / "rapport.json");
    EXPECT_TRUE(report.starts_with("{\"result\": \"fail\", \"transport\": \"serial\""));
    EXPECT_NE(report.find("{\"input\": 5, \"errors\": "), std::string::npos);
    EXPECT_NE(report.find("\"diagnosis\": \"stuck-0\""), std::string::npos);
    EXPECT_NE(report.find("\"card\": \"silent\""), std::string::npos);
    std::filesystem::remove_all(folder);
    diagnostics.close();
}
