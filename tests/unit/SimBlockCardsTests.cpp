#include "sim/SimBlockCards.h"
#include "sim/SimRack.h"

#include <gtest/gtest.h>

using sim::TSimBlockLine;

namespace {

// A line of two cards (sections 1 to 8) on a clock the test turns by hand, one section per
// 150 ms at full speed.
struct TLine : ::testing::Test {
    std::uint32_t Now = 0xFFFFFF00; // the tick counter wraps under the run
    sim::TSimBlockCards Line{TSimBlockLine::TKind::TwoRail, 2, 150, [this] { return Now; }};
    sim::TTrainBus Bus;

    TLine() {
        Bus.Plug(10, Line.Cards[0]);
        Bus.Plug(11, Line.Cards[1]);
    }

    // The data-strobe reply of the card in `place` after `word`, as the serial card makes it.
    int Send(int place, int word) {
        Bus.ApplyWord(static_cast<std::uint8_t>(0x80 + place));
        return Bus.ApplyWord(static_cast<std::uint8_t>(word));
    }
};

} // namespace

TEST_F(TLine, LocomotiveOccupiesItsSectionAndBothWhileCrossing) {
    EXPECT_EQ(Line.Line->Occupied(), 0b1u);
    EXPECT_EQ(Send(10, 0x40), 0x41) << "card 1 reports section 1";
    EXPECT_EQ(Send(11, 0x40), 0x40);
    Line.Line->PlaceLocomotive(3.9);
    EXPECT_EQ(Line.Line->Occupied(), 0b11000u);
    EXPECT_EQ(Send(10, 0x40), 0x48);
    EXPECT_EQ(Send(11, 0x40), 0x41) << "the card of section 5 sees the crossing too";
    Line.Line->PlaceLocomotive(4.0);
    EXPECT_EQ(Line.Line->Occupied(), 0b10000u);
    Line.Line->PlaceLocomotive(4.75);
    EXPECT_EQ(Line.Line->Occupied(), 0b10000u) << "the far end just at the boundary";
}

TEST_F(TLine, SpeedWordSetsRateAndDirectionAcrossTheWrap) {
    Send(10, 0x4F); // full speed towards section 8
    Now += 150;
    EXPECT_NEAR(Line.Line->Position(), 1.0, 1e-9);
    Send(10, 0x45); // speed 5: a third of the rate
    Now += 90;
    EXPECT_NEAR(Line.Line->Position(), 1.2, 1e-9);
    Send(10, 0x5F); // direction bit: back towards section 1
    Now += 75;
    EXPECT_NEAR(Line.Line->Position(), 0.7, 1e-9);
    EXPECT_EQ(Line.Cards[0]->SpeedWord(), 0x1F);
}

TEST_F(TLine, LatchDataWordDrivesTheCardAsWell) {
    // A card at address 74 sits in place 10 and takes its speed word by latch-data strobe.
    Bus.ApplyWord(0x80 + 74 - 64);
    EXPECT_EQ(Bus.ApplyWord(0x20 + 15), 0x2F) << "the bus echoes a latch-data word";
    Now += 300;
    EXPECT_NEAR(Line.Line->Position(), 2.0, 1e-9);
}

TEST_F(TLine, PowerComesFromTheCardUnderTheLocomotivesMiddle) {
    Send(11, 0x4F);
    Now += 1000;
    EXPECT_EQ(Line.Line->Position(), 0.0) << "card 2 powers sections 5 to 8 only";
    Send(10, 0x4F);
    Now += 1000; // over the boundary into card 2's sections, which carry full speed too
    EXPECT_NEAR(Line.Line->Position(), 1000.0 / 150, 1e-6);
    Send(11, 0x40);
    Send(10, 0x5F);
    Now += 1000;
    EXPECT_NEAR(Line.Line->Position(), 1000.0 / 150, 1e-6) << "card 2 stopped it";
}

TEST_F(TLine, LongGapIsTakenInStepsSoThePowerChangesAtTheBoundary) {
    Send(10, 0x4F); // card 2 stays at speed 0
    Now += 100000;
    // The middle stops just past the boundary between sections 4 and 5.
    const double stop = Line.Line->Position();
    EXPECT_GT(stop + TSimBlockLine::LocomotiveLength / 2, 4.0);
    EXPECT_LT(stop + TSimBlockLine::LocomotiveLength / 2, 4.0 + 10.0 / 150 + 1e-9);
}

TEST_F(TLine, LocomotiveStopsAtTheEndsOfTheLine) {
    Send(10, 0x4F);
    Send(11, 0x4F);
    Now += 5000;
    EXPECT_NEAR(Line.Line->Position(), 8 - TSimBlockLine::LocomotiveLength, 1e-9);
    EXPECT_EQ(Line.Line->Occupied(), 0b10000000u);
    Send(10, 0x5F);
    Send(11, 0x5F);
    Now += 5000;
    EXPECT_EQ(Line.Line->Position(), 0.0);
    EXPECT_EQ(Line.Line->Occupied(), 0b1u);
}

TEST_F(TLine, ShortCircuitIsReportedAndCutsThePower) {
    Line.Cards[0]->SetShortCircuit(true);
    EXPECT_EQ(Send(10, 0x4F), 0x51);
    EXPECT_EQ(Send(11, 0x40), 0x40) << "the other card is clear";
    Now += 1000;
    EXPECT_EQ(Line.Line->Position(), 0.0);
    Line.Cards[0]->SetShortCircuit(false);
    Now += 150;
    EXPECT_NEAR(Line.Line->Position(), 1.0, 1e-9);
}

TEST(SimRackBlockCards, PageStartValuesReachATwoRailCard) {
    sim::TSimRack rack;
    auto* card = dynamic_cast<sim::TSimBlockCard*>(rack.Bus.CardAt(0).get());
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->Line().Kind(), TSimBlockLine::TKind::TwoRail);
    EXPECT_EQ(card->Index(), 0);
    auto* threeRail = dynamic_cast<sim::TSimBlockCard*>(rack.Bus.CardAt(6).get());
    ASSERT_NE(threeRail, nullptr);
    EXPECT_EQ(threeRail->Line().Kind(), TSimBlockLine::TKind::ThreeRail);
    rack.Bus.ApplyWord(0x81);
    EXPECT_EQ(rack.Bus.ApplyWord(0x40), 0x42) << "place 1 still reports S2";
    rack.Bus.ApplyWord(0x80);
    EXPECT_EQ(rack.Bus.ApplyWord(0x40), 0x41) << "the locomotive starts in section 1";
}
