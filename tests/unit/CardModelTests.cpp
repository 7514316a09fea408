// The card models of the bus-word pages ("SCK/ MCK", "PCK") and the selection card page, the
// test timer and the enabling rules, without a window: the words the simulated serial card
// takes, exactly, and what the pages would show.
#include "CardWorld.h"
#include "bus/BusWord.h"
#include "sim/SimSelectionCard.h"
#include "sim/SimTestCard.h"

#include <gtest/gtest.h>
#include <memory>

using cards::TLamp;
using Words = std::vector<int>;

namespace {

struct TRack {
    sim::TTrainBus Bus;
    std::shared_ptr<sim::TSimTestCard> Card5 = std::make_shared<sim::TSimTestCard>();
    std::shared_ptr<sim::TSimSelectionCard> Selection = std::make_shared<sim::TSimSelectionCard>();
    TRack() {
        Bus.Plug(5, Card5);
        Bus.Plug(63, Selection);
    }
};

class CardModelTest : public ::testing::Test {
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
    cards::TSlkModel& Slk = Models.Slk;

    void SetUp() override {
        ASSERT_TRUE(World->Connected) << "the simulated serial card did not come up";
        World->UseSerial();
        World->Bus.SetDebugMode(false);
        World->FrontEnd.Messages.clear();
        SetTestMode(false);
        Models.Instellingen(true, false);
        World->Ticks.Stop();
        Slk.ChooseCardMode();
        World->MarkNow();
    }

    void SetTestMode(bool on) {
        bus::TSettings settings = Models.Settings();
        settings.Testen = on;
        Models.SetSettings(settings);
    }

    // A page of its own, every caption "0", the stored word 0 and "Adres Strobe" chosen.
    std::unique_ptr<cards::TBusWordModel> Fresh(cards::TBusWordModel::TKind kind) {
        return std::make_unique<cards::TBusWordModel>(Models.Context(), kind);
    }
    std::unique_ptr<cards::TBusWordModel> FreshSck() {
        return Fresh(cards::TBusWordModel::TKind::SCK);
    }
    std::unique_ptr<cards::TBusWordModel> FreshPck() {
        return Fresh(cards::TBusWordModel::TKind::PCK);
    }
    static void SetBits(cards::TBusWordModel& page, std::initializer_list<int> bits) {
        for (int bit : bits)
            page.ClickBit(bit);
    }
    static std::array<TLamp, 4> Lamps(TLamp s1, TLamp s2, TLamp s3, TLamp s4) {
        return {s1, s2, s3, s4};
    }
};

} // namespace

TEST_F(CardModelTest, BitButtonsAddAndSubtractTheirWeightByCaption) {
    auto page = FreshSck();
    cards::TBusWordModel& Sck = *page;
    Sck.ClickBit(3);
    EXPECT_EQ(Sck.Word(), 8);
    EXPECT_TRUE(Sck.View().Bits[3]);
    Sck.ClickBit(3);
    EXPECT_EQ(Sck.Word(), 0);
    EXPECT_FALSE(Sck.View().Bits[3]);
    EXPECT_TRUE(World->Sent().empty()) << "a bit button sends nothing";
}

TEST_F(CardModelTest, AWordByHandGoesWithEachStrobe) {
    // D0 and D2 at "1" under each strobe in turn, and then D5 with the latch strobes, which
    // carry D0 to D4 only: the word sent and the word kept.
    struct TCase {
        int Strobe;
        std::initializer_list<int> Bits;
        int Sent;
        int Kept;
        bool D5Enabled;
    };
    const TCase cases[] = {
        {0, {0, 2}, 0x85, 0x05, true},  {1, {0, 2}, 0x45, 0x05, true},
        {2, {0, 2}, 0xC5, 0x05, false}, {3, {0, 2}, 0x25, 0x25, false},
        {3, {0}, 0x21, 0x21, false},    {2, {5, 1}, 0xC2, 0x02, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Sent);
        auto page = FreshSck();
        cards::TBusWordModel& Sck = *page;
        SetBits(Sck, c.Bits);
        Sck.ChooseStrobe(c.Strobe);
        World->MarkNow();
        Sck.Send();
        EXPECT_EQ(World->Sent(), Words{c.Sent});
        EXPECT_EQ(Sck.Word(), c.Kept) << "bit 5 stays where the strobe's select code left it";
        EXPECT_EQ(Sck.View().D5Enabled, c.D5Enabled);
        if (c.Sent == 0xC2) {
            EXPECT_TRUE(Sck.View().Bits[5]) << "the D5 caption still reads \"1\"";
            Sck.ChooseStrobe(1);
            EXPECT_TRUE(Sck.View().D5Enabled);
        }
    }
}

TEST_F(CardModelTest, TestModeSendsTheButtonsAsTheyStand) {
    cards::TBusWordModel& Sck = Models.Sck;
    SetTestMode(true);
    Models.Instellingen(true, false);
    ASSERT_TRUE(Sck.View().StrobeButtonsEnabled);
    SetBits(Sck, {7, 4});
    Sck.Send();
    EXPECT_EQ(World->Sent(), Words{0x90});
    EXPECT_EQ(Sck.Word(), 0x90);
    Sck.ClickBit(7);
    EXPECT_EQ(Sck.Word(), 0x10);
    Sck.ClickBit(4);
}

TEST_F(CardModelTest, RepliesColourTheLamps) {
    using enum TLamp;
    auto page = FreshSck();
    cards::TBusWordModel& Sck = *page;
    EXPECT_EQ(Sck.View().S, Lamps(White, White, White, White)) << "at start";
    EXPECT_EQ(Sck.View().Kort, Yellow);
    Sck.ShowReply(0x53);
    EXPECT_EQ(Sck.View().S, Lamps(Yellow, Yellow, White, White));
    EXPECT_EQ(Sck.View().Kort, Red);
    Sck.ShowReply(0x40);
    EXPECT_EQ(Sck.View().S, Lamps(White, White, White, White));
    EXPECT_EQ(Sck.View().Kort, Green);
    Sck.ShowReply(0x59);
    Sck.ShowReply(0x85);
    EXPECT_EQ(Sck.View().Kort, Yellow);
    EXPECT_EQ(Sck.View().S, Lamps(Yellow, White, White, Yellow)) << "the S lamps stay";
}

TEST_F(CardModelTest, DataStrobeShowsTheAddressedCardsFeedback) {
    Rack->Bus.Locked([] {
        Rack->Card5->Lines = 0b1001;
        Rack->Card5->Short = true;
    });
    auto page = FreshSck();
    cards::TBusWordModel& Sck = *page;
    SetBits(Sck, {0, 2});
    Sck.Send(); // address 5
    SetBits(Sck, {0, 2});
    Sck.ChooseStrobe(1);
    Sck.Send(); // data 0
    EXPECT_EQ(World->Sent(), (Words{0x85, 0x40}));
    EXPECT_EQ(Sck.View().S, Lamps(TLamp::Yellow, TLamp::White, TLamp::White, TLamp::Yellow));
    EXPECT_EQ(Sck.View().Kort, TLamp::Red);
    Rack->Bus.Locked([] { Rack->Card5->Short = false; });
}

TEST_F(CardModelTest, WrongMethodIsRefusedWithAMessage) {
    auto sck = FreshSck();
    auto pck = FreshPck();
    World->UseParallel(); // as a parallel set-up leaves it
    sck->Send();
    World->UseSerial();
    pck->ShowReply(0x40);
    pck->Send(); // shows the stored feedback again: 0 is none
    ASSERT_EQ(World->FrontEnd.Messages.size(), 2u);
    EXPECT_EQ(World->FrontEnd.Messages[0].Text, "Seriele kaart selecteren");
    EXPECT_FALSE(World->FrontEnd.Messages[0].Error);
    EXPECT_EQ(World->FrontEnd.Messages[0].Page, cards::TPage::Sck);
    EXPECT_EQ(World->FrontEnd.Messages[1].Text, "Parallelle kaart selecteren");
    EXPECT_EQ(pck->View().Kort, TLamp::Yellow) << "the last feedback (none yet) is shown again";
    EXPECT_TRUE(World->Sent().empty());
}

TEST_F(CardModelTest, PckShowsTheStatusPortUndecodedAndTestModeWritesTheDataPort) {
    World->UseParallel();
    Rack->Bus.Locked([] {
        Rack->Card5->Lines = 0b0101;
        Rack->Card5->Short = false;
    });
    auto page = FreshPck();
    cards::TBusWordModel& Pck = *page;
    SetBits(Pck, {0, 2});
    Pck.Send(); // address strobe for place 5 through the transport
    EXPECT_EQ(Rack->Bus.SelectedPlace(), 5);
    EXPECT_EQ(Pck.Word(), 0x05);
    // The status port reads 1 0 1 0 1: no short circuit (line high) and lines 0101.
    EXPECT_EQ(Pck.Feedback(), 0x55);
    EXPECT_EQ(Pck.View().S, Lamps(TLamp::Yellow, TLamp::White, TLamp::Yellow, TLamp::White));
    EXPECT_EQ(Pck.View().Kort, TLamp::Red);

    // Test mode: the word straight onto the data port, the strobe risen and fallen by hand.
    SetTestMode(true);
    page = FreshPck();
    SetBits(*page, {1, 5});
    cards::TBusWordModel& Test = *page;
    Test.Send();
    EXPECT_EQ(World->ParallelCard.OutputLines(), 0x22);
    Test.ClickBit(7);
    Test.Send();
    EXPECT_EQ(Rack->Bus.SelectedPlace(), 0x22);
    Test.ClickBit(7);
    Test.Send();
    EXPECT_EQ(World->ParallelCard.OutputLines(), 0x22);
    EXPECT_EQ(Test.Word(), 0x22);
}

TEST_F(CardModelTest, EnablingFollowsMethodTestModeAndConnection) {
    EXPECT_EQ(cards::TPageEnabling{},
              (cards::TPageEnabling{false, false, false, false, true, false}))
        << "before the first set-up";
    const cards::TPageEnabling serialFailed = cards::PageEnabling(false, false, false);
    EXPECT_TRUE(serialFailed.SckVersturen);
    EXPECT_FALSE(serialFailed.PckVersturen);
    EXPECT_FALSE(serialFailed.CardTests);
    EXPECT_FALSE(serialFailed.StrobeButtons);
    EXPECT_TRUE(serialFailed.StrobeGroups);
    EXPECT_TRUE(cards::PageEnabling(true, false, false).CardTests);
    const cards::TPageEnabling parallelTest = cards::PageEnabling(true, true, true);
    EXPECT_FALSE(parallelTest.SckVersturen);
    EXPECT_TRUE(parallelTest.PckVersturen);
    EXPECT_FALSE(parallelTest.CardTests) << "whatever connected says";
    EXPECT_TRUE(parallelTest.StrobeButtons);
    EXPECT_FALSE(parallelTest.StrobeGroups);

    // The models take the rules from the test mode the settings hold at the moment.
    SetTestMode(true);
    Models.Instellingen(true, true);
    EXPECT_STREQ(Models.Sck.View().D5Caption, "D5/ Latch Strobe");
    EXPECT_FALSE(Models.Sck.View().VersturenEnabled);
    EXPECT_TRUE(Models.Pck.View().VersturenEnabled);
    EXPECT_FALSE(Models.Pck.View().StrobeGroupEnabled);
    EXPECT_FALSE(Slk.View().ButtonEnabled);
    EXPECT_FALSE(Models.Iok.View().ButtonEnabled);
    SetTestMode(false);
    Models.Instellingen(true, false);
    EXPECT_STREQ(Models.Pck.View().D5Caption, "D5");
    EXPECT_TRUE(Models.Xbk.View().ButtonEnabled);
}

TEST_F(CardModelTest, SlkCardModeSelectsOnePlaceAndModesSetRangeValueAndCaption) {
    Slk.SetValue(37);
    Slk.Click();
    EXPECT_EQ(World->Sent(), Words{0xA5});
    EXPECT_EQ(Rack->Selection->SelectedPlace(), 37);

    Slk.ChooseRackMode();
    EXPECT_EQ(Slk.View().Value, 1);
    EXPECT_EQ(Slk.View().Maximum, 4);
    EXPECT_STREQ(Slk.View().Label, "Rek");
    EXPECT_STREQ(Slk.View().Caption, "Testen");
    Slk.SetValue(9);
    EXPECT_EQ(Slk.View().Value, 4) << "kept within the range";
    Slk.ChooseCardMode();
    EXPECT_EQ(Slk.View().Value, 0);
    EXPECT_EQ(Slk.View().Maximum, 63);
    EXPECT_STREQ(Slk.View().Label, "Adres");
    EXPECT_STREQ(Slk.View().Caption, "Versturen");
}

TEST_F(CardModelTest, SlkSweepSendsSixteenAddressWordsEachTickAndStopsOnARackChange) {
    Models.SetActivePage(cards::TPage::Slk);
    Slk.ChooseRackMode();
    Slk.Click();
    EXPECT_STREQ(Slk.View().Caption, "Stop");
    EXPECT_TRUE(World->Ticks.Running());
    EXPECT_EQ(World->Ticks.Interval(), 400);
    Words rack1;
    for (int i = 0; i < 16; ++i)
        rack1.push_back(0x80 + i);
    EXPECT_EQ(World->Sent(), rack1) << "the first sweep goes out at once";
    World->MarkNow();
    World->Ticks.Tick();
    EXPECT_EQ(World->Sent(), rack1) << "and again every tick";

    Slk.SetValue(4);
    EXPECT_FALSE(World->Ticks.Running());
    EXPECT_STREQ(Slk.View().Caption, "Testen");
    World->MarkNow();
    World->Ticks.Tick();
    Words rack4;
    for (int i = 0; i < 16; ++i)
        rack4.push_back(0xB0 + i);
    EXPECT_EQ(World->Sent(), rack4);
    EXPECT_EQ(Rack->Selection->SelectedPlace(), 0x3F);

    // Started and stopped again; the focus leaving the button stops it too.
    Slk.Click();
    Slk.Click();
    EXPECT_STREQ(Slk.View().Caption, "Testen");
    EXPECT_FALSE(World->Ticks.Running());
    Slk.Click();
    Slk.LeaveButton();
    EXPECT_FALSE(World->Ticks.Running());
    EXPECT_STREQ(Slk.View().Caption, "Testen");
}

TEST_F(CardModelTest, NotConnectedStopsTheTimerAndLeavesTheCaption) {
    // A bus whose serial connection was never set up.
    bus::TBus bus(bus::ParTransport());
    TManualTicks ticks;
    cards::TCardModels models(bus, ticks);
    models.Instellingen(true, false);
    models.SetActivePage(cards::TPage::Slk);
    models.Slk.ChooseRackMode();
    models.Slk.Click();
    EXPECT_FALSE(ticks.Running());
    EXPECT_STREQ(models.Slk.View().Caption, "Stop") << "the caption is left as it was";
    models.Slk.Click();
    EXPECT_STREQ(models.Slk.View().Caption, "Testen");

    // The IO card's send: no reply adds no nibble, and every lamp shows "0".
    models.Iok.Click();
    EXPECT_EQ(models.Iok.Feedback(), bus::NotConnected);
    EXPECT_EQ(models.Iok.Inputs(), 0);
    for (const TLamp lamp : models.Iok.View().Inputs)
        EXPECT_EQ(lamp, TLamp::Yellow);
}

TEST_F(CardModelTest, TimerDispatchesByActivePageAndSkipsWhileBusy) {
    Models.SetActivePage(cards::TPage::Sck);
    World->Ticks.IntervalMs = 1234;
    World->Ticks.Tick();
    EXPECT_EQ(World->Ticks.Interval(), 1234) << "no timed test on this page";
    EXPECT_TRUE(World->Sent().empty());

    Models.SetActivePage(cards::TPage::Slk);
    Slk.ChooseRackMode();
    {
        bus::TBus::TExchange busy(World->Bus);
        World->Ticks.Tick();
    }
    EXPECT_TRUE(World->Sent().empty()) << "a tick that falls due during an action is skipped";

    // An action asked for during another runs after it.
    {
        bus::TBus::TExchange busy(World->Bus);
        Slk.ChooseCardMode();
        Slk.SetValue(5);
        Slk.Click();
        EXPECT_TRUE(World->Sent().empty());
    }
    EXPECT_EQ(World->Sent(), Words{0x85});
}

TEST_F(CardModelTest, WaitsEndInDebugModeAndOnSilence) {
    World->Bus.SetDebugMode(true);
    const std::uint32_t start = platform::GetTickCount();
    World->Bus.DrainFeedback(true);
    EXPECT_EQ(World->Bus.AwaitFeedback(true), 72);
    EXPECT_EQ(platform::GetTickCount() - start, 0u) << "debug mode answers every read at once";
    World->Bus.SetDebugMode(false);

    sim::TSerialFaults silent;
    silent.Silent = true;
    World->SerialCard.SetFaults(silent);
    auto page = FreshSck();
    page->ShowReply(0x40);
    page->ChooseStrobe(1);
    const std::uint32_t sent = platform::GetTickCount();
    page->Send();
    EXPECT_EQ(platform::GetTickCount() - sent, bus::TBus::AwaitBoundMs) << "the page waited out the bound";
    World->SerialCard.SetFaults({});
    EXPECT_EQ(page->View().Kort, TLamp::Yellow) << "no valid reply";
}
