#pragma once

#include "serial/ComBackend.h"
#include "sim/SerialCard.h"
#include "sim/TrainBus.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace sim {

// The serial interface card in the program's own process: the program's serial port reaches
// it through the port's backend (Line), on the program's thread. A byte written is taken at
// once and its answer waits in the line for the program's read, from the moment the card's
// delays let it leave; a read that finds nothing waits on the program's clock (platform/Tick.h)
// until the answer is due or the read's time limit has passed. So on a clock the test steps,
// every wait of the program takes no time, and how long it waited is exact to the millisecond.
// Faults, the option byte and the answers are those of the card on a pseudo-terminal.
class TInProcessSerialCard final : public TSerialCard {
public:
    // Answers to the port name `path`.
    TInProcessSerialCard(TTrainBus& bus, std::string path);
    ~TInProcessSerialCard() override;
    TInProcessSerialCard(const TInProcessSerialCard&) = delete;
    TInProcessSerialCard& operator=(const TInProcessSerialCard&) = delete;

    // The program's end of the line for one port: it reaches the card that `find` gives for the
    // port's name when the port opens (none: the device does not exist).
    static std::unique_ptr<serial::TComBackend>
    Line(std::function<TInProcessSerialCard*(const std::string& port)> find);
    // The program's end of the line to this card alone.
    std::unique_ptr<serial::TComBackend> Line();

    const std::string& SlavePath() const override { return mPath; }
    void SetFaults(const TSerialFaults& faults) override;
    TSerialFaults Faults() const override;
    std::vector<TLineByte> Received() const override;
    bool WaitForReceived(std::size_t count, std::uint32_t timeoutMs) const override;
    std::optional<std::uint8_t> Options() const override;
    void HangUp() override;
    bool HungUp() const override;

private:
    class TPort;
    friend class TPort;

    // A byte from the card, and the moment (the program's clock) it reaches the port.
    struct TByte {
        std::uint8_t Value;
        std::uint64_t DueMs;
    };

    // The program's end `port` was opened or closed.
    void Connect(TPort* port);
    void Disconnect(TPort* port);
    // The program's end wrote `byte` at `baud`.
    void Take(std::uint8_t byte, int baud);
    void Answer(std::uint8_t reply, std::uint32_t delayMs, int extraBytes);

    TTrainBus& mBus;
    const std::string mPath;
    mutable std::mutex mMutex;
    bool mConnected = false;
    bool mAwaitingOptions = true;
    int mWordBaud = 9600;
    TSerialFaults mFaults;
    std::vector<TLineByte> mReceived;
    std::optional<std::uint8_t> mOptions;
    bool mHungUp = false;
    std::deque<TByte> mToPort;
    std::vector<TPort*> mPorts; // open on this card: told when it goes
};

} // namespace sim
