// The bus without any window: the connection set-up over each simulated interface card, then
// a card's feedback read through the bus operations.
#include "PortRecorder.h"
#include "bus/Bus.h"
#include "bus/ParallelTransport.h"
#include "platform/Tick.h"
#include "sim/SimParallelCard.h"
#include "sim/SimSerialCard.h"
#include "sim/SimTestCard.h"

#include <gtest/gtest.h>
#include <memory>
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
