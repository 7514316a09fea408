#include "DialogRecorder.h"
#include "FakeFrontEnd.h"
#include "TestFiles.h"
#include "app/QtTimers.h"
#include "bus/ParallelTransport.h"
#include "platform/EventPump.h"
#include "platform/Tick.h"
#include "serial/PortNames.h"
#include "serial/PortNotes.h"
#include "serial/SerialCardLink.h"
#include "serial/qt/ComComboBox.h"
#include "settings/qt/SettingsWindow.h"
#include "sim/SimParallelCard.h"
#include "sim/InProcessSerialCard.h"
#include "sim/SimTestCard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <unistd.h>

using bus::TStatusForm;

namespace {

// A settings window over a simulated rack: the parallel card on the transport, the serial
// card in the test's own process, first in the port list. The program's clock is one the
// test steps, so that the serial card's waits take no time and are exact to the millisecond;
// the window's own timers keep the machine's time.
class StatusFormTest : public ::testing::Test {
protected:
    platform::TSteppedClock Clock;
    platform::TClock* PreviousClock = platform::SetClock(&Clock);
    sim::TTrainBus Rack;
    std::shared_ptr<sim::TSimTestCard> Card = std::make_shared<sim::TSimTestCard>();
    sim::TSimParallelCard ParallelCard{Rack};
    sim::TInProcessSerialCard SerialCard{Rack, "/dev/null/zelm-card-status"};
    platform::TPortBackend* PreviousBackend = nullptr;
    serial::TPortNameSource PreviousSource;
    serial::TSystemFolders PreviousFolders;
    TDialogRecorder Dialogs;
    TFakeFrontEnd MainWindow;
    app::TQtTimers Timers;
    std::unique_ptr<session::TRackSession> Session;
    std::unique_ptr<TStatusForm> Form;
    std::filesystem::path Folder;

    void SetUp() override {
        Rack.Plug(5, Card);
        PreviousBackend = platform::SetPortBackend(&ParallelCard);
        bus::ParTransport().CreateWorker();
        bus::ParTransport().ResetTransport(200);
        const std::string pty = SerialCard.SlavePath();
        PreviousSource = serial::SetPortNameSource([pty] {
            return std::vector<std::string>{pty, "/tmp/morvelplint-no-port"};
        });
        Folder = MakeTempFolder("morvelplint-status");
        // The machine's processes say nothing here: the window's notes read a fake /proc.
        PreviousFolders =
            serial::SetSystemFolders({(Folder / "sys").string(), (Folder / "proc").string()});
        session::TSessionOptions options;
        options.SerialLine = [this] { return SerialCard.Line(); };
        Session = std::make_unique<session::TRackSession>(Timers, std::move(options));
        Session->SetFrontEnd(&MainWindow);
        Session->Bus().AddListener(MainWindow);
        Form = std::make_unique<TStatusForm>(*Session, Timers.Timer("TimerStatus"));
        Form->TimerStatus->stop(); // tests run the set-up themselves
    }

    bool LedUitEnabled() const { return Session->SettingsView().LedUitEnabled; }

    void TearDown() override {
        Form.reset();
        Session->Bus().RemoveListener(MainWindow);
        Session.reset();
        bus::ParTransport().StopWorker();
        bus::ParTransport().ResetTransport(200);
        platform::SetPortBackend(PreviousBackend);
        serial::SetPortNameSource(PreviousSource);
        serial::SetSystemFolders(PreviousFolders);
        std::filesystem::remove_all(Folder);
        platform::SetClock(PreviousClock);
    }

    void ChooseSerialCard() {
        Form->ComComboBoxPoort->SetItemIndex(0);
        Form->RadioButtonSerieel->setChecked(true);
    }

    std::vector<int> WordsTheCardTook() const {
        std::vector<int> words;
        for (const auto& taken : SerialCard.Received())
            words.push_back(taken.Byte);
        return words;
    }

    static std::vector<int> InitialisationSequence() {
        std::vector<int> words;
        for (int place = 0; place < 64; ++place)
            words.insert(words.end(), {128 + place, 96, 64});
        return words;
    }
};

} // namespace

TEST_F(StatusFormTest, StartsWithTheSerialCardAndTheLinkOptions) {
    EXPECT_EQ(Form->windowTitle(), "Status");
    EXPECT_EQ(Form->size(), QSize(339, 253));
    EXPECT_TRUE(Form->RadioButtonSerieel->isChecked());
    EXPECT_EQ(Form->ComComboBoxPoort->ItemIndex(), 1);
    EXPECT_EQ(Form->ComComboBoxPoort->Text(), "/tmp/morvelplint-no-port");
    EXPECT_TRUE(Form->ComComboBoxPoort->isEnabled());
    EXPECT_EQ(Form->ComboBoxSpeed->currentText(), "200");
    EXPECT_FALSE(Form->ComboBoxSpeed->isEnabled());
    EXPECT_FALSE(Form->CheckBoxKortsluitStop->isChecked());
    EXPECT_TRUE(Form->CheckBoxTimeOut->isChecked());
    EXPECT_FALSE(Form->CheckBoxKorsluitmelding->isChecked());
    EXPECT_FALSE(Form->CheckBoxBaudrate->isChecked());
    EXPECT_FALSE(Form->CheckBoxTesten->isChecked());
    EXPECT_EQ(Form->SpinEditTestTijd->value(), 400);
    EXPECT_EQ(Form->SpinEditTestTijd->minimum(), 100);
    EXPECT_EQ(Form->SpinEditTestTijd->maximum(), 10000);
    EXPECT_EQ(Form->SpinEditTestTijd->singleStep(), 50);
    EXPECT_FALSE(Form->BusReady());
    EXPECT_FALSE(Form->Baud19200());
    EXPECT_EQ(Form->TavoCom1->Port(), "COM2");
    EXPECT_EQ(Form->TavoCom1->OptionByte(), 0x02);
    EXPECT_EQ(Form->TavoCom1->BaudRate(), serial::br9600);

    app::TQtTimers timers;
    session::TRackSession fresh(timers, {});
    EXPECT_TRUE(timers.Timer("TimerStatus")->isActive()) << "armed from creation on";
    EXPECT_EQ(timers.Timer("TimerStatus")->interval(), 400);
}

TEST_F(StatusFormTest, MethodChoiceEnablesItsControls) {
    Form->RadioButtonParallel->click();
    EXPECT_FALSE(Form->CheckBoxKortsluitStop->isEnabled());
    EXPECT_FALSE(Form->CheckBoxTimeOut->isEnabled());
    EXPECT_FALSE(Form->CheckBoxBaudrate->isEnabled());
    EXPECT_FALSE(Form->ComComboBoxPoort->isEnabled());
    EXPECT_TRUE(Form->ComboBoxSpeed->isEnabled());
    EXPECT_TRUE(Form->CheckBoxKorsluitmelding->isEnabled());
    EXPECT_TRUE(Form->CheckBoxTesten->isEnabled());
    EXPECT_TRUE(Form->SpinEditTestTijd->isEnabled());
    Form->RadioButtonSerieel->click();
    EXPECT_TRUE(Form->CheckBoxKortsluitStop->isEnabled());
    EXPECT_TRUE(Form->ComComboBoxPoort->isEnabled());
    EXPECT_FALSE(Form->ComboBoxSpeed->isEnabled());
}

TEST_F(StatusFormTest, LeavingTheWindowDropsUnappliedCheckBoxes) {
    Form->CheckBoxKortsluitStop->setChecked(true);
    Form->CheckBoxTimeOut->setChecked(false);
    Form->CheckBoxBaudrate->setChecked(true);
    Form->CheckBoxTesten->setChecked(true);
    Form->RadioButtonParallel->click();
    Form->SpinEditTestTijd->setValue(900);
    Form->FormDeactivate();
    EXPECT_FALSE(Form->CheckBoxKortsluitStop->isChecked());
    EXPECT_TRUE(Form->CheckBoxTimeOut->isChecked());
    EXPECT_FALSE(Form->CheckBoxBaudrate->isChecked());
    EXPECT_FALSE(Form->CheckBoxTesten->isChecked());
    EXPECT_TRUE(Form->RadioButtonParallel->isChecked()) << "the method stays as chosen";
    EXPECT_EQ(Form->SpinEditTestTijd->value(), 900);
}

TEST_F(StatusFormTest, CancelSwitchesLedUitOff) {
    Form->ButtonCancelClick();
    EXPECT_FALSE(LedUitEnabled());
}

TEST_F(StatusFormTest, LoadAppliesTheFileAndArmsTheSetUp) {
    const auto path = Folder / "Morvelplint.ini";
    std::ofstream(path, std::ios::binary) << "[zelm]\r\nMethode= parallel\r\nClock= 1600\r\n"
                                             "Kortsluit= True\r\nTijd= 50\r\n";
    Form->LoadSettings(QString::fromStdString(path.string()));
    EXPECT_TRUE(Form->RadioButtonParallel->isChecked());
    EXPECT_FALSE(Form->ComComboBoxPoort->isEnabled()) << "the click rule ran";
    EXPECT_EQ(Form->ComboBoxSpeed->currentText(), "1600");
    EXPECT_TRUE(Form->CheckBoxKorsluitmelding->isChecked());
    EXPECT_EQ(Form->SpinEditTestTijd->value(), 100);
    EXPECT_TRUE(Form->TimerStatus->isActive());
    Form->TimerStatus->stop();

    Form->LoadSettings(QString::fromStdString((Folder / "missing.ini").string()));
    EXPECT_TRUE(Form->TimerStatus->isActive()) << "a missing file still arms the set-up";
    EXPECT_TRUE(Dialogs.Messages.empty());
    Form->TimerStatus->stop();
}

TEST_F(StatusFormTest, LoadStopsAtATestTimeThatIsNoNumber) {
    const auto path = Folder / "bad.ini";
    std::ofstream(path, std::ios::binary) << "[ZELM]\r\nStop= True\r\nTijd= 12a\r\nTest= True\r\n";
    try {
        Form->LoadSettings(QString::fromStdString(path.string()));
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "'12A' is not a valid integer value");
    }
    EXPECT_TRUE(Form->CheckBoxKortsluitStop->isChecked());
    EXPECT_FALSE(Form->CheckBoxTesten->isChecked());
    EXPECT_FALSE(Form->TimerStatus->isActive()) << "this load arms no set-up";
}

TEST_F(StatusFormTest, SaveWritesTheControlsAndAFailedSaveKeepsTheOldFile) {
    Form->ComComboBoxPoort->SetItemIndex(0);
    Form->CheckBoxTesten->setChecked(true);
    Form->SpinEditTestTijd->setValue(650);
    const auto path = Folder / "Morvelplint.ini";
    ASSERT_TRUE(Form->SaveSettings(QString::fromStdString(path.string())));
    EXPECT_EQ(ReadAll(path), "[ZELM]\r\nMethode= Serieel\r\nPoort= " + SerialCard.SlavePath() +
                                 "\r\nClock= 200\r\nStop= False\r\nTimeout= True\r\n"
                                 "Kortsluit= False\r\nBaudrate= 9600\r\nTest= True\r\n"
                                 "Tijd= 650\r\n\r\n");

    // Loading it back selects the same port, even when the list order changed.
    Form->ComComboBoxPoort->SetItemIndex(1);
    Form->LoadSettings(QString::fromStdString(path.string()));
    Form->TimerStatus->stop();
    EXPECT_EQ(Form->ComComboBoxPoort->Text().toStdString(), SerialCard.SlavePath());

    EXPECT_FALSE(Form->SaveSettings(QString::fromStdString((Folder / "no" / "x.ini").string())));
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Icon, bus::TDialogs::TIcon::Error);
    EXPECT_TRUE(Dialogs.Messages[0].Text.contains("x.ini"));
    EXPECT_EQ(Dialogs.Messages[0].Informative, "No such file or directory");
}

TEST_F(StatusFormTest, AnAdapterIsShownByWhatItIsAndSavedByItsByIdName) {
    // An adapter as the port list knows it: its device, and udev's by-id link to it.
    serial::TPortInfo adapter;
    adapter.Path = (Folder / "ttyUSB0").string();
    adapter.VendorId = "0403";
    adapter.ProductId = "6001";
    adapter.Product = "FT232R USB UART";
    adapter.SerialNumber = "A10K3XYZ";
    adapter.ById = (Folder / "usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0").string();
    std::ofstream(adapter.Path).put('\n');
    std::filesystem::create_symlink("ttyUSB0", adapter.ById);
    const auto previous = serial::SetPortSource([adapter] { return std::vector{adapter}; });
    Form->ComComboBoxPoort->SetItemIndex(-1);
    Form->RefreshPorts();

    ASSERT_EQ(Form->ComComboBoxPoort->count(), 1);
    EXPECT_EQ(Form->ComComboBoxPoort->itemText(0).toStdString(),
              adapter.Path + " — FT232R USB UART (A10K3XYZ)");
    Form->ComComboBoxPoort->SetItemIndex(0);
    EXPECT_EQ(Form->SetUpChoice().Port, adapter.Path) << "the port's value is its device";
    const auto path = Folder / "Morvelplint.ini";
    ASSERT_TRUE(Form->SaveSettings(QString::fromStdString(path.string())));
    EXPECT_NE(ReadAll(path).find("\r\nPoort= " + adapter.ById + "\r\n"), std::string::npos);

    // A file from before, naming the device, selects the same entry.
    Form->ComComboBoxPoort->SetItemIndex(-1);
    std::ofstream(path, std::ios::binary) << "[ZELM]\r\nPoort= " << adapter.Path << "\r\n";
    Form->LoadSettings(QString::fromStdString(path.string()));
    Form->TimerStatus->stop();
    EXPECT_EQ(Form->ComComboBoxPoort->count(), 1);
    EXPECT_EQ(Form->ComComboBoxPoort->ItemIndex(), 0);
    serial::SetPortSource(previous);
}

TEST_F(StatusFormTest, ANoteOnTheChosenPortGrowsTheWindowAndOkStillConnects) {
    // The simulated card's terminal as an adapter, with ModemManager running.
    serial::TPortInfo adapter;
    adapter.Path = SerialCard.SlavePath();
    adapter.VendorId = "1a86";
    adapter.ProductId = "7523";
    const auto previous = serial::SetPortSource([adapter] { return std::vector{adapter}; });
    std::filesystem::create_directories(Folder / "proc" / "812");
    std::ofstream(Folder / "proc" / "812" / "comm") << "ModemManager\n";
    Form->RefreshPorts();
    Form->ComComboBoxPoort->SetItemIndex(0);

    EXPECT_TRUE(Form->LabelAanwijzingen->text().startsWith("ModemManager draait:"))
        << Form->LabelAanwijzingen->text().toStdString();
    EXPECT_GT(Form->height(), 253);
    EXPECT_EQ(Form->width(), 339);
    EXPECT_EQ(Form->LabelAanwijzingen->geometry().bottom() + 1 + 8, Form->height())
        << "the whole note shows";
    EXPECT_TRUE(Form->OKBtn->isEnabled());
    Form->TimerStatusTimer();
    EXPECT_TRUE(Form->BusReady()) << "a note never stops the set-up";
    EXPECT_TRUE(Dialogs.Messages.empty());

    Form->RadioButtonParallel->click();
    EXPECT_FALSE(Form->LabelAanwijzingen->isVisibleTo(Form.get()));
    EXPECT_EQ(Form->size(), QSize(339, 253)) << "no notes, no room for them";
    serial::SetPortSource(previous);
}

TEST_F(StatusFormTest, SerialBusWithoutSetUpAnswersNotConnectedAndStopsTheTestTimer) {
    EXPECT_EQ(Form->SendBusWord(5), 1029);
    EXPECT_EQ(Form->ReadBusFeedback(), 1024);
    EXPECT_EQ(MainWindow.TimerStops, 2);
}

TEST_F(StatusFormTest, DebugModeSendsNothingAndReadsAnH) {
    Form->Bus().SetDebugMode(true);
    EXPECT_EQ(Form->SendBusWord(200), 200);
    const std::uint32_t start = platform::GetTickCount();
    EXPECT_EQ(Form->ReadBusFeedback(), 72);
    EXPECT_EQ(platform::GetTickCount() - start, 0u);
    EXPECT_EQ(MainWindow.TimerStops, 0);
}

TEST_F(StatusFormTest, ParallelBusGivesOneResultPerWord) {
    Form->RadioButtonParallel->setChecked(true);
    Session->Bus().SetTransport(bus::TTransport::Parallel); // as a parallel set-up leaves it
    Card->Lines = 0b0110;
    const std::vector<int> words{128 + 5, 96, 64, 40, 200, 7};
    std::vector<int> results;
    for (int word : words) {
        EXPECT_EQ(Form->SendBusWord(word), word);
        int result = bus::NoDataYet;
        // The transport's worker answers in the machine's time.
        const std::uint32_t start = platform::MachineTickCount();
        while ((result = Form->ReadBusFeedback()) == bus::NoDataYet &&
               platform::MachineTickCount() - start < 5000) {
        }
        results.push_back(result);
    }
    EXPECT_EQ(results, (std::vector<int>{133, 64 + 32 + 6, 64 + 6, 40, 200, 7}));
}

TEST_F(StatusFormTest, FullParallelQueueRefusesTheWord) {
    bus::ParTransport().StopWorker();
    Form->RadioButtonParallel->setChecked(true);
    Session->Bus().SetTransport(bus::TTransport::Parallel);
    for (int i = 0; i < 2047; ++i)
        ASSERT_EQ(Form->SendBusWord(i & 31), i & 31);
    EXPECT_EQ(Form->SendBusWord(10), 266);
}

TEST_F(StatusFormTest, TransportIsTheOneTheLastSetUpChose) {
    Form->RadioButtonParallel->setChecked(true);
    Form->TimerStatusTimer();
    ASSERT_TRUE(Form->BusReady());
    // A choice that was not applied (the window left with Cancel) moves nothing.
    Form->RadioButtonSerieel->setChecked(true);
    Form->ButtonCancelClick();
    EXPECT_EQ(Session->Bus().Transport(), bus::TTransport::Parallel);
    EXPECT_EQ(Form->SendBusWord(128 + 5), 128 + 5);
    EXPECT_EQ(Session->Bus().AwaitFeedback(false), 128 + 5) << "the parallel transport's echo";
    EXPECT_EQ(Rack.SelectedPlace(), 5);
    EXPECT_TRUE(SerialCard.Received().empty());
}

TEST_F(StatusFormTest, ParallelSetUpSendsTheSequenceAndShowsPck) {
    Form->RadioButtonParallel->setChecked(true);
    Form->ComboBoxSpeed->setCurrentIndex(4);
    Form->TimerStatusTimer();
    EXPECT_TRUE(Form->BusReady());
    EXPECT_EQ(MainWindow.PagesShown, std::vector<bool>{true});
    EXPECT_EQ(MainWindow.InstellingenCalls, (std::vector<std::pair<bool, bool>>{{true, true}}));
    EXPECT_FALSE(LedUitEnabled());
    EXPECT_EQ(bus::ParTransport().GetFeedback(), bus::NoDataYet) << "every answer was read";
    EXPECT_EQ(Rack.SelectedPlace(), 63);
    EXPECT_EQ(Card->DataReceived, (std::vector<std::uint8_t>{32, 0}));
}

TEST_F(StatusFormTest, ParallelSetUpWithoutPortAccessSaysWhyAndSendsNothing) {
    Form->Bus().SetParallelAccess({false, 38, "De kernel staat het niet toe."});
    Form->RadioButtonParallel->setChecked(true);
    Form->TimerStatusTimer();
    EXPECT_FALSE(Form->BusReady());
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Informative, "De kernel staat het niet toe.");
    EXPECT_EQ(Rack.SelectedPlace(), -1) << "nothing reached the bus";
    EXPECT_EQ(MainWindow.InstellingenCalls, (std::vector<std::pair<bool, bool>>{{false, true}}));
}

TEST_F(StatusFormTest, SerialSetUpHandshakesAndSendsTheSequence) {
    ChooseSerialCard();
    Form->CheckBoxBaudrate->setChecked(true);
    Form->CheckBoxKortsluitStop->setChecked(true);
    Form->TimerStatusTimer();
    ASSERT_TRUE(Dialogs.Messages.empty()) << Dialogs.Messages[0].Text.toStdString();
    EXPECT_TRUE(Form->BusReady());
    EXPECT_TRUE(Form->Baud19200());
    EXPECT_EQ(SerialCard.Options(), std::optional<std::uint8_t>(0x0B));
    auto words = WordsTheCardTook();
    ASSERT_EQ(words.size(), 193u);
    EXPECT_EQ(words.front(), 0x0B);
    words.erase(words.begin());
    EXPECT_EQ(words, InitialisationSequence());
    EXPECT_EQ(SerialCard.Received()[1].Baud, 19200);
    EXPECT_TRUE(LedUitEnabled());
    EXPECT_EQ(MainWindow.PagesShown, std::vector<bool>{false});
    EXPECT_EQ(MainWindow.InstellingenCalls, (std::vector<std::pair<bool, bool>>{{true, false}}));

    // The pages' words now travel one byte each way.
    Card->Lines = 9;
    EXPECT_EQ(Form->SendBusWord(128 + 5), 133);
    EXPECT_EQ(Form->ReadBusFeedback(), 133);
    EXPECT_EQ(Form->SendBusWord(96), 96);
    EXPECT_EQ(Form->ReadBusFeedback(), 64 + 32 + 9);
}

TEST_F(StatusFormTest, SerialCardThatDoesNotEchoIsReportedOnce) {
    ChooseSerialCard();
    sim::TSerialFaults faults;
    faults.Silent = true;
    SerialCard.SetFaults(faults);
    Form->TimerStatusTimer();
    EXPECT_FALSE(Form->BusReady());
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text,
              "De seriele kaart kon niet worden geinitialiseerd. \r\nStaat het rek wel aan en is "
              "de verbindingskabel juist aangesloten?");
    EXPECT_EQ(Dialogs.Messages[0].Icon, bus::TDialogs::TIcon::Error);
    EXPECT_FALSE(LedUitEnabled());
    EXPECT_EQ(MainWindow.InstellingenCalls, (std::vector<std::pair<bool, bool>>{{false, false}}));
}

TEST_F(StatusFormTest, CardFallingSilentDuringTheSequenceEndsTheSetUp) {
    ChooseSerialCard();
    SerialCard.SetFaults({.SilentAfterWords = 19});
    const std::uint32_t start = platform::GetTickCount();
    Form->TimerStatusTimer();
    const std::uint32_t elapsed = platform::GetTickCount() - start;
    EXPECT_EQ(elapsed, 2000u + 3000u) << "the wake-ups, then three reads of a second without an answer";
    EXPECT_FALSE(Form->BusReady());
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_TRUE(Dialogs.Messages[0].Text.startsWith("De seriele kaart kon niet"));
    EXPECT_FALSE(LedUitEnabled());
    EXPECT_EQ(MainWindow.InstellingenCalls, (std::vector<std::pair<bool, bool>>{{false, false}}));
}

TEST_F(StatusFormTest, LineHangingUpDuringTheSequenceNamesThePort) {
    ChooseSerialCard();
    sim::TSerialFaults faults;
    faults.HangUpAfterWords = 10;
    SerialCard.SetFaults(faults);
    const std::uint32_t start = platform::GetTickCount();
    Form->TimerStatusTimer();
    EXPECT_EQ(platform::GetTickCount() - start, 2000u) << "the wake-ups; no DTR pulse on a line that is gone";
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text.toStdString(),
              "Kan \"" + SerialCard.SlavePath() + "\" niet gebruiken.");
    EXPECT_FALSE(LedUitEnabled());
}

TEST_F(StatusFormTest, PortThatCannotBeOpenedIsNamedWithTheReason) {
    Form->ComComboBoxPoort->SetItemIndex(1); // /tmp/morvelplint-no-port, not there
    ASSERT_FALSE(std::filesystem::exists("/tmp/morvelplint-no-port"))
        << "this test needs a missing port";
    Form->TimerStatusTimer();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Kan \"/tmp/morvelplint-no-port\" niet gebruiken.");
    EXPECT_EQ(Dialogs.Messages[0].Caption, "Morvelplint");
    EXPECT_EQ(Dialogs.Messages[0].Icon, bus::TDialogs::TIcon::Error);
    EXPECT_FALSE(Dialogs.Messages[0].Informative.isEmpty());
    EXPECT_FALSE(Form->BusReady());
}

TEST_F(StatusFormTest, DebugModeCountsTheCardAsThereWithoutOne) {
    ChooseSerialCard();
    Form->Bus().SetDebugMode(true);
    sim::TSerialFaults faults;
    faults.Silent = true;
    SerialCard.SetFaults(faults);
    const std::uint32_t start = platform::GetTickCount();
    Form->TimerStatusTimer();
    EXPECT_EQ(platform::GetTickCount() - start, 2000u + 100u)
        << "the wake-ups and the echo's 100 ms; no read of the sequence waits for the card";
    EXPECT_TRUE(Form->BusReady());
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_TRUE(LedUitEnabled());
    EXPECT_EQ(MainWindow.PagesShown, std::vector<bool>{false});
}

TEST_F(StatusFormTest, OkTwiceRunsTheSetUpOnce) {
    Form->RadioButtonParallel->setChecked(true);
    Form->OKBtnClick();
    Form->OKBtnClick();
    // The window's set-up timer keeps the machine's time.
    const std::uint32_t start = platform::MachineTickCount();
    while (platform::MachineTickCount() - start < 1200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(MainWindow.InstellingenCalls.size(), 1u);
    EXPECT_FALSE(Form->TimerStatus->isActive());
}

TEST_F(StatusFormTest, ArmingDuringARunningSetUpRunsAnotherAfterwards) {
    ChooseSerialCard();
    // During the set-up's wait for the card (300 ms into it, while the window handles its
    // events) the user presses OK again.
    const std::uint64_t pressAt = Clock.NowMs() + 300;
    bool pressed = false;
    std::function<void()> events;
    events = platform::SetProcessMessages([&] {
        if (events)
            events();
        if (!pressed && Clock.NowMs() >= pressAt) {
            pressed = true;
            Form->OKBtnClick();
        }
    });
    Form->TimerStatusTimer();
    platform::SetProcessMessages(events);
    EXPECT_TRUE(pressed);
    EXPECT_EQ(MainWindow.InstellingenCalls.size(), 1u) << "not inside the running one";
    EXPECT_TRUE(Form->TimerStatus->isActive()) << "but armed again afterwards";
    Form->TimerStatus->stop();
}

TEST_F(StatusFormTest, SilentSerialReadGivesUpAfterASecondAcrossTheTickWrap) {
    ChooseSerialCard();
    Form->TimerStatusTimer();
    ASSERT_TRUE(Form->BusReady());
    sim::TSerialFaults faults;
    faults.Silent = true;
    SerialCard.SetFaults(faults);
    platform::SetTickCount(0xFFFFFFFFu - 300);
    const std::uint32_t start = platform::GetTickCount();
    EXPECT_EQ(Form->ReadBusFeedback(), bus::NoDataYet);
    const std::uint32_t elapsed = platform::GetTickCount() - start;
    platform::SetTickCount(0);
    EXPECT_EQ(elapsed, 1000u);
}

TEST_F(StatusFormTest, CloseSerialLinkKeepsBusReadyAndLaterCallsFail) {
    ChooseSerialCard();
    Form->TimerStatusTimer();
    ASSERT_TRUE(Form->BusReady());
    Form->CloseSerialLink();
    EXPECT_TRUE(Form->BusReady());
    try {
        Form->SendBusWord(3);
        FAIL() << "no error";
    } catch (const serial::EComPort& error) {
        EXPECT_EQ(error.Reason, 5);
    }
    try {
        Form->ReadBusFeedback();
        FAIL() << "no error";
    } catch (const serial::EComPort& error) {
        EXPECT_EQ(error.Reason, 3);
    }
}
