// The latch card page's and the IO card page's models ("LKK_EVL", "IOK") without a window,
// against the rack that /sim gives (the latch card in place 5, the IO card in place 9): the
// load's 33 words and the pins they set, the square waves' words and phases, the IO card's
// nibble words and the inputs read back through its test plug.
#include "CardWorld.h"
#include "bus/CardWords.h"
#include "sim/SimRack.h"

#include <gtest/gtest.h>
#include <memory>
#include <thread>

using cards::TLamp;
using Words = std::vector<int>;

namespace {

Words LoadWords(int address, int evl, const std::array<int, 4>& pinWords, bool pattern = true) {
    Words words{0x80 + address};
    for (int step = 0; step < 16; ++step) {
        const int nibble = pattern ? bus::EvlStepNibble(pinWords, step) : 15;
        words.push_back(bus::EvlLatchAddressWord(evl, step));
        words.push_back(bus::EvlLatchDataWord(step, nibble));
    }
    return words;
}

class LatchIoModelTest : public ::testing::Test {
protected:
    static inline sim::TSimRack* Rack = nullptr;
    static inline TCardWorld* World = nullptr;

    static void SetUpTestSuite() {
        Rack = new sim::TSimRack;
        World = new TCardWorld(Rack->Bus);
    }
    static void TearDownTestSuite() {
        delete World;
        delete Rack;
    }

    cards::TCardModels& Models = World->Models;
    cards::TLkkEvlModel& Lkk = Models.LkkEvl;
    cards::TIokModel& Iok = Models.Iok;

    void SetUp() override {
        ASSERT_TRUE(World->Connected) << "the simulated serial card did not come up";
        World->UseSerial();
        Models.Instellingen(true, false);
        World->Ticks.Stop();
        if (Lkk.View().Tester)
            Lkk.SetTester(false);
        if (Iok.View().Testen)
            Iok.SetTesten(false);
        for (int pin = 1; pin <= 64; ++pin)
            if (Lkk.Pin(pin))
                Lkk.ClickPin(pin);
        for (int pin = 1; pin <= 16; ++pin)
            if (Iok.Output(pin))
                Iok.ClickOutput(pin);
        Lkk.ChooseEvl(0);
        Lkk.SetAddress(sim::TSimRack::LatchPlace);
        Iok.SetAddress(sim::TSimRack::IoPlace);
        Rack->Bus.Locked([] {
            Rack->IoCard->TestPlug = true;
            Rack->IoCard->ExternalInputs = 0;
        });
        World->MarkNow();
    }

    void SetTestTime(int ms) {
        bus::TSettings settings = Models.Settings();
        settings.TestTijd = ms;
        Models.SetSettings(settings);
    }

    std::uint64_t EvlPins(int evl) const {
        std::uint64_t pins = 0;
        Rack->Bus.Locked([&] { pins = Rack->LatchCard->Pins(evl); });
        return pins;
    }
    // The pins of an EVL once they show `expected`, or as they are after a generous while:
    // the transports put the last words on the bus after the page has returned.
    std::uint64_t AwaitPins(int evl, std::uint64_t expected) const {
        // The transport's worker keeps the machine's time, not the test's.
        const std::uint32_t start = platform::MachineTickCount();
        while (EvlPins(evl) != expected && platform::MachineTickCount() - start < 3000)
            std::this_thread::yield();
        return EvlPins(evl);
    }
    std::uint64_t Levels() const {
        std::uint64_t levels = 0;
        for (int word = 3; word >= 0; --word)
            levels = (levels << 16) | static_cast<std::uint16_t>(Lkk.PinWords()[word]);
        return levels;
    }
    // Lamp n white for the pins given, yellow for the rest.
    static std::array<TLamp, 16> WhiteAt(std::initializer_list<int> pins) {
        std::array<TLamp, 16> lamps;
        lamps.fill(TLamp::Yellow);
        for (int pin : pins)
            lamps[static_cast<std::size_t>(pin - 1)] = TLamp::White;
        return lamps;
    }
};

} // namespace

TEST_F(LatchIoModelTest, PinButtonsClearTheirBitWhileShowingOne) {
    Lkk.ClickPin(17);
    EXPECT_TRUE(Lkk.Pin(17));
    EXPECT_EQ(Lkk.PinWords(), (std::array<int, 4>{0xFFFF, 0xFFFE, 0xFFFF, 0xFFFF}));
    Lkk.ClickPin(64);
    EXPECT_EQ(Lkk.PinWords()[3], 0x7FFF);
    Lkk.ClickPin(17);
    Lkk.ClickPin(64);
    EXPECT_EQ(Lkk.PinWords(), (std::array<int, 4>{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}));
    EXPECT_FALSE(Lkk.Pin(17));
    EXPECT_EQ(World->SentOnce(0), Words{}) << "a pin button sends nothing";
}

TEST_F(LatchIoModelTest, LoadSendsTheAddressAndSixteenLatchSteps) {
    Lkk.Click();
    EXPECT_EQ(World->SentOnce(33),
              (Words{0x85, 0xC1, 0x3F, 0xC3, 0x3F, 0xC5, 0x3F, 0xC7, 0x3F, 0xC0, 0x2F,
                     0xC2, 0x2F, 0xC4, 0x2F, 0xC6, 0x2F, 0xC1, 0x2F, 0xC3, 0x2F, 0xC5,
                     0x2F, 0xC7, 0x2F, 0xC0, 0x3F, 0xC2, 0x3F, 0xC4, 0x3F, 0xC6, 0x3F}));

    Lkk.ClickPin(1);
    Lkk.ClickPin(17);
    Lkk.Click();
    const Words words = World->SentOnce(33);
    ASSERT_EQ(words.size(), 33u);
    EXPECT_EQ(words[2], 0x3E) << "step 0 carries pin 1 at level 0";
    EXPECT_EQ(words[9], 0xC0);
    EXPECT_EQ(words[10], 0x2E) << "step 4 carries pin 17";
    const std::uint64_t pins = ~std::uint64_t{0} & ~std::uint64_t{1} & ~(std::uint64_t{1} << 16);
    EXPECT_EQ(AwaitPins(0, pins), pins);

    Lkk.ChooseEvl(3);
    Lkk.SetAddress(31);
    Lkk.Click();
    EXPECT_EQ(World->SentOnce(33), LoadWords(31, 3, Lkk.PinWords()));
    EXPECT_EQ(LoadWords(31, 3, Lkk.PinWords())[1], 0xDC);
}

TEST_F(LatchIoModelTest, EveryPinPatternOfALoadArrivesAtTheRightEvlPins) {
    World->UseParallel();
    const std::uint64_t patterns[] = {0x0123456789ABCDEFull, 0xF0E1D2C3B4A59687ull,
                                      0x8000000000000001ull, 0xFEDCBA9876543210ull};
    for (int evl = 0; evl < 4; ++evl) {
        for (std::uint64_t pattern : {patterns[evl], ~patterns[evl]}) {
            for (int pin = 1; pin <= 64; ++pin)
                if (Lkk.Pin(pin) != (((pattern >> (pin - 1)) & 1) != 0))
                    Lkk.ClickPin(pin);
            ASSERT_EQ(Levels(), ~pattern) << "a pin showing \"1\" is sent low";
            Lkk.ChooseEvl(evl);
            Lkk.Click();
            EXPECT_EQ(AwaitPins(evl, ~pattern), ~pattern) << "EVL " << evl;
        }
    }
    // The serial transport brings the same pattern to the same pins.
    World->UseSerial();
    for (int pin = 1; pin <= 64; ++pin)
        if (Lkk.Pin(pin) != (pin == 41))
            Lkk.ClickPin(pin);
    Lkk.ChooseEvl(1);
    World->MarkNow();
    Lkk.Click();
    World->SentOnce(33);
    EXPECT_EQ(AwaitPins(1, ~(std::uint64_t{1} << 40)), ~(std::uint64_t{1} << 40));
}

TEST_F(LatchIoModelTest, LatchSquareWaveAlternatesPatternAndAllHigh) {
    Models.SetActivePage(cards::TPage::LkkEvl);
    SetTestTime(700);
    Lkk.ClickPin(3);
    Lkk.SetTester(true);
    EXPECT_STREQ(Lkk.View().Caption, "Testen");

    Models.State().SquareWavePhase = false;
    Lkk.Click(); // starts with one tick at once
    EXPECT_STREQ(Lkk.View().Caption, "Stop");
    EXPECT_FALSE(Lkk.View().EvlEnabled);
    EXPECT_TRUE(World->Ticks.Running());
    EXPECT_EQ(World->Ticks.Interval(), 700);
    EXPECT_TRUE(Models.State().SquareWavePhase);
    EXPECT_EQ(World->SentOnce(33), LoadWords(5, 0, Lkk.PinWords()));
    EXPECT_EQ(AwaitPins(0, ~std::uint64_t{4}), ~std::uint64_t{4}) << "pin 3 low";

    World->Ticks.Tick();
    EXPECT_FALSE(Models.State().SquareWavePhase);
    EXPECT_EQ(World->SentOnce(33), LoadWords(5, 0, Lkk.PinWords(), false));
    EXPECT_EQ(AwaitPins(0, ~std::uint64_t{0}), ~std::uint64_t{0})
        << "every pin at the level of a \"0\" caption";

    Lkk.Click(); // "Stop"
    EXPECT_FALSE(World->Ticks.Running());
    EXPECT_TRUE(Lkk.View().EvlEnabled);
    EXPECT_STREQ(Lkk.View().Caption, "Testen");
    EXPECT_EQ(World->SentOnce(0), Words{}) << "stopping sends nothing";

    // Unticking "Tester" while running stops the timer but leaves the EVL choice disabled.
    Lkk.Click();
    World->SentOnce(33);
    Lkk.SetTester(false);
    EXPECT_FALSE(World->Ticks.Running());
    EXPECT_STREQ(Lkk.View().Caption, "Versturen");
    EXPECT_FALSE(Lkk.View().EvlEnabled);
    Lkk.SetTester(true);
    Models.LeavePage(cards::TPage::LkkEvl);
    EXPECT_TRUE(Lkk.View().EvlEnabled) << "page exit in square-wave mode";
}

TEST_F(LatchIoModelTest, IokSendsNibbleWordsAndShowsInputsThroughThePlug) {
    Iok.ClickOutput(1);  // bit 12
    Iok.ClickOutput(10); // bit 0
    EXPECT_EQ(Iok.Outputs(), 0x1001);
    Iok.Click();
    EXPECT_EQ(World->SentOnce(5), (Words{0x89, 0x71, 0x60, 0x50, 0x41}));
    EXPECT_EQ(Iok.Inputs(), 0x1001);
    EXPECT_EQ(Iok.View().Inputs, WhiteAt({1, 10})) << "inputs mirror outputs";

    Iok.ClickOutput(1);
    Iok.ClickOutput(10);
    for (int pin : {2, 7, 11, 16})
        Iok.ClickOutput(pin);
    Iok.Click();
    World->SentOnce(5);
    EXPECT_EQ(Iok.View().Inputs, WhiteAt({2, 7, 11, 16}));
    Rack->Bus.Locked([] { EXPECT_EQ(Rack->IoCard->Outputs(), 0x8128); });
}

TEST_F(LatchIoModelTest, IokRepliesBuildTheInputsNibbleByNibble) {
    Rack->Bus.Locked([] {
        Rack->IoCard->TestPlug = false;
        Rack->IoCard->ExternalInputs = 0xFFFF;
    });
    Iok.Click(); // replies 0x4F four times
    EXPECT_EQ(Iok.Inputs(), 0xFFFF);
    EXPECT_EQ(Iok.View().Inputs, WhiteAt({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));

    Rack->Bus.Locked([] { Rack->IoCard->ExternalInputs = 0x1000; });
    Iok.Click(); // replies 0x41, 0x40, 0x40, 0x40
    EXPECT_EQ(Iok.Inputs(), 0x1000);
    EXPECT_EQ(Iok.View().Inputs, WhiteAt({1}));
    EXPECT_EQ(Iok.Feedback(), 0x40);

    // A reply that is no feedback adds no nibble: the ones taken in before it end a nibble
    // lower than their own place.
    Iok.SetInputs(0);
    Iok.TakeInReply(0x43); // nibble word 3
    Iok.TakeInReply(0x85); // an echo instead of the reply to nibble word 2
    Iok.TakeInReply(0x41); // nibble word 1
    Iok.TakeInReply(0x62); // nibble word 0, D5 set in the reply
    Iok.TakeInReply(bus::NoDataYet);
    EXPECT_EQ(Iok.Inputs(), 0x0312);
    Iok.ShowInputs();
    EXPECT_EQ(Iok.View().Inputs, WhiteAt({2, 4, 9, 12}))
        << "nibble 3's reply shows on nibble 2's lamps";
}

TEST_F(LatchIoModelTest, IokSquareWaveSendsTheAddressFirstAndTogglesPhases) {
    Models.SetActivePage(cards::TPage::Iok);
    SetTestTime(600);
    Iok.ClickOutput(16); // bit 3
    Iok.SetTesten(true);
    EXPECT_STREQ(Iok.View().Caption, "Testen");

    Iok.Click();
    EXPECT_EQ(World->SentOnce(1), Words{0x89}) << "the address word, and no tick yet";
    EXPECT_STREQ(Iok.View().Caption, "Stop");
    EXPECT_TRUE(World->Ticks.Running());
    EXPECT_EQ(World->Ticks.Interval(), 250);

    Models.State().SquareWavePhase = false;
    World->Ticks.Tick();
    EXPECT_EQ(World->Ticks.Interval(), 600);
    EXPECT_EQ(World->SentOnce(9), (Words{0x89, 0x70, 0x60, 0x50, 0x48, 0x70, 0x60, 0x50, 0x48}));
    EXPECT_EQ(Iok.Inputs(), 0x0008) << "16 bits: the second pass";
    EXPECT_EQ(Iok.View().Inputs, WhiteAt({16}));
    World->Ticks.Tick();
    EXPECT_EQ(World->SentOnce(9), (Words{0x89, 0x70, 0x60, 0x50, 0x40, 0x70, 0x60, 0x50, 0x40}));
    EXPECT_EQ(Iok.View().Inputs, WhiteAt({}));

    Rack->Bus.Locked([] {
        Rack->IoCard->TestPlug = false;
        Rack->IoCard->ExternalInputs = 0xFFFF;
    });
    World->Ticks.Tick();
    World->SentOnce(9);
    EXPECT_EQ(Iok.Inputs(), 0xFFFF) << "eight replies keep to 16 bits";

    Iok.Click(); // "Stop"
    EXPECT_EQ(World->SentOnce(1), Words{0x89});
    EXPECT_FALSE(World->Ticks.Running());
    EXPECT_STREQ(Iok.View().Caption, "Testen");

    Iok.Click();
    World->SentOnce(1);
    Models.LeavePage(cards::TPage::Iok);
    EXPECT_FALSE(World->Ticks.Running());
    EXPECT_STREQ(Iok.View().Caption, "Testen");
    Iok.SetTesten(false);
    EXPECT_STREQ(Iok.View().Caption, "Versturen");
}

TEST_F(LatchIoModelTest, SendButtonsFollowTheSettings) {
    Models.Instellingen(false, false);
    EXPECT_FALSE(Lkk.View().ButtonEnabled);
    EXPECT_FALSE(Iok.View().ButtonEnabled);
    Models.Instellingen(true, false);
    EXPECT_TRUE(Lkk.View().ButtonEnabled);
    EXPECT_TRUE(Iok.View().ButtonEnabled);
}
