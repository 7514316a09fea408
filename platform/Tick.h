#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace platform {

// The clock every wait, timer and pace of the program reads: the monotonic clock, or one a
// test steps. Milliseconds since some start, never going back.
class TClock {
public:
    virtual ~TClock() = default;
    virtual std::uint64_t NowMs() = 0;
    // A plain blocking sleep of `ms` on this clock.
    virtual void Sleep(std::uint32_t ms) = 0;
};

// Makes `clock` the program's clock (nullptr: the monotonic one) and returns the one it had.
// The clock must outlive its use.
TClock* SetClock(TClock* clock);

// A clock that stands still until a test steps it; a sleep on it moves it on by the time
// asked, at once. So a wait of the program takes no time in a test, and the time it waited is
// exact to the millisecond. For tests on one thread (the program's own waits run on it).
class TSteppedClock final : public TClock {
public:
    std::uint64_t NowMs() override { return mNow.load(std::memory_order_relaxed); }
    void Sleep(std::uint32_t ms) override { Step(ms); }
    void Step(std::uint32_t ms) { mNow.fetch_add(ms, std::memory_order_relaxed); }

private:
    // Far from zero, so that nothing mistakes the start for "never".
    std::atomic<std::uint64_t> mNow{1'000'000};
};

// The program's clock as a std::chrono clock, for code that keeps time points.
struct TTickClock {
    using rep = std::int64_t;
    using period = std::milli;
    using duration = std::chrono::milliseconds;
    using time_point = std::chrono::time_point<TTickClock>;
    static constexpr bool is_steady = true;
    static time_point now();
};

// Milliseconds from the program's clock as an unsigned 32-bit value that wraps after about
// 49.7 days. Elapsed time is always `GetTickCount() - start` in unsigned arithmetic, which
// stays right across the wrap.
std::uint32_t GetTickCount();

// The machine's own monotonic milliseconds, whatever clock the program reads: the hardware's
// timing on the parallel transport's worker thread, which a clock that a test steps on its
// own thread cannot serve.
std::uint32_t MachineTickCount();

// Shifts the counter so that it reads `value` now; tests use a value just below 2^32 to
// prove that waits measure elapsed time across the wrap.
void SetTickCount(std::uint32_t value);

// True once `ms` milliseconds have passed since `start`.
inline bool TicksPassed(std::uint32_t start, std::uint32_t ms) {
    return static_cast<std::uint32_t>(GetTickCount() - start) >= ms;
}

// A plain blocking sleep (no event handling) on the program's clock.
void Sleep(std::uint32_t ms);

// The designed waits are those the hardware or the design asks for, not waits for an answer:
// the card's wake-up after DTR goes high, the DTR pulse, the splash window's second. Tests
// whose subject is not that timing let them pass at once: the counter then moves on by the
// time asked instead, so that everything measuring elapsed time still sees it pass.
void SkipDesignedWaits(bool skip);
bool DesignedWaitsSkipped();

// A designed wait without event handling (a plain blocking sleep unless skipped).
void DesignedSleep(std::uint32_t ms);

} // namespace platform
