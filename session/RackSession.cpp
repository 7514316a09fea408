#include "session/RackSession.h"

#include "bus/ParallelTransport.h"
#include "platform/Messages.h"
#include "platform/Tick.h"
#include "serial/ComError.h"
#include "serial/PortNames.h"
#include "serial/PortNotes.h"
#include "serial/SerialCardLink.h"
#include "sim/SimRack.h"

namespace session {

using platform::Tr;

// The simulated rack and what it stands in for while it lives: its parallel card is the port
// backend of the transport's worker, its serial card the one port there is (the machine's own
// are no way to it), and its cards are awake at once, so the waits a real card's wake-up and
// reset ask for pass without taking the time.
class TRackSession::TSimulation {
public:
    TSimulation(const sim::TRackDescription& description, sim::TSimRack::TSerialLine line)
        : Rack(description, line), mPreviousBackend(platform::SetPortBackend(&Rack.ParallelCard)),
          mSkippedBefore(platform::DesignedWaitsSkipped()) {
        bus::ParTransport().CreateWorker();
        platform::SkipDesignedWaits(true);
        mPreviousSource = serial::SetPortNameSource([this] {
            return Rack.SerialCard ? std::vector<std::string>{Rack.SerialCard->SlavePath()}
                                   : std::vector<std::string>{};
        });
    }
    ~TSimulation() {
        // The worker goes before the card it writes to.
        bus::ParTransport().StopWorker();
        platform::SetPortBackend(mPreviousBackend);
        platform::SkipDesignedWaits(mSkippedBefore);
        serial::SetPortNameSource(mPreviousSource);
    }
    TSimulation(const TSimulation&) = delete;
    TSimulation& operator=(const TSimulation&) = delete;

    sim::TSimRack Rack;

private:
    platform::TPortBackend* mPreviousBackend;
    bool mSkippedBefore;
    serial::TPortNameSource mPreviousSource;
};

namespace {

std::unique_ptr<cards::TTickSource> Timer(TTimers& timers, const char* name, int ms) {
    return timers.Make(name, ms);
}

} // namespace

TRackSession::TRackSession(TTimers& timers, TSessionOptions options)
    : mOptions(std::move(options)),
      mSimulation(mOptions.SimRack
                      ? std::make_unique<TSimulation>(*mOptions.SimRack, mOptions.SimSerialLine)
                      : nullptr),
      mBus(bus::ParTransport(), mSimulation ? mSimulation->Rack.SerialLine()
                                 : mOptions.SerialLine ? mOptions.SerialLine()
                                                       : nullptr), mCapture(mOptions.CaptureEvents),
      mTestTimer(Timer(timers, "TimerSpeed", 400)), mCards(mBus, *mTestTimer), mReconnect(mBus),
      mLookTimer(Timer(timers, "TimerAdapter", static_cast<int>(bus::TReconnect::LookIntervalMs))),
      mSetUpTimer(Timer(timers, "TimerStatus", SetUpDelayMs)),
      mDiagnostics(mBus, Timer(timers, "TimerDiagnose", 0),
                   [this] { return mTestTimer->Running(); }) {
    mBus.SetParallelAccess(mOptions.ParallelAccess);
    mBus.SetDebugMode(mOptions.Debug);
    // Everything on the bus from the start on, for the bus monitor.
    mCapture.Simulated = mSimulation != nullptr;
    mBus.SetCapture(&mCapture);
    mBus.AddListener(*this);

    if (sim::TSimRack* rack = Rack(); rack && rack->SerialCard)
        mSettings.SelectPort(rack->SerialCard->SlavePath());
    mCards.SetSettings(mSettings.Settings());
    mSettings.Changed.Listen([this] {
        mCards.SetSettings(mSettings.Settings());
        // The notes read the system's files: looked at anew only for another port.
        if (mSettings.PortValue() != mNotesPort || mSettings.Settings().Parallel != mNotesParallel)
            UpdateNotes();
        Tell();
    });
    // One test at a time: no card page's test while the diagnostics run, and no run beside a
    // card page's test (TDiagnostics::Start).
    mCards.Context().Refusal = [this] {
        return mDiagnostics.Running() ? std::string(Tr("De kaartdiagnose loopt; stop die eerst."))
                                      : std::string();
    };

    mReconnect.OnChange = [this] { ReconnectChanged(); };
    mLookTimer->OnTick = [this] { LookTimerTick(); };
    mSetUpTimer->OnTick = [this] { RunArmedSetUp(); };
    // Armed from the start: the set-up runs once the session's loop runs.
    mSetUpTimer->Start();
    UpdateNotes();
}

TRackSession::~TRackSession() {
    mSetUpTimer->OnTick = nullptr;
    mLookTimer->OnTick = nullptr;
    mReconnect.OnChange = nullptr;
    mCards.Context().Refusal = nullptr;
    mBus.RemoveListener(*this);
    mBus.SetCapture(nullptr);
    // The open serial port closes with its DTR pulse while the card is still there. A line
    // that is gone (an adapter pulled out) may refuse the close's purge: the port is released
    // all the same, and a destructor throws nothing.
    try {
        mBus.CloseSerialLink();
    } catch (const serial::EComPort&) {
    }
}

sim::TSimRack* TRackSession::Rack() {
    return mSimulation ? &mSimulation->Rack : nullptr;
}

void TRackSession::SetFrontEnd(TFrontEnd* frontEnd) {
    mFrontEnd = frontEnd;
    mCards.SetFrontEnd(frontEnd);
}

std::string TRackSession::Start() {
    std::string error;
    const bool loaded = mSettings.Load(mOptions.SettingsFile, error);
    // A simulated rack without its serial card is reached through its parallel card, whatever
    // the file says.
    if (mSimulation && !mSimulation->Rack.SerialCard) {
        bus::TSettings settings = mSettings.Settings();
        settings.Parallel = true;
        mSettings.SetSettings(settings);
    }
    if (!loaded)
        return error;
    Arm();
    return {};
}

void TRackSession::Close() {
    mBus.Close();
    mDiagnostics.Stop();
}

void TRackSession::Error(const std::string& text) {
    if (mFrontEnd)
        mFrontEnd->Error(text);
}

// ---- the settings ----

TSettingsView TRackSession::SettingsView() const {
    TSettingsView view;
    view.Enabled = bus::SettingsEnabling(mSettings.Settings());
    view.Notes = mNotes;
    view.Connected = mBus.Ready();
    view.Parallel = mBus.Transport() == bus::TTransport::Parallel;
    view.SettingUp = mBus.SetUpRunning();
    view.Armed = mSetUpTimer->Running();
    view.LedUitEnabled = mLedUit;
    view.ReconnectNote = mReconnect.Note();
    return view;
}

void TRackSession::EditSettings(const bus::TSettings& settings) {
    bus::TSettings edited = settings;
    // The port is chosen by its value, never by a place in a list that may have changed.
    edited.PortIndex = mSettings.Settings().PortIndex;
    mSettings.SetSettings(edited);
}

bool TRackSession::PickPort(const std::string& value) {
    return mSettings.PickPort(value);
}

void TRackSession::RefreshPorts() {
    mSettings.RefreshPorts();
}

void TRackSession::Ok() {
    Arm();
}

void TRackSession::Arm() {
    if (!mSetUpTimer->Running())
        mSetUpTimer->Start();
    if (mFrontEnd)
        mFrontEnd->SetUpArmed();
    Tell();
}

void TRackSession::Cancel() {
    mLedUit = false;
    Tell();
}

void TRackSession::LedUit() {
    mBus.WhenIdle([this] {
        try {
            mBus.CloseSerialLink();
        } catch (const serial::EComPort& error) {
            Error(serial::ExplainedMessage(error));
        }
        Tell();
    });
}

void TRackSession::SettingsLeft() {
    const tavo::TTavoCom& link = mBus.Link();
    bus::TAppliedOptions applied;
    applied.KortsluitStop = link.KortsluitStop;
    applied.TimeOut = link.TimeOut;
    applied.KortsluitMelding = link.KortsluitMelding;
    applied.TestBedrijf = link.TestBedrijf;
    applied.Baud19200 = mBus.Baud19200();
    mSettings.FallBack(applied);
}

std::string TRackSession::Open(const std::string& path) {
    std::string error;
    if (!mSettings.Load(path, error))
        return error;
    Arm();
    return {};
}

std::optional<bus::TSaveFailure> TRackSession::Save(const std::string& path) {
    std::string error;
    if (mSettings.Save(path, error))
        return std::nullopt;
    return bus::TSaveFailure{
        platform::Args(Tr("De instellingen konden niet worden bewaard in \"%1\"."), {path}), error};
}

void TRackSession::RunArmedSetUp() {
    mSetUpTimer->Stop();
    if (mBus.Busy()) {
        // Asked for while a page, a tick or another set-up waits for the rack: armed again
        // once that exchange has ended, never run inside it.
        mBus.WhenIdle([this] { Arm(); });
        return;
    }
    bus::TSetUpResult result;
    {
        bus::TBus::TExchange exchange(mBus);
        result = mBus.SetUp(mSettings.Choice());
    }
    const bus::TSetUpMessage message = bus::SetUpMessage(result);
    if (message.Shown && mFrontEnd)
        mFrontEnd->Notice({true, message.Text, message.Informative, true});
    if (mFrontEnd)
        mFrontEnd->SetUpEnded();
    Tell();
}

void TRackSession::UpdateNotes() {
    mNotesPort = mSettings.PortValue();
    mNotesParallel = mSettings.Settings().Parallel;
    std::vector<std::string> notes;
    const std::string port = mSettings.PortValue();
    if (!mSettings.Settings().Parallel && !port.empty()) {
        const std::string device = serial::DeviceName(port);
        notes = serial::PortNotes(
            device, serial::GatherPortFacts(device, mSettings.Listed(),
                                            device == mLatencyRefusedPort, mBus.Baud19200()));
    }
    mNotes = std::move(notes);
}

// ---- the connection's events ----

void TRackSession::BusLineLost() {
    mLedUit = false;
    Tell();
}

void TRackSession::SetUpStarted() {
    mLedUit = false;
    Tell();
}

void TRackSession::SetUpFinished(const bus::TSetUpResult& result) {
    const bool parallel = result.Transport == bus::TTransport::Parallel;
    const bool refused = !parallel && mBus.Link().LowLatencyRefused();
    mLatencyRefusedPort = refused ? serial::DeviceName(result.Port) : std::string();
    // A set-up the program ran by itself may have found the port under another path.
    if (result.Automatic && result.Ready) {
        mSettings.RefreshPorts();
        mSettings.SelectPort(result.Port);
    }
    // "LED uit" closes the serial port; there is none to close after a parallel set-up.
    mLedUit = result.Ready && !parallel;
    UpdateNotes();
    Tell();
    // A set-up the program ran by itself leaves the user on the page they are on.
    if (result.Ready && !result.Automatic && mFrontEnd)
        mFrontEnd->ShowPage(parallel ? cards::TPage::Pck : cards::TPage::Sck);
}

// ---- the reconnection ----

void TRackSession::ReconnectChanged() {
    if (!mReconnect.Active())
        mLookTimer->Stop();
    else if (!mLookTimer->Running())
        mLookTimer->Start();
    Tell();
}

void TRackSession::LookTimerTick() {
    if (!mReconnect.Active()) {
        mLookTimer->Stop(); // "LED uit" closed the port
        return;
    }
    // A set-up the user asked for is about to run: it comes first.
    if (mSetUpTimer->Running())
        return;
    try {
        mReconnect.Look();
    } catch (const serial::EComPort& error) {
        if (mFrontEnd)
            mFrontEnd->LineError(serial::ExplainedMessage(error));
    }
}

// ---- the tools ----

sim::TFaultsView TRackSession::Faults() const {
    return mSimulation ? sim::FaultsOf(mSimulation->Rack.State()) : sim::TFaultsView{};
}

std::optional<std::string> TRackSession::GiveFault(const sim::TFault& fault) {
    if (!mSimulation)
        return std::string("there is no simulated rack");
    sim::TSimRack& rack = mSimulation->Rack;
    auto refused = sim::GiveFault(rack, fault);
    if (!refused && fault.Kind == sim::TFault::TKind::NewCard) {
        mSettings.RefreshPorts();
        mSettings.SelectPort(rack.SerialCard->SlavePath());
    }
    return refused;
}

} // namespace session
