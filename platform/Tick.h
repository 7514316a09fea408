#pragma once

#include <cstdint>

namespace platform {

// Milliseconds from a monotonic clock as an unsigned 32-bit value that wraps after about
// 49.7 days. Elapsed time is always `GetTickCount() - start` in unsigned arithmetic, which
// stays right across the wrap.
std::uint32_t GetTickCount();

// Shifts the counter so that it reads `value` now; tests use a value just below 2^32 to
// prove that waits measure elapsed time across the wrap.
void SetTickCount(std::uint32_t value);

// True once `ms` milliseconds have passed since `start`.
inline bool TicksPassed(std::uint32_t start, std::uint32_t ms) {
    return static_cast<std::uint32_t>(GetTickCount() - start) >= ms;
}

// A plain blocking sleep (no event handling).
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
