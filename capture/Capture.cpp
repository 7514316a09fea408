#include "capture/Capture.h"

#include "bus/BusWord.h"
#include "bus/CardWords.h"
#include "platform/Messages.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace bus {

namespace {

std::int64_t MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t WallClockNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A text with one "%d" in it, as its translation has it; not printf, which would cost a
// streamed capture most of its time per event.
std::string Format(const char* format, int value) {
    std::string text = platform::Tr(format);
    if (const std::size_t at = text.find("%d"); at != std::string::npos)
        text.replace(at, 2, std::to_string(value));
    return text;
}

std::string WordMeaning(int word) {
    const int data = DataLines(word);
    switch (StrobeOf(word)) {
    case TStrobe::Address:
        return Format(platform::TrMark("adres %d"), data);
    case TStrobe::Data:
        return Format(platform::TrMark("data %d"), data);
    case TStrobe::LatchAddress:
        return Format(platform::TrMark("latchadres %d"), data);
    case TStrobe::LatchData:
        return Format(platform::TrMark("latchdata %d"), data);
    case TStrobe::None:
        break;
    }
    return Format(platform::TrMark("geen strobe, lijnen %d"), data);
}

std::string FeedbackMeaning(int value) {
    const TReply reply(value);
    std::string lines = platform::Tr("terugmelding ");
    for (int k = 3; k >= 0; --k)
        lines += reply.Line(k) ? '1' : '0';
    if (reply.ShortCircuit())
        lines += platform::Tr(", kortsluiting");
    return lines;
}

} // namespace

TCapture::TCapture(std::size_t capacity, TCaptureClock clock)
    : mClock{clock.Monotonic ? clock.Monotonic : MonotonicNs, clock.Wall ? clock.Wall : WallClockNs},
      mCapacity(capacity < 1 ? 1 : capacity),
      // Not value-initialised: the pages of the ring are touched only as it fills.
      mEvents(new TCaptureEvent[mCapacity]), mPending(new TPending[PendingSize]) {
    Clear();
}

TCapture::~TCapture() = default;

void TCapture::Clear() {
    mEnd = 0;
    mCount = 0;
    mLost = 0;
    mWords = 0;
    mReplies = 0;
    mNoReplies = 0;
    mPlace = NoPlace;
    mPendingFirst = 0;
    mPendingCount = 0;
    mNotes.clear();
    mStartWallNs = mClock.Wall();
    mStartMonoNs = mClock.Monotonic();
}

std::unique_ptr<TCapture> TCapture::Snapshot() const {
    auto copy = std::make_unique<TCapture>(mCount, mClock);
    for (std::uint64_t sequence = Begin(); sequence < mEnd; ++sequence)
        copy->mEvents[sequence % copy->mCapacity] = At(sequence);
    copy->Simulated = Simulated;
    copy->mEnd = mEnd;
    copy->mCount = mCount;
    copy->mLost = mLost;
    copy->mWords = mWords;
    copy->mReplies = mReplies;
    copy->mNoReplies = mNoReplies;
    copy->mStartWallNs = mStartWallNs;
    copy->mStartMonoNs = mStartMonoNs;
    copy->mPlace = mPlace;
    std::copy(mPending.get(), mPending.get() + PendingSize, copy->mPending.get());
    copy->mPendingFirst = mPendingFirst;
    copy->mPendingCount = mPendingCount;
    copy->mNotes = mNotes;
    return copy;
}

std::uint64_t TCapture::Now() const {
    return static_cast<std::uint64_t>(mClock.Monotonic() - mStartMonoNs);
}

TCaptureEvent& TCapture::Next(TEventKind kind, TEventTransport transport, TDirection direction,
                              TEventStatus status, int value) {
    if (mCount == mCapacity) {
        if (mSink)
            mSink->Dropping(*this, Begin());
        ++mLost;
        if (!mNotes.empty() && mNotes.front().first == Begin())
            mNotes.pop_front();
    } else {
        ++mCount;
    }
    TCaptureEvent& event = mEvents[mEnd % mCapacity];
    ++mEnd;
    event = TCaptureEvent{};
    event.TimeNs = Now();
    event.Value = static_cast<std::uint16_t>(value);
    event.Place = mPlace;
    event.Kind = kind;
    event.Transport = transport;
    event.Direction = direction;
    event.Status = status;
    return event;
}

void TCapture::RecordWord(int word, TEventTransport transport, TEventStatus status) {
    const std::uint8_t byte = static_cast<std::uint8_t>(word);
    // The serial card answers the latest word only: every send drops what the words before it
    // still had coming (the port's queues are purged).
    if (transport != TEventTransport::Parallel)
        mPendingCount = 0;
    if (status == TEventStatus::Ok && StrobeOf(byte) == TStrobe::Address)
        mPlace = static_cast<std::uint8_t>(DataLines(byte));
    TCaptureEvent& event = Next(TEventKind::Word, transport, TDirection::ToRack, status, byte);
    ++mWords;
    if (status == TEventStatus::Ok) {
        if (mPendingCount == PendingSize) {
            mPendingFirst = (mPendingFirst + 1) % PendingSize;
            --mPendingCount;
        }
        mPending[(mPendingFirst + mPendingCount) % PendingSize] = {End() - 1, event.TimeNs, byte};
        ++mPendingCount;
    }
    Recorded();
}

bool TCapture::AwaitsReply(std::uint64_t sequence) const {
    // The words wait in the order sent.
    for (std::size_t i = 0; i < mPendingCount; ++i) {
        const std::uint64_t waiting = mPending[(mPendingFirst + i) % PendingSize].Sequence;
        if (waiting >= sequence)
            return waiting == sequence;
    }
    return false;
}

void TCapture::RecordReply(int value, TEventTransport transport, TEventStatus status) {
    TCaptureEvent& event = Next(TEventKind::Reply, transport, TDirection::FromRack, status,
                                status == TEventStatus::Ok ? value : 0);
    if (status == TEventStatus::Ok)
        ++mReplies;
    else if (status == TEventStatus::NoReply)
        ++mNoReplies;
    if (mPendingCount > 0 && status != TEventStatus::NotConnected) {
        const TPending word = mPending[mPendingFirst];
        mPendingFirst = (mPendingFirst + 1) % PendingSize;
        --mPendingCount;
        const std::uint64_t back = End() - 1 - word.Sequence;
        // Unpaired when the word itself is gone from the ring.
        if (word.Sequence >= Begin() && back <= UINT32_MAX) {
            event.PairBack = static_cast<std::uint32_t>(back);
            event.PairedWord = word.Word;
            const std::uint64_t latency = (event.TimeNs - word.TimeNs) / 1000;
            event.LatencyUs =
                static_cast<std::uint32_t>(latency > UINT32_MAX ? UINT32_MAX : latency);
            // The feedback belongs to the place that was selected when the word went out.
            event.Place = At(word.Sequence).Place;
        }
    }
    Recorded();
}

void TCapture::RecordPort(TEventKind kind, int value) {
    Next(kind, TEventTransport::Parallel,
         kind == TEventKind::StatusPortRead ? TDirection::FromRack : TDirection::ToRack,
         TEventStatus::Ok, value & 0xFFFF);
    Recorded();
}

void TCapture::RecordHandshake(TEventKind kind, int value, TEventStatus status) {
    const TDirection direction = kind == TEventKind::OptionByte   ? TDirection::ToRack
                                 : kind == TEventKind::OptionEcho ? TDirection::FromRack
                                                                  : TDirection::None;
    Next(kind, TEventTransport::Serial, direction, status, value);
    mPendingCount = 0;
    Recorded();
}

void TCapture::AddNote(std::string text) {
    Next(TEventKind::Note, TEventTransport::Serial, TDirection::None, TEventStatus::Ok, 0);
    mNotes.emplace_back(End() - 1, std::move(text));
    Recorded();
}

const std::string& TCapture::NoteText(std::uint64_t sequence) const {
    static const std::string none;
    for (const auto& [noted, text] : mNotes)
        if (noted == sequence)
            return text;
    return none;
}

const char* StatusName(TEventStatus status) {
    switch (status) {
    case TEventStatus::Ok:
        return "ok";
    case TEventStatus::NoReply:
        return "no-reply";
    case TEventStatus::NotConnected:
        return "not-connected";
    case TEventStatus::SendFailed:
        return "send-failed";
    case TEventStatus::LineLost:
        return "line-lost";
    }
    return "?";
}

const char* TransportName(TEventTransport transport) {
    switch (transport) {
    case TEventTransport::Serial:
        return "serial";
    case TEventTransport::Parallel:
        return "parallel";
    case TEventTransport::Debug:
        return "debug";
    }
    return "?";
}

std::string EventMeaning(const TCapture& capture, std::uint64_t sequence) {
    const TCaptureEvent& event = capture.At(sequence);
    switch (event.Kind) {
    case TEventKind::Word:
        return WordMeaning(event.Value);
    case TEventKind::Reply:
        if (event.Status != TEventStatus::Ok)
            return {};
        if (event.Paired() && StrobeOf(event.PairedWord) == TStrobe::Data)
            return FeedbackMeaning(event.Value);
        return platform::Tr("echo");
    case TEventKind::DataPortWrite:
        return Format(platform::TrMark("datapoort %d"), event.Value);
    case TEventKind::StatusPortRead:
        return FeedbackMeaning(StatusPortFeedback(event.Value, 0)) +
               Format(platform::TrMark(" (statuspoort %d)"), event.Value);
    case TEventKind::OptionByte:
        return Format(platform::TrMark("optiebyte %d"), event.Value);
    case TEventKind::OptionEcho:
        return event.Status == TEventStatus::Ok ? Format(platform::TrMark("echo %d"), event.Value)
                                                : platform::Tr("geen echo");
    case TEventKind::SpeedChange:
        return Format(platform::TrMark("%d baud"), event.Value * 100);
    case TEventKind::Note:
        return capture.NoteText(sequence);
    }
    return {};
}

} // namespace bus
