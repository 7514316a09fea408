// The views of the block-card pages ("(?)BK", "3BK"): their controls by name, tag and place,
// the model's state on them and the clicks forwarded, and a shuttle that goes on beside other
// windows and stops when the input focus leaves the page. What the model does is
// tests/unit/ShuttleModelTests.cpp's.
#include "DialogRecorder.h"
#include "ProgramWindows.h"
#include "app/MainWindow.h"
#include "cards/qt/CardPages.h"
#include "cards/qt/PageBlock.h"
#include "cards/qt/PageBusWord.h"
#include "cards/qt/QtTickSource.h"
#include "settings/qt/SettingsWindow.h"
#include "sim/SimBlockCards.h"
#include "sim/SimParallelCard.h"
#include "sim/SimSerialCard.h"
#include "sim/SimTestCard.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

using cards::LampGrey;
using cards::LampWhite;
using cards::LampYellow;
using Words = std::vector<int>;

namespace {

// The program's windows over a rack with generic cards in places 5, 6 and 12 (their feedback
// set by hand) and a line of two two-rail block cards in places 10 and 11, connected once
// over the simulated serial card.
struct TWorld {
    sim::TTrainBus Rack;
    std::shared_ptr<sim::TSimTestCard> Card5 = std::make_shared<sim::TSimTestCard>();
    std::shared_ptr<sim::TSimTestCard> Card6 = std::make_shared<sim::TSimTestCard>();
    std::shared_ptr<sim::TSimTestCard> Card12 = std::make_shared<sim::TSimTestCard>();
    // Short sections and a fast locomotive keep a shuttle to a few seconds.
    sim::TSimBlockCards Line{sim::TSimBlockLine::TKind::TwoRail, 2, 400};
    sim::TSimParallelCard ParallelCard{Rack};
    sim::TSimSerialCard SerialCard{Rack};
    TProgramWindows Windows{ParallelCard, SerialCard.SlavePath()};
    std::unique_ptr<app::TFormMorvelplint>& Window = Windows.Window;
    std::unique_ptr<bus::TStatusForm>& Status = Windows.Status;

    TWorld() {
        Rack.Plug(5, Card5);
        Rack.Plug(6, Card6);
        Rack.Plug(12, Card12);
        Rack.Plug(10, Line.Cards[0]);
        Rack.Plug(11, Line.Cards[1]);
        Status->TimerStatusTimer();
    }
    sim::TSerialCard& SerialCardOf() { return SerialCard; }
};

class BlockPagesTest : public TProgramWindowsTest<TWorld> {
protected:
    cards::TXbkPage& Xbk = *Pages.PageXBK;
    cards::T3bkPage& Page3 = *Pages.Page3BK;

    void SetUp() override {
        TProgramWindowsTest::SetUp();
        if (HasFatalFailure())
            return;
        World->Window->Instellingen(true, false);
        for (QCheckBox* box : Xbk.CheckBoxBKSectie)
            box->setChecked(false);
        for (int g = 0; g < 3; ++g)
            Xbk.SpinEditBKadr[g]->setValue(0);
        Xbk.TrackBar2BKSpeed->setValue(0);
        MarkNow();
    }

    void TearDown() override { TimerSpeed.stop(); }
};

} // namespace

TEST_F(BlockPagesTest, StartStateOfThePages) {
    QTabWidget pageControl;
    QTimer timer;
    cards::TQtTickSource ticks(timer);
    cards::TCardModels models(Bus, ticks);
    cards::TCardPages fresh(models, &pageControl);
    cards::TXbkPage& Xbk = *fresh.PageXBK;
    cards::T3bkPage& Page3 = *fresh.Page3BK;
    EXPECT_EQ(Xbk.Button2BKControl->text(), "Go");
    EXPECT_EQ(Xbk.TrackBar2BKSpeed->value(), 15) << "speed 0";
    EXPECT_EQ(Xbk.TrackBar2BKSpeed->orientation(), Qt::Vertical);
    EXPECT_TRUE(Xbk.TrackBar2BKSpeed->invertedAppearance()) << "position 0 at the top";
    EXPECT_EQ(Xbk.SpinEditBKadr[2]->maximum(), 127);
    EXPECT_EQ(Page3.SpinEdit3BKadr->maximum(), 63);
    for (int n = 0; n < 12; ++n)
        EXPECT_EQ(cards::Tag(Xbk.CheckBoxBKSectie[n]), 1 << n);
    EXPECT_EQ(cards::Tag(Page3.CheckBox3BKSectie[3]), 8);
    EXPECT_EQ(pageControl.findChild<QLabel*>("Label9")->text(), "Label9");
    for (QCheckBox* box : Xbk.CheckBoxBKSectie)
        EXPECT_TRUE(box->isChecked());
    for (QCheckBox* box : Page3.CheckBox3BKSectie)
        EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(Xbk.ShapeBKS[0]->BrushColor(), LampWhite);
    EXPECT_EQ(Page3.TrackBar3BKSpeed->value(), 15);
    EXPECT_FALSE(Xbk.Button2BKControl->isEnabled());
    EXPECT_FALSE(Page3.Button3BKControl->isEnabled());
    EXPECT_EQ(Xbk.ShapeBKKort[1]->objectName(), "ShapeBK2Kort");
    EXPECT_EQ(Xbk.ShapeBKKort[1]->BrushColor(), LampYellow);
    EXPECT_EQ(Page3.Shape3BKkort->BrushColor(), LampYellow);
    models.Instellingen(true, false);
    EXPECT_TRUE(Xbk.Button2BKControl->isEnabled());
    EXPECT_TRUE(Page3.Button3BKControl->isEnabled());
}

TEST_F(BlockPagesTest, TheTwoRailPageShowsItsModelAndForwardsTheClicks) {
    cards::TBlockModel& model = Pages.Models.Xbk;
    Xbk.CheckBoxBKSectie[5]->setChecked(true);
    Xbk.CheckBoxBKSectie[5]->setChecked(false);
    EXPECT_FALSE(model.View().Section[5]);
    EXPECT_EQ(Xbk.ShapeBKS[5]->BrushColor(), LampGrey) << "an unticked section is grey";
    Xbk.SpinEditBKadr[0]->setValue(5);
    Xbk.TrackBar2BKSpeed->setValue(10);
    EXPECT_EQ(model.View().Address[0], 5);
    EXPECT_EQ(model.View().SpeedPosition, 10);

    World->Window->PageControlTester->setCurrentWidget(Pages.TabSheetXBK);
    Xbk.CheckBoxBKSectie[1]->setChecked(true);
    Xbk.CheckBoxBKSectie[2]->setChecked(true);
    // A run that has just begun after a long one: full speed.
    Pages.Models.State().LegDuration = 1000000;
    Pages.Models.State().LastReversal = platform::GetTickCount();
    Xbk.Button2BKControl->click();
    EXPECT_EQ(Sent(), (Words{0x85, 0x45}));
    EXPECT_EQ(Xbk.Button2BKControl->text(), "Stop");
    EXPECT_TRUE(TimerSpeed.isActive());
    EXPECT_EQ(TimerSpeed.interval(), 100) << "the page's interval on the window's timer";
    EXPECT_FALSE(Xbk.CheckBoxBKSectie[0]->isEnabled());
    EXPECT_FALSE(Xbk.SpinEditBKadr[2]->isEnabled());
    EXPECT_EQ(Xbk.Label9->text(), "64");
    EXPECT_EQ(Xbk.ShapeBKKort[0]->BrushColor(), cards::LampGreen);
    MarkNow();
    Xbk.Button2BKControl->click();
    EXPECT_EQ(Sent(), (Words{0x40}));
    EXPECT_EQ(Xbk.Button2BKControl->text(), "Go");
    EXPECT_TRUE(Xbk.CheckBoxBKSectie[0]->isEnabled());

    // A message of the model's comes as a message box.
    Xbk.CheckBoxBKSectie[2]->setChecked(false);
    Xbk.Button2BKControl->click();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Onvoldoende secties geselecteerd");
    EXPECT_EQ(Dialogs.Messages[0].Icon, bus::TDialogs::TIcon::Error);
}

TEST_F(BlockPagesTest, ShuttleGoesOnBesideOtherWindowsAndLeavingThePageStopsIt) {
    World->Window->show();
    Status.TimerStatus->stop();
    QApplication::setActiveWindow(World->Window.get());
    World->Window->PageControlTester->setCurrentWidget(Pages.TabSheetXBK);
    Xbk.CheckBoxBKSectie[1]->setChecked(true);
    Xbk.CheckBoxBKSectie[2]->setChecked(true);
    Xbk.SpinEditBKadr[0]->setValue(5);
    Xbk.Button2BKControl->setFocus();
    QApplication::processEvents();
    Xbk.Button2BKControlClick();
    ASSERT_TRUE(TimerSpeed.isActive());
    ExpectTestGoesOnBesideOtherWindows(*World->Window, SerialCard);
    EXPECT_EQ(Xbk.Button2BKControl->text(), "Stop");
    ASSERT_TRUE(Xbk.Button2BKControl->hasFocus());
    MarkNow();
    World->Window->PageControlTester->setCurrentWidget(Pages.TabSheetSCK);
    Pages.PageSCK->ButtonVersturen->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_EQ(Sent(), (Words{0x40}));
    EXPECT_EQ(Xbk.Button2BKControl->text(), "Go");
    EXPECT_TRUE(Xbk.SpinEditBKadr[0]->isEnabled());
    EXPECT_FALSE(Xbk.CheckBoxBKSectie[1]->isEnabled()) << "the check boxes keep their state";
    EXPECT_EQ(Pages.Models.State().FirstSection, 2) << "and so do the ends";
    EXPECT_EQ(Pages.Models.State().LastSection, 4);
    Xbk.Button2BKControlClick(); // Go and Stop: the check boxes usable again
    Xbk.Button2BKControlClick();
    World->Window->hide();
}

