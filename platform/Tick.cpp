#include "platform/Tick.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {

namespace {

std::atomic<std::uint32_t> gOffset{0};

std::uint32_t RawTicks() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

} // namespace

std::uint32_t GetTickCount() {
    return RawTicks() + gOffset.load(std::memory_order_relaxed);
}

void SetTickCount(std::uint32_t value) {
    gOffset.store(value - RawTicks(), std::memory_order_relaxed);
}

void Sleep(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace platform
