#pragma once

#include "bus/BusWord.h"
#include "platform/PortIo.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace bus {

// A ring of 2048 signed 32-bit entries with one producer and one consumer and no lock: each
// index has exactly one writer, and an index is published with a release store only after
// the entry it covers has been stored (read with an acquire load on the other side).
// Empty when both indices are equal, full when write + 1 equals read, so 2047 entries fit.
class TParQueue {
public:
    static constexpr std::uint32_t Size = 2048;
    static constexpr std::uint32_t Mask = Size - 1;

    bool Empty() const;
    bool Full() const;
    std::uint32_t Count() const;

    // Producer side. False when the ring is full; nothing is stored then.
    bool Push(std::int32_t value);

    // Consumer side. Front reads the oldest entry without taking it, Advance takes it.
    bool Front(std::int32_t& value) const;
    void Advance();
    bool Pop(std::int32_t& value);

    // Sets both indices to 0; only safe while neither side is using the ring.
    void Reset();

private:
    std::array<std::int32_t, Size> mEntries{};
    alignas(64) std::atomic<std::uint32_t> mWrite{0};
    alignas(64) std::atomic<std::uint32_t> mRead{0};
};

// The parallel worker: takes bus words from the out queue, puts the data on port 788, waits
// one tick, pulses the strobe that the select code names, reads port 789 for a data strobe,
// and queues one result per word. It is created suspended, suspends itself whenever the out
// queue is empty (no CPU while idle) and is resumed by the window thread through its
// suspended mark, so a running worker is never resumed and a suspended one never suspended
// again.
class TZELM_PAR_Thread {
public:
    TZELM_PAR_Thread(TParQueue& outQueue, TParQueue& inQueue);
    ~TZELM_PAR_Thread();

    TZELM_PAR_Thread(const TZELM_PAR_Thread&) = delete;
    TZELM_PAR_Thread& operator=(const TZELM_PAR_Thread&) = delete;

    // Resumes the worker when it is marked suspended; does nothing otherwise.
    void Resume();
    bool Suspended() const;

    // Sets the terminate flag, wakes the worker so that it sees it, and waits until it has
    // ended. After this the worker touches no queue and no port.
    void Terminate();

private:
    void Execute();
    void SuspendSelf();
    void TransferWord(std::int32_t word);

    TParQueue& mOutQueue;
    TParQueue& mInQueue;
    std::atomic<bool> mSuspended{true};
    std::atomic<bool> mTerminated{false};
    std::thread mThread;
};

// The transport: both queues and the worker. The program has one (ParTransport()); tests
// make their own.
class TParTransport {
public:
    TParQueue OutQueue;
    TParQueue InQueue;
    std::unique_ptr<TZELM_PAR_Thread> ParThread;

    TParTransport() = default;
    ~TParTransport();

    // The program's start of the transport, on the main thread before any other thread of the
    // program exists, in the order the port permission needs: asks `ports` for access (with
    // none, as for the simulated card, nothing is asked), has `dropPrivileges` give up what
    // the request needed while there is still one thread, selects the ports when granted, and
    // only then creates the worker, which inherits the permission and never asks itself.
    // Empty, with nothing selected and no worker, when `dropPrivileges` fails.
    std::optional<platform::TPortAccess> Start(platform::TPortBackend* ports,
                                               const std::function<bool()>& dropPrivileges);
    // Creates the worker, suspended. Until then words only wait in the out queue.
    void CreateWorker();
    // Ends the worker and waits for it; queued words stay where they are.
    void StopWorker();

    // Queues a word; returns the word, or word + 256 when 2047 words already wait.
    int PutWord(int word);
    // The oldest result, or NoDataYet (256) when none waits; resumes a suspended worker in
    // that case, in case a word was queued just as the worker was about to suspend.
    int GetFeedback();
    // Empties both queues and drops every line of port 788. `clock` (100 to 1600, the PC
    // clock setting) is accepted; the timing does not depend on it.
    void ResetTransport(int clock);
};

// The program's transport, created at start-up.
TParTransport& ParTransport();

int PutWord(int word);
int GetFeedback();
void ResetTransport(int clock);

} // namespace bus
