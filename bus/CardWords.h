#pragma once

// The words of each kind of function card and what its replies mean, written once for
// everything that drives or reads a card: the card pages' models, the card diagnostics, the
// capture's meanings, the simulated rack's tools.

#include "bus/BusWord.h"

#include <array>
#include <cstdint>

namespace bus {

class TBus;

// ---- the parallel interface card's status port (789) ----
//
// Bits 0 to 3 are the feedback lines, bit 4 the short-circuit line, which is active low.

constexpr int StatusPortLines(int status) {
    return status & 0x0F;
}
constexpr bool StatusPortShortCircuit(int status) {
    return (status & 0x10) == 0;
}
// The reply the parallel transport makes of the port for the data-strobe word `word`.
constexpr int StatusPortFeedback(int status, int word) {
    return FeedbackValue(StatusPortLines(status), StatusPortShortCircuit(status), word);
}
// The port as the PCK page shows it: the five low bits as read, the short-circuit line not
// inverted (the lamp is red while the line is high).
constexpr int StatusPortAsRead(int status) {
    return 0x40 + (status & 0x1F);
}

// ---- the block cards (2BK, ABK, DBK and 3BK) ----
//
// A block card answers the speed word after its address with its four sections' occupancy
// and its short circuit. Places 64 to 127 take the address word of place - 64 and their speed
// word on the latch-data strobe.

inline constexpr int BlockDirectionUp = 0;
inline constexpr int BlockDirectionDown = 16;

constexpr int BlockAddressWord(int place) {
    return AddressWord(place);
}
// The speed word: the direction (0 or 16) and the speed (0 to 15).
constexpr int BlockSpeedWord(int place, int direction, int speed) {
    return place > 63 ? LatchDataWord(direction + speed) : DataWord(direction + speed);
}
// The word that stops the locomotive of the card addressed last: speed 0, direction 0.
inline constexpr int BlockStopWord = BlockSpeedWord(0, BlockDirectionUp, 0);
// The speed of a run's last third: half of `speed`, rounded up.
constexpr int SlowedSpeed(int speed) {
    return speed / 2 + speed % 2;
}

// ---- the latch selection card (LKK) with a simple latch card (EVL A to D) ----
//
// A load of an EVL takes 16 steps; step i carries pins 4i + 1 to 4i + 4 (the lowest in bit
// 0), nibble i mod 4 of pin word i div 4, as a latch address word and a latch data word.

inline constexpr int EvlSteps = 16;
inline constexpr std::array<int, 16> LatchAddressTable{1,  3,  5, 7,  0,  2,  4, 6,
                                                       12, 13, 8, 10, 14, 15, 9, 11};
inline constexpr std::array<int, 16> LatchBit4Table{16, 16, 16, 16, 0,  0,  0,  0,
                                                    0,  0,  0,  0,  16, 16, 16, 16};

// The latch address word of step `step` (0 to 15) for EVL `evl` (0 = A to 3 = D): A and C use
// the first half of the table, B and D the second, and C and D add 16.
constexpr int EvlLatchAddressWord(int evl, int step) {
    return LatchAddressWord(16 * (evl / 2) +
                            LatchAddressTable[static_cast<std::size_t>(step % 8 + 8 * (evl % 2))]);
}
// The latch data word of step `step` with the step's four pin levels in `nibble`.
constexpr int EvlLatchDataWord(int step, int nibble) {
    return LatchDataWord(LatchBit4Table[static_cast<std::size_t>(step)] + nibble);
}
// The four pin levels step `step` carries, out of the four 16-bit pin words.
constexpr int EvlStepNibble(const std::array<int, 4>& pinWords, int step) {
    return (pinWords[static_cast<std::size_t>(step / 4)] >> (4 * (step % 4))) & 0xF;
}
// The pin word and its bit that hold pin `pin` (1 to 64).
constexpr int EvlPinWord(int pin) {
    return (pin - 1) / 16;
}
constexpr int EvlPinBit(int pin) {
    return (pin - 1) % 16;
}

// ---- the input/output card (IOK) ----
//
// Pin n (1 to 16) is bit IoPinBit[n - 1] of the outputs and of the inputs: pins 1 to 8 lie in
// the upper byte, interleaved, pins 9 to 16 in the lower byte. A data-strobe word loads one
// nibble of the outputs (D5 and D4 choose it, D3 to D0 carry it), and the card answers it
// with the inputs of the same nibble.

inline constexpr std::array<int, 16> IoPinBit{12, 8, 13, 9, 14, 10, 15, 11, 4, 0, 5, 1, 6, 2, 7, 3};

// The pin (1 to 16) of an IO card bit (0 to 15).
constexpr int IoPinOfBit(int bit) {
    for (int pin = 1; pin <= 16; ++pin)
        if (IoPinBit[static_cast<std::size_t>(pin - 1)] == bit)
            return pin;
    return 0;
}

// The data-strobe word that loads nibble `nibble` (3 to 0) of `outputs`.
constexpr int IoNibbleWord(int nibble, int outputs) {
    return DataWord(16 * nibble + ((outputs >> (4 * nibble)) & 15));
}

// The four nibble words of `outputs`, nibble 3 first, each awaiting its reply (an answer
// still on its way when the next word goes out would be taken for that word's): the replies
// in the same order.
std::array<int, 4> IoNibbles(TBus& bus, int outputs);

// The IO card's load-four, read-four exchange: the card at `place` addressed, `outputs` loaded
// with the four nibble words, and the same four sent again to read the inputs back, `settleMs`
// after the load. The inputs read are right whether the card answers a nibble word with its
// inputs after its own load or before it.
struct TIoExchange {
    int AddressReply = NoDataYet;
    std::array<int, 4> Loaded{};
    std::array<int, 4> Read{};
};
TIoExchange IoLoadAndRead(TBus& bus, int place, int outputs, std::uint32_t settleMs = 0);

} // namespace bus
