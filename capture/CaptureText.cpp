#include "capture/CaptureText.h"

#include "bus/BusWord.h"
#include "platform/Messages.h"

namespace bus {

namespace {

using platform::Tr;

std::string Hex(int value) {
    static const char digits[] = "0123456789ABCDEF";
    return {'0', 'x', digits[(value >> 4) & 0xF], digits[value & 0xF]};
}

std::string BitsText(int value) {
    std::string bits;
    for (int bit = 7; bit >= 0; --bit) {
        bits += (value >> bit) & 1 ? '1' : '0';
        if (bit == 4)
            bits += ' ';
    }
    return bits;
}

const char* StrobeText(int word) {
    switch (StrobeOf(word)) {
    case TStrobe::Address:
        return Tr("adres");
    case TStrobe::Data:
        return Tr("data");
    case TStrobe::LatchAddress:
        return Tr("latchadres");
    case TStrobe::LatchData:
        return Tr("latchdata");
    case TStrobe::None:
        break;
    }
    return Tr("geen");
}

const char* KindText(TEventKind kind) {
    switch (kind) {
    case TEventKind::DataPortWrite:
        return Tr("datapoort");
    case TEventKind::StatusPortRead:
        return Tr("statuspoort");
    case TEventKind::OptionByte:
        return Tr("optiebyte");
    case TEventKind::OptionEcho:
        return Tr("echo");
    case TEventKind::SpeedChange:
        return Tr("snelheid");
    case TEventKind::Note:
        return Tr("notitie");
    default:
        return Tr("antwoord");
    }
}

const char* StatusText(TEventStatus status) {
    switch (status) {
    case TEventStatus::Ok:
        return Tr("ok");
    case TEventStatus::NoReply:
        return Tr("geen antwoord");
    case TEventStatus::NotConnected:
        return Tr("niet verbonden");
    case TEventStatus::SendFailed:
        return Tr("niet verstuurd");
    case TEventStatus::LineLost:
        return Tr("lijn verbroken");
    }
    return "";
}

// Microseconds as milliseconds with three decimals, whatever the locale's decimal sign.
std::string Milliseconds(std::uint32_t us) {
    std::string fraction = std::to_string(us % 1000);
    return std::to_string(us / 1000) + "." + std::string(3 - fraction.size(), '0') + fraction;
}

} // namespace

TRowCells RowCells(const TCapture& capture, const TCaptureRow& row) {
    const TCaptureEvent& event = capture.At(row.Event);
    const TCaptureEvent* reply = row.HasReply() ? &capture.At(row.Reply) : nullptr;
    const bool word = event.Kind == TEventKind::Word;
    TRowCells cells;
    cells.Direction = event.Direction == TDirection::ToRack     ? "→ rek"
                      : event.Direction == TDirection::FromRack ? "← rek"
                                                                : "";
    if (event.Kind != TEventKind::Note && event.Kind != TEventKind::SpeedChange)
        cells.Word = Hex(event.Value);
    if (word) {
        cells.Bits = BitsText(event.Value);
        cells.AddressOrData = std::to_string(DataLines(event.Value));
    }
    cells.Strobe = word ? StrobeText(event.Value) : KindText(event.Kind);
    if (reply && reply->Status == TEventStatus::Ok)
        cells.Reply = Hex(reply->Value);
    cells.Meaning = EventMeaning(capture, row.Event);
    if (reply) {
        const std::string answer = EventMeaning(capture, row.Reply);
        if (!answer.empty())
            cells.Meaning += "; " + answer;
    }
    if (reply && reply->Paired())
        cells.Latency = Milliseconds(reply->LatencyUs);
    cells.Status = StatusText(TCaptureRows::RowStatus(capture, row));
    return cells;
}

TRowMark RowMark(const TCapture& capture, const TCaptureRow& row) {
    const TEventStatus status = TCaptureRows::RowStatus(capture, row);
    return status == TEventStatus::Ok        ? TRowMark::None
           : status == TEventStatus::NoReply ? TRowMark::NoReply
                                             : TRowMark::Failure;
}

std::string CountersText(const TCapture& capture, double wordsPerSecond) {
    return platform::Args(Tr("Woorden: %1   Antwoorden: %2   Zonder antwoord: %3   Woorden/s: %4   "
                             "Verloren: %5"),
                          {std::to_string(capture.Words()), std::to_string(capture.Replies()),
                           std::to_string(capture.NoReplies()),
                           std::to_string(static_cast<std::uint64_t>(wordsPerSecond + 0.5)),
                           std::to_string(capture.Lost())});
}

double TWordRate::Take(const TCapture& capture) {
    const std::uint64_t now = capture.Now();
    if (now < mTimeBefore || capture.Words() < mWordsBefore) {
        mTimeBefore = now;
        mWordsBefore = capture.Words();
        mRate = 0;
    } else if (now - mTimeBefore >= 1'000'000'000) {
        mRate = static_cast<double>(capture.Words() - mWordsBefore) * 1e9 /
                static_cast<double>(now - mTimeBefore);
        mTimeBefore = now;
        mWordsBefore = capture.Words();
    }
    return mRate;
}

} // namespace bus
