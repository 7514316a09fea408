#pragma once

#include "capture/Capture.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace bus {

class TOutputStream;

// A capture written to a file as it goes, pcapng or CSV by the file's name (settings/OutputFile.h's
// rule for where it goes): the file's head at the start, then each event as it is recorded; a
// CSV row once its word's reply has come or can no longer come. The bytes are those the
// whole-file writers give for the same events. A thread of the stream's own writes them, at
// the latest FlushMs after they came, so that the bus never waits for the disc or for a
// FIFO's reader, and a run killed at any moment leaves a file that reads up to its last
// second. Not limited by the capture's ring.
class TCaptureStream final : public TCaptureSink {
public:
    static constexpr int FlushMs = 250;
    // What waits for a reader that does not keep up before events are dropped (and counted).
    static constexpr std::size_t MaxBuffered = std::size_t{64} << 20;

    // Starts a stream of `capture` at `path`, the events the capture holds already first, and
    // takes every event the capture records from then on; nullptr with the reason.
    static std::unique_ptr<TCaptureStream> Open(TCapture& capture, const std::string& path,
                                                std::string& error);
    ~TCaptureStream() override;
    TCaptureStream(const TCaptureStream&) = delete;
    TCaptureStream& operator=(const TCaptureStream&) = delete;

    // Leaves the capture, writes what is left and closes the file. False with the reason when
    // not every event reached it: a write that failed, a reader that went away or took nothing
    // for StallLimitMs after the end, events dropped because the reader did not keep up.
    bool Close(std::string& error);

    // The events written or waiting to be, and those dropped.
    std::uint64_t Events() const { return mEvents; }
    std::uint64_t Dropped() const { return mDropped; }

    void Recorded(const TCapture& capture, std::uint64_t sequence) override;
    void Dropping(const TCapture& capture, std::uint64_t sequence) override;

private:
    TCaptureStream(TCapture& capture, std::unique_ptr<TOutputStream> output, bool csv);

    void Append(const std::string& bytes);
    void WriteHeldRows(const TCapture& capture, std::uint64_t forcedBefore);
    void WriterLoop();
    bool WriteChunk(const std::string& chunk, std::string& error);

    TCapture* mCapture;
    std::unique_ptr<TOutputStream> mOutput;
    bool mCsv;

    // CSV: the rows not yet written, in order; a word's row waits for its reply.
    struct THeldRow {
        std::uint64_t Sequence;
        std::uint64_t Reply;
    };
    std::deque<THeldRow> mHeld;
    std::uint64_t mEvents = 0;

    std::mutex mMutex;
    std::condition_variable mWake;
    std::string mBuffer;
    std::atomic<bool> mClosing{false};
    std::atomic<bool> mFailed{false};
    std::atomic<std::uint64_t> mDropped{0};
    std::string mError;
    bool mClosed = false;
    std::thread mWriter;
};

} // namespace bus
