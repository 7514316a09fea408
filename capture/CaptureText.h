#pragma once

#include "capture/CaptureRows.h"

#include <string>

namespace bus {

// A row of the bus monitor as it reads, but for its time, which each front-end writes in its
// own clock and mode: "→ rek", "0x82", "1000 0010", "adres", "2", "0x40", the meaning, the
// latency in milliseconds with three decimals and the status, in the user's language.
struct TRowCells {
    std::string Direction;
    std::string Word;
    std::string Bits;
    std::string Strobe;
    std::string AddressOrData;
    std::string Reply;
    std::string Meaning;
    std::string Latency;
    std::string Status;
};
TRowCells RowCells(const TCapture& capture, const TCaptureRow& row);

// How a row stands out: a word without a reply, or one that failed otherwise.
enum class TRowMark { None, NoReply, Failure };
TRowMark RowMark(const TCapture& capture, const TCaptureRow& row);

// The monitor's counters in one line: words, replies, no reply, words a second, events lost.
std::string CountersText(const TCapture& capture, double wordsPerSecond);

// Words a second over the last second or more, from the capture's own counts and clock.
class TWordRate {
public:
    double Take(const TCapture& capture);

private:
    std::uint64_t mWordsBefore = 0;
    std::uint64_t mTimeBefore = 0;
    double mRate = 0;
};

} // namespace bus
