#pragma once

// The words that go on the train bus and the replies that come back, for everything that
// makes or reads them: the card pages, the parallel transport, the simulated rack.


namespace bus {

// ---- bus words ----
//
// The low eight bits of a word travel on the bus: D0 to D5 in bits 0 to 5, and bits 7 to 5
// read as a number, the select code, name the strobe the rack pulses.

constexpr int SelectCode(int word) {
    return (word >> 5) & 7;
}

enum class TStrobe {
    None,         // select codes 0 and 7
    LatchData,    // 1: the D5 line itself is pulsed
    Data,         // 2 and 3: the addressed card answers with its feedback
    Address,      // 4 and 5: selects a card place
    LatchAddress, // 6: the data-strobe line pulsed with D5 low
};

constexpr TStrobe StrobeOf(int word) {
    switch (SelectCode(word)) {
    case 1:
        return TStrobe::LatchData;
    case 2:
    case 3:
        return TStrobe::Data;
    case 4:
    case 5:
        return TStrobe::Address;
    case 6:
        return TStrobe::LatchAddress;
    default:
        return TStrobe::None;
    }
}

// The data lines a word drives: D0 to D4 for the latch strobes, whose select code uses D5,
// else D0 to D5.
constexpr int DataLines(int word) {
    const TStrobe strobe = StrobeOf(word);
    return strobe == TStrobe::LatchData || strobe == TStrobe::LatchAddress ? word & 0x1F
                                                                           : word & 0x3F;
}

// The four kinds of word the pages form.
constexpr int AddressWord(int place) {
    return 0x80 + (place & 0x3F);
}
constexpr int DataWord(int data) {
    return 0x40 + (data & 0x3F);
}
constexpr int LatchAddressWord(int latchAddress) {
    return 0xC0 + (latchAddress & 0x1F);
}
constexpr int LatchDataWord(int latchData) {
    return 0x20 + (latchData & 0x1F);
}

// ---- results of the bus operations ----

// A read found no reply (the parallel result queue is empty, or no byte came in a second).
inline constexpr int NoDataYet = 256;
// The serial connection was never set up.
inline constexpr int NotConnected = 1024;
// Added to the word by a send that was not accepted (a full queue, a byte not taken).
inline constexpr int SendFailed = 256;

// ---- feedback ----
//
// The answer to a data strobe: bit 6 set, bit 5 the D5 of the word that asked, bit 4 the
// short-circuit report, bits 0 to 3 the feedback lines (1 = logical one).

constexpr int FeedbackValue(int lines, bool shortCircuit, int word) {
    return 0x40 + (word & 0x20) + (shortCircuit ? 0x10 : 0) + (lines & 0x0F);
}

// One result of ReadBusFeedback and the questions the pages ask of it.
class TReply {
public:
    constexpr explicit TReply(int value) : mValue(value) {}

    constexpr int Value() const { return mValue; }
    // A byte from the rack (not NoDataYet, not NotConnected).
    constexpr bool IsByte() const { return mValue >= 0 && mValue < NoDataYet; }
    constexpr bool IsNotConnected() const { return mValue == NotConnected; }
    // Card feedback as the bus-word and IO pages take it: 64 to 127.
    constexpr bool IsFeedback() const { return mValue >= 0x40 && mValue <= 0x7F; }
    // Card feedback as the block-card pages take it: 64 to 95, D5 low.
    constexpr bool IsBlockFeedback() const { return mValue >= 0x40 && mValue <= 0x5F; }
    // The four feedback lines, bit k for line k.
    constexpr int Lines() const { return mValue & 0x0F; }
    constexpr bool Line(int k) const { return ((mValue >> k) & 1) != 0; }
    constexpr bool ShortCircuit() const { return (mValue & 0x10) != 0; }

private:
    int mValue;
};

} // namespace bus
