// The views of the bus-word pages ("SCK/ MCK", "PCK") and the selection card page: each
// shows its model's state and forwards the clicks, and the test timer's ticks and the input
// focus reach the models as a user's desktop gives them. What the models do is
// tests/unit/CardModelTests.cpp's.
#include "DialogRecorder.h"
#include "ProgramWindows.h"
#include "TestFiles.h"
#include "app/BusMonitor.h"
#include "app/MainWindow.h"
#include "cards/qt/CardPages.h"
#include "cards/qt/PageBusWord.h"
#include "cards/qt/PageSlk.h"
#include "settings/qt/SettingsWindow.h"
#include "sim/SimParallelCard.h"
#include "sim/SimSelectionCard.h"
#include "sim/SimSerialCard.h"
#include "sim/SimTestCard.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <gtest/gtest.h>

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
    sim::TSerialCard& SerialCardOf() { return SerialCard; }
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
};

} // namespace

TEST_F(CardPagesTest, BusWordPagesShowTheirModelsAndForwardTheClicks) {
    // Bit buttons and the strobe choice go to the model; the captions and enabled states are
    // the model's.
    Sck.ButtonD[0]->click();
    Sck.ButtonD[2]->click();
    EXPECT_EQ(Pages.Models.Sck.Word(), 5);
    EXPECT_EQ(Sck.ButtonD[2]->text(), "1");
    Sck.RadioGroupStrobe->Item(3)->click();
    EXPECT_EQ(Pages.Models.Sck.View().Strobe, 3);
    EXPECT_FALSE(Sck.ButtonD[5]->isEnabled()) << "latch strobes carry D0 to D4 only";
    EXPECT_FALSE(Sck.LabelD[5]->isEnabled());
    Sck.RadioGroupStrobe->Item(0)->click();
    EXPECT_TRUE(Sck.ButtonD[5]->isEnabled());

    // "Versturen" sends the word; the reply to a data strobe colours the lamps.
    World->Rack.Locked([] {
        World->Card5->Lines = 0b1001;
        World->Card5->Short = true;
    });
    Sck.ButtonVersturen->click(); // address 5
    Sck.ButtonD[0]->click();
    Sck.ButtonD[2]->click();
    Sck.RadioGroupStrobe->Item(1)->click();
    Sck.ButtonVersturen->click(); // data 0
    EXPECT_EQ(Sent(), (std::vector<int>{0x85, 0x40}));
    EXPECT_EQ(Sck.ShapeS[0]->BrushColor(), LampYellow);
    EXPECT_EQ(Sck.ShapeS[1]->BrushColor(), LampWhite);
    EXPECT_EQ(Sck.ShapeS[3]->BrushColor(), LampYellow);
    EXPECT_EQ(Sck.ShapeKort->BrushColor(), LampRed);
    EXPECT_EQ(Sck.ShapeKort->size(), QSize(17, 17));
    World->Rack.Locked([] { World->Card5->Short = false; });
    Sck.RadioGroupStrobe->Item(0)->click();

    // The enabling rules on the controls, by name.
    auto control = [this](const char* name) { return World->Window->findChild<QWidget*>(name); };
    World->Window->Instellingen(false, false);
    EXPECT_TRUE(control("ButtonSCKVersturen")->isEnabled());
    EXPECT_FALSE(control("ButtonPCKVersturen")->isEnabled());
    EXPECT_FALSE(control("ButtonSLKVersturen")->isEnabled());
    EXPECT_FALSE(control("ButtonSCKAdr")->isEnabled());
    EXPECT_FALSE(control("LabelPCKadr")->isEnabled());
    EXPECT_TRUE(control("RadioGroupSCKStrobe")->isEnabled());
    EXPECT_EQ(World->Window->findChild<QLabel*>("LabelSCKD5")->text(), "D5");
    Status.CheckBoxTesten->setChecked(true); // the settings reach the models as a value
    World->Window->Instellingen(true, true);
    EXPECT_FALSE(control("ButtonSCKVersturen")->isEnabled());
    EXPECT_TRUE(control("ButtonPCKVersturen")->isEnabled());
    EXPECT_FALSE(control("ButtonSLKVersturen")->isEnabled()) << "whatever connected says";
    for (const char* name : {"ButtonSCKData", "ButtonSCKAdr", "ButtonPCKData", "ButtonPCKAdr",
                             "LabelSCKData", "LabelSCKAdr", "LabelPCKData", "LabelPCKadr"})
        EXPECT_TRUE(control(name)->isEnabled()) << name;
    EXPECT_FALSE(control("RadioGroupSCKStrobe")->isEnabled());
    EXPECT_FALSE(control("RadioGroupPCKStrobe")->isEnabled());
    EXPECT_EQ(World->Window->findChild<QLabel*>("LabelPCKD5")->text(), "D5/ Latch Strobe");
}

TEST_F(CardPagesTest, ThePckPageSaysSoWhenTheSerialCardIsChosen) {
    Pck.ButtonVersturen->setEnabled(true);
    Pck.ButtonVersturen->click();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Parallelle kaart selecteren");
    EXPECT_EQ(Dialogs.Messages[0].Icon, bus::TDialogs::TIcon::None);
    EXPECT_EQ(Pck.ShapeKort->BrushColor(), LampYellow) << "the last feedback (none) again";
    EXPECT_TRUE(Sent().empty());
}

TEST_F(CardPagesTest, SlkPageShowsItsModelAndForwardsTheClicks) {
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
    Slk.SpinEditSLKAdr->setValue(37);
    Slk.ButtonSLKVersturen->click();
    EXPECT_EQ(Sent(), std::vector<int>{0xA5});
    EXPECT_EQ(World->Selection->SelectedPlace(), 37);
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
