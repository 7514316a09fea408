#include "capture/CaptureFiles.h"

#include "settings/OutputFile.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace bus {

namespace {

// ---- pcapng ----

constexpr std::uint32_t SectionHeaderBlock = 0x0A0D0D0A;
constexpr std::uint32_t InterfaceBlock = 1;
constexpr std::uint32_t EnhancedPacketBlock = 6;
constexpr std::uint16_t LinkTypeUser0 = 147;
constexpr std::uint16_t OptEndOfOpt = 0;
constexpr std::uint16_t OptComment = 1;
constexpr std::uint16_t ShbUserAppl = 4;
constexpr std::uint16_t IfName = 2;
constexpr std::uint16_t IfDescription = 3;
constexpr std::uint16_t IfTsResol = 9;
constexpr std::uint16_t EpbFlags = 2;
constexpr std::uint8_t HeaderVersion = 1;

// The blocks in the writer's byte order, which the section header's magic declares.
class TBlock {
public:
    explicit TBlock(std::uint32_t type) { U32(type).U32(0); }

    TBlock& U8(std::uint8_t value) {
        mBytes.push_back(static_cast<char>(value));
        return *this;
    }
    TBlock& U16(std::uint16_t value) { return Raw(&value, sizeof value); }
    TBlock& U32(std::uint32_t value) { return Raw(&value, sizeof value); }
    TBlock& U64(std::uint64_t value) { return Raw(&value, sizeof value); }
    TBlock& Raw(const void* data, std::size_t size) {
        mBytes.append(static_cast<const char*>(data), size);
        return *this;
    }
    TBlock& Pad() {
        while (mBytes.size() % 4 != 0)
            mBytes.push_back('\0');
        return *this;
    }
    TBlock& Option(std::uint16_t code, const std::string& value) {
        U16(code).U16(static_cast<std::uint16_t>(value.size()));
        return Raw(value.data(), value.size()).Pad();
    }
    std::string Finish() {
        U16(OptEndOfOpt).U16(0);
        const auto length = static_cast<std::uint32_t>(mBytes.size() + 4);
        U32(length);
        mBytes.replace(4, 4, reinterpret_cast<const char*>(&length), 4);
        return std::move(mBytes);
    }

private:
    std::string mBytes;
};

std::string Comment(const TCapture& capture, std::uint64_t sequence) {
    const TCaptureEvent& event = capture.At(sequence);
    switch (event.Kind) {
    case TEventKind::OptionByte:
    case TEventKind::OptionEcho:
    case TEventKind::SpeedChange:
    case TEventKind::Note:
        return EventMeaning(capture, sequence);
    default:
        return {};
    }
}

} // namespace

std::string PcapngPacket(const TCapture& capture, std::uint64_t sequence) {
    const TCaptureEvent& event = capture.At(sequence);
    std::string data;
    const auto byte = [&data](int value) { data.push_back(static_cast<char>(value)); };
    byte(HeaderVersion);
    byte(static_cast<int>(event.Kind));
    byte(static_cast<int>(event.Transport) | (capture.Simulated ? 0x80 : 0));
    byte(static_cast<int>(event.Status));
    byte(static_cast<int>(event.Direction));
    byte((event.Paired() ? 1 : 0) | (event.Place != NoPlace ? 2 : 0));
    byte(event.PairedWord);
    byte(event.Place);
    for (int shift = 24; shift >= 0; shift -= 8)
        byte(static_cast<int>((event.LatencyUs >> shift) & 0xFF));
    byte(event.Value >> 8);
    byte(event.Value & 0xFF);

    const auto wall = static_cast<std::uint64_t>(capture.WallNs(event));
    TBlock block(EnhancedPacketBlock);
    block.U32(static_cast<std::uint32_t>(event.Transport))
        .U32(static_cast<std::uint32_t>(wall >> 32))
        .U32(static_cast<std::uint32_t>(wall))
        .U32(static_cast<std::uint32_t>(data.size()))
        .U32(static_cast<std::uint32_t>(data.size()))
        .Raw(data.data(), data.size())
        .Pad();
    // Bits 0 and 1 of the flags: 01 inbound (from the rack), 10 outbound.
    const std::uint32_t flags = event.Direction == TDirection::FromRack ? 1
                                : event.Direction == TDirection::ToRack ? 2
                                                                        : 0;
    block.U16(EpbFlags).U16(4).U32(flags);
    const std::string comment = Comment(capture, sequence);
    if (!comment.empty())
        block.Option(OptComment, comment);
    return block.Finish();
}

namespace {

// ---- CSV ----
//
// A streamed CSV row is formatted for every event as it happens: the row is appended to one
// buffer field by field, numbers written by hand (printf and the temporaries of string sums
// were most of its cost).

void AppendField(std::string& row, const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) {
        row += text;
        return;
    }
    row += '"';
    for (const char c : text) {
        if (c == '"')
            row += '"';
        row += c;
    }
    row += '"';
}

void AppendDigits(std::string& text, std::uint64_t value, int width) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 || n < width);
    while (n > 0)
        text += digits[--n];
}

void AppendHex(std::string& text, int value) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    const char hex[] = {'0', 'x', Digits[(value >> 4) & 0xF], Digits[value & 0xF]};
    text.append(hex, sizeof hex);
}

// Whole and fractional part: nanoseconds as seconds with nine decimals, microseconds as
// milliseconds with three.
void AppendDecimal(std::string& text, std::uint64_t value, std::uint64_t unit, int decimals) {
    AppendDigits(text, value / unit, 1);
    text += '.';
    AppendDigits(text, value % unit, decimals);
}

void AppendIsoTime(std::string& text, std::int64_t wallNs) {
    const std::time_t seconds = static_cast<std::time_t>(wallNs / 1000000000);
    const long nanoseconds = static_cast<long>(wallNs % 1000000000);
    // Events come many a second: the date and time of day are made once a second.
    thread_local std::time_t cachedSecond = -1;
    thread_local char cachedText[32];
    thread_local std::size_t cachedLength = 0;
    if (seconds != cachedSecond) {
        std::tm utc{};
        gmtime_r(&seconds, &utc);
        cachedLength = std::strftime(cachedText, sizeof cachedText, "%Y-%m-%dT%H:%M:%S.", &utc);
        cachedSecond = seconds;
    }
    text.append(cachedText, cachedLength);
    AppendDigits(text, static_cast<std::uint64_t>(nanoseconds), 9);
    text += 'Z';
}

const char* DirectionName(TDirection direction) {
    return direction == TDirection::ToRack ? "out" : direction == TDirection::FromRack ? "in" : "";
}

} // namespace

std::vector<std::uint64_t> RepliesByWord(const TCapture& capture) {
    std::vector<std::uint64_t> replies(capture.End() - capture.Begin(), 0);
    for (std::uint64_t sequence = capture.Begin(); sequence < capture.End(); ++sequence) {
        const TCaptureEvent& event = capture.At(sequence);
        if (event.Kind == TEventKind::Reply && event.Paired())
            replies[sequence - event.PairBack - capture.Begin()] = sequence;
    }
    return replies;
}

std::string IsoTime(std::int64_t wallNs) {
    std::string text;
    AppendIsoTime(text, wallNs);
    return text;
}

std::string PcapngHead(const TCapture& capture) {
    TBlock header(SectionHeaderBlock);
    header.U32(0x1A2B3C4D).U16(1).U16(0).U64(~std::uint64_t{0});
    header.Option(ShbUserAppl, std::string("Morvelplint ") + MORVELPLINT_VERSION);
    header.Option(OptComment, "Morvelplint bus capture from " + IsoTime(capture.StartWallNs()) +
                                  (capture.Simulated ? ", simulated rack" : "") +
                                  (capture.Lost() ? ", " + std::to_string(capture.Lost()) +
                                                        " events lost before this"
                                                  : ""));
    std::string bytes = header.Finish();

    // Interface n is the transport numbered n.
    for (const TEventTransport transport :
         {TEventTransport::Serial, TEventTransport::Parallel, TEventTransport::Debug}) {
        TBlock interface(InterfaceBlock);
        interface.U16(LinkTypeUser0).U16(0).U32(0);
        interface.Option(IfName, TransportName(transport));
        interface.Option(IfDescription, std::string("ZELM rack bus, ") + TransportName(transport) +
                                            (capture.Simulated ? " (simulated rack)" : ""));
        interface.Option(IfTsResol, std::string(1, '\x09')); // 10^-9 s
        bytes += interface.Finish();
    }
    return bytes;
}

std::string PcapngBytes(const TCapture& capture, const TCaptureSelection& selection) {
    std::string bytes;
    TCaptureFileParts(capture, selection, false).Next(bytes, SIZE_MAX);
    return bytes;
}

void AppendCsvRow(std::string& row, const TCapture& capture, std::uint64_t sequence,
                  std::uint64_t reply) {
    const TCaptureEvent& event = capture.At(sequence);
    const TCaptureEvent* answer = event.Kind == TEventKind::Word && reply != 0 ? &capture.At(reply)
                                                                               : nullptr;
    AppendIsoTime(row, capture.WallNs(event));
    row += ',';
    AppendDecimal(row, event.TimeNs, 1000000000, 9);
    row += ',';
    row += DirectionName(event.Direction);
    row += ',';
    // The word: a word's, or the byte of a port access or handshake step that went out.
    const bool byteOut = event.Kind != TEventKind::Reply && event.Kind != TEventKind::Note &&
                         event.Kind != TEventKind::SpeedChange &&
                         event.Direction != TDirection::FromRack;
    if (event.Kind == TEventKind::Word || byteOut)
        AppendHex(row, event.Value);
    row += ',';
    std::string meaning = EventMeaning(capture, sequence);
    if (answer) {
        const std::string replyMeaning = EventMeaning(capture, reply);
        if (!replyMeaning.empty())
            meaning += "; " + replyMeaning;
    }
    AppendField(row, meaning);
    row += ',';
    // The reply: a word's answer, a reply of its own, or a byte that came in.
    if (answer ? answer->Status == TEventStatus::Ok
               : event.Kind == TEventKind::Reply ? event.Status == TEventStatus::Ok
                                                  : event.Kind != TEventKind::Word &&
                                                        event.Kind != TEventKind::Note &&
                                                        event.Kind != TEventKind::SpeedChange &&
                                                        event.Direction == TDirection::FromRack)
        AppendHex(row, answer ? answer->Value : event.Value);
    row += ',';
    if (answer)
        AppendDecimal(row, answer->LatencyUs, 1000, 3);
    row += ',';
    row += StatusName(answer && event.Status == TEventStatus::Ok ? answer->Status : event.Status);
    row += '\n';
}

std::string CsvText(const TCapture& capture, const TCaptureSelection& selection) {
    std::string text;
    TCaptureFileParts(capture, selection, true).Next(text, SIZE_MAX);
    return text;
}

// The events a selection writes: each chosen one and the reply to each chosen word.
TCaptureFileParts::TCaptureFileParts(const TCapture& capture, const TCaptureSelection& selection,
                                     bool csv)
    : mCapture(capture), mCsv(csv), mAll(selection.All) {
    if (mCsv || !mAll)
        mReplies = RepliesByWord(capture);
    if (mAll) {
        mNext = capture.Begin();
        return;
    }
    for (const std::uint64_t sequence : selection.Events) {
        if (sequence < capture.Begin() || sequence >= capture.End())
            continue;
        mChosen.push_back(sequence);
        if (const std::uint64_t reply = mReplies[sequence - capture.Begin()])
            mChosen.push_back(reply);
    }
    std::sort(mChosen.begin(), mChosen.end());
    mChosen.erase(std::unique(mChosen.begin(), mChosen.end()), mChosen.end());
}

bool TCaptureFileParts::Done() const {
    return !mHead && mNext >= (mAll ? mCapture.End() : mChosen.size());
}

void TCaptureFileParts::Next(std::string& out, std::size_t size) {
    if (mHead) {
        out += mCsv ? std::string(CsvHead) : PcapngHead(mCapture);
        mHead = false;
    }
    const std::uint64_t end = mAll ? mCapture.End() : mChosen.size();
    while (mNext < end && out.size() < size) {
        const std::uint64_t sequence = mAll ? mNext : mChosen[mNext];
        ++mNext;
        if (!mCsv) {
            out += PcapngPacket(mCapture, sequence);
            continue;
        }
        const TCaptureEvent& event = mCapture.At(sequence);
        // A paired reply stands on its word's row.
        if (event.Kind == TEventKind::Reply && event.Paired() &&
            sequence - event.PairBack >= mCapture.Begin())
            continue;
        AppendCsvRow(out, mCapture, sequence,
                     event.Kind == TEventKind::Word ? mReplies[sequence - mCapture.Begin()] : 0);
    }
}

bool WritePcapng(const TCapture& capture, const TCaptureSelection& selection,
                 const std::string& path, std::string& error) {
    return SaveFile(path, PcapngBytes(capture, selection), error);
}

bool WriteCsv(const TCapture& capture, const TCaptureSelection& selection, const std::string& path,
              std::string& error) {
    return SaveFile(path, CsvText(capture, selection), error);
}

bool IsCsvName(const std::string& path) {
    return path.size() >= 4 && (path.compare(path.size() - 4, 4, ".csv") == 0 ||
                                path.compare(path.size() - 4, 4, ".CSV") == 0);
}

bool WriteCapture(const TCapture& capture, const TCaptureSelection& selection,
                  const std::string& path, std::string& error) {
    return IsCsvName(path) ? WriteCsv(capture, selection, path, error)
                           : WritePcapng(capture, selection, path, error);
}

} // namespace bus
