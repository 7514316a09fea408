#include "bus/ParallelTransport.h"

#include "bus/CardWords.h"
#include "platform/PortIo.h"
#include "platform/Thread.h"
#include "platform/Tick.h"

#include <chrono>
#include <thread>

namespace bus {

// ---- TParQueue ----

bool TParQueue::Empty() const {
    // Sequentially consistent: the worker's look at the queue just after it marked itself
    // suspended must not be ordered before that mark (see SuspendSelf).
    return mRead.load(std::memory_order_seq_cst) == mWrite.load(std::memory_order_seq_cst);
}

bool TParQueue::Full() const {
    return ((mWrite.load(std::memory_order_acquire) + 1) & Mask) ==
           mRead.load(std::memory_order_acquire);
}

std::uint32_t TParQueue::Count() const {
    return (mWrite.load(std::memory_order_acquire) - mRead.load(std::memory_order_acquire)) & Mask;
}

bool TParQueue::Push(std::int32_t value) {
    const std::uint32_t write = mWrite.load(std::memory_order_relaxed);
    const std::uint32_t next = (write + 1) & Mask;
    if (next == mRead.load(std::memory_order_acquire))
        return false;
    mEntries[write] = value;
    // A release store that is also sequentially consistent, for the worker's suspend check.
    mWrite.store(next, std::memory_order_seq_cst);
    return true;
}

bool TParQueue::Front(std::int32_t& value) const {
    const std::uint32_t read = mRead.load(std::memory_order_relaxed);
    if (read == mWrite.load(std::memory_order_acquire))
        return false;
    value = mEntries[read];
    return true;
}

void TParQueue::Advance() {
    const std::uint32_t read = mRead.load(std::memory_order_relaxed);
    mRead.store((read + 1) & Mask, std::memory_order_release);
}

bool TParQueue::Pop(std::int32_t& value) {
    if (!Front(value))
        return false;
    Advance();
    return true;
}

void TParQueue::Reset() {
    mWrite.store(0, std::memory_order_release);
    mRead.store(0, std::memory_order_release);
}

// ---- TZELM_PAR_Thread ----

TZELM_PAR_Thread::TZELM_PAR_Thread(TParQueue& outQueue, TParQueue& inQueue)
    : mOutQueue(outQueue), mInQueue(inQueue) {
    mThread = std::thread([this] { Execute(); });
}

TZELM_PAR_Thread::~TZELM_PAR_Thread() {
    Terminate();
}

void TZELM_PAR_Thread::Resume() {
    bool suspended = true;
    if (mSuspended.compare_exchange_strong(suspended, false))
        mSuspended.notify_one();
}

bool TZELM_PAR_Thread::Suspended() const {
    return mSuspended.load();
}

void TZELM_PAR_Thread::Terminate() {
    mTerminated.store(true);
    mSuspended.store(false);
    mSuspended.notify_one();
    if (mThread.joinable())
        mThread.join();
}

void TZELM_PAR_Thread::SuspendSelf() {
    if (mSuspended.load())
        return;
    // The mark, the producer's index store, its look at the mark and our look at the queue
    // are all sequentially consistent: either the producer sees the mark and resumes us, or
    // we see its word here and take the mark back. No word is left waiting on a sleeper.
    mSuspended.store(true);
    if (!mOutQueue.Empty() || mTerminated.load()) {
        bool suspended = true;
        mSuspended.compare_exchange_strong(suspended, false);
        return;
    }
    mSuspended.wait(true);
}

void TZELM_PAR_Thread::Execute() {
    platform::RaiseThreadPriority();
    mSuspended.wait(true); // created suspended
    while (!mTerminated.load()) {
        std::int32_t word = 0;
        if (!mOutQueue.Front(word)) {
            SuspendSelf();
            continue;
        }
        TransferWord(word);
        mOutQueue.Advance();
    }
}

void TZELM_PAR_Thread::TransferWord(std::int32_t word) {
    const TStrobe strobe = StrobeOf(word);
    const int data = DataLines(word);
    std::int32_t result = word;

    platform::PortOut(platform::BusOutPort, static_cast<std::uint16_t>(data));
    // Let the data lines settle for at least one tick before the strobe; the wait is not
    // yielded, so a word costs about one tick and no more.
    const std::uint32_t noted = platform::MachineTickCount();
    while (platform::MachineTickCount() == noted) {
    }

    switch (strobe) {
    case TStrobe::LatchData:
        platform::PortOut(platform::BusOutPort, static_cast<std::uint16_t>(data + 32));
        break;
    case TStrobe::Data: {
        platform::PortOut(platform::BusOutPort, static_cast<std::uint16_t>(data + 64));
        result = StatusPortFeedback(platform::PortIn(platform::BusInPort), word);
        break;
    }
    case TStrobe::Address:
        platform::PortOut(platform::BusOutPort, static_cast<std::uint16_t>(data + 128));
        break;
    case TStrobe::LatchAddress:
        platform::PortOut(platform::BusOutPort, static_cast<std::uint16_t>(data + 64));
        break;
    case TStrobe::None:
        break;
    }

    mInQueue.Push(result); // a full result queue drops the result
    platform::PortOut(platform::BusOutPort, static_cast<std::uint16_t>(data));
}

// ---- TParTransport ----

TParTransport::~TParTransport() {
    StopWorker();
}

std::optional<platform::TPortAccess>
TParTransport::Start(platform::TPortBackend* ports, const std::function<bool()>& dropPrivileges) {
    platform::TPortAccess access{true, 0, {}};
    if (ports)
        access = ports->RequestAccess();
    if (!dropPrivileges())
        return std::nullopt;
    if (ports && access.Granted)
        platform::SetPortBackend(ports);
    CreateWorker();
    return access;
}

void TParTransport::CreateWorker() {
    if (!ParThread)
        ParThread = std::make_unique<TZELM_PAR_Thread>(OutQueue, InQueue);
}

void TParTransport::StopWorker() {
    ParThread.reset();
}

int TParTransport::PutWord(int word) {
    if (!OutQueue.Push(word))
        return word + 256;
    if (ParThread)
        ParThread->Resume();
    return word;
}

int TParTransport::GetFeedback() {
    std::int32_t value = 0;
    if (InQueue.Pop(value))
        return value;
    if (ParThread)
        ParThread->Resume();
    return NoDataYet;
}

void TParTransport::ResetTransport(int /*clock*/) {
    // Zeroing the indices under a worker that is still busy with earlier words would leave
    // its read index past the new write index, and it would run through 2047 stale entries.
    // So let it finish what it holds first: at one tick a word that is at most about two
    // seconds, and normally nothing at all.
    if (ParThread) {
        // The worker's time is the machine's, not the program's clock.
        const std::uint32_t start = platform::MachineTickCount();
        while (!(ParThread->Suspended() && OutQueue.Empty()) &&
               platform::MachineTickCount() - start < 3000)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    OutQueue.Reset();
    InQueue.Reset();
    platform::PortOut(platform::BusOutPort, 0);
}

TParTransport& ParTransport() {
    static TParTransport transport;
    return transport;
}

int PutWord(int word) {
    return ParTransport().PutWord(word);
}

int GetFeedback() {
    return ParTransport().GetFeedback();
}

void ResetTransport(int clock) {
    ParTransport().ResetTransport(clock);
}

} // namespace bus
