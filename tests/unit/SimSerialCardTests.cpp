#include "PtyClient.h"
#include "sim/SimSerialCard.h"
#include "sim/SimTestCard.h"

#include <chrono>
#include <ctime>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using sim::TLineByte;
using sim::TSerialFaults;
using sim::TSimSerialCard;
using sim::TSimTestCard;
using sim::TTrainBus;
using Bytes = std::vector<std::uint8_t>;

namespace sim {
void PrintTo(const TLineByte& byte, std::ostream* out) {
    *out << int(byte.Byte) << "@" << byte.Baud;
}
} // namespace sim

namespace {

// Absence of an answer is proved by order, not by waiting: the card answers in the order it
// takes bytes, so when the first byte back is the answer to a later byte, the earlier byte
// got none.
struct TSerialRack {
    TTrainBus Bus;
    std::shared_ptr<TSimTestCard> Card5 = std::make_shared<TSimTestCard>();
    std::shared_ptr<TSimTestCard> Card40 = std::make_shared<TSimTestCard>();
    std::unique_ptr<TSimSerialCard> Card = std::make_unique<TSimSerialCard>(Bus);

    TSerialRack() {
        Bus.Plug(5, Card5);
        Bus.Plug(40, Card40);
    }

    std::size_t ReceivedCount() const { return Card->Received().size(); }

    // Sends a byte and waits until the card has taken it (its answer is not read).
    void SendTaken(TPtyClient& client, std::uint8_t byte) {
        const std::size_t before = ReceivedCount();
        client.Send(byte);
        ASSERT_TRUE(Card->WaitForReceived(before + 1, 5000));
    }

    void Handshake(TPtyClient& client, std::uint8_t options) {
        client.SetSpeed(B9600);
        ASSERT_EQ(client.Exchange(options), options);
        if (options & 0x08)
            client.SetSpeed(B19200);
    }
};

std::uint64_t ProcessCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

class SimSerialCardOptions : public testing::TestWithParam<std::uint8_t> {};

TEST_P(SimSerialCardOptions, EchoOnlyAt9600ThenWordsOnlyAtTheAskedSpeed) {
    const std::uint8_t options = GetParam();
    const bool fast = (options & 0x08) != 0;
    const std::uint8_t notOptions = options ^ 0x04;
    TSerialRack rack;
    TPtyClient client(rack.Card->SlavePath(), B19200);

    rack.SendTaken(client, notOptions); // at 19200: no echo, still waiting for options
    client.SetSpeed(B9600);
    client.Send(options);
    EXPECT_EQ(client.Read(1, 2000), Bytes{options});
    EXPECT_EQ(rack.Card->Options(), options);

    client.SetSpeed(fast ? B9600 : B19200);
    rack.SendTaken(client, 128 + 1); // the wrong speed: no answer, no address strobe
    client.SetSpeed(fast ? B19200 : B9600);
    client.Send(12);
    EXPECT_EQ(client.Read(1, 2000), Bytes{12});
    EXPECT_EQ(rack.Bus.SelectedPlace(), -1);

    const int wordBaud = fast ? 19200 : 9600;
    const int otherBaud = fast ? 9600 : 19200;
    EXPECT_EQ(rack.Card->Received(),
              (std::vector<TLineByte>{
                  {notOptions, 19200}, {options, 9600}, {128 + 1, otherBaud}, {12, wordBaud}}));
}

INSTANTIATE_TEST_SUITE_P(SimSerialCard, SimSerialCardOptions,
                         testing::Values(0x00, 0x02, 0x0A, 0x1F));

TEST(SimSerialCard, StartsAsARaw9600LineThatNeedsNoSetUp) {
    TSerialRack rack;
    const int fd = open(rack.Card->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios line{};
    ASSERT_EQ(tcgetattr(fd, &line), 0);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_EQ(line.c_lflag & (ECHO | ICANON | ISIG), 0u);
    const std::uint8_t options = 0x0D; // a CR, which a cooked line would turn into LF
    ASSERT_EQ(write(fd, &options, 1), 1);
    pollfd answer{fd, POLLIN, 0};
    ASSERT_EQ(poll(&answer, 1, 2000), 1);
    std::uint8_t echo = 0;
    EXPECT_EQ(read(fd, &echo, 1), 1);
    EXPECT_EQ(echo, options);
    close(fd);
}

TEST(SimSerialCard, AnswersADataStrobeWithTheAddressedCardsFeedbackAndEchoesTheRest) {
    TSerialRack rack;
    rack.Bus.Locked([&] {
        rack.Card5->Lines = 0b1010;
        rack.Card5->Short = true;
        rack.Card40->Lines = 15;
    });
    TPtyClient client(rack.Card->SlavePath());
    rack.Handshake(client, 0x02);

    const std::vector<std::pair<int, int>> exchanges{
        {128 + 5, 128 + 5},          // address strobe, place 5
        {64 + 3, 64 + 16 + 10},      // data strobe, D5 low: short circuit and lines
        {96 + 3, 64 + 32 + 16 + 10}, // data strobe, D5 high comes back in bit 5
        {32 + 9, 32 + 9},            // latch data
        {192 + 7, 192 + 7},          // latch address
        {12, 12},                    // no strobe
        {250, 250},                  // no strobe, D5 high
        {160 + 8, 160 + 8},          // address strobe, place 40
        {64, 64 + 15},               // no short circuit there
        {0x02, 0x02},                // the option byte again is just a word now
    };
    for (const auto& [word, answer] : exchanges)
        EXPECT_EQ(client.Exchange(static_cast<std::uint8_t>(word)), answer) << "word " << word;

    rack.Bus.Locked([&] {
        EXPECT_EQ(rack.Card5->DataReceived, (Bytes{3, 35, 7}));
        EXPECT_EQ(rack.Card5->LatchReceived, Bytes{9});
        EXPECT_EQ(rack.Card40->DataReceived, Bytes{0});
    });
}

TEST(SimSerialCard, EveryNewOpenStartsWithAnOptionByteAgain) {
    TSerialRack rack;
    TPtyClient first(rack.Card->SlavePath());
    rack.Handshake(first, 0x0A);
    EXPECT_EQ(first.Exchange(12), 12);
    first.Close();

    // Reopened at once, as the program does after its close: the master never sees the
    // hang-up, yet the card starts over at 9600 (at 19200 it would not answer this).
    TPtyClient second(rack.Card->SlavePath(), B9600);
    EXPECT_EQ(second.Exchange(0x02), 0x02);
    EXPECT_EQ(rack.Card->Options(), 0x02);
    EXPECT_EQ(second.Exchange(12), 12);
}

TEST(SimSerialCard, ASecondClientNeitherRestartsNorEndsTheConnection) {
    TSerialRack rack;
    TPtyClient program(rack.Card->SlavePath());
    rack.Handshake(program, 0x0A);

    auto onlooker = std::make_unique<TPtyClient>(rack.Card->SlavePath(), B19200);
    EXPECT_EQ(program.Exchange(128 + 5), 128 + 5);
    onlooker.reset();
    EXPECT_EQ(program.Exchange(12), 12);
    EXPECT_EQ(rack.Card->Options(), 0x0A);
}

TEST(SimSerialCard, NothingOfAClosedClientReachesTheNextOne) {
    TSerialRack rack;
    TPtyClient first(rack.Card->SlavePath());
    rack.Handshake(first, 0x02);
    rack.Card->SetFaults({.ReplyDelayMs = 600000});
    rack.SendTaken(first, 128 + 5); // its answer is held back by the delay
    first.Send(12);                 // still unread when the client goes
    first.Close();
    ASSERT_TRUE(rack.Card->WaitForReceived(3, 5000)) << "the card takes the leftover byte";
    rack.Card->SetFaults({});

    TPtyClient second(rack.Card->SlavePath());
    // Neither the held-back answer nor an answer to the leftover 12 may come first, and 12
    // must not have been taken for the option byte.
    second.Send(0x02);
    EXPECT_EQ(second.Read(1, 2000), Bytes{0x02});
    EXPECT_EQ(rack.Card->Options(), 0x02);
    EXPECT_EQ(rack.Card->Received()[2].Byte, 12);
}

TEST(SimSerialCardFaults, SilentHearsNothingAndKeepsWaitingForTheOptionByte) {
    TSerialRack rack;
    TPtyClient client(rack.Card->SlavePath());
    rack.Card->SetFaults({.Silent = true});
    rack.SendTaken(client, 0x0A);
    EXPECT_EQ(rack.Card->Options(), std::nullopt);
    rack.Card->SetFaults({});
    client.Send(0x1F);
    EXPECT_EQ(client.Read(1, 2000), Bytes{0x1F});
    EXPECT_EQ(rack.Card->Options(), 0x1F);

    client.SetSpeed(B19200);
    EXPECT_EQ(client.Exchange(128 + 5), 128 + 5);
    rack.Card->SetFaults({.Silent = true});
    rack.SendTaken(client, 128 + 40);
    rack.Card->SetFaults({});
    EXPECT_EQ(client.Exchange(64), 64) << "place 5 is still selected and has nothing to say";
    EXPECT_EQ(rack.Bus.SelectedPlace(), 5);
}

TEST(SimSerialCardFaults, SilentAfterWordsAnswersThemAndThenHearsNothing) {
    TSerialRack rack;
    TPtyClient client(rack.Card->SlavePath());
    rack.Card->SetFaults({.SilentAfterWords = 2});
    rack.Handshake(client, 0x02); // the option byte is no bus word
    EXPECT_EQ(client.Exchange(128 + 5), 128 + 5);
    EXPECT_EQ(client.Exchange(64), 64);
    rack.SendTaken(client, 128 + 40);
    EXPECT_EQ(client.ReadByte(200), std::nullopt);
    EXPECT_TRUE(rack.Card->Faults().Silent);
    EXPECT_EQ(rack.Card->Faults().SilentAfterWords, -1);
    EXPECT_EQ(rack.Bus.SelectedPlace(), 5) << "the unanswered word never reached the rack";
    rack.SendTaken(client, 64);
    EXPECT_EQ(client.ReadByte(200), std::nullopt);
    rack.Card->SetFaults({});
    EXPECT_EQ(client.Exchange(64), 64);
}

TEST(SimSerialCardFaults, WrongEchoInvertsTheOptionByteAndGoesOn) {
    TSerialRack rack;
    TPtyClient client(rack.Card->SlavePath());
    rack.Card->SetFaults({.WrongEcho = true});
    EXPECT_EQ(client.Exchange(0x0A), 0xF5);
    client.SetSpeed(B19200);
    EXPECT_EQ(client.Exchange(12), 12) << "only the echo is wrong";
}

TEST(SimSerialCardFaults, LateEchoComesAfterTheProgramStoppedWaiting) {
    TSerialRack rack;
    TPtyClient client(rack.Card->SlavePath());
    rack.Card->SetFaults({.EchoDelayMs = 150});
    const std::uint32_t start = platform::GetTickCount();
    client.Send(0x02);
    EXPECT_EQ(client.ReadByte(100), std::nullopt);
    EXPECT_EQ(client.ReadByte(5000), 0x02);
    EXPECT_GE(platform::GetTickCount() - start, 150u);
    EXPECT_EQ(client.Exchange(12), 12) << "the delay is for the echo only";
}

TEST(SimSerialCardFaults, ReplyDelayHoldsBackEveryBusWordsAnswer) {
    TSerialRack rack;
    TPtyClient client(rack.Card->SlavePath());
    rack.Card->SetFaults({.ReplyDelayMs = 150});
    rack.Handshake(client, 0x02); // the echo is not delayed
    const std::uint32_t start = platform::GetTickCount();
    client.Send(128 + 5);
    // Only the lower bound: a reader that a busy machine holds up may come late, never early.
    EXPECT_EQ(client.ReadByte(5000), 128 + 5);
    EXPECT_GE(platform::GetTickCount() - start, 150u);
}

TEST(SimSerialCardFaults, ExtraBytesFollowEveryAnswer) {
    TSerialRack rack;
    rack.Bus.Locked([&] { rack.Card5->Lines = 3; });
    TPtyClient client(rack.Card->SlavePath());
    rack.Card->SetFaults({.ExtraBytes = 2});
    client.Send(0x02);
    EXPECT_EQ(client.Read(4, 1000), (Bytes{0x02, 0xFD, 0xFD}));
    client.Send(128 + 5);
    EXPECT_EQ(client.Read(3, 2000), (Bytes{133, 0x7A, 0x7A}));
    client.Send(64);
    EXPECT_EQ(client.Read(4, 1000), (Bytes{67, 0xBC, 0xBC}));
}

TEST(SimSerialCardFaults, HangUpAfterWordsAnswersThemAndHangsUpOnTheNext) {
    TSerialRack rack;
    TPtyClient client(rack.Card->SlavePath());
    rack.Card->SetFaults({.HangUpAfterWords = 2});
    rack.Handshake(client, 0x02);
    EXPECT_EQ(client.Exchange(128 + 5), 128 + 5) << "the echo is no bus word";
    EXPECT_EQ(client.Exchange(128 + 6), 128 + 6);
    EXPECT_FALSE(rack.Card->HungUp());
    client.Send(128 + 7);
    EXPECT_TRUE(client.WaitHangUp(5000));
    EXPECT_TRUE(rack.Card->HungUp());
    EXPECT_EQ(rack.Bus.SelectedPlace(), 6) << "the last word never reached the bus";
    const std::uint8_t word = 12;
    EXPECT_EQ(write(client.Fd(), &word, 1), -1);
    EXPECT_EQ(errno, EIO);
}

TEST(SimSerialCardFaults, HangUpAtOnceWhileTheClientWaits) {
    TSerialRack rack;
    TPtyClient client(rack.Card->SlavePath());
    rack.Handshake(client, 0x02);
    rack.Card->HangUp();
    EXPECT_TRUE(client.WaitHangUp(5000));
    EXPECT_TRUE(rack.Card->HungUp());
}

TEST(SimSerialCardLifetime, IdleCardUsesNoProcessorTime) {
    // A card that polled a hung-up master in a loop would burn a whole core here; the bound
    // leaves room for a slow, busy machine.
    TSerialRack rack;
    const std::uint64_t before = ProcessCpuMs();
    platform::Sleep(300); // never opened
    {
        TPtyClient client(rack.Card->SlavePath());
        rack.Handshake(client, 0x02);
        platform::Sleep(300); // open and quiet
    }
    platform::Sleep(300); // closed again: the master shows a hang-up
    TPtyClient client(rack.Card->SlavePath());
    EXPECT_EQ(client.Exchange(0x02), 0x02) << "still serving";
    EXPECT_LT(ProcessCpuMs() - before, 300u);
}

TEST(SimSerialCardLifetime, DestructionInterruptsAWaitAndHangsUpTheClient) {
    TSerialRack rack;
    TPtyClient client(rack.Card->SlavePath());
    rack.Card->SetFaults({.EchoDelayMs = 600000});
    rack.SendTaken(client, 0x02);
    const std::uint32_t start = platform::GetTickCount();
    rack.Card.reset();
    EXPECT_LT(platform::GetTickCount() - start, 5000u);
    EXPECT_TRUE(client.WaitHangUp(5000));
}

// Wire timing is a lower bound the card guarantees: a word out and its answer back are two
// bytes of ten bits each on the line, so no word can finish sooner than that at either speed.
TEST(SimSerialCardWireTiming, EveryWordTakesAtLeastItsTwoBytesOnTheLine) {
    for (const bool high : {false, true}) {
        TSerialRack rack;
        rack.Card->SetWireTiming(true);
        TPtyClient client(rack.Card->SlavePath());
        rack.Handshake(client, high ? 0x0A : 0x02);
        const auto start = std::chrono::steady_clock::now();
        constexpr int Words = 40;
        for (int i = 0; i < Words; ++i)
            ASSERT_EQ(client.Exchange(0x85), 0x85);
        const auto took = std::chrono::steady_clock::now() - start;
        const long long floorUs = Words * 2LL * 10 * 1000000 / (high ? 19200 : 9600);
        EXPECT_GE(std::chrono::duration_cast<std::chrono::microseconds>(took).count(), floorUs)
            << (high ? "19200" : "9600") << " baud";
    }
}

TEST(SimSerialCardWireTiming, ChangesNoByte) {
    TSerialRack rack;
    TPtyClient client(rack.Card->SlavePath());
    rack.Handshake(client, 0x02);
    ASSERT_EQ(client.Exchange(0x85), 0x85);
    rack.Card->SetWireTiming(true);
    rack.Bus.Locked([&] { rack.Card5->Lines = 0b0110; });
    ASSERT_EQ(client.Exchange(0x40), 0x46);
    EXPECT_EQ(rack.Card->Received(),
              (std::vector<TLineByte>{{0x02, 9600}, {0x85, 9600}, {0x40, 9600}}));
}
