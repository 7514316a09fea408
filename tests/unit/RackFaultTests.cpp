// The faults of a rack file and of the rack view, each seen where the program sees it: in the
// byte that answers a data strobe. And the state the rack view draws from.
#include "PtyClient.h"
#include "sim/RackFile.h"
#include "sim/RackState.h"
#include "sim/SimRack.h"

#include <gtest/gtest.h>

namespace {

sim::TRackDescription Rack(const char* text) {
    const sim::TRackLoad load = sim::ReadRack(text, "rek.json");
    EXPECT_TRUE(load.Ok) << load.Error;
    return load.Rack;
}

// The answer to a data strobe with `data` at `place`.
int Read(sim::TSimRack& rack, int place, int data = 0) {
    rack.Bus.ApplyWord(static_cast<std::uint8_t>(0x80 + place));
    return rack.Bus.ApplyWord(static_cast<std::uint8_t>(0x40 + data));
}

} // namespace

TEST(RackFaults, SilentCardAnswersAsAnEmptyPlaceUntilCleared) {
    sim::TSimRack rack(Rack(R"({"cards": [{"places": [1, 2], "kind": "test", "lines": 5,
                                           "short": true, "faults": {"silent": [2]}}]})"),
                       sim::TSimRack::TSerialLine::None);
    EXPECT_EQ(Read(rack, 1), 0x40 + 16 + 5);
    EXPECT_EQ(Read(rack, 2), 0x40);
    rack.SetSilent(2, false);
    EXPECT_EQ(Read(rack, 2), 0x40 + 16 + 5);
    rack.SetSilent(1, true);
    EXPECT_EQ(Read(rack, 1), 0x40);
}

TEST(RackFaults, StuckShortedAndIntermittentInputsOfAnIoCard) {
    // Through the test plug every input reads its output: 0x0 or 0xF per nibble. The file
    // names pins; pin 12 is bit 1, pin 13 bit 6, pins 2 and 3 bits 8 and 13, pin 5 bit 14.
    sim::TSimRack rack(Rack(R"({"cards": [{"place": 9, "kind": "io", "faults": {
                    "stuck": [{"input": 12, "level": 0}, {"input": 13, "level": 1}],
                    "shorted": [[2, 3]], "intermittent": [{"input": 5, "every": 3}]}}]})"),
                       sim::TSimRack::TSerialLine::None);
    EXPECT_EQ(Read(rack, 9, 0x0F), 0x40 + 0b1101) << "bit 1 stuck at 0";
    EXPECT_EQ(Read(rack, 9, 0x10), 0x40 + 0b0100) << "bit 6 stuck at 1";
    EXPECT_EQ(Read(rack, 9, 0x2F), 0x40 + 32 + 0b1110) << "bit 13 is low and pulls 8 low";
    EXPECT_EQ(Read(rack, 9, 0x3F), 0x40 + 32 + 0b1111);
    EXPECT_EQ(Read(rack, 9, 0x2F), 0x40 + 32 + 0b1111) << "both high";
    // Nibble 3 has been read once; bit 14 reads wrong on every third read.
    std::vector<int> bit14;
    for (int i = 0; i < 6; ++i)
        bit14.push_back((Read(rack, 9, 0x3F) >> 2) & 1);
    EXPECT_EQ(bit14, (std::vector<int>{1, 0, 1, 1, 0, 1}));

    rack.SetStuck(9, 1, std::nullopt);
    rack.SetStuck(9, 2, true);
    EXPECT_EQ(Read(rack, 9, 0x09), 0x40 + 0b1101);
}

TEST(RackFaults, ShortCircuitOnOneBlockCardOfALine) {
    std::uint32_t now = 0;
    sim::TSimRack rack(Rack(R"({"cards": [{"places": [10, 11], "kind": "two-rail",
                                           "section_ms": 100, "faults": {"short": [11]}}]})"),
                       sim::TSimRack::TSerialLine::None, [&now] { return now; });
    EXPECT_EQ(Read(rack, 10, 15), 0x40 + 1) << "full speed; the locomotive in section 1";
    EXPECT_EQ(Read(rack, 11, 15), 0x40 + 16) << "short circuit, no section";
    now += 1000;
    EXPECT_EQ(Read(rack, 10, 15), 0x40 + 0b1000) << "it ran to section 4";
    now += 1000;
    EXPECT_EQ(Read(rack, 10, 15), 0x40 + 0b1000) << "and stands where the shorted card begins";
    rack.SetShortCircuit(11, false);
    now += 1000;
    EXPECT_EQ(Read(rack, 11, 15), 0x40 + 0b1000) << "on to the end of the line";
}

TEST(RackFaults, ANewSerialCardServesTheSameRackAfterAHangUp) {
    sim::TSimRack rack(Rack(R"({"cards": [{"place": 12, "kind": "test", "lines": 10}]})"));
    ASSERT_TRUE(rack.SerialCard);
    const std::string first = rack.SerialCard->SlavePath();
    {
        TPtyClient client(first);
        rack.SerialCard->HangUp();
        EXPECT_TRUE(client.WaitHangUp(5000));
    }
    ASSERT_TRUE(rack.ReplaceSerialCard());
    EXPECT_FALSE(rack.SerialCard->HungUp());
    TPtyClient client(rack.SerialCard->SlavePath());
    EXPECT_EQ(client.Exchange(0x00), 0x00);
    EXPECT_EQ(client.Exchange(0x80 + 12), 0x80 + 12);
    EXPECT_EQ(client.Exchange(0x40), 0x40 + 10);
}

TEST(RackState, ShowsTheRackAsTheBusLeftIt) {
    std::uint32_t now = 0;
    sim::TSimRack rack(sim::DefaultRack(), sim::TSimRack::TSerialLine::None, [&now] { return now; });
    rack.SetStuck(9, 3, true);
    rack.SetShortCircuit(7, true);
    rack.SetSilent(2, true);
    Read(rack, 0, 16 + 15); // towards section 1 at full speed: stands at the buffer
    Read(rack, 9, 0x12);    // IO nibble 1: outputs 4 to 7 = 0010
    rack.Bus.ApplyWord(0x80 + 5);
    rack.Bus.ApplyWord(0xC0 + 1); // latch address 1, high half: EVL A pins 1 to 4
    rack.Bus.ApplyWord(0x20 + 16 + 0b0101);
    rack.Bus.ApplyWord(0x80 + 4);

    const sim::TRackState state = rack.State();
    EXPECT_EQ(state.Selected, 4);
    EXPECT_EQ(state.Places[0].Kind, sim::TCardKind::TwoRail);
    EXPECT_EQ(state.Places[0].Lines, 1) << "the locomotive in section 1";
    EXPECT_TRUE(state.Places[2].Silent);
    EXPECT_EQ(state.Places[2].Lines, 0);
    EXPECT_EQ(state.Places[3].Lines, 8);
    EXPECT_TRUE(state.Places[7].Short);
    EXPECT_FALSE(state.Places[8].Kind);
    ASSERT_EQ(state.Lines.size(), 2u);
    EXPECT_EQ(state.Lines[0].Places, (std::vector<int>{0, 4, 7}));
    EXPECT_EQ(state.Lines[0].Sections, 12);
    EXPECT_EQ(state.Lines[0].Occupied, 1u);
    EXPECT_EQ(state.Lines[0].Speed, 15);
    EXPECT_TRUE(state.Lines[0].Down);
    EXPECT_EQ(state.Lines[0].Shorts, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(state.Latch.Place, 5);
    EXPECT_EQ(state.Latch.Pins[0], ~std::uint64_t{0b1010});
    EXPECT_EQ(state.Latch.Pins[1], ~std::uint64_t{0});
    EXPECT_EQ(state.Io.Place, 9);
    EXPECT_EQ(state.Io.Outputs, 0x0020);
    EXPECT_EQ(state.Io.Inputs, 0x0028) << "input 3 stuck at 1";
    EXPECT_EQ(state.Io.StuckMask, 0x0008);
    EXPECT_EQ(state.Io.StuckLevels, 0x0008);
    EXPECT_FALSE(state.Serial.Present);
}

TEST(RackState, AChangedLampFlashesForAWhileAndTheFirstLookSetsNone) {
    sim::TSimRack rack(sim::DefaultRack(), sim::TSimRack::TSerialLine::None);
    sim::TRackFlashes flashes;
    flashes.Take(rack.State(), 1000);
    EXPECT_FALSE(flashes.Flashing(sim::PlaceLamp(63, 5), 1000));

    rack.Bus.ApplyWord(0x80 + 9);
    rack.Bus.ApplyWord(0x40 + 0x21);
    flashes.Take(rack.State(), 2000);
    for (const sim::TLampId lamp :
         {sim::PlaceLamp(9, 5), sim::IoLamp(false, 8), sim::IoLamp(true, 8), sim::PlaceLamp(9, 0)})
        EXPECT_TRUE(flashes.Flashing(lamp, 2000)) << std::hex << lamp;
    EXPECT_FALSE(flashes.Flashing(sim::IoLamp(false, 9), 2000));
    EXPECT_FALSE(flashes.Flashing(sim::PlaceLamp(5, 5), 2000));

    flashes.Take(rack.State(), 2100);
    EXPECT_TRUE(flashes.Flashing(sim::PlaceLamp(9, 5), 2000 + sim::TRackFlashes::FlashMs - 1));
    EXPECT_FALSE(flashes.Flashing(sim::PlaceLamp(9, 5), 2000 + sim::TRackFlashes::FlashMs));
}
