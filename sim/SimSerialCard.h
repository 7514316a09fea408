#pragma once

#include "sim/SerialCard.h"
#include "sim/TrainBus.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// The serial interface card in front of a simulated rack, on the master end of a new
// pseudo-terminal; the program opens the slave end (SlavePath) as its COM port.
//
// A connection starts whenever the slave end goes from closed to open. Its first byte taken
// at 9600 baud is the option byte: the card echoes it and from then on takes bus words at
// 19200 baud when bit 3 of the option byte asked for it, else at 9600. Each bus word gets
// exactly one byte back: the addressed card's feedback value for a data strobe, the echo of
// the word otherwise. A byte that arrives while the line runs at another speed would be
// garbage on a real line; the card drops it without an answer and without a change of state.
// The other option bits are kept (Options) and change nothing: the simulated rack has no
// track power for the card's counter to switch off, and reporting and test mode are the
// program's business.
//
// A DTR pulse does not show on a pty, so opening the slave is what resets the card; the card
// learns of opens and closes from the slave's device node (inotify). Bytes a client leaves
// behind when it closes get no answer. Answers a client has not read stay in the pty for
// whoever opens it next; the program purges its receive queue before the option byte.
//
// The card serves the line on a thread of its own; every other method may be called from
// any thread.
class TSimSerialCard final : public TSerialCard {
public:
    // Opens the pseudo-terminal, puts its line at raw 8N1, 9600 baud, and starts serving.
    // Throws std::system_error when the system gives no pseudo-terminal.
    explicit TSimSerialCard(TTrainBus& bus);
    // Stops the thread and closes the master end; an open slave end then sees a hang-up.
    ~TSimSerialCard() override;

    TSimSerialCard(const TSimSerialCard&) = delete;
    TSimSerialCard& operator=(const TSimSerialCard&) = delete;

    const std::string& SlavePath() const override { return mSlavePath; }

    void SetFaults(const TSerialFaults& faults) override;
    // Wire timing: every byte takes its time on the line (10 bits: start, 8 data, stop) at the
    // line's speed. A byte the card takes has arrived one byte time after the card saw it (or
    // after the byte before it), and only then is it answered; the answer's bytes leave the
    // card once their own time on the line has passed. So a bus word costs what it costs on a
    // real line. The card keeps these moments to a few microseconds (it sleeps, then spins
    // for the last stretch), since a sleep alone wakes tens of microseconds late on a busy or
    // virtual machine. Off by default.
    void SetWireTiming(bool on) override;
    TSerialFaults Faults() const override;

    // Every byte taken from the line so far, in order, including those that got no answer.
    std::vector<TLineByte> Received() const override;
    // Waits until at least `count` bytes were taken; false when `timeoutMs` passed first.
    bool WaitForReceived(std::size_t count, std::uint32_t timeoutMs) const override;
    // The option byte of the present connection, none before the handshake.
    std::optional<std::uint8_t> Options() const override;
    // Closes the card's end of the line at once, so that the program's end sees a hang-up.
    void HangUp() override;
    // True once the card has hung up; it serves nothing after that.
    bool HungUp() const override;

private:
    enum class TPhase { AwaitOptions, BusWords };

    void Wake();
    void Run();
    void TakeWakeUps();
    bool HangUpDue() const;
    void TakeOpenClose();
    void StartConnection();
    void DropLeftovers();
    void ServeLine();
    using TLineTime = std::chrono::steady_clock::time_point;
    void Serve(std::uint8_t byte, int baud, const TSerialFaults& faults, TLineTime arrived);
    bool FallsSilent(int baud);
    void Answer(std::uint8_t reply, std::uint32_t delayMs, int extraBytes, TLineTime arrived);
    bool WaitToAnswer(unsigned connection, TLineTime leaves);
    int LineBaud() const;
    bool ReadByte(std::uint8_t& byte);
    TSerialFaults Record(std::uint8_t byte, int baud);
    void CloseLine();
    // The time `bytes` bytes take on the line at `baud`; zero without wire timing.
    std::chrono::nanoseconds OnLine(int baud, std::size_t bytes) const;
    static void HoldUntil(TLineTime moment);

    TTrainBus& mBus;
    int mMaster = -1;
    int mWatch = -1;    // inotify descriptor watching the slave's device node
    int mWakeRead = -1; // the thread's wake-up pipe
    int mWakeWrite = -1;
    std::string mSlavePath;
    std::atomic<bool> mStop{false};
    std::atomic<bool> mWireTiming{false};

    // Owned by the thread.
    bool mSlaveOpen = false;      // some client has the slave end open
    bool mClosedSinceOpen = true; // the next open starts a connection
    unsigned mConnection = 0;     // connections started so far
    TPhase mPhase = TPhase::AwaitOptions;
    int mWordBaud = 9600;
    TLineTime mReceivedUntil{}; // when the last byte taken had fully arrived

    mutable std::mutex mMutex;
    mutable std::condition_variable mReceivedChanged;
    TSerialFaults mFaults;
    std::vector<TLineByte> mReceived;
    std::optional<std::uint8_t> mOptions;
    bool mHangUpAsked = false;
    bool mHungUp = false;

    std::thread mThread; // last: starts after everything above exists
};

} // namespace sim
