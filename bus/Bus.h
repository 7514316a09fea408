#pragma once

#include "bus/BusRecorder.h"
#include "bus/BusTransport.h"
#include "bus/BusWord.h"
#include "platform/PortIo.h"
#include "serial/ComBackend.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavo {
class TTavoCom;
}
namespace serial {
class EComPort;
}

namespace bus {

class TParTransport;

// The transport the last connection set-up chose.
enum class TTransport { Serial, Parallel };

// What a connection set-up is asked to do: the settings window's choices at OK.
struct TSetUpChoice {
    bool Parallel = false;
    int Clock = 200; // the PC clock entry (100 to 1600), parallel only
    std::string Port = "COM2";
    bool Baud19200 = false;
    bool KortsluitStop = false;
    bool TimeOut = true;
    bool KortsluitMelding = false;
    bool TestBedrijf = false;
    // Run by the program itself (an adapter that came back), not asked for by the user.
    bool Automatic = false;
};

enum class TSetUpOutcome {
    Connected,      // the initialisation sequence went through (or debug mode stood in)
    ParallelRefused, // the system gives no access to the parallel card's ports
    CardSilent,     // the serial card did not echo its option byte, or fell silent
    PortUnusable,   // the serial port could not be opened or failed during the set-up
    Closing,        // the program closes: the set-up stopped where it was
};

struct TSetUpResult {
    TSetUpOutcome Outcome = TSetUpOutcome::Connected;
    TTransport Transport = TTransport::Serial;
    bool Ready = false;  // BusReady as the set-up left it
    std::string Port;    // the serial port as the link names it
    std::string Reason;  // the system's words for a refusal or a port error
    bool Automatic = false; // as the choice had it
};

// What the bus tells the windows above it, on the thread that uses the bus.
class TBusListener {
public:
    virtual ~TBusListener() = default;
    // A bus operation met a serial connection that was never set up.
    virtual void BusNotConnected() {}
    // The serial line failed (an adapter pulled out, a hang-up); the bus counts as not
    // connected until the next set-up, and the port is closed.
    virtual void BusLineLost() {}
    virtual void SetUpStarted() {}
    virtual void SetUpFinished(const TSetUpResult& /*result*/) {}
};

// The train bus as the program reaches it: the transport the set-up chose (the serial card
// through its link, or the parallel card through the transport's queues and worker), the
// bus operations every page, the set-up and the diagnostics use, and the one exchange with
// the rack that runs at a time. All of it runs on one thread (the window's, in the program).
class TBus {
public:
    // `serialLine`: the backend of the serial card's port (none: the platform's own).
    explicit TBus(TParTransport& parallel, std::unique_ptr<serial::TComBackend> serialLine = nullptr);
    ~TBus();
    TBus(const TBus&) = delete;
    TBus& operator=(const TBus&) = delete;

    // The serial-card link, made with the settings window's start values (COM2, 9600 baud,
    // "Time Out" only).
    tavo::TTavoCom& Link() { return *mLink; }
    TParTransport& Parallel() { return mParallel; }

    // The connection is usable: set by a successful set-up, cleared at the start of every
    // set-up and when the serial line is lost.
    bool Ready() const { return mReady; }
    // The serial line runs at 19200 baud after the handshake.
    bool Baud19200() const { return mBaud19200; }
    // The serial path works without a card: nothing is sent, every read answers 72.
    bool DebugMode() const { return mDebugMode; }
    void SetDebugMode(bool on);
    // The parallel card's ports: granted, or why not.
    const platform::TPortAccess& ParallelAccess() const { return mParallelAccess; }
    void SetParallelAccess(platform::TPortAccess access) { mParallelAccess = std::move(access); }

    TTransport Transport() const { return mTransport; }
    // The transport words go to from now on; the set-up sets it.
    void SetTransport(TTransport transport);

    // Puts one word on the bus. Returns the word, word + SendFailed when the transport did not
    // take it, or word + NotConnected on a serial path that was never set up (nothing sent).
    // In debug mode on the serial path nothing is sent and the word comes back. A serial port
    // error is raised as EComPort after a failed line was marked lost.
    int SendBusWord(int word);
    // The next reply: a byte, NoDataYet (parallel: none queued; serial: none within a
    // second) or NotConnected. Debug mode answers 72.
    int ReadBusFeedback();
    // Closes the serial port (its DTR pulse first); BusReady stays as it is.
    void CloseSerialLink();
    // Asked while no exchange runs: a serial line that hung up since the last word (an
    // adapter pulled out while nothing was sent) is lost as a transfer would have found it,
    // and the same EComPort is raised. Nothing is read or sent.
    void CheckLine();
    // The parallel card's data port (788) written directly and its status port (789) read,
    // past the transport: the PCK page's test mode, where the user gives the strobes by hand.
    void WriteDataPort(int word);
    int ReadStatusPort();

    // A wait that has had no reply for this long gives up.
    static constexpr std::uint32_t AwaitBoundMs = 3000;
    // Reads until a reply (below NoDataYet) or NotConnected comes, letting the window handle
    // its events between reads when asked. Gives up with NoDataYet after AwaitBoundMs
    // without a reply, and at once when the program closes.
    int AwaitFeedback(bool processEvents);
    // Reads until no reply is pending, throwing away what comes; at most DrainBound replies
    // (more than the transport holds; in debug mode every read answers).
    static constexpr int DrainBound = 4096;
    void DrainFeedback(bool processEvents);

    // The connection set-up for `choice`: prepares the transport, handshakes with the serial
    // card, and sends the initialisation sequence (one exchange). The listeners hear of its
    // start and end.
    TSetUpResult SetUp(const TSetUpChoice& choice);
    bool SetUpRunning() const { return mSetUpRunning; }
    // The choice of the last set-up that ran (the start values before the first).
    const TSetUpChoice& LastChoice() const { return mLastChoice; }

    // One exchange with the rack at a time: a page action, a tick or a set-up holds one
    // while it waits for replies (they nest). Work asked for meanwhile waits for its end.
    class TExchange {
    public:
        explicit TExchange(TBus& bus);
        ~TExchange();
        TExchange(const TExchange&) = delete;
        TExchange& operator=(const TExchange&) = delete;

    private:
        TBus& mBus;
    };
    bool Busy() const { return mDepth > 0; }
    // Runs `work` now when no exchange is under way, else as soon as the last one has ended,
    // in the order asked. The work must not throw.
    void WhenIdle(std::function<void()> work);

    // The program is closing: waits and the set-up end at once, and nothing new starts.
    void Close() { mClosing = true; }
    bool Closing() const { return mClosing; }

    void AddListener(TBusListener& listener);
    void RemoveListener(TBusListener& listener);

    // Every word, reply, port access and handshake from now on goes to `capture` as well;
    // nullptr stops recording.
    void SetCapture(TBusRecorder* capture);
    TBusRecorder* Capture() const { return mCapture; }

private:
    class THandshakeTap;

    TEventTransport EventTransport() const { return mPath->EventTransport(); }
    void RecordNoReply();
    void SetReady(bool ready);
    // The way to the rack the transport, the set-up's outcome and debug mode choose.
    void ChoosePath();
    void LineLost(const serial::EComPort& error);
    TSetUpResult SetUpParallel(const TSetUpChoice& choice);
    TSetUpResult SetUpSerial(const TSetUpChoice& choice);
    bool SendInitialisationSequence(bool serial);
    void Notify(const std::function<void(TBusListener&)>& event);

    TParTransport& mParallel;
    std::unique_ptr<tavo::TTavoCom> mLink;
    TTransport mTransport = TTransport::Serial;
    bool mReady = false;
    bool mBaud19200 = false;
    bool mDebugMode = false;
    platform::TPortAccess mParallelAccess{true, 0, {}};
    std::unique_ptr<TBusTransport> mSerialPath;
    std::unique_ptr<TBusTransport> mParallelPath;
    std::unique_ptr<TBusTransport> mDebugPath;
    std::unique_ptr<TBusTransport> mNotConnectedPath;
    TBusTransport* mPath = nullptr;
    TSetUpChoice mLastChoice;
    bool mSetUpRunning = false;
    bool mClosing = false;
    int mDepth = 0;
    std::deque<std::function<void()>> mWaiting;
    std::vector<TBusListener*> mListeners;
    TBusRecorder* mCapture = nullptr;
    std::unique_ptr<THandshakeTap> mHandshakeTap;
};

} // namespace bus
