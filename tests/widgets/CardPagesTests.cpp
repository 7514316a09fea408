#include "DialogRecorder.h"
#include "TestFiles.h"
#include "ProgramWindows.h"
#include "app/BusMonitor.h"
#include "app/UnitMorvelplint.h"
#include "bus/qt/UnitStatus.h"
#include "bus/UnitThread_PAR_IO.h"
#include "cards/qt/CardPages.h"
#include "cards/CardTestState.h"
#include "cards/qt/PageBusWord.h"
#include "cards/qt/PageSlk.h"
#include "platform/Tick.h"
#include "serial/qt/CPortCtl.h"
#include "serial/PortNames.h"
#include "sim/SimParallelCard.h"
#include "sim/SimSelectionCard.h"
#include "sim/SimSerialCard.h"
#include "sim/SimTestCard.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTableView>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

using cards::CardTest;
using cards::LampGreen;
using cards::LampRed;
using cards::LampWhite;
using cards::LampYellow;

namespace {

// One program's worth of windows over a simulated rack, connected once over the simulated
// serial card; the tests look at the bytes that card took from the line.
struct TWorld {
    sim::TTrainBus Rack;
    std::shared_ptr<sim::TSimTestCard> Card5 = std::make_shared<sim::TSimTestCard>();
    std::shared_ptr<sim::TSimSelectionCard> Selection = std::make_shared<sim::TSimSelectionCard>();
    sim::TSimParallelCard ParallelCard{Rack};
    sim::TSimSerialCard SerialCard{Rack};
    TProgramWindows Windows{ParallelCard, SerialCard.SlavePath()};
    std::unique_ptr<app::TFormMorvelplint>& Window = Windows.Window;
    std::unique_ptr<bus::TStatusForm>& Status = Windows.Status;

    TWorld() {
        Rack.Plug(5, Card5);
        Rack.Plug(63, Selection);
        Status->TimerStatusTimer();
    }
    sim::TSimSerialCard& SerialCardOf() { return SerialCard; }
};

class CardPagesTest : public TProgramWindowsTest<TWorld> {
protected:
    cards::TBusWordPage& Sck = *Pages.PageSCK;
    cards::TBusWordPage& Pck = *Pages.PagePCK;
    cards::TSlkPage& Slk = *Pages.PageSLK;

    void SetUp() override {
        TProgramWindowsTest::SetUp();
        MarkNow();
    }

    void TearDown() override {
        TimerSpeed.stop();
        Status.CheckBoxTesten->setChecked(false);
        World->Window->Instellingen(true, false);
    }

    static void SetButtons(const std::vector<QPushButton*>& buttons) {
        for (QPushButton* button : buttons)
            button->click();
    }

    static void Reset(cards::TBusWordPage& page, int& word) {
        for (QPushButton* button : page.ButtonD)
            if (button->text() == "1")
                button->click();
        for (QPushButton* button : {page.ButtonData, page.ButtonAdr})
            if (button->text() == "1")
                cards::ToggleBitButton(button, word);
        word = 0;
        page.RadioGroupStrobe->SetItemIndex(0);
        page.StrobeClick();
    }

    void SelectItem(cards::TBusWordPage& page, int index) {
        page.RadioGroupStrobe->Item(index)->click();
    }
};

} // namespace

TEST_F(CardPagesTest, BitButtonsAddAndSubtractTheirWeightByCaption) {
    Reset(Sck, CardTest.SckWord);
    Sck.ButtonD[3]->click();
    EXPECT_EQ(CardTest.SckWord, 8);
    EXPECT_EQ(Sck.ButtonD[3]->text(), "1");
    Sck.ButtonD[3]->click();
    EXPECT_EQ(CardTest.SckWord, 0);
    EXPECT_EQ(Sck.ButtonD[3]->text(), "0");
    EXPECT_TRUE(Sent().empty()) << "a bit button sends nothing";
}

TEST_F(CardPagesTest, NormalModeSendsTheWordWithTheChosenStrobe) {
    Reset(Sck, CardTest.SckWord);
    SetButtons({Sck.ButtonD[0], Sck.ButtonD[2]});
    Sck.VersturenClick();
    EXPECT_EQ(Sent(), std::vector<int>{0x85});
    EXPECT_EQ(CardTest.SckWord, 0x05);

    Reset(Sck, CardTest.SckWord);
    SelectItem(Sck, 3);
    Sck.ButtonD[0]->click();
    MarkNow();
    Sck.VersturenClick();
    EXPECT_EQ(Sent(), std::vector<int>{0x21});
    EXPECT_EQ(CardTest.SckWord, 0x21);
    EXPECT_EQ(Sck.ButtonD[5]->text(), "0");
    EXPECT_FALSE(Sck.ButtonD[5]->isEnabled()) << "latch strobes carry D0 to D4 only";
    EXPECT_FALSE(Sck.LabelD[5]->isEnabled());

    Reset(Sck, CardTest.SckWord);
    Sck.ButtonD[5]->click();
    SelectItem(Sck, 2);
    Sck.ButtonD[1]->click();
    MarkNow();
    Sck.VersturenClick();
    EXPECT_EQ(Sent(), std::vector<int>{0xC2});
    EXPECT_EQ(CardTest.SckWord, 0x02);
    EXPECT_EQ(Sck.ButtonD[5]->text(), "1");
    SelectItem(Sck, 1);
    EXPECT_TRUE(Sck.ButtonD[5]->isEnabled());
}

TEST_F(CardPagesTest, TestModeSendsTheButtonsAsTheyStand) {
    Reset(Sck, CardTest.SckWord);
    Status.CheckBoxTesten->setChecked(true);
    World->Window->Instellingen(true, false);
    ASSERT_TRUE(Sck.ButtonAdr->isEnabled());
    SetButtons({Sck.ButtonAdr, Sck.ButtonD[4]});
    Sck.VersturenClick();
    EXPECT_EQ(Sent(), std::vector<int>{0x90});
    EXPECT_EQ(CardTest.SckWord, 0x90);
    Sck.ButtonAdr->click();
    EXPECT_EQ(CardTest.SckWord, 0x10);
}

TEST_F(CardPagesTest, RepliesColourTheLamps) {
    Sck.ShowReply(0x53);
    EXPECT_EQ(Sck.ShapeS[0]->BrushColor(), LampYellow);
    EXPECT_EQ(Sck.ShapeS[1]->BrushColor(), LampYellow);
    EXPECT_EQ(Sck.ShapeS[2]->BrushColor(), LampWhite);
    EXPECT_EQ(Sck.ShapeS[3]->BrushColor(), LampWhite);
    EXPECT_EQ(Sck.ShapeKort->BrushColor(), LampRed);
    Sck.ShowReply(0x40);
    for (auto* lamp : Sck.ShapeS)
        EXPECT_EQ(lamp->BrushColor(), LampWhite);
    EXPECT_EQ(Sck.ShapeKort->BrushColor(), LampGreen);
    Sck.ShowReply(0x59);
    Sck.ShowReply(0x85);
    EXPECT_EQ(Sck.ShapeKort->BrushColor(), LampYellow);
    EXPECT_EQ(Sck.ShapeS[0]->BrushColor(), LampYellow) << "S lamps stay as they were";
    EXPECT_EQ(Sck.ShapeS[3]->BrushColor(), LampYellow);
    EXPECT_EQ(Sck.ShapeKort->size(), QSize(17, 17));
}

TEST_F(CardPagesTest, DataStrobeShowsTheAddressedCardsFeedback) {
    World->Rack.Locked([] {
        World->Card5->Lines = 0b1001;
        World->Card5->Short = true;
    });
    Reset(Sck, CardTest.SckWord);
    SetButtons({Sck.ButtonD[0], Sck.ButtonD[2]});
    Sck.VersturenClick(); // address 5
    SelectItem(Sck, 1);
    Reset(Sck, CardTest.SckWord);
    SelectItem(Sck, 1);
    Sck.VersturenClick(); // data 0
    EXPECT_EQ(Sent(), (std::vector<int>{0x85, 0x40}));
    EXPECT_EQ(Sck.ShapeS[0]->BrushColor(), LampYellow);
    EXPECT_EQ(Sck.ShapeS[1]->BrushColor(), LampWhite);
    EXPECT_EQ(Sck.ShapeS[3]->BrushColor(), LampYellow);
    EXPECT_EQ(Sck.ShapeKort->BrushColor(), LampRed);
    World->Rack.Locked([] { World->Card5->Short = false; });
}

TEST_F(CardPagesTest, WrongMethodIsRefusedWithAMessage) {
    Status.RadioButtonParallel->setChecked(true);
    Bus.SetTransport(bus::TTransport::Parallel); // as a parallel set-up leaves it
    Sck.VersturenClick();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Seriele kaart selecteren");
    EXPECT_EQ(Dialogs.Messages[0].Icon, bus::TDialogs::TIcon::None);

    Status.RadioButtonSerieel->setChecked(true);
    Bus.SetTransport(bus::TTransport::Serial);
    CardTest.PckFeedback = 0x52;
    Pck.VersturenClick();
    ASSERT_EQ(Dialogs.Messages.size(), 2u);
    EXPECT_EQ(Dialogs.Messages[1].Text, "Parallelle kaart selecteren");
    EXPECT_EQ(Pck.ShapeS[1]->BrushColor(), LampYellow) << "the last feedback is shown again";
    EXPECT_EQ(Pck.ShapeKort->BrushColor(), LampRed);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(CardPagesTest, PckShowsTheStatusPortUndecoded) {
    Status.RadioButtonParallel->setChecked(true);
    Bus.SetTransport(bus::TTransport::Parallel);
    World->Rack.Locked([] {
        World->Card5->Lines = 0b0101;
        World->Card5->Short = false;
    });
    Reset(Pck, CardTest.PckWord);
    SetButtons({Pck.ButtonD[0], Pck.ButtonD[2]});
    Pck.VersturenClick(); // address strobe for place 5 through the transport
    EXPECT_EQ(World->Rack.SelectedPlace(), 5);
    EXPECT_EQ(CardTest.PckWord, 0x05);
    // The status port reads 1 0 1 0 1: no short circuit (line high) and lines 0101.
    EXPECT_EQ(CardTest.PckFeedback, 0x55);
    EXPECT_EQ(Pck.ShapeS[0]->BrushColor(), LampYellow);
    EXPECT_EQ(Pck.ShapeS[1]->BrushColor(), LampWhite);
    EXPECT_EQ(Pck.ShapeS[2]->BrushColor(), LampYellow);
    EXPECT_EQ(Pck.ShapeS[3]->BrushColor(), LampWhite);
    EXPECT_EQ(Pck.ShapeKort->BrushColor(), LampRed);
}

TEST_F(CardPagesTest, PckTestModeWritesTheDataPortDirectly) {
    Status.RadioButtonParallel->setChecked(true);
    Bus.SetTransport(bus::TTransport::Parallel);
    Status.CheckBoxTesten->setChecked(true);
    World->Window->Instellingen(true, true);
    Reset(Pck, CardTest.PckWord);
    SetButtons({Pck.ButtonD[1], Pck.ButtonD[5]});
    Pck.VersturenClick();
    EXPECT_EQ(World->ParallelCard.OutputLines(), 0x22);
    Pck.ButtonAdr->click();
    Pck.VersturenClick(); // the address strobe rises by hand
    EXPECT_EQ(World->Rack.SelectedPlace(), 0x22);
    Pck.ButtonAdr->click();
    Pck.VersturenClick();
    EXPECT_EQ(World->ParallelCard.OutputLines(), 0x22);
    EXPECT_EQ(CardTest.PckWord, 0x22);
}

TEST_F(CardPagesTest, InstellingenFollowsMethodTestModeAndConnection) {
    auto button = [this](const char* name) { return World->Window->findChild<QWidget*>(name); };
    World->Window->Instellingen(false, false);
    EXPECT_TRUE(button("ButtonSCKVersturen")->isEnabled());
    EXPECT_FALSE(button("ButtonPCKVersturen")->isEnabled());
    EXPECT_FALSE(button("ButtonSLKVersturen")->isEnabled());
    EXPECT_FALSE(button("ButtonSCKAdr")->isEnabled());
    EXPECT_FALSE(button("LabelPCKadr")->isEnabled());
    EXPECT_TRUE(button("RadioGroupSCKStrobe")->isEnabled());
    EXPECT_EQ(World->Window->findChild<QLabel*>("LabelSCKD5")->text(), "D5");

    World->Window->Instellingen(true, false);
    EXPECT_TRUE(button("ButtonSLKVersturen")->isEnabled());

    Status.CheckBoxTesten->setChecked(true);
    World->Window->Instellingen(true, true);
    EXPECT_FALSE(button("ButtonSCKVersturen")->isEnabled());
    EXPECT_TRUE(button("ButtonPCKVersturen")->isEnabled());
    EXPECT_FALSE(button("ButtonSLKVersturen")->isEnabled()) << "whatever connected says";
    for (const char* name : {"ButtonSCKData", "ButtonSCKAdr", "ButtonPCKData", "ButtonPCKAdr",
                             "LabelSCKData", "LabelSCKAdr", "LabelPCKData", "LabelPCKadr"})
        EXPECT_TRUE(button(name)->isEnabled()) << name;
    EXPECT_FALSE(button("RadioGroupSCKStrobe")->isEnabled());
    EXPECT_FALSE(button("RadioGroupPCKStrobe")->isEnabled());
    EXPECT_EQ(World->Window->findChild<QLabel*>("LabelSCKD5")->text(), "D5/ Latch Strobe");
    EXPECT_EQ(World->Window->findChild<QLabel*>("LabelPCKD5")->text(), "D5/ Latch Strobe");
}

TEST_F(CardPagesTest, SlkCardModeSelectsOnePlace) {
    Slk.rbtKaart->click();
    Slk.SpinEditSLKAdr->setValue(37);
    Slk.ButtonSLKVersturenClick();
    EXPECT_EQ(Sent(), std::vector<int>{0xA5});
    EXPECT_EQ(World->Selection->SelectedPlace(), 37);
}

TEST_F(CardPagesTest, SlkModeSwitchSetsRangeValueAndCaption) {
    Slk.rbtRektesten->click();
    EXPECT_EQ(Slk.SpinEditSLKAdr->value(), 1);
    EXPECT_EQ(Slk.SpinEditSLKAdr->maximum(), 4);
    EXPECT_EQ(Slk.LabelSLK->text(), "Rek");
    EXPECT_EQ(Slk.ButtonSLKVersturen->text(), "Testen");
    Slk.rbtKaart->click();
    EXPECT_EQ(Slk.SpinEditSLKAdr->value(), 0);
    EXPECT_EQ(Slk.SpinEditSLKAdr->maximum(), 63);
    EXPECT_EQ(Slk.LabelSLK->text(), "Adres");
    EXPECT_EQ(Slk.ButtonSLKVersturen->text(), "Versturen");
}

TEST_F(CardPagesTest, SlkRackSweepStartsAtOnceAndStopsOnARackChange) {
    World->Window->PageControlTester->setCurrentWidget(Pages.TabSheetSLK);
    Slk.rbtRektesten->click();
    Slk.ButtonSLKVersturenClick();
    EXPECT_EQ(Slk.ButtonSLKVersturen->text(), "Stop");
    EXPECT_TRUE(TimerSpeed.isActive());
    EXPECT_EQ(TimerSpeed.interval(), 400);
    std::vector<int> rack1;
    for (int i = 0; i < 16; ++i)
        rack1.push_back(0x80 + i);
    EXPECT_EQ(Sent(), rack1) << "the first sweep goes out at once";

    Slk.SpinEditSLKAdr->setValue(4);
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_EQ(Slk.ButtonSLKVersturen->text(), "Testen");

    MarkNow();
    Pages.TimerSpeedTimer();
    std::vector<int> rack4;
    for (int i = 0; i < 16; ++i)
        rack4.push_back(0xB0 + i);
    EXPECT_EQ(Sent(), rack4);
    EXPECT_EQ(World->Selection->SelectedPlace(), 0x3F);

    Slk.ButtonSLKVersturenClick();
    Slk.ButtonSLKVersturenClick();
    EXPECT_EQ(Slk.ButtonSLKVersturen->text(), "Testen");
    EXPECT_FALSE(TimerSpeed.isActive());
    Slk.rbtKaart->click();
}

TEST_F(CardPagesTest, SlkSweepGoesOnBesideOtherWindowsAndStopsWhenTheFocusLeavesTheButton) {
    World->Window->show(); // its first showing loads the settings and arms a set-up
    Status.TimerStatus->stop();
    QApplication::setActiveWindow(World->Window.get());
    World->Window->PageControlTester->setCurrentWidget(Pages.TabSheetSLK);
    Slk.rbtRektesten->click();
    Slk.ButtonSLKVersturen->setFocus();
    QApplication::processEvents();
    Slk.ButtonSLKVersturenClick();
    ASSERT_TRUE(TimerSpeed.isActive());
    ExpectTestGoesOnBesideOtherWindows(*World->Window, SerialCard);
    EXPECT_EQ(Slk.ButtonSLKVersturen->text(), "Stop");
    ASSERT_TRUE(Slk.ButtonSLKVersturen->hasFocus());
    Slk.SpinEditSLKAdr->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_EQ(Slk.ButtonSLKVersturen->text(), "Testen");
    Slk.rbtKaart->click();
    World->Window->hide();
}

TEST_F(CardPagesTest, TimerDispatchesByActivePageAndSkipsWhileBusy) {
    World->Window->PageControlTester->setCurrentWidget(Pages.TabSheetSCK);
    TimerSpeed.setInterval(1234);
    Pages.TimerSpeedTimer();
    EXPECT_EQ(TimerSpeed.interval(), 1234) << "no timed test on this page";
    EXPECT_TRUE(Sent().empty());

    World->Window->PageControlTester->setCurrentWidget(Pages.TabSheetSLK);
    Slk.rbtRektesten->click();
    {
        bus::TBus::TExchange busy(Bus);
        Pages.TimerSpeedTimer();
    }
    EXPECT_TRUE(Sent().empty()) << "a tick that falls due during an action is skipped";
    Slk.rbtKaart->click();
}

TEST_F(CardPagesTest, ActionThatArrivesDuringAnotherRunsAfterIt) {
    std::vector<int> order;
    {
        bus::TBus::TExchange busy(Bus);
        cards::RunPageAction(Bus, [&] { order.push_back(2); });
        order.push_back(1);
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST_F(CardPagesTest, WaitsEndInDebugModeAndOnSilence) {
    Bus.SetDebugMode(true);
    const std::uint32_t start = platform::GetTickCount();
    Bus.DrainFeedback(true);
    EXPECT_EQ(Bus.AwaitFeedback(true), 72);
    EXPECT_LT(platform::GetTickCount() - start, 3000u);
    Bus.SetDebugMode(false);

    sim::TSerialFaults silent;
    silent.Silent = true;
    World->SerialCard.SetFaults(silent);
    Status.SendBusWord(0x40);
    EXPECT_EQ(Bus.AwaitFeedback(true), bus::NoDataYet);
    World->SerialCard.SetFaults({});
    Sck.ShowReply(bus::NoDataYet);
    EXPECT_EQ(Sck.ShapeKort->BrushColor(), LampYellow) << "no valid reply";
}

TEST_F(CardPagesTest, MonitorShowsEachExchangeAndAFreezeLosesNone) {
    World->Window->Busmonitor->trigger();
    ASSERT_NE(World->Window->BusMonitor, nullptr);
    app::TBusMonitor& monitor = *World->Window->BusMonitor;
    EXPECT_TRUE(monitor.isVisible());
    monitor.ButtonWissenClick();

    World->Rack.Locked([] { World->Card5->Lines = 0b0110; });
    Status.SendBusWord(bus::AddressWord(5));
    Bus.AwaitFeedback(false);
    Status.SendBusWord(bus::DataWord(0));
    Bus.AwaitFeedback(false);
    monitor.TimerMonitorTimer();
    app::TCaptureTableModel& model = monitor.Model();
    ASSERT_EQ(model.rowCount(), 2);
    const auto cell = [&model](int row, int column) {
        return model.data(model.index(row, column), Qt::DisplayRole).toString();
    };
    EXPECT_EQ(cell(0, app::TCaptureTableModel::Word), "0x85");
    EXPECT_EQ(cell(0, app::TCaptureTableModel::Strobe), "adres");
    EXPECT_EQ(cell(0, app::TCaptureTableModel::AddressOrData), "5");
    EXPECT_EQ(cell(1, app::TCaptureTableModel::Bits), "0100 0000");
    EXPECT_EQ(cell(1, app::TCaptureTableModel::Reply), "0x46");
    EXPECT_EQ(cell(1, app::TCaptureTableModel::Meaning), "data 0; terugmelding 0110");
    EXPECT_FALSE(cell(1, app::TCaptureTableModel::Latency).isEmpty());
    EXPECT_EQ(cell(1, app::TCaptureTableModel::Status), "ok");

    // Frozen, the view stands still while the capture goes on; thawed, it shows what came.
    monitor.CheckBoxBevriezen->setChecked(true);
    for (int i = 0; i < 3; ++i) {
        Status.SendBusWord(bus::DataWord(i));
        Bus.AwaitFeedback(false);
    }
    monitor.TimerMonitorTimer();
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_TRUE(monitor.LabelTellers->text().startsWith("Woorden: 5   Antwoorden: 5"));
    monitor.CheckBoxBevriezen->setChecked(false);
    EXPECT_EQ(model.rowCount(), 5);

    const std::filesystem::path folder = MakeTempFolder("morvelplint-monitor");
    Dialogs.SaveAnswers = {QString::fromStdString((folder / "bus.csv").string())};
    monitor.SpinEditPlaats->setValue(7); // a place nothing went to: no row shown
    EXPECT_EQ(model.rowCount(), 0);
    monitor.ButtonBewaarClick();
    const std::string csv = ReadAll(folder / "bus.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 5) << "the whole capture";
    std::filesystem::remove_all(folder);
    monitor.close();
}
