#pragma once

#include "bus/BusRecorder.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace bus {

enum class TDirection : std::uint8_t { ToRack = 0, FromRack = 1, None = 2 };

inline constexpr std::uint8_t NoPlace = 0xFF;

// One event on the bus. 24 bytes, so that a million of them fit in 24 MB.
struct TCaptureEvent {
    std::uint64_t TimeNs = 0;     // monotonic nanoseconds since the capture started
    std::uint32_t PairBack = 0;   // a reply's word: this many events before it; 0 for none
    std::uint32_t LatencyUs = 0;  // a paired reply: the time from its word
    std::uint16_t Value = 0;      // the byte; a speed change's baud rate / 100
    std::uint8_t PairedWord = 0;  // a paired reply's word
    std::uint8_t Place = NoPlace; // the place the last address strobe selected
    TEventKind Kind = TEventKind::Word;
    TEventTransport Transport = TEventTransport::Serial;
    TDirection Direction = TDirection::ToRack;
    TEventStatus Status = TEventStatus::Ok;

    bool Paired() const { return PairBack != 0; }
};

// The clocks of a capture: a monotonic one and the wall clock (UTC), both in nanoseconds;
// none given: the system's. Tests give their own, so that times in files compare exactly.
struct TCaptureClock {
    std::int64_t (*Monotonic)() = nullptr;
    std::int64_t (*Wall)() = nullptr;
};

class TCapture;

// Takes each event as it is recorded, on the capture's thread: a file written as it goes.
class TCaptureSink {
public:
    virtual ~TCaptureSink() = default;
    // The event is recorded whole (a reply already paired with its word).
    virtual void Recorded(const TCapture& capture, std::uint64_t sequence) = 0;
    // The ring is full: the event is dropped next, so a sink that still needs it takes it now.
    virtual void Dropping(const TCapture& /*capture*/, std::uint64_t /*sequence*/) {}
};

// Everything the bus does, recorded with its time, in a ring of a fixed number of events that
// is allocated once: recording never allocates, never waits, and when the ring is full it
// drops the oldest event and counts it as lost. A reply is paired with the word it answers
// (the oldest word without a reply; a serial send drops the words before it, as the card's
// answer is always to the latest word). Used on one thread: the bus's.
class TCapture : public TBusRecorder {
public:
    static constexpr std::size_t DefaultCapacity = 1'000'000;

    explicit TCapture(std::size_t capacity = DefaultCapacity, TCaptureClock clock = {});
    ~TCapture();
    TCapture(const TCapture&) = delete;
    TCapture& operator=(const TCapture&) = delete;

    // Events are numbered from 0 in the order recorded; the ring holds Begin() to End() - 1.
    std::uint64_t Begin() const { return mEnd - mCount; }
    std::uint64_t End() const { return mEnd; }
    const TCaptureEvent& At(std::uint64_t sequence) const {
        return mEvents[sequence % mCapacity];
    }
    std::size_t Capacity() const { return mCapacity; }
    // Events dropped because the ring was full.
    std::uint64_t Lost() const { return mLost; }

    // The wall clock at the start of the capture (nanoseconds since 1970, UTC), and the wall
    // time of an event.
    std::int64_t StartWallNs() const { return mStartWallNs; }
    std::int64_t WallNs(const TCaptureEvent& event) const {
        return mStartWallNs + static_cast<std::int64_t>(event.TimeNs);
    }

    // The rack behind the bus is the simulated one.
    bool Simulated = false;

    // Recording.
    void RecordWord(int word, TEventTransport transport, TEventStatus status) override;
    void RecordReply(int value, TEventTransport transport, TEventStatus status) override;
    void RecordPort(TEventKind kind, int value) override;
    void RecordHandshake(TEventKind kind, int value,
                         TEventStatus status = TEventStatus::Ok) override;
    void AddNote(std::string text);
    // The text of a note event; empty for any other.
    const std::string& NoteText(std::uint64_t sequence) const;

    // Every event from now on goes to `sink` as well; nullptr for none.
    void SetSink(TCaptureSink* sink) { mSink = sink; }
    // Whether a word still waits for its reply: a reply that comes next may be paired with it.
    bool AwaitsReply(std::uint64_t sequence) const;

    // Empties the ring, the counts and the pairing, and starts the clock again.
    void Clear();

    // What the ring holds now, with its numbers, notes, counts and clocks, in a capture of its
    // own: a file is made from it on another thread while this one goes on recording.
    std::unique_ptr<TCapture> Snapshot() const;

    // Counts over the whole capture (lost events included).
    std::uint64_t Words() const { return mWords; }
    std::uint64_t Replies() const { return mReplies; }
    std::uint64_t NoReplies() const { return mNoReplies; }

    // Monotonic nanoseconds since the start.
    std::uint64_t Now() const;

private:
    TCaptureEvent& Next(TEventKind kind, TEventTransport transport, TDirection direction,
                        TEventStatus status, int value);
    void Recorded() {
        if (mSink)
            mSink->Recorded(*this, mEnd - 1);
    }

    struct TPending {
        std::uint64_t Sequence;
        std::uint64_t TimeNs;
        std::uint8_t Word;
    };
    static constexpr std::size_t PendingSize = 4096;

    TCaptureClock mClock;
    std::size_t mCapacity;
    std::unique_ptr<TCaptureEvent[]> mEvents;
    std::uint64_t mEnd = 0;
    std::size_t mCount = 0;
    std::uint64_t mLost = 0;
    std::uint64_t mWords = 0;
    std::uint64_t mReplies = 0;
    std::uint64_t mNoReplies = 0;
    std::int64_t mStartWallNs = 0;
    std::int64_t mStartMonoNs = 0;
    std::uint8_t mPlace = NoPlace;
    std::unique_ptr<TPending[]> mPending;
    std::size_t mPendingFirst = 0;
    std::size_t mPendingCount = 0;
    std::deque<std::pair<std::uint64_t, std::string>> mNotes;
    TCaptureSink* mSink = nullptr;
};

// What an event means on this bus, in the program's words: the strobe and the address or data
// of a word, the feedback lines and short circuit of a reply to a data strobe, ...
std::string EventMeaning(const TCapture& capture, std::uint64_t sequence);
// The short names of a status and a transport, as the capture files write them.
const char* StatusName(TEventStatus status);
const char* TransportName(TEventTransport transport);

} // namespace bus
