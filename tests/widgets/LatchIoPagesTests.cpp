#include "DialogRecorder.h"
#include "TestFiles.h"
#include "ProgramWindows.h"
#include "app/CardDiagnostics.h"
#include "app/UnitMorvelplint.h"
#include "bus/qt/UnitStatus.h"
#include "bus/UnitThread_PAR_IO.h"
#include "cards/qt/CardPages.h"
#include "cards/CardTestState.h"
#include "cards/qt/Controls.h"
#include "cards/qt/PageBusWord.h"
#include "cards/qt/PageIok.h"
#include "cards/qt/PageLkkEvl.h"
#include "platform/Tick.h"
#include "serial/qt/CPortCtl.h"
#include "serial/PortNames.h"
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
#include <thread>

using cards::CardTest;
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
    sim::TSimSerialCard& SerialCardOf() { return *Rack.SerialCard; }
};

std::vector<int> LoadWords(int address, int evl, const std::array<int, 4>& pinWords,
                           bool pattern = true) {
    std::vector<int> words{0x80 + address};
    for (int step = 0; step < 16; ++step) {
        const int nibble = pattern ? (pinWords[step / 4] >> (4 * (step % 4))) & 15 : 15;
        words.push_back(cards::TLkkEvlPage::LatchAddressWord(evl, step));
        words.push_back(cards::TLkkEvlPage::LatchDataWord(step, nibble));
    }
    return words;
}

class LatchIoPagesTest : public TProgramWindowsTest<TWorld> {
protected:
    cards::TLkkEvlPage& Lkk = *Pages.PageLKK_EVL;
    cards::TIokPage& Iok = *Pages.PageIOK;

    void SetUp() override {
        TProgramWindowsTest::SetUp();
        if (HasFatalFailure())
            return;
        World->Window->Instellingen(true, false);
        ClearPins();
        ClearOutputs();
        Lkk.RadioGroupEVLSelect->SetItemIndex(0);
        Lkk.RadioGroupEVLSelect->setEnabled(true);
        Lkk.SpinEditLKK_EVLadr->setValue(sim::TSimRack::LatchPlace);
        Iok.SpinEditIOKadr->setValue(sim::TSimRack::IoPlace);
        World->Rack.Bus.Locked([] {
            World->Rack.IoCard->TestPlug = true;
            World->Rack.IoCard->ExternalInputs = 0;
        });
        MarkNow();
    }

    void TearDown() override {
        TimerSpeed.stop();
        if (Lkk.CheckBoxLKK_EVLTest->isChecked())
            Lkk.CheckBoxLKK_EVLTest->click();
        if (Iok.CheckBoxIOKTest->isChecked())
            Iok.CheckBoxIOKTest->click();
        Status.RadioButtonSerieel->setChecked(true);
    }

    void ClearPins() {
        for (QPushButton* button : Lkk.ButtonLKK_EVL)
            if (button->text() == "1")
                button->click();
    }
    void ClearOutputs() {
        for (QPushButton* button : Iok.ButtonIOK)
            if (button->text() == "1")
                button->click();
    }

    // The bytes the serial card took since the test began, once `count` of them have come.
    std::vector<int> Sent(std::size_t count) {
        EXPECT_TRUE(SerialCard.WaitForReceived(Mark + count, 5000));
        const std::vector<int> words = TProgramWindowsTest::Sent();
        Mark += words.size();
        return words;
    }

    std::uint64_t EvlPins(int evl) const {
        std::uint64_t pins = 0;
        World->Rack.Bus.Locked([&] { pins = World->Rack.LatchCard->Pins(evl); });
        return pins;
    }

    // The pins of an EVL once they show `expected`, or as they are after a generous while:
    // the transports put the last words on the bus after the page has returned.
    std::uint64_t AwaitPins(int evl, std::uint64_t expected) const {
        const std::uint32_t start = platform::GetTickCount();
        while (EvlPins(evl) != expected && !platform::TicksPassed(start, 3000))
            std::this_thread::yield();
        return EvlPins(evl);
    }

    static std::uint64_t Levels() {
        std::uint64_t levels = 0;
        for (int word = 3; word >= 0; --word)
            levels = (levels << 16) | static_cast<std::uint16_t>(CardTest.PinWords[word]);
        return levels;
    }

    std::vector<QColor> Lamps() const {
        std::vector<QColor> colors;
        for (cards::TShape* lamp : Iok.ShapeIOK)
            colors.push_back(lamp->BrushColor());
        return colors;
    }

    // Lamp n white for the pins given, yellow for the rest.
    static std::vector<QColor> WhiteAt(std::initializer_list<int> pins) {
        std::vector<QColor> colors(16, LampYellow);
        for (int pin : pins)
            colors[static_cast<std::size_t>(pin - 1)] = LampWhite;
        return colors;
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

TEST_F(LatchIoPagesTest, PinButtonsClearTheirBitWhileShowingOne) {
    Lkk.ButtonLKK_EVL[16]->click(); // pin 17
    EXPECT_EQ(Lkk.ButtonLKK_EVL[16]->text(), "1");
    EXPECT_EQ(CardTest.PinWords, (std::array<int, 4>{0xFFFF, 0xFFFE, 0xFFFF, 0xFFFF}));
    Lkk.ButtonLKK_EVL[63]->click(); // pin 64
    EXPECT_EQ(CardTest.PinWords[3], 0x7FFF);
    Lkk.ButtonLKK_EVL[16]->click();
    Lkk.ButtonLKK_EVL[63]->click();
    EXPECT_EQ(CardTest.PinWords, (std::array<int, 4>{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}));
    EXPECT_EQ(Lkk.ButtonLKK_EVL[16]->text(), "0");
    EXPECT_EQ(Sent(0), std::vector<int>{}) << "a pin button sends nothing";
}

TEST_F(LatchIoPagesTest, LoadSendsTheAddressAndSixteenLatchSteps) {
    Lkk.ButtonLKK_EVLversturenClick();
    EXPECT_EQ(Sent(33),
              (std::vector<int>{0x85, 0xC1, 0x3F, 0xC3, 0x3F, 0xC5, 0x3F, 0xC7, 0x3F, 0xC0, 0x2F,
                                0xC2, 0x2F, 0xC4, 0x2F, 0xC6, 0x2F, 0xC1, 0x2F, 0xC3, 0x2F, 0xC5,
                                0x2F, 0xC7, 0x2F, 0xC0, 0x3F, 0xC2, 0x3F, 0xC4, 0x3F, 0xC6, 0x3F}));

    Lkk.ButtonLKK_EVL[0]->click();  // pin 1
    Lkk.ButtonLKK_EVL[16]->click(); // pin 17
    Lkk.ButtonLKK_EVLversturenClick();
    const std::vector<int> words = Sent(33);
    ASSERT_EQ(words.size(), 33u);
    EXPECT_EQ(words[2], 0x3E) << "step 0 carries pin 1 at level 0";
    EXPECT_EQ(words[9], 0xC0);
    EXPECT_EQ(words[10], 0x2E) << "step 4 carries pin 17";
    const std::uint64_t pins = ~std::uint64_t{0} & ~std::uint64_t{1} & ~(std::uint64_t{1} << 16);
    EXPECT_EQ(AwaitPins(0, pins), pins);

    Lkk.RadioGroupEVLSelect->Item(3)->click(); // EVL D
    Lkk.SpinEditLKK_EVLadr->setValue(31);
    Lkk.ButtonLKK_EVLversturenClick();
    EXPECT_EQ(Sent(33), LoadWords(31, 3, CardTest.PinWords));
    EXPECT_EQ(LoadWords(31, 3, CardTest.PinWords)[1], 0xDC);
}

TEST_F(LatchIoPagesTest, EveryPinPatternOfALoadArrivesAtTheRightEvlPins) {
    Status.RadioButtonParallel->setChecked(true);
    const std::uint64_t patterns[] = {0x0123456789ABCDEFull, 0xF0E1D2C3B4A59687ull,
                                      0x8000000000000001ull, 0xFEDCBA9876543210ull};
    for (int evl = 0; evl < 4; ++evl) {
        for (std::uint64_t pattern : {patterns[evl], ~patterns[evl]}) {
            ClearPins();
            for (int pin = 1; pin <= 64; ++pin)
                if ((pattern >> (pin - 1)) & 1)
                    Lkk.ButtonLKK_EVL[pin - 1]->click();
            ASSERT_EQ(Levels(), ~pattern) << "a pin showing \"1\" is sent low";
            Lkk.RadioGroupEVLSelect->Item(evl)->click();
            Lkk.ButtonLKK_EVLversturenClick();
            EXPECT_EQ(AwaitPins(evl, ~pattern), ~pattern) << "EVL " << evl;
        }
    }
    // The serial transport brings the same pattern to the same pins.
    Status.RadioButtonSerieel->setChecked(true);
    ClearPins();
    Lkk.ButtonLKK_EVL[40]->click();
    Lkk.RadioGroupEVLSelect->Item(1)->click();
    Lkk.ButtonLKK_EVLversturenClick();
    Sent(33);
    EXPECT_EQ(AwaitPins(1, ~(std::uint64_t{1} << 40)), ~(std::uint64_t{1} << 40));
}

TEST_F(LatchIoPagesTest, LatchSquareWaveAlternatesPatternAndAllHigh) {
    World->Window->PageControlTester->setCurrentWidget(Pages.TabSheetLKK_EVL);
    Status.SpinEditTestTijd->setValue(700);
    Lkk.ButtonLKK_EVL[2]->click(); // pin 3
    Lkk.CheckBoxLKK_EVLTest->click();
    EXPECT_EQ(Lkk.ButtonLKK_EVLversturen->text(), "Testen");

    CardTest.SquareWavePhase = false;
    Lkk.ButtonLKK_EVLversturenClick(); // starts with one tick at once
    EXPECT_EQ(Lkk.ButtonLKK_EVLversturen->text(), "Stop");
    EXPECT_FALSE(Lkk.RadioGroupEVLSelect->isEnabled());
    EXPECT_TRUE(TimerSpeed.isActive());
    EXPECT_EQ(TimerSpeed.interval(), 700);
    EXPECT_TRUE(CardTest.SquareWavePhase);
    EXPECT_EQ(Sent(33), LoadWords(5, 0, CardTest.PinWords));
    EXPECT_EQ(AwaitPins(0, ~std::uint64_t{4}), ~std::uint64_t{4}) << "pin 3 low";

    Pages.TimerSpeedTimer();
    EXPECT_FALSE(CardTest.SquareWavePhase);
    EXPECT_EQ(Sent(33), LoadWords(5, 0, CardTest.PinWords, false));
    EXPECT_EQ(AwaitPins(0, ~std::uint64_t{0}), ~std::uint64_t{0})
        << "every pin at the level of a \"0\" caption";

    Lkk.ButtonLKK_EVLversturenClick(); // "Stop"
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_TRUE(Lkk.RadioGroupEVLSelect->isEnabled());
    EXPECT_EQ(Lkk.ButtonLKK_EVLversturen->text(), "Testen");
    EXPECT_EQ(Sent(0), std::vector<int>{}) << "stopping sends nothing";

    // Unticking "Tester" while running stops the timer but leaves the EVL choice disabled.
    Lkk.ButtonLKK_EVLversturenClick();
    Sent(33);
    Lkk.CheckBoxLKK_EVLTest->click();
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_EQ(Lkk.ButtonLKK_EVLversturen->text(), "Versturen");
    EXPECT_FALSE(Lkk.RadioGroupEVLSelect->isEnabled());
    Lkk.CheckBoxLKK_EVLTest->click();
    Lkk.Exit();
    EXPECT_TRUE(Lkk.RadioGroupEVLSelect->isEnabled()) << "page exit in square-wave mode";
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

TEST_F(LatchIoPagesTest, IokSendsNibbleWordsAndShowsInputsThroughThePlug) {
    Iok.ButtonIOK[0]->click(); // pin 1, bit 12
    Iok.ButtonIOK[9]->click(); // pin 10, bit 0
    EXPECT_EQ(CardTest.IokOutputs, 0x1001);
    Iok.ButtonIOKVersturenClick();
    EXPECT_EQ(Sent(5), (std::vector<int>{0x89, 0x71, 0x60, 0x50, 0x41}));
    EXPECT_EQ(CardTest.IokInputs, 0x1001);
    EXPECT_EQ(Lamps(), WhiteAt({1, 10})) << "inputs mirror outputs";

    ClearOutputs();
    for (int pin : {2, 7, 11, 16})
        Iok.ButtonIOK[pin - 1]->click();
    Iok.ButtonIOKVersturenClick();
    Sent(5);
    EXPECT_EQ(Lamps(), WhiteAt({2, 7, 11, 16}));
    World->Rack.Bus.Locked([] { EXPECT_EQ(World->Rack.IoCard->Outputs(), 0x8128); });
}

TEST_F(LatchIoPagesTest, IokRepliesBuildTheInputsNibbleByNibble) {
    World->Rack.Bus.Locked([] {
        World->Rack.IoCard->TestPlug = false;
        World->Rack.IoCard->ExternalInputs = 0xFFFF;
    });
    Iok.ButtonIOKVersturenClick(); // replies 0x4F four times
    EXPECT_EQ(CardTest.IokInputs, 0xFFFF);
    EXPECT_EQ(Lamps(), std::vector<QColor>(16, LampWhite));

    World->Rack.Bus.Locked([] { World->Rack.IoCard->ExternalInputs = 0x1000; });
    Iok.ButtonIOKVersturenClick(); // replies 0x41, 0x40, 0x40, 0x40
    EXPECT_EQ(CardTest.IokInputs, 0x1000);
    EXPECT_EQ(Lamps(), WhiteAt({1}));
    EXPECT_EQ(CardTest.IokFeedback, 0x40);
}

TEST_F(LatchIoPagesTest, IokMissingReplyShiftsTheEarlierNibblesDown) {
    CardTest.IokInputs = 0;
    Iok.TakeInReply(0x43); // nibble word 3
    Iok.TakeInReply(0x85); // an echo instead of the reply to nibble word 2
    Iok.TakeInReply(0x41); // nibble word 1
    Iok.TakeInReply(0x62); // nibble word 0, D5 set in the reply
    Iok.TakeInReply(bus::NoDataYet);
    EXPECT_EQ(CardTest.IokInputs, 0x0312);
    Iok.ShowInputs();
    EXPECT_EQ(Lamps(), WhiteAt({2, 4, 9, 12})) << "nibble 3's reply shows on nibble 2's lamps";

}

TEST_F(LatchIoPagesTest, IokSquareWaveSendsAddressFirstAndTogglesPhases) {
    World->Window->PageControlTester->setCurrentWidget(Pages.TabSheetIOK);
    Status.SpinEditTestTijd->setValue(600);
    Iok.ButtonIOK[15]->click(); // pin 16, bit 3
    Iok.CheckBoxIOKTest->click();
    EXPECT_EQ(Iok.ButtonIOKVersturen->text(), "Testen");

    Iok.ButtonIOKVersturenClick();
    EXPECT_EQ(Sent(1), std::vector<int>{0x89}) << "the address word, and no tick yet";
    EXPECT_EQ(Iok.ButtonIOKVersturen->text(), "Stop");
    EXPECT_TRUE(TimerSpeed.isActive());
    EXPECT_EQ(TimerSpeed.interval(), 250);

    CardTest.SquareWavePhase = false;
    Pages.TimerSpeedTimer();
    EXPECT_EQ(TimerSpeed.interval(), 600);
    EXPECT_EQ(Sent(9), (std::vector<int>{0x89, 0x70, 0x60, 0x50, 0x48, 0x70, 0x60, 0x50, 0x48}));
    EXPECT_EQ(CardTest.IokInputs, 0x0008) << "16 bits: the second pass";
    EXPECT_EQ(Lamps(), WhiteAt({16}));
    Pages.TimerSpeedTimer();
    EXPECT_EQ(Sent(9), (std::vector<int>{0x89, 0x70, 0x60, 0x50, 0x40, 0x70, 0x60, 0x50, 0x40}));
    EXPECT_EQ(Lamps(), WhiteAt({}));

    World->Rack.Bus.Locked([] {
        World->Rack.IoCard->TestPlug = false;
        World->Rack.IoCard->ExternalInputs = 0xFFFF;
    });
    Pages.TimerSpeedTimer();
    Sent(9);
    EXPECT_EQ(CardTest.IokInputs, 0xFFFF) << "eight replies keep to 16 bits";

    Iok.ButtonIOKVersturenClick(); // "Stop"
    EXPECT_EQ(Sent(1), std::vector<int>{0x89});
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_EQ(Iok.ButtonIOKVersturen->text(), "Testen");

    Iok.ButtonIOKVersturenClick();
    Sent(1);
    Iok.Exit();
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_EQ(Iok.ButtonIOKVersturen->text(), "Testen");
    Iok.CheckBoxIOKTest->click();
    EXPECT_EQ(Iok.ButtonIOKVersturen->text(), "Versturen");
}

TEST_F(LatchIoPagesTest, SendButtonsFollowTheSettings) {
    World->Window->Instellingen(false, false);
    EXPECT_FALSE(Lkk.ButtonLKK_EVLversturen->isEnabled());
    EXPECT_FALSE(Iok.ButtonIOKVersturen->isEnabled());
    World->Window->Instellingen(true, false);
    EXPECT_TRUE(Lkk.ButtonLKK_EVLversturen->isEnabled());
    EXPECT_TRUE(Iok.ButtonIOKVersturen->isEnabled());
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
