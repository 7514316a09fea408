#include "PortRecorder.h"
#include "bus/ParallelTransport.h"
#include "sim/SimParallelCard.h"
#include "sim/SimSelectionCard.h"
#include "sim/SimTestCard.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

using sim::TSimParallelCard;
using sim::TSimTestCard;
using sim::TTrainBus;

namespace {

struct TRack {
    TTrainBus Bus;
    std::shared_ptr<TSimTestCard> Card5 = std::make_shared<TSimTestCard>();
    std::shared_ptr<TSimTestCard> Card40 = std::make_shared<TSimTestCard>();

    TRack() {
        Bus.Plug(5, Card5);
        Bus.Plug(40, Card40);
    }
};

// Runs words through the real transport onto the simulated parallel card.
std::vector<int> RunParallel(TTrainBus& bus, const std::vector<int>& words) {
    TSimParallelCard card(bus);
    TScopedPortBackend backend(&card);
    bus::TParTransport transport;
    transport.CreateWorker();
    std::vector<int> results;
    for (int word : words) {
        transport.PutWord(word);
        int result = bus::NoDataYet;
        const std::uint32_t start = platform::GetTickCount();
        while ((result = transport.GetFeedback()) == bus::NoDataYet &&
               !platform::TicksPassed(start, 5000)) {
        }
        results.push_back(result);
    }
    transport.StopWorker();
    return results;
}

} // namespace

TEST(TrainBus, AnswersEachSelectCodeLikeTheSerialCard) {
    TRack rack;
    rack.Card5->Lines = 0b1010;
    rack.Card5->Short = true;

    EXPECT_EQ(rack.Bus.ApplyWord(128 + 5), 133); // address strobe: echo
    EXPECT_EQ(rack.Bus.SelectedPlace(), 5);
    EXPECT_EQ(rack.Bus.ApplyWord(64 + 3), 64 + 16 + 10);      // data strobe, D5 low
    EXPECT_EQ(rack.Bus.ApplyWord(96 + 3), 64 + 32 + 16 + 10); // data strobe, D5 high
    EXPECT_EQ(rack.Bus.ApplyWord(32 + 9), 41);                // latch data: echo
    EXPECT_EQ(rack.Bus.ApplyWord(192 + 7), 199);              // latch address: echo
    EXPECT_EQ(rack.Bus.ApplyWord(12), 12);                    // no strobe
    EXPECT_EQ(rack.Bus.ApplyWord(250), 250);                  // no strobe, D5 high

    EXPECT_EQ(rack.Card5->DataReceived, (std::vector<std::uint8_t>{3, 35, 7}));
    EXPECT_EQ(rack.Card5->LatchReceived, std::vector<std::uint8_t>{9});
    EXPECT_TRUE(rack.Card40->DataReceived.empty());
}

TEST(TrainBus, AddressWithD5HighSelectsTheUpperPlaces) {
    TRack rack;
    rack.Card40->Lines = 15;
    rack.Bus.ApplyWord(160 + 8);
    EXPECT_EQ(rack.Bus.SelectedPlace(), 40);
    EXPECT_EQ(rack.Bus.ApplyWord(64), 64 + 15);
}

TEST(TrainBus, EmptyOrUnselectedPlaceReportsNothing) {
    TRack rack;
    EXPECT_EQ(rack.Bus.SelectedPlace(), -1);
    EXPECT_EQ(rack.Bus.ApplyWord(64), 64);
    rack.Bus.ApplyWord(128 + 6);
    EXPECT_EQ(rack.Bus.ApplyWord(96), 96);
    EXPECT_THROW(rack.Bus.Plug(64, nullptr), std::out_of_range);
}

TEST(SimParallelCard, PortsShowTheSelectedCardWithActiveLowShortCircuit) {
    TRack rack;
    TSimParallelCard card(rack.Bus);
    EXPECT_EQ(card.In(789), 0xFFF0) << "nothing selected: no lines, no short circuit";
    card.Out(788, 5);
    card.Out(788, 128 + 5);
    card.Out(788, 5);
    rack.Card5->Lines = 9;
    EXPECT_EQ(card.In(789), 0xFFF0 | 9);
    rack.Card5->Short = true;
    EXPECT_EQ(card.In(789), 0xFFE0 | 9);
    EXPECT_EQ(card.In(790), 0xFFFF);
}

TEST(SimParallelCard, TheTransportDrivesTheSameBusEventsAsTheSerialCard) {
    // The rack's initialisation for two places, then data, latch and latch-address words,
    // including words with D5 high that must not count as latch-data pulses.
    const std::vector<int> words{128 + 5, 96, 64,  160 + 8, 96, 64, 128 + 5, 99,
                                 40,      32, 200, 224,     0,  98, 47,      96};
    TRack serial;
    TRack parallel;
    serial.Card5->Lines = parallel.Card5->Lines = 6;
    serial.Card40->Short = parallel.Card40->Short = true;

    std::vector<int> serialAnswers;
    for (int word : words)
        serialAnswers.push_back(serial.Bus.ApplyWord(static_cast<std::uint8_t>(word)));
    const std::vector<int> parallelAnswers = RunParallel(parallel.Bus, words);

    EXPECT_EQ(parallelAnswers, serialAnswers);
    EXPECT_EQ(parallel.Card5->DataReceived, serial.Card5->DataReceived);
    EXPECT_EQ(parallel.Card5->LatchReceived, serial.Card5->LatchReceived);
    EXPECT_EQ(parallel.Card40->DataReceived, serial.Card40->DataReceived);
    EXPECT_EQ(parallel.Card5->LatchReceived, (std::vector<std::uint8_t>{8, 0, 15}));
    EXPECT_EQ(parallelAnswers[1], 64 + 32 + 6);
    EXPECT_EQ(parallelAnswers[4], 64 + 32 + 16);
}

TEST(SimSelectionCard, FollowsEveryAddressStrobeWhereverItSits) {
    TTrainBus bus;
    auto selection = std::make_shared<sim::TSimSelectionCard>();
    bus.Plug(63, selection);
    EXPECT_EQ(selection->SelectedPlace(), -1);
    bus.ApplyWord(0x80 + 37);
    EXPECT_EQ(selection->SelectedPlace(), 37);
    bus.ApplyWord(0x40 + 5); // data strobes select nothing
    bus.ApplyWord(0x20 + 3);
    EXPECT_EQ(selection->SelectedPlace(), 37);
    TSimParallelCard card(bus);
    card.Out(788, 0x30);
    card.Out(788, 0x80 + 0x30);
    EXPECT_EQ(selection->SelectedPlace(), 48);
    EXPECT_EQ(selection->History(), (std::vector<std::uint8_t>{37, 48}));
}
