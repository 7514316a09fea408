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

} // namespace platform
