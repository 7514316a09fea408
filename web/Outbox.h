#pragma once

#include "platform/Tick.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace web {

// What a frame is to a page that falls behind: a state (the newest replaces every one of its
// kind still waiting), the monitor's rows (dropped oldest first once too many wait), or an
// event (a message, a refusal, a report: each one kept, in order).
enum class TFrameKind { State, Rows, Event };

struct TFrameInfo {
    TFrameKind Kind = TFrameKind::Event;
    std::string Key;      // the frame's "type"
    std::size_t Rows = 0; // the monitor's rows it holds
};

// From the frame's "type": "monitor" holds rows, "message", "refused", "report" and "show" are
// events, every other type is a state. A text that is no JSON object is an event.
TFrameInfo ClassifyFrame(std::string_view frame);

// The frames that wait for one page, with a bound: a page that reads slowly, or not at all,
// holds at most one frame of each state, MaxRowBytes of rows (none older than RowsFor) and
// MaxEvents events. A page is
// behind while a write of it has not ended, or from the first rows dropped until everything
// waiting has been written; behind for longer than BehindFor, or with more events than it may
// hold, it is to be closed (its page connects again and gets the newest state).
class TOutbox {
public:
    using TClock = platform::TTickClock;
    using TFrame = std::shared_ptr<const std::string>;
    static constexpr std::size_t MaxRowBytes = 512 * 1024;
    static constexpr std::chrono::milliseconds RowsFor{2000};
    static constexpr std::size_t MaxEvents = 256;
    static constexpr std::chrono::milliseconds BehindFor{10000};

    void Push(TFrame frame, const TFrameInfo& info, TClock::time_point now);
    // The next frame to write, taken out, while none is being written; null when none waits.
    TFrame Take(TClock::time_point now);
    // The frame taken has been written (or its write failed).
    void Written();

    bool Writing() const { return mWriting; }
    // Whether the page is to be closed now.
    bool Overdue(TClock::time_point now) const;
    // The rows dropped for this page since it opened.
    std::uint64_t Missed() const { return mMissed; }
    // True once after rows were dropped.
    bool TakeDropped();
    std::size_t Frames() const { return mQueue.size(); }
    std::size_t Bytes() const { return mBytes; }

private:
    struct TEntry {
        TFrame Frame;
        TFrameKind Kind;
        std::string Key;
        std::size_t Rows;
        TClock::time_point Pushed;
    };
    void Remove(std::deque<TEntry>::iterator entry);

    std::deque<TEntry> mQueue;
    std::size_t mBytes = 0;
    std::size_t mRowBytes = 0;
    std::size_t mEvents = 0;
    bool mTooManyEvents = false;
    bool mWriting = false;
    TClock::time_point mWritingSince{};
    std::optional<TClock::time_point> mBehindSince;
    std::uint64_t mMissed = 0;
    bool mDropped = false;
};

} // namespace web
