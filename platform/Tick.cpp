#include "platform/Tick.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {

namespace {

std::atomic<std::uint32_t> gOffset{0};
std::atomic<bool> gSkipDesignedWaits{false};

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

void SkipDesignedWaits(bool skip) {
    gSkipDesignedWaits.store(skip, std::memory_order_relaxed);
}

bool DesignedWaitsSkipped() {
    return gSkipDesignedWaits.load(std::memory_order_relaxed);
}

void DesignedSleep(std::uint32_t ms) {
    if (DesignedWaitsSkipped())
        gOffset.fetch_add(ms, std::memory_order_relaxed);
    else
        Sleep(ms);
}

} // namespace platform
