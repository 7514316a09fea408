#include "sim/InProcessSerialCard.h"

#include "platform/Tick.h"

#include <algorithm>
#include <cerrno>

namespace sim {

namespace {

// The program's clock without the wrap of its 32-bit counter, which a test may move to just
// before 2^32: the card's own times keep counting up across it.
std::uint64_t Now() {
    return static_cast<std::uint64_t>(platform::TTickClock::now().time_since_epoch().count());
}

} // namespace

// The port's side: what the serial port's backend does on a line to the card.
class TInProcessSerialCard::TPort final : public serial::TComBackend {
public:
    explicit TPort(std::function<TInProcessSerialCard*(const std::string&)> find)
        : mFind(std::move(find)) {}
    ~TPort() override { Close(); }

    int Open(const std::string& port) override {
        if (mCard || mCardGone)
            return EBUSY;
        TInProcessSerialCard* card = mFind(port);
        if (!card)
            return ENOENT;
        if (card->HungUp())
            return EIO;
        mCard = card;
        mCard->Connect(this);
        return 0;
    }
    void Close() override {
        if (mCard)
            mCard->Disconnect(this);
        mCard = nullptr;
        mCardGone = false;
    }
    // The card went away (a test put a new one in its place) while the port was open: the port
    // stays open on a line whose far end is gone, as a pseudo-terminal's.
    void CardGone() {
        mCard = nullptr;
        mCardGone = true;
    }
    int SetQueueSizes(std::int32_t, std::int32_t) override { return mCard ? 0 : NoCard(); }
    int SetLine(const serial::TDcb& dcb) override {
        if (!mCard)
            return NoCard();
        mBaud = static_cast<int>(dcb.BaudRate);
        return 0;
    }
    int SetTimeouts(const serial::TCommTimeouts& timeouts) override {
        if (!mCard)
            return NoCard();
        mTimeouts = timeouts;
        return 0;
    }
    int Write(const char* data, std::int32_t count, std::int32_t& written) override {
        written = 0;
        if (!mCard)
            return NoCard();
        for (; written < count; ++written) {
            if (mCard->HungUp())
                return EIO;
            mCard->Take(static_cast<std::uint8_t>(data[written]), mBaud);
        }
        return 0;
    }
    // As the platform's read: the whole count, unless the total limit (multiplier times the
    // count plus the constant) or, once a byte has come, the quiet limit between bytes runs
    // out first; -1, 0, 0 takes what is there at once.
    int Read(char* data, std::int32_t count, std::int32_t& received) override {
        received = 0;
        if (!mCard)
            return NoCard();
        const auto interval = static_cast<std::int32_t>(mTimeouts.ReadIntervalTimeout);
        const auto multiplier = static_cast<std::int32_t>(mTimeouts.ReadTotalTimeoutMultiplier);
        const auto constant = static_cast<std::int32_t>(mTimeouts.ReadTotalTimeoutConstant);
        const bool atOnce = interval == -1 && multiplier == 0 && constant == 0;
        const std::int64_t total = std::int64_t{multiplier} * count + constant;
        const std::uint64_t start = Now();
        std::uint64_t lastByte = start;
        for (;;) {
            std::optional<std::uint64_t> nextDue;
            {
                std::lock_guard lock(mCard->mMutex);
                auto& waiting = mCard->mToPort;
                while (received < count && !waiting.empty() && waiting.front().DueMs <= Now()) {
                    data[received++] = static_cast<char>(waiting.front().Value);
                    waiting.pop_front();
                    lastByte = Now();
                }
                if (!waiting.empty())
                    nextDue = waiting.front().DueMs;
            }
            if (received == count || atOnce)
                return 0;
            if (!nextDue && mCard->HungUp())
                return received > 0 ? 0 : EIO;
            // The first moment something can change: the next byte is due, or a limit ends.
            std::optional<std::uint64_t> until = nextDue;
            const auto sooner = [&until](std::uint64_t moment) {
                until = until ? std::min(*until, moment) : moment;
            };
            if (total > 0)
                sooner(start + static_cast<std::uint64_t>(total));
            if (interval > 0 && received > 0)
                sooner(lastByte + static_cast<std::uint64_t>(interval));
            // No limit and nothing on its way: in this one thread nothing can come any more.
            if (!until)
                return 0;
            const std::uint64_t now = Now();
            if (*until <= now && !(nextDue && *nextDue <= now))
                return 0;
            if (*until > now)
                platform::Sleep(static_cast<std::uint32_t>(*until - now));
        }
    }
    int Purge(std::uint32_t flags) override {
        // As on a pseudo-terminal: aborting transfers has nothing to do on a line whose far
        // end is gone; only clearing the input needs the line.
        if (!mCard)
            return mCardGone && (flags & serial::PurgeRxClear) == 0 ? 0 : NoCard();
        if ((flags & serial::PurgeRxClear) != 0) {
            std::lock_guard lock(mCard->mMutex);
            mCard->mToPort.clear();
        }
        return 0;
    }
    // A line the card hung up takes no modem signals, as a pseudo-terminal whose far end is gone.
    int SetDtr(bool) override { return !mCard ? NoCard() : mCard->HungUp() ? EIO : 0; }
    int ModemStatus(std::uint32_t& status) override {
        status = 0;
        return mCard ? 0 : NoCard();
    }
    std::intptr_t Handle() const override { return mCard || mCardGone ? 1 : -1; }
    int LineFailure() override { return mCardGone || (mCard && mCard->HungUp()) ? EIO : 0; }

private:
    int NoCard() const { return mCardGone ? EIO : EBADF; }

    std::function<TInProcessSerialCard*(const std::string&)> mFind;
    TInProcessSerialCard* mCard = nullptr;
    bool mCardGone = false;
    int mBaud = 9600;
    serial::TCommTimeouts mTimeouts;
};

TInProcessSerialCard::TInProcessSerialCard(TTrainBus& bus, std::string path)
    : mBus(bus), mPath(std::move(path)) {}

TInProcessSerialCard::~TInProcessSerialCard() {
    for (TPort* port : mPorts)
        port->CardGone();
}

std::unique_ptr<serial::TComBackend>
TInProcessSerialCard::Line(std::function<TInProcessSerialCard*(const std::string& port)> find) {
    return std::make_unique<TPort>(std::move(find));
}

std::unique_ptr<serial::TComBackend> TInProcessSerialCard::Line() {
    return Line([this](const std::string& port) { return port == mPath ? this : nullptr; });
}

void TInProcessSerialCard::SetFaults(const TSerialFaults& faults) {
    std::lock_guard lock(mMutex);
    mFaults = faults;
}

TSerialFaults TInProcessSerialCard::Faults() const {
    std::lock_guard lock(mMutex);
    return mFaults;
}

std::vector<TLineByte> TInProcessSerialCard::Received() const {
    std::lock_guard lock(mMutex);
    return mReceived;
}

bool TInProcessSerialCard::WaitForReceived(std::size_t count, std::uint32_t) const {
    // Every byte written is taken at once: there is nothing to wait for.
    std::lock_guard lock(mMutex);
    return mReceived.size() >= count;
}

std::optional<std::uint8_t> TInProcessSerialCard::Options() const {
    std::lock_guard lock(mMutex);
    return mOptions;
}

void TInProcessSerialCard::HangUp() {
    std::lock_guard lock(mMutex);
    mHungUp = true;
    // What the program had not read yet is gone with the line.
    mToPort.clear();
}

bool TInProcessSerialCard::HungUp() const {
    std::lock_guard lock(mMutex);
    return mHungUp;
}

void TInProcessSerialCard::Connect(TPort* port) {
    std::lock_guard lock(mMutex);
    mPorts.push_back(port);
    mConnected = true;
    mAwaitingOptions = true;
    mWordBaud = 9600;
    mOptions.reset();
    mToPort.clear();
}

void TInProcessSerialCard::Disconnect(TPort* port) {
    std::lock_guard lock(mMutex);
    std::erase(mPorts, port);
    mConnected = false;
    mToPort.clear();
}

void TInProcessSerialCard::Take(std::uint8_t byte, int baud) {
    std::unique_lock lock(mMutex);
    mReceived.push_back({byte, baud});
    TSerialFaults& faults = mFaults;
    if (faults.Silent || mHungUp || !mConnected)
        return;
    if (mAwaitingOptions) {
        if (baud != 9600)
            return;
        mAwaitingOptions = false;
        mWordBaud = (byte & 0x08) != 0 ? 19200 : 9600;
        mOptions = byte;
        Answer(faults.WrongEcho ? static_cast<std::uint8_t>(~byte) : byte, faults.EchoDelayMs,
               faults.ExtraBytes);
        return;
    }
    if (baud != mWordBaud)
        return;
    if (faults.SilentAfterWords == 0) {
        faults.SilentAfterWords = -1;
        faults.Silent = true;
        return;
    }
    if (faults.SilentAfterWords > 0)
        --faults.SilentAfterWords;
    if (faults.HangUpAfterWords == 0) {
        faults.HangUpAfterWords = -1;
        mHungUp = true;
        mToPort.clear();
        return;
    }
    if (faults.HangUpAfterWords > 0)
        --faults.HangUpAfterWords;
    const std::uint32_t delay = faults.ReplyDelayMs;
    const int extra = faults.ExtraBytes;
    lock.unlock();
    const std::uint8_t reply = mBus.ApplyWord(byte);
    lock.lock();
    Answer(reply, delay, extra);
}

void TInProcessSerialCard::Answer(std::uint8_t reply, std::uint32_t delayMs, int extraBytes) {
    const std::uint64_t due = Now() + delayMs;
    mToPort.push_back({reply, due});
    for (int i = 0; i < extraBytes; ++i)
        mToPort.push_back({static_cast<std::uint8_t>(~reply), due});
}

} // namespace sim
