#include "capture/CaptureRows.h"

#include "bus/BusWord.h"

#include <algorithm>

namespace bus {

TEventStatus TCaptureRows::RowStatus(const TCapture& capture, const TCaptureRow& row) {
    const TEventStatus status = capture.At(row.Event).Status;
    if (status != TEventStatus::Ok || !row.HasReply())
        return status;
    return capture.At(row.Reply).Status;
}

bool TCaptureRows::Matches(const TCapture& capture, const TCaptureRow& row) const {
    const TCaptureEvent& event = capture.At(row.Event);
    const bool word = event.Kind == TEventKind::Word;
    const TStrobe strobe = word ? StrobeOf(event.Value) : TStrobe::None;
    if (word) {
        const bool shown = (strobe == TStrobe::Address && mFilter.Address) ||
                           (strobe == TStrobe::Data && mFilter.Data) ||
                           (strobe == TStrobe::LatchAddress && mFilter.LatchAddress) ||
                           (strobe == TStrobe::LatchData && mFilter.LatchData) ||
                           (strobe == TStrobe::None && mFilter.Other);
        if (!shown)
            return false;
    } else if (!mFilter.Other) {
        return false;
    }
    if (mFilter.Place >= 0) {
        const int place = word && strobe == TStrobe::Address ? DataLines(event.Value) : event.Place;
        if (place != mFilter.Place)
            return false;
    }
    return !mFilter.ProblemsOnly || RowStatus(capture, row) != TEventStatus::Ok;
}

TCaptureRows::TChange TCaptureRows::Update(const TCapture& capture, std::size_t budget) {
    TChange change;
    if (capture.End() < mNext) {
        // The capture was cleared.
        mRows.clear();
        mNext = 0;
        change.Remade = true;
    }
    while (!mRows.empty() && mRows.front().Event < capture.Begin()) {
        mRows.pop_front();
        ++change.Dropped;
    }
    mNext = std::max(mNext, capture.Begin());
    const std::size_t before = mRows.size();
    const std::uint64_t end =
        capture.End() - mNext > budget ? mNext + budget : capture.End();
    for (; mNext < end; ++mNext) {
        const TCaptureEvent& event = capture.At(mNext);
        const bool reply = event.Kind == TEventKind::Reply && event.Paired() &&
                           mNext - event.PairBack >= capture.Begin();
        if (!reply) {
            TCaptureRow row{mNext};
            if (Matches(capture, row))
                mRows.push_back(row);
            continue;
        }
        const std::uint64_t word = mNext - event.PairBack;
        const auto place = std::lower_bound(
            mRows.begin(), mRows.end(), word,
            [](const TCaptureRow& row, std::uint64_t sequence) { return row.Event < sequence; });
        if (place != mRows.end() && place->Event == word) {
            place->Reply = mNext;
            if (!Matches(capture, *place)) {
                // Only "problems only" can turn a shown row away when its reply comes.
                mRows.erase(place);
                change.Remade = true;
                continue;
            }
            const auto index = static_cast<std::size_t>(place - mRows.begin());
            if (index < before) {
                change.FirstUpdated = std::min(change.FirstUpdated, index);
                change.LastUpdated = std::max(change.LastUpdated, index);
            }
            continue;
        }
        const TCaptureRow row{word, mNext};
        if (!Matches(capture, row))
            continue;
        if (mRows.insert(place, row) != mRows.end() - 1)
            change.Remade = true;
    }
    change.Appended = mRows.size() - before;
    if (change.Remade) {
        change.Appended = 0;
        change.FirstUpdated = TChange::NoRow;
    }
    return change;
}

void TCaptureRows::SetFilter(const TCapture& capture, const TCaptureFilter& filter) {
    mFilter = filter;
    Reset();
    Update(capture);
}

void TCaptureRows::Refilter(const TCaptureFilter& filter) {
    mFilter = filter;
    Reset();
}

void TCaptureRows::Reset() {
    mRows.clear();
    mNext = 0;
}

} // namespace bus
