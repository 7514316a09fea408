#include "web/Outbox.h"

#include <nlohmann/json.hpp>

namespace web {

TFrameInfo ClassifyFrame(std::string_view frame) {
    TFrameInfo info;
    const nlohmann::json value = nlohmann::json::parse(frame, nullptr, false);
    if (!value.is_object())
        return info;
    const auto type = value.find("type");
    if (type == value.end() || !type->is_string())
        return info;
    info.Key = type->get<std::string>();
    if (info.Key == "monitor") {
        info.Kind = TFrameKind::Rows;
        const auto rows = value.find("rows");
        info.Rows = rows != value.end() && rows->is_array() ? rows->size() : 0;
    } else if (info.Key == "message" || info.Key == "refused" || info.Key == "report" ||
               info.Key == "show") {
        info.Kind = TFrameKind::Event;
    } else {
        info.Kind = TFrameKind::State;
    }
    return info;
}

void TOutbox::Remove(std::deque<TEntry>::iterator entry) {
    mBytes -= entry->Frame->size();
    if (entry->Kind == TFrameKind::Rows)
        mRowBytes -= entry->Frame->size();
    else if (entry->Kind == TFrameKind::Event)
        --mEvents;
    mQueue.erase(entry);
}

void TOutbox::Push(TFrame frame, const TFrameInfo& info, TClock::time_point now) {
    if (info.Kind == TFrameKind::State) {
        // The newest state goes after everything that came before it.
        for (auto entry = mQueue.begin(); entry != mQueue.end(); ++entry)
            if (entry->Kind == TFrameKind::State && entry->Key == info.Key) {
                Remove(entry);
                break;
            }
    } else if (info.Kind == TFrameKind::Rows) {
        // Rows too many, or waiting too long: the page would show the past.
        while (true) {
            auto oldest = mQueue.begin();
            while (oldest != mQueue.end() && oldest->Kind != TFrameKind::Rows)
                ++oldest;
            if (oldest == mQueue.end())
                break; // a single frame larger than the bound goes alone
            if (mRowBytes + frame->size() <= MaxRowBytes && now - oldest->Pushed <= RowsFor)
                break;
            mMissed += oldest->Rows;
            mDropped = true;
            if (!mBehindSince)
                mBehindSince = now;
            Remove(oldest);
        }
    } else if (mEvents >= MaxEvents) {
        mTooManyEvents = true;
        return;
    }
    mBytes += frame->size();
    if (info.Kind == TFrameKind::Rows)
        mRowBytes += frame->size();
    else if (info.Kind == TFrameKind::Event)
        ++mEvents;
    mQueue.push_back({std::move(frame), info.Kind, info.Key, info.Rows, now});
}

TOutbox::TFrame TOutbox::Take(TClock::time_point now) {
    if (mWriting || mQueue.empty())
        return nullptr;
    TFrame frame = mQueue.front().Frame;
    Remove(mQueue.begin());
    mWriting = true;
    mWritingSince = now;
    return frame;
}

void TOutbox::Written() {
    mWriting = false;
    if (mQueue.empty())
        mBehindSince.reset();
}

bool TOutbox::Overdue(TClock::time_point now) const {
    return mTooManyEvents || (mWriting && now - mWritingSince > BehindFor) ||
           (mBehindSince && now - *mBehindSince > BehindFor);
}

bool TOutbox::TakeDropped() {
    const bool dropped = mDropped;
    mDropped = false;
    return dropped;
}

} // namespace web
