// Faults on the serial path: a card that falls silent, a line that hangs up (a USB adapter
// pulled out), garbage after the answers, a port that another program holds. Each test builds
// its own world, because a fault (a hung-up pseudo-terminal above all) cannot be undone.
//
// Re-connection: a hung-up pseudo-terminal is gone for good, so the card that "comes back" is
// a new simulated card on a new pseudo-terminal, chosen in the port list before OK, or found
// by the program itself when the port is a link that then leads to the new card (as udev's
// by-id link leads to an adapter plugged in again). A card that only fell silent comes back
// by clearing the fault; OK then runs the set-up again.
#include "DialogRecorder.h"
#include "ProgramWindows.h"
#include "TestFiles.h"
#include "app/MainWindow.h"
#include "bus/ParallelTransport.h"
#include "cards/qt/CardPages.h"
#include "cards/qt/PageBlock.h"
#include "cards/qt/PageBusWord.h"
#include "platform/Tick.h"
#include "serial/PortNames.h"
#include "serial/qt/ComComboBox.h"
#include "settings/qt/SettingsWindow.h"
#include "sim/SimParallelCard.h"
#include "sim/SimSerialCard.h"
#include "sim/SimTestCard.h"
#include "tests/unit/SerialCardUnder.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using cards::LampGreen;
using cards::LampWhite;
using cards::LampYellow;
using Words = std::vector<int>;

namespace {

const std::string LineGone =
    "ReadFile function failed (win error code: 5)\nDe verbinding met de seriële poort is "
    "verbroken. Is de USB-seriële adapter losgetrokken? Sluit hem weer aan, kies de poort in "
    "Instellingen > Status... en druk op OK.";

const QString InitFailed = "De seriele kaart kon niet worden geinitialiseerd. \r\nStaat het rek "
                           "wel aan en is de verbindingskabel juist aangesloten?";

// The first `count` words of the initialisation sequence.
Words InitialisationSequence(std::size_t count = 192) {
    Words words;
    for (int place = 0; place < 64; ++place)
        words.insert(words.end(), {128 + place, 96, 64});
    words.resize(count);
    return words;
}

// The two-rail shuttle on place 12, sections 1 and 2, started and its first tick done.
void StartShuttle(app::TFormMorvelplint& window) {
    cards::TXbkPage& xbk = *window.CardPages->PageXBK;
    window.PageControlTester->setCurrentWidget(window.CardPages->TabSheetXBK);
    for (QCheckBox* box : xbk.CheckBoxBKSectie)
        box->setChecked(false);
    xbk.CheckBoxBKSectie[0]->setChecked(true);
    xbk.CheckBoxBKSectie[1]->setChecked(true);
    xbk.SpinEditBKadr[0]->setValue(12);
    xbk.TrackBar2BKSpeed->setValue(0);
    xbk.Button2BKControlClick();
}

// The program's windows over a rack with a generic card in place 12, and the simulated serial
// card first in the port list. Not connected until the test runs the set-up.
struct TWorld {
    sim::TTrainBus Rack;
    std::shared_ptr<sim::TSimTestCard> Card12 = std::make_shared<sim::TSimTestCard>();
    sim::TSimParallelCard ParallelCard{Rack};
    sim::TSimSerialCard SerialCard{Rack};
    TProgramWindows Windows{ParallelCard, SerialCard.SlavePath()};
    std::unique_ptr<app::TFormMorvelplint>& Window = Windows.Window;
    std::unique_ptr<bus::TStatusForm>& Status = Windows.Status;

    TWorld() { Rack.Plug(12, Card12); }
};

class FaultTest : public ::testing::Test {
protected:
    TDialogRecorder Dialogs;
    TWorld World;
    cards::TCardPages& Pages = *World.Window->CardPages;
    cards::TXbkPage& Xbk = *Pages.PageXBK;
    cards::TBusWordPage& Sck = *Pages.PageSCK;
    bus::TStatusForm& Status = *World.Status;
    QTimer& TimerSpeed = *World.Window->TimerSpeed;

    // OK in the settings window: the set-up as its timer runs it. Returns its duration.
    std::uint32_t PressOk() {
        const std::uint32_t start = platform::GetTickCount();
        Status.OKBtnClick();
        Status.TimerStatus->stop();
        Status.TimerStatusTimer();
        return platform::GetTickCount() - start;
    }

    static Words InitialisationSequence(std::size_t count) {
        return ::InitialisationSequence(count);
    }

    void StartShuttle() { ::StartShuttle(*World.Window); }

    // One tick of the running test through the timer's handler; returns its duration.
    std::uint32_t TickOnce() {
        const std::uint32_t start = platform::GetTickCount();
        Pages.Models.TimerSpeedTimer();
        return platform::GetTickCount() - start;
    }
};

} // namespace

TEST_F(FaultTest, CardFallsSilentDuringTheShuttleAndComesBackOnClearing) {
    ASSERT_LT(PressOk(), 10000u);
    ASSERT_TRUE(Status.BusReady());
    World.Rack.Locked([this] { World.Card12->Lines = 0b0011; });
    StartShuttle();
    ASSERT_TRUE(TimerSpeed.isActive());
    EXPECT_EQ(Xbk.ShapeBKKort[0]->BrushColor(), LampGreen);
    EXPECT_EQ(Xbk.ShapeBKS[0]->BrushColor(), LampYellow);

    sim::TSerialFaults silent;
    silent.Silent = true;
    World.SerialCard.SetFaults(silent);
    const std::size_t mark = World.SerialCard.Received().size();
    Pages.Models.State().LegDuration = 1000000; // full speed: the speed word is known
    Pages.Models.State().LastReversal = platform::GetTickCount();
    const int direction = Pages.Models.State().Direction;
    const std::uint32_t took = TickOnce();
    // Two words a tick, each given up after three seconds without an answer.
    EXPECT_GE(took, 2 * bus::TBus::AwaitBoundMs);
    EXPECT_LT(took, 2 * bus::TBus::AwaitBoundMs + 3000);
    EXPECT_EQ(BytesTaken(World.SerialCard, mark), (Words{0x80 + 12, 0x40 + direction + 15}))
        << "one byte per word, nothing repeated";
    EXPECT_EQ(Pages.Models.State().TickFeedback, bus::NoDataYet);
    EXPECT_EQ(Xbk.ShapeBKKort[0]->BrushColor(), LampYellow) << "no valid reply";
    EXPECT_EQ(Xbk.ShapeBKS[0]->BrushColor(), LampYellow) << "unchanged by a missing reply";
    EXPECT_TRUE(TimerSpeed.isActive()) << "the test goes on";
    EXPECT_TRUE(Dialogs.Messages.empty());

    // The window is not stuck: its events are served, and the card answers once it is back.
    bool served = false;
    QTimer::singleShot(0, [&] { served = true; });
    QApplication::processEvents();
    EXPECT_TRUE(served);
    World.SerialCard.SetFaults({});
    World.Rack.Locked([this] { World.Card12->Lines = 0b0001; });
    EXPECT_LT(TickOnce(), 2000u);
    EXPECT_EQ(Xbk.ShapeBKKort[0]->BrushColor(), LampGreen);
    EXPECT_EQ(Xbk.ShapeBKS[0]->BrushColor(), LampYellow);
    EXPECT_EQ(Xbk.ShapeBKS[1]->BrushColor(), LampWhite);
    Xbk.Button2BKControlClick();
    EXPECT_FALSE(TimerSpeed.isActive());
}

TEST_F(FaultTest, CardSilentDuringTheSetUpGivesTheInitialisationMessageThenOkConnects) {
    ASSERT_LT(PressOk(), 10000u);
    ASSERT_TRUE(Status.BusReady());
    // Silent from the 11th word of the next set-up on.
    World.SerialCard.SetFaults({.SilentAfterWords = 10});
    const std::size_t mark = World.SerialCard.Received().size();
    const std::uint32_t took = PressOk();
    // Three silent reads of a second each, after the two seconds the card gets to wake up.
    EXPECT_LT(took, 2000u + 3 * 1000u + 3000u);
    EXPECT_FALSE(Status.BusReady());
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Icon, bus::TDialogs::TIcon::Error);
    EXPECT_EQ(Dialogs.Messages[0].Text, InitFailed);
    const Words taken = BytesTaken(World.SerialCard, mark);
    ASSERT_EQ(taken.size(), 1u + 11u) << "the option byte, ten answered words, one unanswered";
    EXPECT_EQ(Words(taken.begin() + 1, taken.end()), InitialisationSequence(11));

    World.SerialCard.SetFaults({});
    Dialogs.Messages.clear();
    PressOk();
    EXPECT_TRUE(Status.BusReady()) << "OK connects again once the card answers";
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(FaultTest, HangUpDuringTheSetUpIsReportedAndANewCardConnects) {
    sim::TSerialFaults faults;
    faults.HangUpAfterWords = 50;
    World.SerialCard.SetFaults(faults);
    EXPECT_LT(PressOk(), 10000u);
    EXPECT_TRUE(World.SerialCard.HungUp());
    EXPECT_FALSE(Status.BusReady());
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Icon, bus::TDialogs::TIcon::Error);
    EXPECT_EQ(Dialogs.Messages[0].Text.toStdString(),
              "Kan \"" + World.SerialCard.SlavePath() + "\" niet gebruiken.");
    EXPECT_EQ(Dialogs.Messages[0].Informative.toStdString(), LineGone);
    const Words taken = BytesTaken(World.SerialCard);
    ASSERT_EQ(taken.size(), 1u + 51u);
    EXPECT_EQ(Words(taken.begin() + 1, taken.end()), InitialisationSequence(51));

    // The adapter is back, as a new device: choose it and press OK.
    sim::TSimSerialCard again{World.Rack};
    Status.SelectPort(again.SlavePath());
    Dialogs.Messages.clear();
    PressOk();
    EXPECT_TRUE(Status.BusReady());
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_EQ(BytesTaken(again).size(), 1u + 192u);
    Status.CloseSerialLink();
}

TEST_F(FaultTest, HangUpDuringTheShuttleIsReportedAndANewCardConnects) {
    ASSERT_LT(PressOk(), 10000u);
    ASSERT_TRUE(Status.BusReady());
    World.Rack.Locked([this] { World.Card12->Lines = 0b0011; });
    StartShuttle();
    ASSERT_TRUE(TimerSpeed.isActive());

    sim::TSerialFaults faults;
    faults.HangUpAfterWords = 1;
    World.SerialCard.SetFaults(faults);
    const std::uint32_t took = TickOnce();
    EXPECT_LT(took, 2 * bus::TBus::AwaitBoundMs + 3000);
    EXPECT_TRUE(World.SerialCard.HungUp());
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Icon, bus::TDialogs::TIcon::Error);
    // Through the general error handler, once: the test stops instead of failing each tick.
    EXPECT_EQ(Dialogs.Messages[0].Caption, bus::ProgramTitle);
    EXPECT_EQ(Dialogs.Messages[0].Text.toStdString(), LineGone);
    EXPECT_EQ(Dialogs.Messages[0].Informative, "");
    EXPECT_FALSE(Status.BusReady());
    EXPECT_FALSE(TimerSpeed.isActive());
    EXPECT_FALSE(World.Window->StopInstellingen->isEnabled()) << "nothing left to switch off";
    Pages.Models.TimerSpeedTimer();
    EXPECT_EQ(Dialogs.Messages.size(), 1u) << "no second message for the same loss";

    sim::TSimSerialCard again{World.Rack};
    Status.SelectPort(again.SlavePath());
    Dialogs.Messages.clear();
    PressOk();
    EXPECT_TRUE(Status.BusReady());
    EXPECT_TRUE(Dialogs.Messages.empty());
    Status.CloseSerialLink();
}

TEST_F(FaultTest, GarbageAfterEveryAnswerIsNeverTakenForAReply) {
    sim::TSerialFaults garbage;
    garbage.ExtraBytes = 5;
    World.SerialCard.SetFaults(garbage);
    ASSERT_LT(PressOk(), 10000u);
    ASSERT_TRUE(Status.BusReady()) << "the echo comes first; what follows it is dropped";
    EXPECT_EQ(BytesTaken(World.SerialCard).size(), 1u + 192u) << "one byte per word";

    World.Window->PageControlTester->setCurrentWidget(Pages.TabSheetSCK);
    for (const int lines : {0b0101, 0b1010, 0b0000, 0b1111}) {
        World.Rack.Locked([&] { World.Card12->Lines = lines; });
        const std::size_t mark = World.SerialCard.Received().size();
        Status.SendBusWord(0x80 + 12);
        EXPECT_EQ(World.Windows.Bus().AwaitFeedback(true), 0x80 + 12);
        Status.SendBusWord(0x40);
        const int reply = World.Windows.Bus().AwaitFeedback(true);
        EXPECT_EQ(reply, 0x40 + lines) << "the answer, never the inverted bytes after it";
        Pages.Models.Sck.ShowReply(reply);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(Sck.ShapeS[k]->BrushColor(), (lines >> k) & 1 ? LampYellow : LampWhite);
        EXPECT_EQ(Sck.ShapeKort->BrushColor(), LampGreen);
        EXPECT_EQ(BytesTaken(World.SerialCard, mark), (Words{0x80 + 12, 0x40}));
    }
}

TEST_F(FaultTest, WrongEchoGivesTheInitialisationMessage) {
    sim::TSerialFaults wrong;
    wrong.WrongEcho = true;
    World.SerialCard.SetFaults(wrong);
    EXPECT_LT(PressOk(), 10000u);
    EXPECT_FALSE(Status.BusReady());
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, InitFailed);
    EXPECT_EQ(BytesTaken(World.SerialCard), (Words{0x02})) << "no bus word after a wrong echo";

    World.SerialCard.SetFaults({});
    Dialogs.Messages.clear();
    PressOk();
    EXPECT_TRUE(Status.BusReady());
}

TEST_F(FaultTest, PortHeldByAnotherProgramIsNamedThenOkConnects) {
    const std::string pty = World.SerialCard.SlavePath();
    const int other = ::open(pty.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_LT(PressOk(), 10000u);
    EXPECT_FALSE(Status.BusReady());
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Icon, bus::TDialogs::TIcon::Error);
    EXPECT_EQ(Dialogs.Messages[0].Text.toStdString(), "Kan \"" + pty + "\" niet gebruiken.");
    EXPECT_EQ(Dialogs.Messages[0].Informative.toStdString(),
              "Unable to open com port (win error code: 16)\nDe seriële poort is in gebruik door "
              "een ander programma. Sluit dat programma en probeer het opnieuw.");

    ::close(other);
    Dialogs.Messages.clear();
    PressOk();
    EXPECT_TRUE(Status.BusReady());
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(FaultTest, SetUpAskedForWhileAPageWaitsRunsAfterTheWaitNeverInsideIt) {
    ASSERT_LT(PressOk(), 10000u);
    World.SerialCard.SetFaults({.ReplyDelayMs = 300});
    const std::size_t mark = World.SerialCard.Received().size();
    // The set-up timer's tick comes while the page waits for its reply.
    QTimer::singleShot(0, &Status, [this] { Status.TimerStatusTimer(); });
    Sck.VersturenClick(); // an action of its own, as every page action is
    EXPECT_EQ(BytesTaken(World.SerialCard, mark).size(), 1u) << "the page's word alone";
    EXPECT_TRUE(Status.TimerStatus->isActive()) << "the set-up armed again after the wait";
    Status.TimerStatus->stop();
}

TEST_F(FaultTest, ClosingTheWindowWhileAPageWaitsEndsTheWaitThenCloses) {
    ASSERT_LT(PressOk(), 10000u);
    World.Window->setAttribute(Qt::WA_QuitOnClose, false);
    World.Window->show();
    sim::TSerialFaults silent;
    silent.Silent = true;
    World.SerialCard.SetFaults(silent);
    QTimer::singleShot(0, World.Window.get(), [this] { World.Window->close(); });
    const std::uint32_t start = platform::GetTickCount();
    Sck.VersturenClick(); // an action of its own, as every page action is
    EXPECT_LT(platform::GetTickCount() - start, bus::TBus::AwaitBoundMs) << "given up at once";
    EXPECT_FALSE(World.Window->isVisible()) << "closed once the wait had ended";
}

namespace {

// The serial port is a symbolic link to the simulated card's pseudo-terminal, as udev's by-id
// name is a link to an adapter's device.
class AdapterTest : public ::testing::Test {
protected:
    TDialogRecorder Dialogs;
    // In the test's working folder in the build, where nothing else makes files while the
    // tests run: the file system then gives a link made again its old inode number. In /tmp
    // the browser tests beside it make and remove files all the time, and one of theirs took
    // the freed number first.
    std::filesystem::path Folder =
        MakeTempFolder("morvelplint-adapter", std::filesystem::current_path());
    std::string Link = (Folder / "usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0").string();
    sim::TTrainBus Rack;
    std::shared_ptr<sim::TSimTestCard> Card12 = std::make_shared<sim::TSimTestCard>();
    sim::TSimParallelCard ParallelCard{Rack};
    std::unique_ptr<sim::TSimSerialCard> SerialCard = PlugIn();
    TProgramWindows Windows{ParallelCard, Link};

    bus::TStatusForm& Status = *Windows.Status;
    app::TFormMorvelplint& Window = *Windows.Window;

    AdapterTest() {
        Rack.Plug(12, Card12);
        Status.OKBtnClick();
        Status.TimerStatus->stop();
        Status.TimerStatusTimer();
    }
    ~AdapterTest() override { std::filesystem::remove_all(Folder); }

    // Pulled out: udev takes the by-id link away. That also keeps this test from taking
    // another's terminal for the adapter's return: tests run side by side, and a
    // pseudo-terminal's number is given again once the program has closed the lost one.
    void PullOut() { std::filesystem::remove(Link); }

    // Plugged in: a new card on a new pseudo-terminal, and the link leads to it again (made
    // beside it and renamed into place, as udev does).
    std::unique_ptr<sim::TSimSerialCard> PlugIn() {
        auto card = std::make_unique<sim::TSimSerialCard>(Rack);
        const std::string next = Link + ".new";
        std::filesystem::create_symlink(card->SlavePath(), next);
        std::filesystem::rename(next, Link);
        return card;
    }

    // Within 5 s of the return the new card has taken the option byte and the whole
    // initialisation sequence, nothing else, and no window asked for anything.
    void ExpectConnectedByItself() {
        ASSERT_TRUE(RunEventsUntil(
            [&] { return Status.BusReady() && SerialCard->Received().size() >= 1 + 192; }, 5000))
            << "no set-up within 5 s of the return; the title says: "
            << Window.windowTitle().toStdString();
        Words expected{0x02};
        for (const int word : InitialisationSequence())
            expected.push_back(word);
        EXPECT_EQ(BytesTaken(*SerialCard), expected);
        EXPECT_EQ(Dialogs.Messages.size(), 1u) << "the loss's message alone";
        EXPECT_EQ(Window.windowTitle().toStdString(),
                  "Morvelplint — opnieuw verbonden via " + Link);
        EXPECT_EQ(Status.ComComboBoxPoort->Text().toStdString(), Link);
        EXPECT_TRUE(Window.StopInstellingen->isEnabled());
    }

    void ExpectLossReported() {
        ASSERT_EQ(Dialogs.Messages.size(), 1u);
        EXPECT_EQ(Dialogs.Messages[0].Text.toStdString(), LineGone) << "the message as before";
        EXPECT_FALSE(Status.BusReady());
        EXPECT_TRUE(Window.TimerAdapter->isActive());
    }
};

} // namespace

TEST_F(AdapterTest, PulledOutWhileIdleAndPluggedInAgainItConnectsByItself) {
    ASSERT_TRUE(Status.BusReady());
    EXPECT_TRUE(Window.TimerAdapter->isActive()) << "the line is looked at while connected";
    PullOut();
    SerialCard->HangUp();
    ASSERT_TRUE(RunEventsUntil([&] { return !Dialogs.Messages.empty(); }, 2000))
        << "a pull while nothing is sent is missed no longer than one look";
    ExpectLossReported();
    SerialCard = PlugIn();
    ExpectConnectedByItself();
}

TEST_F(AdapterTest, PulledOutDuringATestItWaitsForTheAdapterAndTheTestStaysStopped) {
    ASSERT_TRUE(Status.BusReady());
    StartShuttle(Window);
    ASSERT_TRUE(Window.TimerSpeed->isActive());
    PullOut();
    SerialCard->SetFaults({.HangUpAfterWords = 1});
    ASSERT_TRUE(RunEventsUntil([&] { return !Dialogs.Messages.empty(); }, 5000));
    ExpectLossReported();
    EXPECT_FALSE(Window.TimerSpeed->isActive());
    EXPECT_EQ(Window.windowTitle().toStdString(),
              "Morvelplint — verbinding verbroken, wacht tot " + Link + " terug is");
    const std::uint32_t lost = platform::GetTickCount();
    RunEventsUntil([&] { return platform::TicksPassed(lost, 1200); }, 2000);
    EXPECT_TRUE(Window.TimerAdapter->isActive()) << "still watching while it is out";
    EXPECT_EQ(Dialogs.Messages.size(), 1u);

    SerialCard = PlugIn();
    ExpectConnectedByItself();
    EXPECT_FALSE(Window.TimerSpeed->isActive()) << "the test is not started again";
    EXPECT_EQ(Window.PageControlTester->currentWidget(), Window.CardPages->TabSheetXBK);
}

TEST_F(AdapterTest, ALinkMadeAgainInPlaceToACardUnderTheSameNumberConnectsTenTimesInARow) {
    ASSERT_TRUE(Status.BusReady());
    // How often the line is looked at changes nothing of what a look finds.
    Window.TimerAdapter->setInterval(20);
    const auto inode = [this] { return InodeOf(Link); };
    for (int replug = 0; replug < 10; ++replug) {
        SCOPED_TRACE("replug " + std::to_string(replug + 1));
        const std::string pty = SerialCard->SlavePath();
        const auto before = inode();
        SerialCard->HangUp();
        ASSERT_TRUE(RunEventsUntil([&] { return !Status.BusReady(); }, 3000));
        SerialCard.reset();
        SerialCard = SerialCardUnder(Rack, pty);
        ASSERT_EQ(SerialCard->SlavePath(), pty) << "the terminal's number went to another program";
        // Made again by unlink and symlink, under the old inode number.
        Relink(Link, SerialCard->SlavePath());
        ASSERT_EQ(inode(), before);
        ASSERT_TRUE(RunEventsUntil(
            [&] { return Status.BusReady() && SerialCard->Received().size() >= 1 + 192; }, 8000))
            << SerialCard->Received().size() << " bytes; the title says "
            << Window.windowTitle().toStdString();
        // A page's word after it.
        auto& sck = *Window.CardPages->PageSCK;
        Window.PageControlTester->setCurrentWidget(Window.CardPages->TabSheetSCK);
        sck.VersturenClick();
        ASSERT_TRUE(RunEventsUntil([&] { return SerialCard->Received().size() == 1 + 192 + 1; },
                                   3000));
    }
}
