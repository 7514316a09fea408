#include "sim/SimIoCard.h"
#include "sim/SimLatchCard.h"
#include "sim/TrainBus.h"

#include <gtest/gtest.h>
#include <memory>
#include <set>

using sim::TSimIoCard;
using sim::TSimLatchCard;
using sim::TTrainBus;

namespace {

// The latch address that loads step i (pins 4i + 1 to 4i + 4) of EVL A to D, and D4 of its
// latch data, as the latch card test sends them.
constexpr int StepAddress[16][4] = {
    {1, 12, 17, 28}, {3, 13, 19, 29}, {5, 8, 21, 24}, {7, 10, 23, 26},
    {0, 14, 16, 30}, {2, 15, 18, 31}, {4, 9, 20, 25}, {6, 11, 22, 27},
    {1, 12, 17, 28}, {3, 13, 19, 29}, {5, 8, 21, 24}, {7, 10, 23, 26},
    {0, 14, 16, 30}, {2, 15, 18, 31}, {4, 9, 20, 25}, {6, 11, 22, 27},
};
constexpr bool StepHigh[16] = {true,  true,  true,  true,  false, false, false, false,
                               false, false, false, false, true,  true,  true,  true};

struct TLatchRack {
    TTrainBus Bus;
    std::shared_ptr<TSimLatchCard> Card = std::make_shared<TSimLatchCard>();

    TLatchRack() { Bus.Plug(5, Card); }

    // A full load of `evl` as bus words, pin n's level taken from bit n - 1 of `levels`.
    void Load(int evl, std::uint64_t levels) {
        Bus.ApplyWord(0x80 + 5);
        for (int step = 0; step < 16; ++step) {
            const auto nibble = static_cast<int>((levels >> (4 * step)) & 15);
            Bus.ApplyWord(static_cast<std::uint8_t>(0xC0 + StepAddress[step][evl]));
            Bus.ApplyWord(static_cast<std::uint8_t>(0x20 + (StepHigh[step] ? 16 : 0) + nibble));
        }
    }
};

} // namespace

TEST(SimLatchCard, EveryLatchAddressAndHalfLoadsItsOwnFourPins) {
    std::set<std::pair<int, int>> targets;
    for (int evl = 0; evl < 4; ++evl)
        for (int step = 0; step < 16; ++step) {
            const auto target = TSimLatchCard::Target(StepAddress[step][evl], StepHigh[step]);
            EXPECT_EQ(target.Evl, evl) << "step " << step;
            EXPECT_EQ(target.FirstPin, 4 * step + 1) << "EVL " << evl << " step " << step;
            targets.insert({target.Evl, target.FirstPin});
        }
    EXPECT_EQ(targets.size(), 64u);
}

TEST(SimLatchCard, FullLoadPutsEachPinsLevelOnThatPin) {
    TLatchRack rack;
    const std::uint64_t patterns[] = {0, ~std::uint64_t{0}, 0x0123456789ABCDEFull,
                                      0xF0E1D2C3B4A59687ull};
    for (int evl = 0; evl < 4; ++evl)
        for (std::uint64_t pattern : patterns) {
            rack.Load(evl, pattern);
            EXPECT_EQ(rack.Card->Pins(evl), pattern) << "EVL " << evl;
        }
    for (int pin = 1; pin <= 64; ++pin) {
        const std::uint64_t single = std::uint64_t{1} << (pin - 1);
        rack.Load(2, single);
        EXPECT_EQ(rack.Card->Pins(2), single) << "pin " << pin;
        EXPECT_TRUE(rack.Card->Pin(2, pin));
    }
}

TEST(SimLatchCard, LoadReachesOnlyTheChosenEvlOfTheSelectedCard) {
    TLatchRack rack;
    rack.Load(1, 0x5555);
    EXPECT_EQ(rack.Card->Pins(1), 0x5555u);
    for (int evl : {0, 2, 3})
        EXPECT_EQ(rack.Card->Pins(evl), ~std::uint64_t{0}) << "untouched pins stay high";

    rack.Bus.ApplyWord(0x80 + 6); // another place
    rack.Bus.ApplyWord(0xC0 + 12);
    rack.Bus.ApplyWord(0x20 + 16);
    EXPECT_EQ(rack.Card->Pins(1), 0x5555u);

    TSimLatchCard fresh;
    fresh.LatchData(0x10);
    EXPECT_EQ(fresh.LatchAddress(), -1);
    EXPECT_EQ(fresh.Pins(0), ~std::uint64_t{0}) << "latch data before a latch address";
}

TEST(SimIoCard, NibbleWordsSetOutputsAndAnswerWithThatInputNibble) {
    TTrainBus bus;
    auto card = std::make_shared<TSimIoCard>();
    bus.Plug(9, card);
    bus.ApplyWord(0x80 + 9);
    // D5 of the word comes back in the reply.
    EXPECT_EQ(bus.ApplyWord(0x71), 0x61);
    EXPECT_EQ(bus.ApplyWord(0x6A), 0x6A);
    EXPECT_EQ(bus.ApplyWord(0x50), 0x40);
    EXPECT_EQ(bus.ApplyWord(0x4C), 0x4C);
    EXPECT_EQ(card->Outputs(), 0x1A0C);
    EXPECT_EQ(card->Inputs(), 0x1A0C) << "through the test plug";

    card->TestPlug = false;
    card->ExternalInputs = 0x8421;
    EXPECT_EQ(bus.ApplyWord(0x70), 0x68);
    EXPECT_EQ(bus.ApplyWord(0x60), 0x64);
    EXPECT_EQ(bus.ApplyWord(0x50), 0x42);
    EXPECT_EQ(bus.ApplyWord(0x40), 0x41);
    EXPECT_EQ(card->Outputs(), 0);
}
