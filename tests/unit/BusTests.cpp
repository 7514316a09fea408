// The bus without any window: the connection set-up over each simulated interface card, then
// a card's feedback read through the bus operations.
#include "PortRecorder.h"
#include "bus/Bus.h"
#include "bus/ParallelTransport.h"
#include "platform/Tick.h"
#include "sim/InProcessSerialCard.h"
#include "sim/SimParallelCard.h"
#include "sim/SimSerialCard.h"
#include "sim/SimTestCard.h"

#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

// A rack with one card in place 9 whose lines read 1010 and which reports a short circuit.
struct TRack {
    sim::TTrainBus Train;
    std::shared_ptr<sim::TSimTestCard> Card9 = std::make_shared<sim::TSimTestCard>();

    TRack() {
        Card9->Lines = 0b1010;
        Card9->Short = true;
        Train.Plug(9, Card9);
    }
};

std::vector<int> InitialisationSequence() {
    std::vector<int> words;
    for (int place = 0; place < 64; ++place)
        words.insert(words.end(), {bus::AddressWord(place), 96, 64});
    return words;
}

// Addresses place 9 and asks for its feedback with a data strobe.
int FeedbackOfPlace9(bus::TBus& bus) {
    EXPECT_EQ(bus.SendBusWord(bus::AddressWord(9)), 0x89);
    EXPECT_EQ(bus.AwaitFeedback(false), 0x89) << "an address strobe is echoed";
    EXPECT_EQ(bus.SendBusWord(bus::DataWord(0)), 0x40);
    return bus.AwaitFeedback(false);
}

// The simulated card needs no time to wake up.
class BusSetUpTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SkipDesignedWaits(true); }
    void TearDown() override { platform::SkipDesignedWaits(false); }
};

} // namespace

TEST_F(BusSetUpTest, SerialCardHandshakesTakesTheSequenceAndAnswersWithTheCardsFeedback) {
    TRack rack;
    sim::TSimSerialCard card(rack.Train);
    bus::TParTransport parallel;
    bus::TBus bus(parallel);
    bus::TSetUpChoice choice;
    choice.Port = card.SlavePath();
    choice.Baud19200 = true;

    const bus::TSetUpResult result = bus.SetUp(choice);
    EXPECT_EQ(result.Outcome, bus::TSetUpOutcome::Connected);
    EXPECT_TRUE(result.Ready);
    EXPECT_EQ(result.Transport, bus::TTransport::Serial);
    EXPECT_EQ(result.Port, card.SlavePath());
    EXPECT_EQ(card.Options(), std::optional<std::uint8_t>(0x0A)) << "Time Out and 19200 baud";
    std::vector<sim::TLineByte> expected{{0x0A, 9600}};
    for (const int word : InitialisationSequence())
        expected.push_back({static_cast<std::uint8_t>(word), 19200});
    EXPECT_EQ(card.Received(), expected);

    const bus::TReply reply(FeedbackOfPlace9(bus));
    EXPECT_EQ(reply.Value(), 0x5A);
    EXPECT_TRUE(reply.IsFeedback());
    EXPECT_TRUE(reply.IsBlockFeedback());
    EXPECT_EQ(reply.Lines(), 0b1010);
    EXPECT_TRUE(reply.ShortCircuit());
    bus.CloseSerialLink();
}

TEST_F(BusSetUpTest, ParallelCardTakesTheSequenceAndAnswersWithTheCardsFeedback) {
    TRack rack;
    sim::TSimParallelCard card(rack.Train);
    TScopedPortBackend backend(&card);
    bus::TParTransport parallel;
    parallel.CreateWorker();
    bus::TBus bus(parallel);
    bus::TSetUpChoice choice;
    choice.Parallel = true;

    const bus::TSetUpResult result = bus.SetUp(choice);
    EXPECT_EQ(result.Outcome, bus::TSetUpOutcome::Connected);
    EXPECT_TRUE(result.Ready);
    EXPECT_EQ(result.Transport, bus::TTransport::Parallel);
    EXPECT_EQ(rack.Card9->DataReceived, (std::vector<std::uint8_t>{32, 0}))
        << "place 9's two data strobes of the sequence";
    EXPECT_EQ(rack.Train.SelectedPlace(), 63);
    EXPECT_EQ(parallel.GetFeedback(), bus::NoDataYet) << "every answer was taken";

    EXPECT_EQ(FeedbackOfPlace9(bus), 0x5A);
    parallel.StopWorker();
}

TEST(BusExchange, WorkAskedForDuringAnExchangeRunsAfterItInOrder) {
    bus::TParTransport parallel;
    bus::TBus bus(parallel);
    std::vector<int> order;
    {
        bus::TBus::TExchange outer(bus);
        {
            bus::TBus::TExchange inner(bus);
            bus.WhenIdle([&] {
                order.push_back(3);
                bus.WhenIdle([&] { order.push_back(5); }); // asked during its own exchange
                order.push_back(4);
            });
            order.push_back(1);
        }
        order.push_back(2);
        EXPECT_TRUE(bus.Busy());
    }
    EXPECT_FALSE(bus.Busy());
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
}

// The serial card's waits, on a clock the test steps: the set-up's two wake-ups of a second, the
// option byte's echo within 100 ms, a word's answer within three seconds (three reads of a
// second each), the DTR pulse of 250 ms.
// The card in the test's own process answers at once unless told otherwise, so every
// millisecond that passes is one of the program's own waits.
class SerialCardTimeTest : public ::testing::Test {
protected:
    platform::TSteppedClock Clock;
    platform::TClock* Previous = platform::SetClock(&Clock);
    TRack Rack;
    sim::TInProcessSerialCard Card{Rack.Train, "/dev/null/zelm-card-time"};
    bus::TParTransport Parallel;
    bus::TBus Bus{Parallel, Card.Line()};

    ~SerialCardTimeTest() override {
        Bus.CloseSerialLink();
        platform::SetClock(Previous);
    }

    // The set-up's outcome and the milliseconds it took.
    std::pair<bus::TSetUpOutcome, std::uint64_t> TimedSetUp() {
        bus::TSetUpChoice choice;
        choice.Port = Card.SlavePath();
        const std::uint64_t start = Clock.NowMs();
        const bus::TSetUpOutcome outcome = Bus.SetUp(choice).Outcome;
        return {outcome, Clock.NowMs() - start};
    }
    std::uint64_t Timed(const std::function<void()>& action) {
        const std::uint64_t start = Clock.NowMs();
        action();
        return Clock.NowMs() - start;
    }
};

TEST_F(SerialCardTimeTest, SetUpWaitsTwoSecondsForTheCardAndAHundredMillisecondsForItsEcho) {
    // DTR high, a second for the card to wake, a second more before the option byte; the echo
    // and the 192 words of the sequence take no time of their own.
    EXPECT_EQ(TimedSetUp(), std::make_pair(bus::TSetUpOutcome::Connected, std::uint64_t{2000}));
    EXPECT_EQ(Card.Received().size(), 1u + 192u);

    // An echo 100 ms late is in time; 101 ms is too late, and the set-up gives up when the
    // read's 100 ms are over.
    sim::TSerialFaults faults;
    faults.EchoDelayMs = 100;
    Card.SetFaults(faults);
    EXPECT_EQ(TimedSetUp(), std::make_pair(bus::TSetUpOutcome::Connected, std::uint64_t{250 + 2100}))
        << "the DTR pulse of the port closed first, then the wake-ups and the echo";
    faults.EchoDelayMs = 101;
    Card.SetFaults(faults);
    EXPECT_EQ(TimedSetUp(), std::make_pair(bus::TSetUpOutcome::CardSilent, std::uint64_t{250 + 2100}));
    faults.EchoDelayMs = 0;
    faults.Silent = true;
    Card.SetFaults(faults);
    EXPECT_EQ(TimedSetUp(), std::make_pair(bus::TSetUpOutcome::CardSilent, std::uint64_t{250 + 2100}));
}

TEST_F(SerialCardTimeTest, AWordWaitsThreeSecondsForItsAnswerAndClosingPulsesDtrForAQuarterSecond) {
    ASSERT_EQ(TimedSetUp().first, bus::TSetUpOutcome::Connected);
    sim::TSerialFaults faults;
    faults.ReplyDelayMs = 3000;
    Card.SetFaults(faults);
    int reply = 0;
    EXPECT_EQ(Timed([&] {
        Bus.SendBusWord(bus::AddressWord(9));
        reply = Bus.AwaitFeedback(false);
    }),
              3000u);
    EXPECT_EQ(reply, 0x89) << "an answer three seconds late still counts";

    faults.ReplyDelayMs = 3001;
    Card.SetFaults(faults);
    EXPECT_EQ(Timed([&] {
        Bus.SendBusWord(bus::AddressWord(9));
        reply = Bus.AwaitFeedback(false);
    }),
              3000u);
    EXPECT_EQ(reply, bus::NoDataYet) << "no answer within the three seconds";

    EXPECT_EQ(Timed([&] { Bus.CloseSerialLink(); }), 250u);
}

// A card taken away while the port is open to it (the rack view's new serial card): the port
// stays open on a line whose far end is gone, and closes without touching the old card.
TEST(InProcessSerialCardLine, ACardThatGoesLeavesTheOpenPortOnAHungUpLine) {
    TRack rack;
    auto card = std::make_unique<sim::TInProcessSerialCard>(rack.Train, "/dev/null/zelm-card-gone");
    std::unique_ptr<serial::TComBackend> line = card->Line();
    ASSERT_EQ(line->Open("/dev/null/zelm-card-gone"), 0);
    card.reset();
    std::int32_t done = 0;
    char byte = 0x02;
    EXPECT_EQ(line->Write(&byte, 1, done), EIO);
    EXPECT_EQ(line->Read(&byte, 1, done), EIO);
    EXPECT_EQ(line->SetDtr(false), EIO);
    EXPECT_EQ(line->LineFailure(), EIO);
    EXPECT_EQ(line->Open("/dev/null/zelm-card-gone"), EBUSY) << "still open until closed";
    line->Close();
    EXPECT_EQ(line->SetDtr(true), EBADF) << "closed now";
}
