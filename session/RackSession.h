#pragma once

#include "bus/Bus.h"
#include "bus/Reconnect.h"
#include "capture/Capture.h"
#include "cards/CardModels.h"
#include "platform/ChangeEvent.h"
#include "platform/PortIo.h"
#include "session/Diagnostics.h"
#include "session/Timers.h"
#include "settings/ConnectionSettings.h"
#include "settings/SettingsSession.h"
#include "sim/RackFaults.h"
#include "sim/RackFile.h"
#include "sim/SimRack.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace session {

// A message box of the program's own, titled with its name: a set-up that failed, a settings
// file that could not be read or written.
struct TNotice {
    bool Error = true;
    std::string Text;
    std::string Informative; // the system's reason, below the text
    bool SetUp = false;      // a set-up's failure
};

// What the session needs of the front-end that shows it: the card pages' message boxes and
// errors, its own notices, and the moments a front-end shows in its own way.
class TFrontEnd : public cards::TCardFrontEnd {
public:
    virtual void Notice(const TNotice& notice) = 0;
    // A set-up asked for by the user connected: the page of its transport is shown ("PCK"
    // after a parallel one, "SCK/ MCK" after a serial one).
    virtual void ShowPage(cards::TPage /*page*/) {}
    // The set-up is armed (the hourglass), and has run (the cursor back, the settings closed).
    virtual void SetUpArmed() {}
    virtual void SetUpEnded() {}
    // The reconnection's look found the line gone; by default an error as any other.
    virtual void LineError(const std::string& text) { Error(text); }
};

// How a program builds its session.
struct TSessionOptions {
    // The simulated rack that stands in for the hardware; none for the real rack.
    std::optional<sim::TRackDescription> SimRack;
    // With the simulated rack: where its serial card sits (on a pseudo-terminal as the
    // programs have it; in this process for tests on a clock they step; none: only its
    // parallel card, as where the system has no pseudo-terminals).
    sim::TSimRack::TSerialLine SimSerialLine = sim::TSimRack::TSerialLine::PseudoTerminal;
    // Without the simulated rack: the serial port's line, made once (none: the system's own
    // ports). Tests give a card in their own process.
    std::function<std::unique_ptr<serial::TComBackend>()> SerialLine;
    // The serial path without a serial card: nothing is sent, every reply is 72.
    bool Debug = false;
    // What the system answered when the parallel card's ports were asked for.
    platform::TPortAccess ParallelAccess{true, 0, {}};
    // The settings file read at the start.
    std::string SettingsFile = "Morvelplint.ini";
    std::size_t CaptureEvents = bus::TCapture::DefaultCapacity;
};

using TSettingsView = bus::TSettingsView;

// One session with the rack, below every front-end: the desktop's windows, the browser's pages
// and morvelplint-check build it and show it. It owns the bus with its transports, the capture,
// the simulated rack when there is one, the connection settings with their pending and applied
// values, the set-up (armed once, run on its timer), the reconnection after a lost line, the
// card models with their one test timer, the rack's faults and the card diagnostics, and the
// rule of one test at a time across the card pages and the diagnostics. Everything runs on the
// session's thread.
class TRackSession : public bus::TSettingsSession, private bus::TBusListener {
public:
    // The set-up runs this long after it was armed.
    static constexpr int SetUpDelayMs = 400;

    TRackSession(TTimers& timers, TSessionOptions options);
    ~TRackSession() override;
    TRackSession(const TRackSession&) = delete;
    TRackSession& operator=(const TRackSession&) = delete;

    void SetFrontEnd(TFrontEnd* frontEnd);

    bus::TBus& Bus() override { return mBus; }
    bus::TCapture& Capture() { return mCapture; }
    // The simulated rack; none for the real one.
    sim::TSimRack* Rack();
    cards::TCardModels& Cards() { return mCards; }
    bus::TConnectionSettings& Settings() override { return mSettings; }
    const bus::TConnectionSettings& Settings() const { return mSettings; }
    bus::TReconnect& Reconnect() { return mReconnect; }
    TDiagnostics& Diagnostics() { return mDiagnostics; }
    const std::string& SettingsFile() const { return mOptions.SettingsFile; }

    // The first showing: the settings file of the folder is read, which arms the set-up (the
    // set-up is armed from the start, so it runs once whatever the file holds). The reason
    // when the file stopped at a bad value.
    std::string Start();
    // The program closes: waits for the rack end at once and nothing new starts.
    void Close();

    // ---- the settings, as the settings window offers them ----
    TSettingsView SettingsView() const override;
    // The controls' values as the user left them (the port is picked by PickPort).
    void EditSettings(const bus::TSettings& settings) override;
    // A port of the list, by its value; false for one the list does not hold.
    bool PickPort(const std::string& value) override;
    void RefreshPorts() override;
    // "OK": arms the set-up, once: pressed again before it ran, nothing more.
    void Ok() override;
    // "Cancel": "&LED uit" is off; nothing else is undone (that is SettingsLeft's).
    void Cancel() override;
    // "&LED uit": the serial port closes, after the exchange under way.
    void LedUit();
    // The settings stop being what the user works in (their window is no longer the active
    // one, or a browser's settings page was left): the five check boxes fall back to the
    // values the last serial set-up applied.
    void SettingsLeft() override;
    // "Openen": the file read into the settings, then the set-up armed as by OK, also when the
    // file cannot be opened; a "Tijd" that is no number stops the load, arms nothing, and
    // gives the reason.
    std::string Open(const std::string& path) override;
    // "Bewaren": the settings written; what went wrong when they could not be.
    std::optional<bus::TSaveFailure> Save(const std::string& path) override;
    bool SetUpArmed() const override { return mSetUpTimer->Running(); }
    // The set-up timer's work: the set-up for the settings as they are, as one exchange.
    void RunArmedSetUp() override;

    // ---- the tools ----
    // The simulated rack's faults as the rack view offers them; all off without a rack.
    sim::TFaultsView Faults() const;
    // Gives a fault to the simulated rack; the reason when there is no card for it. A new
    // serial card's port is chosen in the settings.
    std::optional<std::string> GiveFault(const sim::TFault& fault);

private:
    class TSimulation;

    void Arm();
    void LookTimerTick();
    void ReconnectChanged();
    void UpdateNotes();
    void Tell() { Changed.Tell(); }
    void Error(const std::string& text);

    // TBusListener
    void BusLineLost() override;
    void SetUpStarted() override;
    void SetUpFinished(const bus::TSetUpResult& result) override;

    TSessionOptions mOptions;
    TFrontEnd* mFrontEnd = nullptr;
    // First: the simulated rack and what it stands in for (the port backend, the port list).
    std::unique_ptr<TSimulation> mSimulation;
    bus::TBus mBus;
    bus::TCapture mCapture;
    bus::TConnectionSettings mSettings;
    std::unique_ptr<cards::TTickSource> mTestTimer;
    cards::TCardModels mCards;
    bus::TReconnect mReconnect;
    std::unique_ptr<cards::TTickSource> mLookTimer;
    std::unique_ptr<cards::TTickSource> mSetUpTimer;
    TDiagnostics mDiagnostics;
    // "&LED uit" is there from the start; every set-up takes it away until it connects.
    bool mLedUit = true;
    std::vector<std::string> mNotes;
    std::string mNotesPort;
    bool mNotesParallel = false;
    // The device whose driver refused low latency when the last set-up opened it.
    std::string mLatencyRefusedPort;
};

} // namespace session
