#include "platform/EventPump.h"
#include "platform/Tick.h"

#include <chrono>
#include <gtest/gtest.h>

TEST(TickCount, ElapsedTimeIsRightAcrossTheWrap) {
    platform::SetTickCount(0xFFFFFFFFu - 5);
    const std::uint32_t start = platform::GetTickCount();
    EXPECT_FALSE(platform::TicksPassed(start, 30));
    platform::Sleep(30);
    const std::uint32_t now = platform::GetTickCount();
    EXPECT_LT(now, start) << "the counter has wrapped";
    EXPECT_GE(static_cast<std::uint32_t>(now - start), 30u);
    EXPECT_TRUE(platform::TicksPassed(start, 30));
    EXPECT_FALSE(platform::TicksPassed(start, 60000));
    platform::SetTickCount(0);
}

TEST(TickCount, SetTickCountSetsTheCurrentReading) {
    platform::SetTickCount(123456);
    const std::uint32_t now = platform::GetTickCount();
    EXPECT_GE(now, 123456u);
    EXPECT_LT(now, 123456u + 1000);
    platform::SetTickCount(0);
}

TEST(EventPump, CallsTheInstalledHandlerAndHandsBackThePreviousOne) {
    int first = 0;
    int second = 0;
    auto original = platform::SetProcessMessages([&] { ++first; });
    platform::ProcessMessages();
    auto previous = platform::SetProcessMessages([&] { ++second; });
    platform::ProcessMessages();
    platform::ProcessMessages();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    previous();
    EXPECT_EQ(first, 2);
    platform::SetProcessMessages(original);
}

TEST(EventPump, WaitWithEventsHandlesEventsForTheWholeWaitAcrossTheWrap) {
    int pumped = 0;
    auto original = platform::SetProcessMessages([&] { ++pumped; });
    platform::SetTickCount(0xFFFFFFFFu - 20);
    const std::uint32_t start = platform::GetTickCount();
    platform::WaitWithEvents(60);
    const std::uint32_t elapsed = platform::GetTickCount() - start;
    platform::SetTickCount(0);
    platform::SetProcessMessages(original);
    EXPECT_GE(elapsed, 60u);
    EXPECT_LT(elapsed, 5000u);
    EXPECT_GE(pumped, 3) << "events are handled during the wait, not only before it";
}

TEST(EventPump, SkippedDesignedWaitsPassAtOnceOnTheTickCounter) {
    int pumped = 0;
    auto original = platform::SetProcessMessages([&] { ++pumped; });
    platform::SetTickCount(0xFFFFFFFFu - 500);
    platform::SkipDesignedWaits(true);
    const auto wall = std::chrono::steady_clock::now();
    const std::uint32_t start = platform::GetTickCount();
    platform::WaitWithEvents(1000);
    EXPECT_EQ(pumped, 1) << "the window still handles its events once";
    platform::DesignedSleep(250);
    const std::uint32_t passed = platform::GetTickCount() - start;
    platform::SkipDesignedWaits(false);
    EXPECT_GE(passed, 1250u) << "across the wrap";
    EXPECT_LT(passed, 1250u + 200);
    EXPECT_LT(std::chrono::steady_clock::now() - wall, std::chrono::milliseconds(1000));
    platform::SetProcessMessages(original);
    platform::SetTickCount(0);
}
