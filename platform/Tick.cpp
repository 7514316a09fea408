#include "platform/Tick.h"

#include <thread>

namespace platform {

namespace {

class TMonotonicClock final : public TClock {
public:
    std::uint64_t NowMs() override {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }
    void Sleep(std::uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

TMonotonicClock gMonotonic;
std::atomic<TClock*> gClock{&gMonotonic};
std::atomic<std::uint32_t> gOffset{0};
std::atomic<bool> gSkipDesignedWaits{false};

TClock& Clock() {
    return *gClock.load(std::memory_order_acquire);
}

std::uint32_t RawTicks() {
    return static_cast<std::uint32_t>(Clock().NowMs());
}

} // namespace

TClock* SetClock(TClock* clock) {
    TClock* previous = gClock.exchange(clock ? clock : &gMonotonic, std::memory_order_acq_rel);
    return previous == &gMonotonic ? nullptr : previous;
}

TTickClock::time_point TTickClock::now() {
    return time_point(duration(static_cast<rep>(Clock().NowMs())));
}

std::uint32_t MachineTickCount() {
    return static_cast<std::uint32_t>(gMonotonic.NowMs());
}

std::uint32_t GetTickCount() {
    return RawTicks() + gOffset.load(std::memory_order_relaxed);
}

void SetTickCount(std::uint32_t value) {
    gOffset.store(value - RawTicks(), std::memory_order_relaxed);
}

void Sleep(std::uint32_t ms) {
    Clock().Sleep(ms);
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
