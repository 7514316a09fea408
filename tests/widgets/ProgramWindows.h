#pragma once

#include "DialogRecorder.h"
#include "app/AboutBox.h"
#include "app/HelpBox.h"
#include "app/MainWindow.h"
#include "app/QtTimers.h"
#include "bus/ParallelTransport.h"
#include "capture/Capture.h"
#include "session/RackSession.h"
#include "cards/qt/CardPages.h"
#include "platform/PortIo.h"
#include "platform/Tick.h"
#include "serial/PortNames.h"
#include "serial/PortNotes.h"
#include "serial/qt/ComComboBox.h"
#include "settings/qt/SettingsWindow.h"
#include "sim/SimSerialCard.h"

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

// The program's main window and settings window over a session and a simulated rack: the
// simulated parallel card as the port backend with the transport's worker running, and the
// simulated serial card's pseudo-terminal as the only port in the list, selected. Nothing is
// connected until the test runs the set-up (Status->TimerStatusTimer()). The simulated card
// needs no time to wake up, and no test over these windows is about the set-up's designed
// waits: they pass at once.
class TProgramWindows {
public:
    TProgramWindows(platform::TPortBackend& parallelCard, const std::string& serialPort)
        : mPreviousBackend(platform::SetPortBackend(&parallelCard)),
          mSkippedBefore(platform::DesignedWaitsSkipped()) {
        platform::SkipDesignedWaits(true);
        bus::ParTransport().CreateWorker();
        mPreviousSource = serial::SetPortNameSource(
            [serialPort] { return std::vector<std::string>{serialPort}; });
        // Nor the machine's processes and sysfs, for the settings window's notes.
        mPreviousFolders = serial::SetSystemFolders({"/dev/null/sys", "/dev/null/proc"});
        MakeWindows({});
        Status->ComComboBoxPoort->SetItemIndex(0);
    }

    // The session's own simulated rack built from `rack`, as the program has it with /sim:
    // its serial card chosen, nothing connected yet.
    explicit TProgramWindows(const sim::TRackDescription& rack) : mOwnRack(true) {
        mPreviousFolders = serial::SetSystemFolders({"/dev/null/sys", "/dev/null/proc"});
        session::TSessionOptions options;
        options.SimRack = rack;
        MakeWindows(std::move(options));
    }

    ~TProgramWindows() {
        Window->TimerSpeed->stop();
        Status.reset();
        Window.reset();
        Session.reset();
        serial::SetSystemFolders(mPreviousFolders);
        if (mOwnRack)
            return; // the session's rack puts back what it stood in for
        bus::ParTransport().StopWorker();
        platform::SetPortBackend(mPreviousBackend);
        serial::SetPortNameSource(mPreviousSource);
        platform::SkipDesignedWaits(mSkippedBefore);
    }

    TProgramWindows(const TProgramWindows&) = delete;
    TProgramWindows& operator=(const TProgramWindows&) = delete;

private:
    void MakeWindows(session::TSessionOptions options) {
        Session = std::make_unique<session::TRackSession>(Timers, std::move(options));
        Window = std::make_unique<app::TFormMorvelplint>(*Session, Timers, QStringList{});
        Status = std::make_unique<bus::TStatusForm>(*Session, Timers.Timer("TimerStatus"),
                                                    Window.get());
        Status->TimerStatus->stop();
    }

    bool mOwnRack = false;
    platform::TPortBackend* mPreviousBackend = nullptr;
    bool mSkippedBefore = false;
    serial::TPortNameSource mPreviousSource;
    serial::TSystemFolders mPreviousFolders;

public:
    app::TQtTimers Timers;
    std::unique_ptr<session::TRackSession> Session;
    std::unique_ptr<app::TFormMorvelplint> Window;
    std::unique_ptr<bus::TStatusForm> Status;
    bus::TBus& Bus() { return Session->Bus(); }
    bus::TCapture& Capture() { return Session->Capture(); }
};

// The bytes `card` took from the line from the `from`th on.
inline std::vector<int> BytesTaken(const sim::TSerialCard& card, std::size_t from = 0) {
    std::vector<int> words;
    const auto received = card.Received();
    for (std::size_t i = from; i < received.size(); ++i)
        words.push_back(received[i].Byte);
    return words;
}

// Lets the message loop run until `done` or until `ms` milliseconds have passed.
template <typename F> bool RunEventsUntil(F done, std::uint32_t ms) {
    const std::uint32_t start = platform::GetTickCount();
    while (!done()) {
        if (platform::TicksPassed(start, ms))
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// With a test running on the active page of the shown and active main window: F1 shows the
// help window beside it, "Info..." the about window over it, and the main window is activated
// again, while the test timer's ticks go on sending to `card` throughout.
inline void ExpectTestGoesOnBesideOtherWindows(app::TFormMorvelplint& window,
                                               const sim::TSerialCard& card) {
    app::THelpBox help(&window);
    app::TAboutBox about(&window);
    const auto goesOn = [&](const char* situation) {
        const std::size_t before = card.Received().size();
        EXPECT_TRUE(RunEventsUntil([&] { return card.Received().size() > before + 16; }, 3000))
            << "no ticks while " << situation;
        EXPECT_TRUE(window.TimerSpeed->isActive()) << situation;
    };

    window.HelpCommandClick();
    ASSERT_TRUE(RunEventsUntil([&] { return help.isActiveWindow(); }, 3000));
    goesOn("the help window is active");

    bool aboutShown = false;
    QTimer::singleShot(0, &about, [&] {
        aboutShown = about.isVisible();
        goesOn("the about window is shown");
        about.accept();
    });
    window.AboutClick();
    EXPECT_TRUE(aboutShown);

    QApplication::setActiveWindow(&window);
    goesOn("the main window is active again");
    help.hide();
}

// A suite of tests over one world (a simulated rack and TProgramWindows over it, in a member
// named Windows), built and connected once for the whole suite, since connecting takes the
// serial card's wake-up waits. `TWorld::SerialCardOf()` names the simulated serial card the
// program is connected over.
template <class TWorld> class TProgramWindowsTest : public ::testing::Test {
protected:
    static inline TWorld* World = nullptr;

    static void SetUpTestSuite() { World = new TWorld; }
    static void TearDownTestSuite() {
        delete World;
        World = nullptr;
    }

    TDialogRecorder Dialogs;
    std::size_t Mark = 0; // the bytes the serial card had taken when the test began
    bus::TBus& Bus = World->Windows.Bus();
    cards::TCardPages& Pages = *World->Windows.Window->CardPages;
    bus::TStatusForm& Status = *World->Windows.Status;
    QTimer& TimerSpeed = *World->Windows.Window->TimerSpeed;
    sim::TSerialCard& SerialCard = World->SerialCardOf();

    // Every test begins connected over the serial card, not in test mode nor in debug mode,
    // with the test timer stopped.
    void SetUp() override {
        ASSERT_TRUE(Status.BusReady()) << "the simulated serial card did not come up";
        Status.RadioButtonSerieel->setChecked(true);
        Bus.SetTransport(bus::TTransport::Serial);
        Status.CheckBoxTesten->setChecked(false);
        Bus.SetDebugMode(false);
        TimerSpeed.stop();
    }

    // The bytes the serial card took since the mark.
    std::vector<int> Sent() const { return BytesTaken(SerialCard, Mark); }
    void MarkNow() { Mark = SerialCard.Received().size(); }
};
