// The rack view beside the program over the default rack: faults given in the view while a
// test runs reach the page under test, and the test goes on.
#include "DialogRecorder.h"
#include "ProgramWindows.h"
#include "app/RackView.h"
#include "cards/qt/Controls.h"
#include "cards/qt/PageBlock.h"
#include "cards/qt/PageIok.h"
#include "sim/SimRack.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <gtest/gtest.h>


namespace {

struct TWorld {
    TProgramWindows Windows{sim::DefaultRack()};
    sim::TSimRack& Rack = *Windows.Session->Rack();

    TWorld() { Windows.Status->TimerStatusTimer(); }
    sim::TSerialCard& SerialCardOf() { return *Rack.SerialCard; }
};

class RackViewTest : public TProgramWindowsTest<TWorld> {
protected:
    app::TFormMorvelplint& Window = *World->Windows.Window;
    app::TFormRek& View = *Window.FormRek;

    void SetUp() override {
        TProgramWindowsTest::SetUp();
        Window.Instellingen(true, false);
        Window.show();
        QApplication::setActiveWindow(&Window);
    }
    void TearDown() override {
        TimerSpeed.stop();
        View.hide();
    }

    // Opens the view as Ctrl+R does and moves the focus into it, as a click there would.
    void UseView(QWidget* control) {
        Window.RekItem->trigger();
        ASSERT_TRUE(View.isVisible());
        ASSERT_TRUE(View.isWindow());
        QApplication::setActiveWindow(&View);
        control->setFocus();
        QApplication::processEvents();
    }
};

} // namespace

TEST_F(RackViewTest, StuckAndSilentIoCardShowOnTheRunningSquareWave) {
    cards::TIokPage& iok = *Pages.PageIOK;
    Window.PageControlTester->setCurrentWidget(Pages.TabSheetIOK);
    iok.SpinEditIOKadr->setValue(sim::TSimRack::IoPlace);
    iok.CheckBoxIOKTest->click();
    iok.ButtonIOKVersturen->setFocus();
    iok.ButtonIOKVersturenClick();
    ASSERT_TRUE(TimerSpeed.isActive());

    UseView(View.ComboBoxIngang);
    View.SpinEditPlaats->setValue(sim::TSimRack::IoPlace);
    View.SpinEditIngang->setValue(16); // pin 16 is bit 3
    View.ComboBoxIngang->setCurrentIndex(2);
    View.ComboBoxIngangChange();
    EXPECT_EQ(View.State().Io.StuckMask, 0x0008);
    for (int tick = 0; tick < 2; ++tick) {
        Pages.Models.TimerSpeedTimer();
        EXPECT_EQ(Pages.Models.Iok.Inputs() & 0x0008, 0x0008) << "pin 16 stuck at 1, tick " << tick;
    }

    View.CheckBoxStil->click();
    Pages.Models.TimerSpeedTimer();
    EXPECT_EQ(Pages.Models.Iok.Inputs(), 0) << "a silent card drives no feedback line";
    EXPECT_TRUE(TimerSpeed.isActive()) << "the focus moved to another window: the test goes on";

    View.CheckBoxStil->click();
    View.ComboBoxIngang->setCurrentIndex(0);
    View.ComboBoxIngangChange();
    EXPECT_EQ(View.State().Io.StuckMask, 0);
    EXPECT_FALSE(View.State().Places[sim::TSimRack::IoPlace].Silent);
    iok.ButtonIOKVersturenClick(); // "Stop"
    iok.CheckBoxIOKTest->click();
}

TEST_F(RackViewTest, ShortCircuitOnABlockCardTurnsTheShuttlesLampRed) {
    cards::TXbkPage& xbk = *Pages.PageXBK;
    Window.PageControlTester->setCurrentWidget(Pages.TabSheetXBK);
    for (QCheckBox* box : xbk.CheckBoxBKSectie)
        box->setChecked(false);
    xbk.CheckBoxBKSectie[0]->setChecked(true);
    xbk.CheckBoxBKSectie[1]->setChecked(true);
    xbk.SpinEditBKadr[0]->setValue(sim::TSimRack::TwoRailPlaces[0]);
    xbk.Button2BKControlClick();
    ASSERT_TRUE(TimerSpeed.isActive());
    EXPECT_EQ(xbk.ShapeBKKort[0]->BrushColor(), cards::LampGreen);

    UseView(View.CheckBoxKortsluiting);
    View.SpinEditPlaats->setValue(sim::TSimRack::TwoRailPlaces[0]);
    ASSERT_TRUE(View.CheckBoxKortsluiting->isEnabled());
    View.CheckBoxKortsluiting->click();
    EXPECT_TRUE(View.State().Places[0].Short);
    Pages.Models.TimerSpeedTimer();
    EXPECT_EQ(xbk.ShapeBKKort[0]->BrushColor(), cards::LampRed);
    EXPECT_TRUE(TimerSpeed.isActive());

    View.CheckBoxKortsluiting->click();
    Pages.Models.TimerSpeedTimer();
    EXPECT_EQ(xbk.ShapeBKKort[0]->BrushColor(), cards::LampGreen);
    xbk.Button2BKControlClick();
}

TEST_F(RackViewTest, HungUpSerialCardIsReplacedByANewOneThatOkConnects) {
    UseView(View.ButtonOphangen);
    View.ButtonOphangenClick();
    ASSERT_TRUE(RunEventsUntil([&] { return SerialCard.HungUp(); }, 3000));
    View.TimerRekTimer();
    EXPECT_FALSE(View.ButtonOphangen->isEnabled());
    ASSERT_TRUE(View.ButtonNieuweKaart->isEnabled());

    View.ButtonNieuweKaartClick();
    ASSERT_TRUE(World->Rack.SerialCard && !World->Rack.SerialCard->HungUp());
    const auto ports = Status.PortEntries();
    const int chosen = Status.CurrentSettings().PortIndex;
    ASSERT_GE(chosen, 0);
    EXPECT_EQ(ports[static_cast<std::size_t>(chosen)], World->Rack.SerialCard->SlavePath());
    EXPECT_FALSE(View.State().Serial.Connected) << "the view says to press OK";

    // OK in the settings window: the set-up over the new card.
    Status.TimerStatusTimer();
    EXPECT_TRUE(Status.BusReady());
    View.TimerRekTimer();
    EXPECT_TRUE(View.State().Serial.Connected);
    Status.SendBusWord(0x80 + 2);
    EXPECT_EQ(Bus.AwaitFeedback(true), 0x80 + 2);
    Status.SendBusWord(0x40);
    EXPECT_EQ(Bus.AwaitFeedback(true), 0x40 + 4) << "the same rack behind the new card";
}
