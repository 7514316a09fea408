#include "DialogRecorder.h"
#include "ProgramWindows.h"
#include "app/UnitMorvelplint.h"
#include "bus/qt/UnitStatus.h"
#include "bus/UnitThread_PAR_IO.h"
#include "cards/qt/CardPages.h"
#include "cards/CardTestState.h"
#include "cards/qt/PageBlock.h"
#include "cards/qt/PageBusWord.h"
#include "platform/Tick.h"
#include "serial/qt/CPortCtl.h"
#include "serial/PortNames.h"
#include "sim/SimBlockCards.h"
#include "sim/SimParallelCard.h"
#include "sim/SimSerialCard.h"
#include "sim/SimTestCard.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

using cards::CardTest;
using cards::LampGreen;
using cards::LampGrey;
using cards::LampRed;
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
    sim::TSimSerialCard& SerialCardOf() { return SerialCard; }
};

class BlockPagesTest : public TProgramWindowsTest<TWorld> {
protected:
    cards::TXbkPage& Xbk = *Pages.PageXBK;
    cards::T3bkPage& Page3 = *Pages.Page3BK;

    void SetUp() override {
        TProgramWindowsTest::SetUp();
        if (HasFatalFailure())
            return;
        Status.CheckBoxKorsluitmelding->setChecked(false);
        World->Window->Instellingen(true, false);
        World->Rack.Locked([] {
            for (auto* card : {World->Card5.get(), World->Card6.get(), World->Card12.get()}) {
                card->Lines = 0;
                card->Short = false;
                card->DataReceived.clear();
                card->LatchReceived.clear();
            }
        });
        if (Xbk.Button2BKControl->text() == "Stop")
            Xbk.Stop();
        if (Page3.Button3BKControl->text() == "Stop")
            Page3.Stop();
        for (QCheckBox* box : Xbk.CheckBoxBKSectie)
            box->setChecked(false);
        for (QCheckBox* box : Page3.CheckBox3BKSectie)
            box->setChecked(false);
        SetAddresses(0, 0, 0);
        Page3.SpinEdit3BKadr->setValue(0);
        Xbk.TrackBar2BKSpeed->setValue(0);
        Page3.TrackBar3BKSpeed->setValue(0);
        NotSlowed();
        MarkNow();
    }

    void TearDown() override { TimerSpeed.stop(); }

    // A run that has just begun after a long one: full speed.
    static void NotSlowed() {
        CardTest.LegDuration = 1000000;
        CardTest.LastReversal = platform::GetTickCount();
    }
    // A run that is a second old after one of 300 ms: the last third.
    static void Slowed() {
        CardTest.LegDuration = 300;
        CardTest.LastReversal = platform::GetTickCount() - 1000;
    }

    void Tick(QWidget* sheet, std::initializer_list<int> sections) {
        for (int n : sections)
            (sheet == Pages.TabSheetXBK ? Xbk.CheckBoxBKSectie[n - 1]
                                        : Page3.CheckBox3BKSectie[n - 1])
                ->setChecked(true);
        World->Window->PageControlTester->setCurrentWidget(sheet);
    }

    void SetAddresses(int a1, int a2, int a3) {
        Xbk.SpinEditBKadr[0]->setValue(a1);
        Xbk.SpinEditBKadr[1]->setValue(a2);
        Xbk.SpinEditBKadr[2]->setValue(a3);
    }
};

} // namespace

TEST_F(BlockPagesTest, StartStateOfThePages) {
    QTabWidget pageControl;
    QTimer timer;
    cards::TCardTestState state;
    cards::TCardPages fresh(Bus, state, [] { return bus::TSettings{}; }, &pageControl, &timer);
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
    World->Window->Instellingen(true, false);
    EXPECT_TRUE(World->Window->findChild<QPushButton*>("Button2BKControl")->isEnabled());
    EXPECT_TRUE(World->Window->findChild<QPushButton*>("Button3BKControl")->isEnabled());
}

TEST_F(BlockPagesTest, SpeedWordsByAddressSpeedDirectionAndPhase) {
    // Address 70: place 6 by address strobe, the speed by latch-data strobe.
    Tick(Pages.TabSheetXBK, {1, 2});
    SetAddresses(70, 0, 0);
    Xbk.TrackBar2BKSpeed->setValue(5);
    Xbk.Button2BKControlClick();
    EXPECT_EQ(Sent(), (Words{0x86, 0x2A}));
    Xbk.Button2BKControlClick();
    Slowed();
    MarkNow();
    Xbk.Button2BKControlClick();
    EXPECT_EQ(Sent(), (Words{0x86, 0x25}));
    Xbk.Button2BKControlClick();
    World->Rack.Locked([] {
        EXPECT_EQ(World->Card6->LatchReceived, (std::vector<std::uint8_t>{0x0A, 0x05}));
    });

    // Address 5, full speed, on the way back.
    SetAddresses(5, 0, 0);
    Xbk.TrackBar2BKSpeed->setValue(0);
    CardTest.GroupActive = {true, false, false};
    CardTest.LastSection = 0x800; // never reached here
    for (auto phase : {NotSlowed, Slowed}) {
        phase();
        CardTest.Direction = 16;
        CardTest.FirstSection = 0x800;
        MarkNow();
        Xbk.Tick();
        EXPECT_EQ(Sent(), (Words{0x85, phase == NotSlowed ? 0x5F : 0x58}));
    }

    // Speed 0 stays 0 in the last third.
    Xbk.TrackBar2BKSpeed->setValue(15);
    CardTest.Direction = 0;
    MarkNow();
    Xbk.Tick();
    EXPECT_EQ(Sent(), (Words{0x85, 0x40}));

    // The three-rail page at address 12, speed 7.
    Tick(Pages.TabSheet3BK, {1, 4});
    Page3.SpinEdit3BKadr->setValue(12);
    Page3.TrackBar3BKSpeed->setValue(8);
    NotSlowed();
    MarkNow();
    Page3.Button3BKControlClick();
    EXPECT_EQ(Sent(), (Words{0x8C, 0x47}));
    EXPECT_EQ(CardTest.FirstSection, 1);
    EXPECT_EQ(CardTest.LastSection, 8);
    Slowed();
    MarkNow();
    Page3.Tick();
    EXPECT_EQ(Sent(), (Words{0x8C, 0x44}));
    MarkNow();
    Page3.Button3BKControlClick();
    EXPECT_EQ(Sent(), (Words{0x40}));
    EXPECT_EQ(Page3.Button3BKControl->text(), "Go");
    EXPECT_TRUE(Page3.SpinEdit3BKadr->isEnabled());
}

TEST_F(BlockPagesTest, GoDrivesTheCardsOfTheTickedSections) {
    SetAddresses(5, 6, 12);
    Xbk.TrackBar2BKSpeed->setValue(0);
    World->Rack.Locked([] {
        World->Card6->Lines = 0b0010;  // section 6
        World->Card12->Lines = 0b0001; // section 9
    });

    Tick(Pages.TabSheetXBK, {2, 3});
    Xbk.Button2BKControlClick();
    EXPECT_EQ(CardTest.FirstSection, 2);
    EXPECT_EQ(CardTest.LastSection, 4);
    EXPECT_EQ(CardTest.GroupActive, (std::array<bool, 3>{true, false, false}));
    EXPECT_EQ(Sent(), (Words{0x85, 0x4F}));
    EXPECT_EQ(Xbk.Button2BKControl->text(), "Stop");
    EXPECT_TRUE(TimerSpeed.isActive());
    EXPECT_EQ(TimerSpeed.interval(), 100);
    EXPECT_FALSE(Xbk.CheckBoxBKSectie[0]->isEnabled());
    EXPECT_FALSE(Xbk.SpinEditBKadr[2]->isEnabled());
    MarkNow();
    Xbk.Button2BKControlClick();
    EXPECT_EQ(Sent(), (Words{0x40}));
    EXPECT_EQ(Xbk.Button2BKControl->text(), "Go");
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_TRUE(Xbk.CheckBoxBKSectie[0]->isEnabled());
    EXPECT_TRUE(Xbk.SpinEditBKadr[2]->isEnabled());
    EXPECT_EQ(CardTest.LastSection, 0);

    // Cards in the order 3, 2, 1; section 6 is reported but is no end.
    Xbk.CheckBoxBKSectie[1]->setChecked(false);
    Xbk.CheckBoxBKSectie[2]->setChecked(false);
    Tick(Pages.TabSheetXBK, {1, 6, 12});
    MarkNow();
    Xbk.Button2BKControlClick();
    EXPECT_EQ(CardTest.FirstSection, 1);
    EXPECT_EQ(CardTest.LastSection, 2048);
    EXPECT_EQ(Sent(), (Words{0x8C, 0x4F, 0x86, 0x4F, 0x85, 0x4F}));
    EXPECT_EQ(CardTest.Direction, 0);
    EXPECT_EQ(Xbk.ShapeBKS[5]->BrushColor(), LampYellow);
    EXPECT_EQ(Xbk.ShapeBKS[4]->BrushColor(), LampGrey);
    Xbk.Button2BKControlClick();

    // Cards 1 and 3 only; card 3's section 9 is the far end and reverses the run.
    Xbk.CheckBoxBKSectie[5]->setChecked(false);
    Xbk.CheckBoxBKSectie[11]->setChecked(false);
    Tick(Pages.TabSheetXBK, {1, 9});
    MarkNow();
    Xbk.Button2BKControlClick();
    EXPECT_EQ(CardTest.GroupActive, (std::array<bool, 3>{true, false, true}));
    EXPECT_EQ(Sent(), (Words{0x8C, 0x4F, 0x85, 0x4F}));
    EXPECT_EQ(CardTest.Direction, 16);
    EXPECT_LT(platform::GetTickCount() - CardTest.LastReversal, 1000u) << "timed just now";
    Xbk.Button2BKControlClick();
}

TEST_F(BlockPagesTest, FewerThanTwoSectionsIsRefused) {
    Tick(Pages.TabSheetXBK, {7});
    Xbk.Button2BKControlClick();
    Tick(Pages.TabSheet3BK, {2});
    Page3.Button3BKControlClick();
    ASSERT_EQ(Dialogs.Messages.size(), 2u);
    for (const auto& message : Dialogs.Messages) {
        EXPECT_EQ(message.Text, "Onvoldoende secties geselecteerd");
        EXPECT_EQ(message.Icon, bus::TDialogs::TIcon::Error);
    }
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_EQ(Xbk.Button2BKControl->text(), "Go");
    EXPECT_TRUE(Xbk.CheckBoxBKSectie[6]->isEnabled());
}

TEST_F(BlockPagesTest, LampsFollowRepliesAndTickedSections) {
    Tick(Pages.TabSheetXBK, {1, 2, 3, 4});
    Xbk.CheckBoxBKSectie[5]->setChecked(true);
    Xbk.CheckBoxBKSectie[5]->setChecked(false);
    EXPECT_EQ(Xbk.ShapeBKS[5]->BrushColor(), LampGrey) << "an unticked section is grey";
    Xbk.CheckBoxBKSectie[5]->setChecked(true);
    EXPECT_EQ(Xbk.ShapeBKS[5]->BrushColor(), LampWhite);
    Xbk.CheckBoxBKSectie[5]->setChecked(false);

    Xbk.ShowReply(0, 0x59);
    EXPECT_EQ(Xbk.ShapeBKS[0]->BrushColor(), LampYellow);
    EXPECT_EQ(Xbk.ShapeBKS[1]->BrushColor(), LampWhite);
    EXPECT_EQ(Xbk.ShapeBKS[2]->BrushColor(), LampWhite);
    EXPECT_EQ(Xbk.ShapeBKS[3]->BrushColor(), LampYellow);
    EXPECT_EQ(Xbk.ShapeBKKort[0]->BrushColor(), LampRed);
    Xbk.ShowReply(0, 0x66);
    EXPECT_EQ(Xbk.ShapeBKS[1]->BrushColor(), LampWhite) << "0x66 is no block-card reply";
    EXPECT_EQ(Xbk.ShapeBKKort[0]->BrushColor(), LampRed);
    Xbk.ShowReply(1, 0x4F);
    EXPECT_EQ(Xbk.ShapeBKS[4]->BrushColor(), LampGrey);
    EXPECT_EQ(Xbk.ShapeBKS[5]->BrushColor(), LampGrey);
    EXPECT_EQ(Xbk.ShapeBKKort[1]->BrushColor(), LampGreen);
    Xbk.ShowReply(1, bus::NotConnected);
    EXPECT_EQ(Xbk.ShapeBKKort[1]->BrushColor(), LampYellow);

    // A reply outside 64..95 changes no lamp but still counts as occupancy: the latch-data
    // echo of a card above address 63 (0x2A: sections 2 and 4) reaches the far end.
    Xbk.CheckBoxBKSectie[0]->setChecked(false);
    Xbk.CheckBoxBKSectie[2]->setChecked(false);
    SetAddresses(70, 0, 0);
    Xbk.TrackBar2BKSpeed->setValue(5);
    Xbk.Button2BKControlClick();
    EXPECT_EQ(Xbk.Label9->text(), "42");
    EXPECT_EQ(Xbk.ShapeBKS[3]->BrushColor(), LampYellow) << "unchanged";
    EXPECT_EQ(CardTest.Direction, 16);
    Xbk.Button2BKControlClick();

    Tick(Pages.TabSheet3BK, {1, 2, 3, 4});
    Page3.SpinEdit3BKadr->setValue(12);
    World->Rack.Locked([] { World->Card12->Lines = 0b1010; });
    Page3.Button3BKControlClick();
    EXPECT_EQ(CardTest.TickFeedback, 0x4A);
    EXPECT_EQ(Page3.Shape3BKS[0]->BrushColor(), LampWhite);
    EXPECT_EQ(Page3.Shape3BKS[1]->BrushColor(), LampYellow);
    EXPECT_EQ(Page3.Shape3BKS[2]->BrushColor(), LampWhite);
    EXPECT_EQ(Page3.Shape3BKS[3]->BrushColor(), LampYellow);
    EXPECT_EQ(Page3.Shape3BKkort->BrushColor(), LampGreen);
    EXPECT_EQ(CardTest.Direction, 16) << "section 4 is the far end";

    // Unticking a section during the test changes neither the lamps nor the ends.
    Page3.CheckBox3BKSectie[3]->setChecked(false);
    EXPECT_TRUE(Page3.CheckBox3BKSectie[3]->isEnabled());
    EXPECT_EQ(Page3.Shape3BKS[3]->BrushColor(), LampYellow);
    World->Rack.Locked([] { World->Card12->Lines = 0b1001; });
    Page3.Tick();
    EXPECT_EQ(Page3.Shape3BKS[3]->BrushColor(), LampYellow);
    EXPECT_EQ(CardTest.FirstSection, 1);
    EXPECT_EQ(CardTest.LastSection, 8);
    EXPECT_EQ(CardTest.Direction, 0) << "section 1 is still the near end";
    Page3.Button3BKControlClick();
}

TEST_F(BlockPagesTest, ShortCircuitStopsTheTestAndTheTickEndsWithAReversal) {
    Status.CheckBoxKorsluitmelding->setChecked(true);
    SetAddresses(6, 5, 0);
    Xbk.TrackBar2BKSpeed->setValue(0);
    World->Rack.Locked([] { World->Card5->Short = true; });
    Tick(Pages.TabSheetXBK, {1, 8});
    const std::uint32_t before = platform::GetTickCount();
    Xbk.Button2BKControlClick();
    // Card 2 stops the test; card 1 still gets its words, at direction 0.
    EXPECT_EQ(Sent(), (Words{0x85, 0x4F, 0x40, 0x86, 0x4F}));
    EXPECT_EQ(Xbk.ShapeBKKort[1]->BrushColor(), LampRed);
    EXPECT_EQ(Xbk.ShapeBKKort[0]->BrushColor(), LampGreen);
    EXPECT_EQ(Xbk.Button2BKControl->text(), "Go");
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_TRUE(Xbk.CheckBoxBKSectie[0]->isEnabled());
    // LastSection was already 0: the tick's end counts that as the far end.
    EXPECT_EQ(CardTest.Direction, 16);
    EXPECT_LT(CardTest.LastReversal - before, 3000u);

    World->Rack.Locked([] { World->Card5->Short = false; });
    NotSlowed(); // that reversal timed a run of a few milliseconds
    MarkNow();
    Xbk.Button2BKControlClick();
    EXPECT_EQ(Sent(), (Words{0x85, 0x4F, 0x86, 0x4F}));
    EXPECT_EQ(CardTest.Direction, 0) << "Go starts towards the last section";
    Xbk.Button2BKControlClick();

    // Without short-circuit reporting the lamp turns red and the test goes on.
    Status.CheckBoxKorsluitmelding->setChecked(false);
    Tick(Pages.TabSheet3BK, {1, 2});
    Page3.SpinEdit3BKadr->setValue(5);
    World->Rack.Locked([] { World->Card5->Short = true; });
    Page3.Button3BKControlClick();
    EXPECT_EQ(Page3.Shape3BKkort->BrushColor(), LampRed);
    EXPECT_TRUE(TimerSpeed.isActive());
    Status.CheckBoxKorsluitmelding->setChecked(true);
    NotSlowed();
    MarkNow();
    Page3.Tick();
    EXPECT_EQ(Sent(), (Words{0x85, 0x4F, 0x40}));
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_EQ(Page3.Button3BKControl->text(), "Go");
}

TEST_F(BlockPagesTest, GoWhileAnotherPagesTestRunsTakesTheStopPath) {
    Tick(Pages.TabSheetXBK, {1, 2});
    TimerSpeed.start();
    Xbk.Button2BKControlClick();
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_EQ(Sent(), (Words{0x40}));
    EXPECT_EQ(Xbk.Button2BKControl->text(), "Go");
}

TEST_F(BlockPagesTest, ShuttleGoesOnBesideOtherWindowsAndLeavingThePageStopsIt) {
    World->Window->show();
    Status.TimerStatus->stop();
    QApplication::setActiveWindow(World->Window.get());
    Tick(Pages.TabSheetXBK, {2, 3});
    SetAddresses(5, 0, 0);
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
    EXPECT_EQ(CardTest.FirstSection, 2) << "and so do the ends";
    EXPECT_EQ(CardTest.LastSection, 4);

    Page3.SpinEdit3BKadr->setEnabled(false);
    Page3.Button3BKControl->setText("Stop");
    Page3.Exit();
    EXPECT_TRUE(Page3.SpinEdit3BKadr->isEnabled());
    EXPECT_EQ(Page3.Button3BKControl->text(), "Go");
    EXPECT_EQ(Sent(), (Words{0x40})) << "nothing sent with the timer off";
    Xbk.Stop();
    World->Window->hide();
}

TEST_F(BlockPagesTest, SlowDownAndRunTimingAcrossTheTickCounterWrap) {
    Tick(Pages.TabSheet3BK, {1, 2});
    Page3.SpinEdit3BKadr->setValue(5);
    Page3.TrackBar3BKSpeed->setValue(0);
    platform::SetTickCount(0x100);
    CardTest.LastReversal = 0xFFFFFF00; // 512 ms ago, across the wrap
    const auto speedWord = [this](std::int32_t legDuration) {
        CardTest.LegDuration = legDuration;
        MarkNow();
        Page3.Tick();
        return Sent().at(1);
    };
    CardTest.Direction = 0;
    CardTest.FirstSection = 1;
    CardTest.LastSection = 2; // card 5 reports nothing: no reversal
    EXPECT_EQ(speedWord(3000), 0x4F) << "threshold 2000";
    EXPECT_EQ(speedWord(760), 0x48) << "threshold 506";
    EXPECT_EQ(speedWord(-3), 0x48) << "a run beyond 2^31 ms makes every moment the last third";

    World->Rack.Locked([] { World->Card5->Lines = 0b0010; });
    MarkNow();
    Page3.Tick();
    EXPECT_EQ(CardTest.Direction, 16);
    EXPECT_GE(CardTest.LegDuration, 512);
    EXPECT_LT(CardTest.LegDuration, 512 + 3000);
    EXPECT_LT(CardTest.LastReversal, 0x100u + 3000);
}

TEST_F(BlockPagesTest, ShuttleRunsBetweenTheEndsAndSlowsBeforeThem) {
    // Sections 2 and 7 of the line in places 10 and 11; the locomotive starts in section 2.
    World->Line.Line->Drive(0, 0);
    World->Line.Line->Drive(1, 0);
    World->Line.Line->PlaceLocomotive(1.0);
    Tick(Pages.TabSheetXBK, {2, 7});
    SetAddresses(10, 11, 0);
    Xbk.TrackBar2BKSpeed->setValue(0);
    NotSlowed();
    Xbk.Button2BKControlClick();

    struct TReversal {
        int Direction;
        std::uint32_t Occupied;
    };
    std::vector<TReversal> reversals;
    std::uint32_t reached = 0;
    int direction = CardTest.Direction;
    const std::uint32_t start = platform::GetTickCount();
    while (reversals.size() < 3 && !platform::TicksPassed(start, 20000)) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        const std::uint32_t occupied = World->Line.Line->Occupied();
        reached |= occupied;
        if (CardTest.Direction != direction) {
            direction = CardTest.Direction;
            reversals.push_back({direction, occupied});
        }
    }
    Xbk.Button2BKControlClick();

    ASSERT_EQ(reversals.size(), 3u) << "the locomotive stopped shuttling";
    EXPECT_EQ(reversals[0].Direction, 16);
    EXPECT_EQ(reversals[1].Direction, 0);
    EXPECT_EQ(reversals[2].Direction, 16);
    EXPECT_TRUE(reversals[0].Occupied & 0b1000000) << "turned back in section 7";
    EXPECT_TRUE(reversals[1].Occupied & 0b10) << "turned back in section 2";
    EXPECT_TRUE(reversals[2].Occupied & 0b1000000);
    EXPECT_EQ(reached & 0b10000001u, 0u) << "sections 1 and 8 were never entered";

    // The speed words, run by run: full speed on the first run (its predecessor was long),
    // then full speed followed by the slowed speed on the way back.
    Words firstRun;
    Words secondRun;
    for (int word : Sent()) {
        if (word == 0x40 || (word & 0xE0) != 0x40)
            continue;
        if (word & 16)
            secondRun.push_back(word);
        else if (secondRun.empty())
            firstRun.push_back(word);
    }
    ASSERT_FALSE(firstRun.empty());
    EXPECT_EQ(std::count(firstRun.begin(), firstRun.end(), 0x4F), std::ssize(firstRun));
    ASSERT_FALSE(secondRun.empty());
    EXPECT_EQ(secondRun.front(), 0x5F);
    EXPECT_EQ(secondRun.back(), 0x58) << "the run after the first reversal slows down";
    EXPECT_TRUE(std::is_partitioned(secondRun.begin(), secondRun.end(), [](int word) {
        return word == 0x5F;
    })) << "once slowed, slowed until the end";
}
