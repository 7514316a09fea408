#pragma once

#include "capture/Capture.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace bus {

// Which rows a monitor shows. Hiding rows never drops an event from the capture.
struct TCaptureFilter {
    // The strobes whose words are shown; other events (port accesses, the handshake, notes,
    // replies without a word) count as "other".
    bool Address = true;
    bool Data = true;
    bool LatchAddress = true;
    bool LatchData = true;
    bool Other = true;
    // Only rows for this place (0 to 63): its address words and what went to and came from it
    // while it was selected; -1 for every place.
    int Place = -1;
    // Only rows whose word or reply did not go well.
    bool ProblemsOnly = false;

    bool operator==(const TCaptureFilter&) const = default;
};

// A row: an exchange (a word and the reply to it), or another event on its own.
struct TCaptureRow {
    std::uint64_t Event = 0;
    std::uint64_t Reply = NoEvent; // the reply's sequence, or NoEvent
    static constexpr std::uint64_t NoEvent = ~std::uint64_t{0};

    bool HasReply() const { return Reply != NoEvent; }
};

// The rows of a capture under a filter, taken in as the capture grows: memory stays bounded by
// the capture's ring, since rows whose events the ring has dropped go too.
class TCaptureRows {
public:
    // What one Update changed: rows dropped at the front, then rows appended at the end and a
    // range of rows whose reply came; or the rows made anew (a row that came in between
    // others, a cleared capture).
    struct TChange {
        bool Remade = false;
        std::size_t Dropped = 0;
        std::size_t Appended = 0;
        std::size_t FirstUpdated = NoRow;
        std::size_t LastUpdated = 0;
        static constexpr std::size_t NoRow = ~std::size_t{0};
    };

    static constexpr std::size_t Unlimited = ~std::size_t{0};
    // Takes in the events recorded since the last update, at most `budget` of them: the rest
    // wait for the next update (Behind).
    TChange Update(const TCapture& capture, std::size_t budget = Unlimited);
    // Whether events wait that no update has taken in yet.
    bool Behind(const TCapture& capture) const { return mNext < capture.End(); }
    // A new filter: the rows are made again from every event the capture holds.
    void SetFilter(const TCapture& capture, const TCaptureFilter& filter);
    // A new filter whose rows the next updates make again, a budget at a time.
    void Refilter(const TCaptureFilter& filter);
    const TCaptureFilter& Filter() const { return mFilter; }
    // Forgets every row; the next update starts at the capture's first event.
    void Reset();

    const std::deque<TCaptureRow>& Rows() const { return mRows; }
    // The status of a row: its word's, or its reply's when the word went well.
    static TEventStatus RowStatus(const TCapture& capture, const TCaptureRow& row);
    bool Matches(const TCapture& capture, const TCaptureRow& row) const;

private:

    TCaptureFilter mFilter;
    std::deque<TCaptureRow> mRows;
    std::uint64_t mNext = 0; // the first event not taken in
};

} // namespace bus
