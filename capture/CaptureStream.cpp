#include "capture/CaptureStream.h"

#include "capture/CaptureFiles.h"
#include "platform/Messages.h"
#include "platform/Tick.h"
#include "settings/OutputFile.h"

#include <chrono>
#include <cstdio>

namespace bus {

std::unique_ptr<TCaptureStream> TCaptureStream::Open(TCapture& capture, const std::string& path,
                                                     std::string& error) {
    const bool csv = IsCsvName(path);
    std::unique_ptr<TOutputStream> output =
        OpenOutputStream(path, csv ? std::string(CsvHead) : PcapngHead(capture), error);
    if (!output)
        return nullptr;
    std::unique_ptr<TCaptureStream> stream(new TCaptureStream(capture, std::move(output), csv));
    for (std::uint64_t sequence = capture.Begin(); sequence < capture.End(); ++sequence)
        stream->Recorded(capture, sequence);
    capture.SetSink(stream.get());
    return stream;
}

TCaptureStream::TCaptureStream(TCapture& capture, std::unique_ptr<TOutputStream> output, bool csv)
    : mCapture(&capture), mOutput(std::move(output)), mCsv(csv), mWriter([this] { WriterLoop(); }) {
}

TCaptureStream::~TCaptureStream() {
    std::string error;
    Close(error);
}

void TCaptureStream::Append(const std::string& bytes) {
    bool wake = false;
    {
        const std::lock_guard lock(mMutex);
        if (mFailed)
            return;
        if (mBuffer.size() + bytes.size() > MaxBuffered) {
            ++mDropped;
            return;
        }
        wake = mBuffer.empty();
        mBuffer += bytes;
    }
    if (wake)
        mWake.notify_one();
}

void TCaptureStream::Recorded(const TCapture& capture, std::uint64_t sequence) {
    ++mEvents;
    if (!mCsv) {
        Append(PcapngPacket(capture, sequence));
        return;
    }
    const TCaptureEvent& event = capture.At(sequence);
    bool onWordsRow = false;
    if (event.Kind == TEventKind::Reply && event.Paired()) {
        // The reply stands on its word's row while that row waits; the latest words are the
        // likeliest.
        const std::uint64_t word = sequence - event.PairBack;
        for (auto row = mHeld.rbegin(); row != mHeld.rend() && row->Sequence >= word; ++row) {
            if (row->Sequence == word) {
                row->Reply = sequence;
                onWordsRow = true;
                break;
            }
        }
    }
    if (!onWordsRow)
        mHeld.push_back({sequence, 0});
    WriteHeldRows(capture, 0);
}

void TCaptureStream::Dropping(const TCapture& capture, std::uint64_t sequence) {
    // The ring forgets the event: its row goes now, a word's with what it has.
    WriteHeldRows(capture, sequence + 1);
}

// Writes the held rows that are done, up to a word that may still get its reply, and every row
// before `forcedBefore` whatever it waits for.
void TCaptureStream::WriteHeldRows(const TCapture& capture, std::uint64_t forcedBefore) {
    std::string rows;
    while (!mHeld.empty()) {
        const THeldRow row = mHeld.front();
        if (row.Sequence >= forcedBefore && row.Reply == 0 &&
            capture.At(row.Sequence).Kind == TEventKind::Word && capture.AwaitsReply(row.Sequence))
            break;
        AppendCsvRow(rows, capture, row.Sequence, row.Reply);
        mHeld.pop_front();
    }
    if (!rows.empty())
        Append(rows);
}

bool TCaptureStream::WriteChunk(const std::string& chunk, std::string& error) {
    std::string_view left = chunk;
    std::uint32_t lastProgress = platform::GetTickCount();
    while (!left.empty()) {
        const std::ptrdiff_t n = mOutput->WriteSome(left, 100, error);
        if (n < 0)
            return false;
        if (n > 0) {
            left.remove_prefix(static_cast<std::size_t>(n));
            lastProgress = platform::GetTickCount();
        } else if (!mClosing) {
            // The run goes on: a reader that has not come yet, or is slow, is waited for.
            lastProgress = platform::GetTickCount();
        } else if (platform::TicksPassed(lastProgress, StallLimitMs)) {
            char text[128];
            std::snprintf(text, sizeof text, platform::Tr("niemand las er %d s lang iets van"),
                          StallLimitMs / 1000);
            error = text;
            return false;
        }
    }
    return true;
}

void TCaptureStream::WriterLoop() {
    std::unique_lock lock(mMutex);
    for (;;) {
        mWake.wait(lock, [this] { return !mBuffer.empty() || mClosing; });
        // A moment for more events to come, so that a busy bus is written in large pieces.
        if (!mClosing)
            mWake.wait_for(lock, std::chrono::milliseconds(FlushMs),
                           [this] { return mClosing.load() || mBuffer.size() >= (1u << 20); });
        if (mBuffer.empty()) {
            if (mClosing)
                return;
            continue;
        }
        std::string chunk;
        chunk.swap(mBuffer);
        lock.unlock();
        std::string error;
        const bool written = WriteChunk(chunk, error);
        lock.lock();
        if (!written) {
            mError = error;
            mFailed = true;
            mBuffer.clear();
            return;
        }
    }
}

bool TCaptureStream::Close(std::string& error) {
    if (mClosed)
        return mError.empty() || (error = mError, false);
    mClosed = true;
    mCapture->SetSink(nullptr);
    if (mCsv)
        WriteHeldRows(*mCapture, UINT64_MAX);
    {
        // Under the lock, so that the writer cannot miss it between its look and its wait.
        const std::lock_guard lock(mMutex);
        mClosing = true;
    }
    mWake.notify_one();
    mWriter.join();
    std::string closeError;
    const bool closed = mOutput->Close(closeError);
    if (mError.empty() && !closed)
        mError = closeError;
    if (mError.empty() && mDropped > 0) {
        char text[160];
        std::snprintf(text, sizeof text,
                      platform::Tr("%llu gebeurtenissen zijn niet geschreven: de lezer hield de "
                                   "opname niet bij"),
                      static_cast<unsigned long long>(mDropped.load()));
        mError = text;
    }
    if (!mError.empty())
        error = mError;
    return mError.empty();
}

} // namespace bus
