// The serial path on Windows through the Win32 backend, under wine: a COM port that wine maps
// to a pseudo-terminal on which morvelplint-rack serves the default rack (started by
// scripts/test-windows.sh, which names the port in MORVELPLINT_TEST_PORT).
#include "bus/Bus.h"
#include "bus/BusWord.h"
#include "bus/ParallelTransport.h"
#include "capture/Capture.h"
#include "platform/Tick.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string TestPort() {
    const char* port = std::getenv("MORVELPLINT_TEST_PORT");
    return port ? port : "";
}

// The card needs no time to wake up.
class WindowsSerialTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (TestPort().empty())
            GTEST_SKIP() << "MORVELPLINT_TEST_PORT names no COM port with a simulated card";
        platform::SkipDesignedWaits(true);
    }
    void TearDown() override { platform::SkipDesignedWaits(false); }

    // The events of the capture of one kind, as (value, status) pairs.
    static std::vector<std::pair<int, bus::TEventStatus>> Events(const bus::TCapture& capture,
                                                                bus::TEventKind kind) {
        std::vector<std::pair<int, bus::TEventStatus>> events;
        for (std::uint64_t i = capture.Begin(); i < capture.End(); ++i)
            if (capture.At(i).Kind == kind)
                events.emplace_back(capture.At(i).Value, capture.At(i).Status);
        return events;
    }
};

std::vector<std::pair<int, bus::TEventStatus>> Sent(const std::vector<int>& words) {
    std::vector<std::pair<int, bus::TEventStatus>> sent;
    for (const int word : words)
        sent.emplace_back(word, bus::TEventStatus::Ok);
    return sent;
}

std::vector<int> InitialisationSequence() {
    std::vector<int> words;
    for (int place = 0; place < 64; ++place)
        words.insert(words.end(), {bus::AddressWord(place), 96, 64});
    return words;
}

} // namespace

TEST_F(WindowsSerialTest, TheOptionByteAt9600ThenTheWholeInitialisationSequence) {
    bus::TParTransport parallel;
    bus::TBus bus(parallel);
    bus::TCapture capture;
    bus.SetCapture(&capture);
    bus::TSetUpChoice choice;
    choice.Port = TestPort();

    const bus::TSetUpResult result = bus.SetUp(choice);
    ASSERT_EQ(result.Outcome, bus::TSetUpOutcome::Connected) << result.Reason;
    EXPECT_EQ(Events(capture, bus::TEventKind::OptionByte),
              Sent({0x02})) << "Time Out, 9600 baud";
    EXPECT_EQ(Events(capture, bus::TEventKind::OptionEcho), Sent({0x02}));
    EXPECT_TRUE(Events(capture, bus::TEventKind::SpeedChange).empty());
    EXPECT_EQ(Events(capture, bus::TEventKind::Word), Sent(InitialisationSequence()));
    // Every word got its one answer: an address strobe its echo, a data strobe the feedback of
    // the card in the place (the test cards in 1 to 3 report 2, 4 and 8).
    const auto replies = Events(capture, bus::TEventKind::Reply);
    ASSERT_EQ(replies.size(), 192u);
    for (int place = 0; place < 64; ++place)
        EXPECT_EQ(replies[static_cast<std::size_t>(place) * 3],
                  std::pair(bus::AddressWord(place), bus::TEventStatus::Ok));
    EXPECT_EQ(replies[1 * 3 + 2], std::pair(0x40 | 2, bus::TEventStatus::Ok));
    EXPECT_EQ(replies[3 * 3 + 2], std::pair(0x40 | 8, bus::TEventStatus::Ok));
    bus.CloseSerialLink();
}

TEST_F(WindowsSerialTest, AWordAt19200IsAnsweredByTheCardInThePlace) {
    bus::TParTransport parallel;
    bus::TBus bus(parallel);
    bus::TCapture capture;
    bus.SetCapture(&capture);
    bus::TSetUpChoice choice;
    choice.Port = TestPort();
    choice.Baud19200 = true;

    const bus::TSetUpResult result = bus.SetUp(choice);
    ASSERT_EQ(result.Outcome, bus::TSetUpOutcome::Connected) << result.Reason;
    EXPECT_EQ(Events(capture, bus::TEventKind::OptionByte), Sent({0x0A}));
    EXPECT_EQ(Events(capture, bus::TEventKind::SpeedChange), Sent({192}));

    EXPECT_EQ(bus.SendBusWord(bus::AddressWord(2)), 0x82);
    EXPECT_EQ(bus.AwaitFeedback(false), 0x82) << "an address strobe is echoed";
    EXPECT_EQ(bus.SendBusWord(bus::DataWord(0)), 0x40);
    const bus::TReply reply(bus.AwaitFeedback(false));
    EXPECT_EQ(reply.Value(), 0x44);
    EXPECT_EQ(reply.Lines(), 4);
    EXPECT_FALSE(reply.ShortCircuit());
    bus.CloseSerialLink();
}
