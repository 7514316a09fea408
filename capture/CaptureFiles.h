#pragma once

#include "capture/Capture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bus {

// Which events of a capture go into a file: all it holds, or the events of some exchanges
// (each a word's sequence number, or any other event's), with the replies to those words.
struct TCaptureSelection {
    bool All = true;
    std::vector<std::uint64_t> Events; // ascending, when not All
};

// The capture as pcapng (the format Wireshark reads): one interface per transport (link type
// LINKTYPE_USER0, nanosecond time stamps), one enhanced packet block per event with its
// direction in the block's flags and the event as a small header described in the README;
// set-up events and notes carry their words as comments. False with the system's reason
// when the file could not be written.
bool WritePcapng(const TCapture& capture, const TCaptureSelection& selection,
                 const std::string& path, std::string& error);
std::string PcapngBytes(const TCapture& capture, const TCaptureSelection& selection);
// The parts of those bytes: the section header with the interfaces, and one event's block.
std::string PcapngHead(const TCapture& capture);
std::string PcapngPacket(const TCapture& capture, std::uint64_t sequence);

// The capture as CSV, one row per exchange (a word with its reply) or other event:
// time_utc,seconds,direction,word,meaning,reply,latency_ms,status
bool WriteCsv(const TCapture& capture, const TCaptureSelection& selection, const std::string& path,
              std::string& error);
std::string CsvText(const TCapture& capture, const TCaptureSelection& selection);
// Its parts: the first line, and the row of one event appended to `row`; a word's row holds
// its reply (`reply`, its sequence; 0 for none).
inline constexpr const char* CsvHead =
    "time_utc,seconds,direction,word,meaning,reply,latency_ms,status\n";
void AppendCsvRow(std::string& row, const TCapture& capture, std::uint64_t sequence,
                  std::uint64_t reply);

// A capture file made a part at a time, byte for byte the file that PcapngBytes or CsvText
// make at once: for a file sent as it is taken. The capture must stay as it is meanwhile (a
// snapshot, for one that goes on recording).
class TCaptureFileParts {
public:
    TCaptureFileParts(const TCapture& capture, const TCaptureSelection& selection, bool csv);
    // Appends the next events to `out` until it holds `size` bytes or more, or the file is whole.
    void Next(std::string& out, std::size_t size);
    bool Done() const;

private:
    const TCapture& mCapture;
    bool mCsv;
    bool mAll;
    bool mHead = true;
    std::vector<std::uint64_t> mChosen;  // the events when not all
    std::vector<std::uint64_t> mReplies; // RepliesByWord, for CSV or a choice
    std::uint64_t mNext = 0;             // the next sequence, or index into mChosen
};

// Writes to a file by the file's extension: ".csv" as CSV, anything else as pcapng. Every
// writer goes by the rule of SaveFile (settings/OutputFile.h).
bool WriteCapture(const TCapture& capture, const TCaptureSelection& selection,
                  const std::string& path, std::string& error);
bool IsCsvName(const std::string& path);

// The sequence of the reply to each word that has one: index i holds the reply to event
// Begin() + i, or 0 when there is none.
std::vector<std::uint64_t> RepliesByWord(const TCapture& capture);

// An instant as ISO 8601 in UTC with nanoseconds: 2026-12-09T10:15:30.123456789Z.
std::string IsoTime(std::int64_t wallNs);

} // namespace bus
