#pragma once

// The card models over a simulated rack, without a window: the rack's simulated serial card in
// the test's own process as the connection the set-up made, its simulated parallel card as the
// port backend with the transport's worker running, a test timer that ticks when the test
// says so, and a front-end that keeps the messages it was given. The program's clock is one
// the test steps: every wait of the serial card's (its wake-up, its reads' time limits) takes
// no time and is exact to the millisecond.

#include "bus/Bus.h"
#include "bus/ParallelTransport.h"
#include "cards/CardModels.h"
#include "platform/PortIo.h"
#include "platform/Tick.h"
#include "sim/SimParallelCard.h"
#include "sim/InProcessSerialCard.h"
#include "sim/TrainBus.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

// A test timer the test drives: it ticks only when asked, and keeps what it was told.
class TManualTicks final : public cards::TTickSource {
public:
    void Start() override { Active = true; }
    void Stop() override { Active = false; }
    bool Running() const override { return Active; }
    void SetInterval(int ms) override { IntervalMs = ms; }
    int Interval() const override { return IntervalMs; }
    // A tick falls due (the test timer's handler).
    void Tick() {
        if (OnTick)
            OnTick();
    }

    bool Active = false;
    int IntervalMs = 400;
};

class TRecordingFrontEnd final : public cards::TCardFrontEnd {
public:
    struct TMessage {
        cards::TPage Page;
        bool Error;
        std::string Text;
    };
    void Message(cards::TPage page, bool error, const std::string& text) override {
        Messages.push_back({page, error, text});
    }
    void Error(const std::string& text) override { Errors.push_back(text); }

    std::vector<TMessage> Messages;
    std::vector<std::string> Errors;
};

// The program's clock, a stepped one, while it lives.
class TSteppedClockInUse {
public:
    TSteppedClockInUse() : mPrevious(platform::SetClock(&Clock)) {}
    ~TSteppedClockInUse() { platform::SetClock(mPrevious); }
    TSteppedClockInUse(const TSteppedClockInUse&) = delete;
    TSteppedClockInUse& operator=(const TSteppedClockInUse&) = delete;

    platform::TSteppedClock Clock;

private:
    platform::TClock* mPrevious;
};

class TCardWorld {
public:
    explicit TCardWorld(sim::TTrainBus& rack)
        : ParallelCard(rack), SerialCard(rack, "/dev/null/zelm-card-test"),
          mPreviousBackend(platform::SetPortBackend(&ParallelCard)) {
        bus::ParTransport().CreateWorker();
        Models.SetFrontEnd(&FrontEnd);
        bus::TSetUpChoice choice;
        choice.Port = SerialCard.SlavePath();
        Connected = Bus.SetUp(choice).Outcome == bus::TSetUpOutcome::Connected;
    }
    ~TCardWorld() {
        Ticks.Stop();
        Bus.CloseSerialLink();
        bus::ParTransport().StopWorker();
        platform::SetPortBackend(mPreviousBackend);
    }
    TCardWorld(const TCardWorld&) = delete;
    TCardWorld& operator=(const TCardWorld&) = delete;

    // The words the serial card took since the mark.
    std::vector<int> Sent() const {
        std::vector<int> words;
        const auto received = SerialCard.Received();
        for (std::size_t i = Mark; i < received.size(); ++i)
            words.push_back(received[i].Byte);
        return words;
    }
    // The same once `count` of them have come (the last words of a page that awaits no reply
    // are still on their way when it returns); the mark moves past them.
    std::vector<int> SentOnce(std::size_t count) {
        EXPECT_TRUE(SerialCard.WaitForReceived(Mark + count, 5000));
        const std::vector<int> words = Sent();
        Mark += words.size();
        return words;
    }
    void MarkNow() { Mark = SerialCard.Received().size(); }

    // The serial connection as the set-up left it, or the parallel card (no set-up: its
    // transport needs none beyond the worker that runs).
    void UseSerial() { Bus.SetTransport(bus::TTransport::Serial); }
    void UseParallel() { Bus.SetTransport(bus::TTransport::Parallel); }

    // The program's clock; first, so that everything below reads it from the start.
    TSteppedClockInUse Time;
    platform::TSteppedClock& Clock = Time.Clock;
    sim::TSimParallelCard ParallelCard;
    sim::TInProcessSerialCard SerialCard;
    bus::TBus Bus{bus::ParTransport(), SerialCard.Line()};
    TManualTicks Ticks;
    TRecordingFrontEnd FrontEnd;
    cards::TCardModels Models{Bus, Ticks};
    bool Connected = false;
    std::size_t Mark = 0;

private:
    platform::TPortBackend* mPreviousBackend;
};
