#include "bus/BusTransport.h"

#include "bus/BusWord.h"
#include "bus/ParallelTransport.h"
#include "platform/Tick.h"
#include "serial/ComError.h"
#include "serial/SerialCardLink.h"

#include <memory>
#include <string>

namespace bus {

namespace {

class TSerialTransport final : public TBusTransport {
public:
    TSerialTransport(tavo::TTavoCom& link, std::function<void(const serial::EComPort&)> lineLost)
        : mLink(link), mLineLost(std::move(lineLost)) {}

    TEventTransport EventTransport() const override { return TEventTransport::Serial; }

    int Send(int word) override {
        try {
            // The card answers the latest word only: what it still had coming is dropped.
            mLink.PurgeQueues(true, true);
            const std::int32_t written = mLink.WriteText(std::string(1, static_cast<char>(word)));
            return written == 1 ? word : word + SendFailed;
        } catch (const serial::EComPort& error) {
            mLineLost(error);
            throw;
        }
    }

    int Read() override {
        const std::uint32_t start = platform::GetTickCount();
        try {
            for (;;) {
                std::string text;
                mLink.ReadText(text, 1);
                if (text.size() == 1)
                    return static_cast<std::uint8_t>(text[0]);
                if (platform::TicksPassed(start, 1000))
                    return NoDataYet;
            }
        } catch (const serial::EComPort& error) {
            mLineLost(error);
            throw;
        }
    }

private:
    tavo::TTavoCom& mLink;
    std::function<void(const serial::EComPort&)> mLineLost;
};

class TParallelTransport final : public TBusTransport {
public:
    explicit TParallelTransport(TParTransport& parallel) : mParallel(parallel) {}

    TEventTransport EventTransport() const override { return TEventTransport::Parallel; }
    int Send(int word) override { return mParallel.PutWord(word); }
    int Read() override { return mParallel.GetFeedback(); }

private:
    TParTransport& mParallel;
};

class TDebugTransport final : public TBusTransport {
public:
    TEventTransport EventTransport() const override { return TEventTransport::Debug; }
    int Send(int word) override { return word; }
    int Read() override { return 72; }
};

class TNotConnectedTransport final : public TBusTransport {
public:
    explicit TNotConnectedTransport(std::function<void()> notConnected)
        : mNotConnected(std::move(notConnected)) {}

    TEventTransport EventTransport() const override { return TEventTransport::Serial; }
    int Send(int word) override {
        mNotConnected();
        return word + NotConnected;
    }
    int Read() override {
        mNotConnected();
        return NotConnected;
    }

private:
    std::function<void()> mNotConnected;
};

} // namespace

std::unique_ptr<TBusTransport>
MakeSerialTransport(tavo::TTavoCom& link, std::function<void(const serial::EComPort&)> lineLost) {
    return std::make_unique<TSerialTransport>(link, std::move(lineLost));
}

std::unique_ptr<TBusTransport> MakeParallelTransport(TParTransport& parallel) {
    return std::make_unique<TParallelTransport>(parallel);
}

std::unique_ptr<TBusTransport> MakeDebugTransport() {
    return std::make_unique<TDebugTransport>();
}

std::unique_ptr<TBusTransport> MakeNotConnectedTransport(std::function<void()> notConnected) {
    return std::make_unique<TNotConnectedTransport>(std::move(notConnected));
}

} // namespace bus
