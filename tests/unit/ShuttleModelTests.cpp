// The block-card pages' model ("(?)BK" and "3BK") without a window: the shuttle's address and
// speed words, its slow-down and reversal, its lamps and stops, against generic cards whose
// feedback the test sets and a line of two simulated two-rail block cards.
#include "CardWorld.h"
#include "cards/PageActions.h"
#include "sim/SimBlockCards.h"
#include "sim/SimTestCard.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using cards::TLamp;
using Words = std::vector<int>;

namespace {

// Generic cards in places 5, 6 and 12, and a line of two two-rail block cards in places 10
// and 11 with short sections and a fast locomotive, so that a shuttle takes a few seconds.
struct TRack {
    sim::TTrainBus Bus;
    std::shared_ptr<sim::TSimTestCard> Card5 = std::make_shared<sim::TSimTestCard>();
    std::shared_ptr<sim::TSimTestCard> Card6 = std::make_shared<sim::TSimTestCard>();
    std::shared_ptr<sim::TSimTestCard> Card12 = std::make_shared<sim::TSimTestCard>();
    sim::TSimBlockCards Line{sim::TSimBlockLine::TKind::TwoRail, 2, 400};
    TRack() {
        Bus.Plug(5, Card5);
        Bus.Plug(6, Card6);
        Bus.Plug(12, Card12);
        Bus.Plug(10, Line.Cards[0]);
        Bus.Plug(11, Line.Cards[1]);
    }
};

class ShuttleModelTest : public ::testing::Test {
protected:
    static inline TRack* Rack = nullptr;
    static inline TCardWorld* World = nullptr;

    static void SetUpTestSuite() {
        Rack = new TRack;
        World = new TCardWorld(Rack->Bus);
    }
    static void TearDownTestSuite() {
        delete World;
        delete Rack;
    }

    cards::TCardModels& Models = World->Models;
    cards::TBlockModel& Xbk = Models.Xbk;
    cards::TBlockModel& Bk3 = Models.Bk3;
    cards::TCardTestState& State = Models.State();

    void SetUp() override {
        ASSERT_TRUE(World->Connected) << "the simulated serial card did not come up";
        SetShortCircuitReporting(false);
        Models.Instellingen(true, false);
        Rack->Bus.Locked([] {
            for (auto* card : {Rack->Card5.get(), Rack->Card6.get(), Rack->Card12.get()}) {
                card->Lines = 0;
                card->Short = false;
                card->DataReceived.clear();
                card->LatchReceived.clear();
            }
        });
        if (World->Ticks.Running())
            Xbk.Click(); // the stop path, for whichever page
        World->FrontEnd.Messages.clear();
        for (int n = 0; n < 12; ++n)
            Xbk.SetSection(n, false);
        for (int n = 0; n < 4; ++n)
            Bk3.SetSection(n, false);
        SetAddresses(0, 0, 0);
        Bk3.SetAddress(0, 0);
        Xbk.SetSpeedPosition(0);
        Bk3.SetSpeedPosition(0);
        NotSlowed();
        World->MarkNow();
    }

    void SetShortCircuitReporting(bool on) {
        bus::TSettings settings = Models.Settings();
        settings.KorsluitMelding = on;
        Models.SetSettings(settings);
    }
    // A run that has just begun after a long one: full speed.
    void NotSlowed() {
        State.LegDuration = 1000000;
        State.LastReversal = platform::GetTickCount();
    }
    // A run that is a second old after one of 300 ms: the last third.
    void Slowed() {
        State.LegDuration = 300;
        State.LastReversal = platform::GetTickCount() - 1000;
    }
    void Tick(cards::TBlockModel& page, std::initializer_list<int> sections) {
        for (int n : sections)
            page.SetSection(n - 1, true);
        Models.SetActivePage(page.Page());
    }
    void SetAddresses(int a1, int a2, int a3) {
        Xbk.SetAddress(0, a1);
        Xbk.SetAddress(1, a2);
        Xbk.SetAddress(2, a3);
    }
};

} // namespace

TEST_F(ShuttleModelTest, StartStateOfThePages) {
    TManualTicks ticks;
    cards::TCardModels fresh(World->Bus, ticks);
    for (cards::TBlockModel* page : {&fresh.Xbk, &fresh.Bk3}) {
        const cards::TBlockView& view = page->View();
        EXPECT_STREQ(view.Caption, "Go");
        EXPECT_EQ(view.SpeedPosition, 15) << "speed 0";
        EXPECT_FALSE(view.ButtonEnabled);
        EXPECT_EQ(view.Kort[0], TLamp::Yellow);
        EXPECT_EQ(view.S[0], TLamp::White);
        for (int n = 0; n < 4 * page->Groups(); ++n)
            EXPECT_TRUE(view.Section[static_cast<std::size_t>(n)]);
    }
    EXPECT_EQ(fresh.Xbk.View().AddressMaximum, 127);
    EXPECT_EQ(fresh.Bk3.View().AddressMaximum, 63);
    EXPECT_EQ(fresh.Xbk.View().Label9, "Label9");
    EXPECT_EQ(fresh.Xbk.View().Kort[1], TLamp::Yellow);
    fresh.Instellingen(true, false);
    EXPECT_TRUE(fresh.Xbk.View().ButtonEnabled);
    EXPECT_TRUE(fresh.Bk3.View().ButtonEnabled);
}

TEST_F(ShuttleModelTest, SpeedWordsByAddressSpeedDirectionAndPhase) {
    // Address 70: place 6 by address strobe, the speed by latch-data strobe.
    Tick(Xbk, {1, 2});
    SetAddresses(70, 0, 0);
    Xbk.SetSpeedPosition(5);
    Xbk.Click();
    EXPECT_EQ(World->Sent(), (Words{0x86, 0x2A}));
    Xbk.Click();
    Slowed();
    World->MarkNow();
    Xbk.Click();
    EXPECT_EQ(World->Sent(), (Words{0x86, 0x25}));
    Xbk.Click();
    Rack->Bus.Locked([] {
        EXPECT_EQ(Rack->Card6->LatchReceived, (std::vector<std::uint8_t>{0x0A, 0x05}));
    });

    // Address 5, full speed, on the way back.
    SetAddresses(5, 0, 0);
    Xbk.SetSpeedPosition(0);
    ASSERT_EQ(Xbk.GroupActive(), (std::array<bool, 3>{true, false, false}));
    State.LastSection = 0x800; // never reached here
    for (const bool slowed : {false, true}) {
        slowed ? Slowed() : NotSlowed();
        State.Direction = 16;
        State.FirstSection = 0x800;
        World->MarkNow();
        Xbk.Tick();
        EXPECT_EQ(World->Sent(), (Words{0x85, slowed ? 0x58 : 0x5F}));
    }

    // Speed 0 stays 0 in the last third.
    Xbk.SetSpeedPosition(15);
    State.Direction = 0;
    World->MarkNow();
    Xbk.Tick();
    EXPECT_EQ(World->Sent(), (Words{0x85, 0x40}));

    // The three-rail page at address 12, speed 7.
    Tick(Bk3, {1, 4});
    Bk3.SetAddress(0, 12);
    Bk3.SetSpeedPosition(8);
    NotSlowed();
    World->MarkNow();
    Bk3.Click();
    EXPECT_EQ(World->Sent(), (Words{0x8C, 0x47}));
    EXPECT_EQ(State.FirstSection, 1);
    EXPECT_EQ(State.LastSection, 8);
    Slowed();
    World->MarkNow();
    Bk3.Tick();
    EXPECT_EQ(World->Sent(), (Words{0x8C, 0x44}));
    World->MarkNow();
    Bk3.Click();
    EXPECT_EQ(World->Sent(), (Words{0x40}));
    EXPECT_STREQ(Bk3.View().Caption, "Go");
    EXPECT_TRUE(Bk3.View().AddressesEnabled);
}

TEST_F(ShuttleModelTest, TheSpeedBarMovedDuringAShuttleIsReadOnEveryTick) {
    // The bar dragged while the locomotive runs, through the page action every front-end
    // sends: each tick's speed word is that of the bar where it stands at that tick, as the
    // desktop's bar gives it.
    const cards::TPageAction* speed = cards::FindPageAction(cards::TPage::Xbk, "speed");
    ASSERT_NE(speed, nullptr);
    Tick(Xbk, {1, 2});
    SetAddresses(5, 0, 0);
    Xbk.Click();
    ASSERT_TRUE(World->Ticks.Running());
    State.Direction = 0;
    const std::pair<int, int> steps[] = {{4, 0x4B}, {8, 0x47}, {12, 0x43}, {15, 0x40}, {3, 0x4C}, {0, 0x4F}};
    for (const auto& [position, word] : steps) {
        cards::TActionArgs args;
        args.Value = position;
        ASSERT_TRUE(speed->Enabled(Models, args)) << "the bar is taken while the test runs";
        speed->Call(Models, args);
        NotSlowed();
        World->MarkNow();
        World->Ticks.Tick();
        EXPECT_EQ(World->Sent(), (Words{0x85, word})) << "position " << position;
        EXPECT_EQ(Xbk.View().SpeedPosition, position);
    }
    // Twice between two ticks: the tick takes the later.
    for (const int position : {6, 11}) {
        cards::TActionArgs args;
        args.Value = position;
        speed->Call(Models, args);
    }
    NotSlowed();
    World->MarkNow();
    World->Ticks.Tick();
    EXPECT_EQ(World->Sent(), (Words{0x85, 0x44}));
    Xbk.Click();
}

TEST_F(ShuttleModelTest, GoDrivesTheCardsOfTheTickedSections) {
    SetAddresses(5, 6, 12);
    Rack->Bus.Locked([] {
        Rack->Card6->Lines = 0b0010;  // section 6
        Rack->Card12->Lines = 0b0001; // section 9
    });

    Tick(Xbk, {2, 3});
    Xbk.Click();
    EXPECT_EQ(State.FirstSection, 2);
    EXPECT_EQ(State.LastSection, 4);
    EXPECT_EQ(Xbk.GroupActive(), (std::array<bool, 3>{true, false, false}));
    EXPECT_EQ(World->Sent(), (Words{0x85, 0x4F}));
    EXPECT_STREQ(Xbk.View().Caption, "Stop");
    EXPECT_TRUE(World->Ticks.Running());
    EXPECT_EQ(World->Ticks.Interval(), 100);
    EXPECT_FALSE(Xbk.View().SectionsEnabled);
    EXPECT_FALSE(Xbk.View().AddressesEnabled);
    World->MarkNow();
    Xbk.Click();
    EXPECT_EQ(World->Sent(), (Words{0x40}));
    EXPECT_STREQ(Xbk.View().Caption, "Go");
    EXPECT_FALSE(World->Ticks.Running());
    EXPECT_TRUE(Xbk.View().SectionsEnabled);
    EXPECT_TRUE(Xbk.View().AddressesEnabled);
    EXPECT_EQ(State.LastSection, 0);

    // Cards in the order 3, 2, 1; section 6 is reported but is no end.
    Xbk.SetSection(1, false);
    Xbk.SetSection(2, false);
    Tick(Xbk, {1, 6, 12});
    World->MarkNow();
    Xbk.Click();
    EXPECT_EQ(State.FirstSection, 1);
    EXPECT_EQ(State.LastSection, 2048);
    EXPECT_EQ(World->Sent(), (Words{0x8C, 0x4F, 0x86, 0x4F, 0x85, 0x4F}));
    EXPECT_EQ(State.Direction, 0);
    EXPECT_EQ(Xbk.View().S[5], TLamp::Yellow);
    EXPECT_EQ(Xbk.View().S[4], TLamp::Grey);
    Xbk.Click();

    // Cards 1 and 3 only; card 3's section 9 is the far end and reverses the run.
    Xbk.SetSection(5, false);
    Xbk.SetSection(11, false);
    Tick(Xbk, {1, 9});
    World->MarkNow();
    Xbk.Click();
    EXPECT_EQ(Xbk.GroupActive(), (std::array<bool, 3>{true, false, true}));
    EXPECT_EQ(World->Sent(), (Words{0x8C, 0x4F, 0x85, 0x4F}));
    EXPECT_EQ(State.Direction, 16);
    EXPECT_LT(platform::GetTickCount() - State.LastReversal, 1000u) << "timed just now";
    Xbk.Click();
}

TEST_F(ShuttleModelTest, FewerThanTwoSectionsIsRefused) {
    Tick(Xbk, {7});
    Xbk.Click();
    Tick(Bk3, {2});
    Bk3.Click();
    ASSERT_EQ(World->FrontEnd.Messages.size(), 2u);
    for (const auto& message : World->FrontEnd.Messages) {
        EXPECT_EQ(message.Text, "Onvoldoende secties geselecteerd");
        EXPECT_TRUE(message.Error);
    }
    EXPECT_EQ(World->FrontEnd.Messages[1].Page, cards::TPage::Bk3);
    EXPECT_TRUE(World->Sent().empty());
    EXPECT_FALSE(World->Ticks.Running());
    EXPECT_STREQ(Xbk.View().Caption, "Go");
    EXPECT_TRUE(Xbk.View().SectionsEnabled);
}

TEST_F(ShuttleModelTest, LampsFollowRepliesAndTickedSections) {
    Tick(Xbk, {1, 2, 3, 4});
    Xbk.SetSection(5, true);
    Xbk.SetSection(5, false);
    EXPECT_EQ(Xbk.View().S[5], TLamp::Grey) << "an unticked section is grey";
    Xbk.SetSection(5, true);
    EXPECT_EQ(Xbk.View().S[5], TLamp::White);
    Xbk.SetSection(5, false);

    Xbk.ShowReply(0, 0x59);
    EXPECT_EQ(Xbk.View().S[0], TLamp::Yellow);
    EXPECT_EQ(Xbk.View().S[1], TLamp::White);
    EXPECT_EQ(Xbk.View().S[2], TLamp::White);
    EXPECT_EQ(Xbk.View().S[3], TLamp::Yellow);
    EXPECT_EQ(Xbk.View().Kort[0], TLamp::Red);
    Xbk.ShowReply(0, 0x66);
    EXPECT_EQ(Xbk.View().S[1], TLamp::White) << "0x66 is no block-card reply";
    EXPECT_EQ(Xbk.View().Kort[0], TLamp::Red);
    Xbk.ShowReply(1, 0x4F);
    EXPECT_EQ(Xbk.View().S[4], TLamp::Grey);
    EXPECT_EQ(Xbk.View().S[5], TLamp::Grey);
    EXPECT_EQ(Xbk.View().Kort[1], TLamp::Green);
    Xbk.ShowReply(1, bus::NotConnected);
    EXPECT_EQ(Xbk.View().Kort[1], TLamp::Yellow);

    // A reply outside 64..95 changes no lamp but still counts as occupancy: the latch-data
    // echo of a card above address 63 (0x2A: sections 2 and 4) reaches the far end.
    Xbk.SetSection(0, false);
    Xbk.SetSection(2, false);
    SetAddresses(70, 0, 0);
    Xbk.SetSpeedPosition(5);
    Xbk.Click();
    EXPECT_EQ(Xbk.View().Label9, "42");
    EXPECT_EQ(Xbk.View().S[3], TLamp::Yellow) << "unchanged";
    EXPECT_EQ(State.Direction, 16);
    Xbk.Click();

    Tick(Bk3, {1, 2, 3, 4});
    Bk3.SetAddress(0, 12);
    Rack->Bus.Locked([] { Rack->Card12->Lines = 0b1010; });
    Bk3.Click();
    EXPECT_EQ(State.TickFeedback, 0x4A);
    EXPECT_EQ(Bk3.View().S[0], TLamp::White);
    EXPECT_EQ(Bk3.View().S[1], TLamp::Yellow);
    EXPECT_EQ(Bk3.View().S[2], TLamp::White);
    EXPECT_EQ(Bk3.View().S[3], TLamp::Yellow);
    EXPECT_EQ(Bk3.View().Kort[0], TLamp::Green);
    EXPECT_EQ(State.Direction, 16) << "section 4 is the far end";

    // Unticking a section during the test changes neither the lamps nor the ends.
    Bk3.SetSection(3, false);
    EXPECT_TRUE(Bk3.View().SectionsEnabled);
    EXPECT_EQ(Bk3.View().S[3], TLamp::Yellow);
    Rack->Bus.Locked([] { Rack->Card12->Lines = 0b1001; });
    Bk3.Tick();
    EXPECT_EQ(Bk3.View().S[3], TLamp::Yellow);
    EXPECT_EQ(State.FirstSection, 1);
    EXPECT_EQ(State.LastSection, 8);
    EXPECT_EQ(State.Direction, 0) << "section 1 is still the near end";
    Bk3.Click();
}

TEST_F(ShuttleModelTest, ShortCircuitStopsTheTestAndTheTickEndsWithAReversal) {
    SetShortCircuitReporting(true);
    SetAddresses(6, 5, 0);
    Rack->Bus.Locked([] { Rack->Card5->Short = true; });
    Tick(Xbk, {1, 8});
    const std::uint32_t before = platform::GetTickCount();
    Xbk.Click();
    // Card 2 stops the test; card 1 still gets its words, at direction 0.
    EXPECT_EQ(World->Sent(), (Words{0x85, 0x4F, 0x40, 0x86, 0x4F}));
    EXPECT_EQ(Xbk.View().Kort[1], TLamp::Red);
    EXPECT_EQ(Xbk.View().Kort[0], TLamp::Green);
    EXPECT_STREQ(Xbk.View().Caption, "Go");
    EXPECT_FALSE(World->Ticks.Running());
    EXPECT_TRUE(Xbk.View().SectionsEnabled);
    // LastSection was already 0: the tick's end counts that as the far end.
    EXPECT_EQ(State.Direction, 16);
    EXPECT_EQ(State.LastReversal, before) << "timed at the tick, which took no time of its own";

    Rack->Bus.Locked([] { Rack->Card5->Short = false; });
    NotSlowed(); // that reversal timed a run of a few milliseconds
    World->MarkNow();
    Xbk.Click();
    EXPECT_EQ(World->Sent(), (Words{0x85, 0x4F, 0x86, 0x4F}));
    EXPECT_EQ(State.Direction, 0) << "Go starts towards the last section";
    Xbk.Click();

    // Without short-circuit reporting the lamp turns red and the test goes on.
    SetShortCircuitReporting(false);
    Tick(Bk3, {1, 2});
    Bk3.SetAddress(0, 5);
    Rack->Bus.Locked([] { Rack->Card5->Short = true; });
    Bk3.Click();
    EXPECT_EQ(Bk3.View().Kort[0], TLamp::Red);
    EXPECT_TRUE(World->Ticks.Running());
    SetShortCircuitReporting(true);
    NotSlowed();
    World->MarkNow();
    Bk3.Tick();
    EXPECT_EQ(World->Sent(), (Words{0x85, 0x4F, 0x40}));
    EXPECT_FALSE(World->Ticks.Running());
    EXPECT_STREQ(Bk3.View().Caption, "Go");
}

TEST_F(ShuttleModelTest, GoWhileAnotherPagesTestRunsTakesTheStopPath) {
    Tick(Xbk, {1, 2});
    World->Ticks.Start();
    Xbk.Click();
    EXPECT_FALSE(World->Ticks.Running());
    EXPECT_EQ(World->Sent(), (Words{0x40}));
    EXPECT_STREQ(Xbk.View().Caption, "Go");
}

TEST_F(ShuttleModelTest, LeavingThePageStopsTheLocomotiveAndKeepsTheEnds) {
    Tick(Xbk, {2, 3});
    SetAddresses(5, 0, 0);
    Xbk.Click();
    World->MarkNow();
    Models.LeavePage(cards::TPage::Xbk);
    EXPECT_FALSE(World->Ticks.Running());
    EXPECT_EQ(World->Sent(), (Words{0x40}));
    EXPECT_STREQ(Xbk.View().Caption, "Go");
    EXPECT_TRUE(Xbk.View().AddressesEnabled);
    EXPECT_FALSE(Xbk.View().SectionsEnabled) << "the section boxes keep their state";
    EXPECT_EQ(State.FirstSection, 2) << "and so do the ends";
    EXPECT_EQ(State.LastSection, 4);

    World->MarkNow();
    Models.LeavePage(cards::TPage::Bk3);
    EXPECT_STREQ(Bk3.View().Caption, "Go");
    EXPECT_TRUE(Bk3.View().AddressesEnabled);
    EXPECT_TRUE(World->Sent().empty()) << "nothing sent with the timer off";
    Tick(Xbk, {});
    Xbk.Click(); // Go, and stopped again: the section boxes usable once more
    Xbk.Click();
}

TEST_F(ShuttleModelTest, SlowDownAndRunTimingAcrossTheTickCounterWrap) {
    Tick(Bk3, {1, 2});
    Bk3.SetAddress(0, 5);
    platform::SetTickCount(0x100);
    State.LastReversal = 0xFFFFFF00; // 512 ms ago, across the wrap
    const auto speedWord = [this](std::int32_t legDuration) {
        State.LegDuration = legDuration;
        World->MarkNow();
        Bk3.Tick();
        return World->Sent().at(1);
    };
    State.Direction = 0;
    State.FirstSection = 1;
    State.LastSection = 2; // card 5 reports nothing: no reversal
    EXPECT_EQ(speedWord(3000), 0x4F) << "threshold 2000";
    EXPECT_EQ(speedWord(760), 0x48) << "threshold 506";
    EXPECT_EQ(speedWord(-3), 0x48) << "a run beyond 2^31 ms makes every moment the last third";

    Rack->Bus.Locked([] { Rack->Card5->Lines = 0b0010; });
    World->MarkNow();
    Bk3.Tick();
    EXPECT_EQ(State.Direction, 16);
    EXPECT_GE(State.LegDuration, 512);
    EXPECT_LT(State.LegDuration, 512 + 3000);
    EXPECT_LT(State.LastReversal, 0x100u + 3000);
}

TEST_F(ShuttleModelTest, ShuttleRunsBetweenTheEndsReversesAndSlowsBeforeThem) {
    // Sections 2 and 7 of the line in places 10 and 11; the locomotive starts in section 2.
    Rack->Line.Line->Drive(0, 0);
    Rack->Line.Line->Drive(1, 0);
    Rack->Line.Line->PlaceLocomotive(1.0);
    Tick(Xbk, {2, 7});
    SetAddresses(10, 11, 0);
    Xbk.Click();

    struct TReversal {
        int Direction;
        std::uint32_t Occupied;
    };
    std::vector<TReversal> reversals;
    std::uint32_t reached = 0;
    int direction = State.Direction;
    const std::uint32_t start = platform::GetTickCount();
    std::uint32_t lastTick = start;
    // The test timer's ticks every 100 ms, as the page's interval has it.
    while (reversals.size() < 3 && !platform::TicksPassed(start, 20000)) {
        if (platform::TicksPassed(lastTick, static_cast<std::uint32_t>(World->Ticks.Interval()))) {
            lastTick = platform::GetTickCount();
            World->Ticks.Tick();
        }
        World->Clock.Step(2);
        const std::uint32_t occupied = Rack->Line.Line->Occupied();
        reached |= occupied;
        if (State.Direction != direction) {
            direction = State.Direction;
            reversals.push_back({direction, occupied});
        }
    }
    Xbk.Click();

    ASSERT_EQ(reversals.size(), 3u) << "the locomotive stopped shuttling";
    EXPECT_EQ(reversals[0].Direction, 16);
    EXPECT_EQ(reversals[1].Direction, 0);
    EXPECT_EQ(reversals[2].Direction, 16);
    EXPECT_TRUE(reversals[0].Occupied & 0b1000000) << "turned back in section 7";
    EXPECT_TRUE(reversals[1].Occupied & 0b10) << "turned back in section 2";
    EXPECT_TRUE(reversals[2].Occupied & 0b1000000);
    EXPECT_EQ(reached & 0b10000001u, 0u) << "sections 1 and 8 were never entered";

    // The speed words, run by run: full speed on the first run (its predecessor was long),
    // then full speed followed by the slowed speed on the way back.
    Words firstRun;
    Words secondRun;
    for (int word : World->Sent()) {
        if (word == 0x40 || (word & 0xE0) != 0x40)
            continue;
        if (word & 16)
            secondRun.push_back(word);
        else if (secondRun.empty())
            firstRun.push_back(word);
    }
    ASSERT_FALSE(firstRun.empty());
    EXPECT_EQ(std::count(firstRun.begin(), firstRun.end(), 0x4F), std::ssize(firstRun));
    ASSERT_FALSE(secondRun.empty());
    EXPECT_EQ(secondRun.front(), 0x5F);
    EXPECT_EQ(secondRun.back(), 0x58) << "the run after the first reversal slows down";
    EXPECT_TRUE(std::is_partitioned(secondRun.begin(), secondRun.end(), [](int word) {
        return word == 0x5F;
    })) << "once slowed, slowed until the end";
}
