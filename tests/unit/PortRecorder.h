#pragma once

#include "platform/PortIo.h"
#include "platform/Tick.h"

#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// Records every port access in order, with the tick count at which it happened and the thread
// that made it, and answers reads of port 789 with a value the test sets. Requests for access
// are granted and recorded with the thread that asked.
class TPortRecorder : public platform::TPortBackend {
public:
    struct TAccess {
        bool Write;
        std::uint16_t Port;
        std::uint16_t Value;
        std::uint32_t Tick;
        std::thread::id Thread;
    };

    std::uint16_t InputValue = 0xFFFF;

    platform::TPortAccess RequestAccess() override {
        std::lock_guard lock(mMutex);
        mRequests.push_back(std::this_thread::get_id());
        return {true, 0, {}};
    }

    void Out(std::uint16_t port, std::uint16_t value) override {
        std::lock_guard lock(mMutex);
        mAccesses.push_back(
            {true, port, value, platform::GetTickCount(), std::this_thread::get_id()});
    }

    std::uint16_t In(std::uint16_t port) override {
        std::lock_guard lock(mMutex);
        mAccesses.push_back(
            {false, port, InputValue, platform::GetTickCount(), std::this_thread::get_id()});
        return InputValue;
    }

    // The thread of each request, in order.
    std::vector<std::thread::id> Requests() const {
        std::lock_guard lock(mMutex);
        return mRequests;
    }

    std::vector<TAccess> Accesses() const {
        std::lock_guard lock(mMutex);
        return mAccesses;
    }

    // The values written to one port, in order.
    std::vector<std::uint16_t> Writes(std::uint16_t port) const {
        std::lock_guard lock(mMutex);
        std::vector<std::uint16_t> values;
        for (const auto& access : mAccesses)
            if (access.Write && access.Port == port)
                values.push_back(access.Value);
        return values;
    }

    void Clear() {
        std::lock_guard lock(mMutex);
        mAccesses.clear();
    }

private:
    mutable std::mutex mMutex;
    std::vector<TAccess> mAccesses;
    std::vector<std::thread::id> mRequests;
};

// Selects a backend for the life of a test and restores the previous one afterwards.
class TScopedPortBackend {
public:
    explicit TScopedPortBackend(platform::TPortBackend* backend)
        : mPrevious(platform::SetPortBackend(backend)) {}
    ~TScopedPortBackend() { platform::SetPortBackend(mPrevious); }

private:
    platform::TPortBackend* mPrevious;
};
