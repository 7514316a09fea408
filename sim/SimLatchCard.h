#pragma once

#include "sim/TrainBus.h"

#include <array>
#include <cstdint>

namespace sim {

// The latch selection card (LKK) with its four simple latch cards (EVL A to D, 64 pins each).
//
// The LKK takes the latch-address strobe on the data-strobe line (pulsed with D5 low), so it
// takes every data strobe while its place is selected as a latch address, D0-D4. A latch-data
// strobe then loads four pins of one EVL: latch address bit 4 chooses EVL C or D over A or B,
// bit 3 chooses B or D over A or C, bits 0-2 one of the EVL's eight latches, and D4 of the
// latch data which half of that latch; D0-D3 are the levels of the four pins, the lowest
// pin in D0.
class TSimLatchCard : public TSimCard {
public:
    static constexpr int Evls = 4;
    static constexpr int PinsPerEvl = 64;

    TSimLatchCard();

    void DataStrobe(std::uint8_t data) override { mLatchAddress = data & 31; }
    void LatchData(std::uint8_t data) override;

    // The levels of an EVL's pins (0 = A to 3 = D): bit n - 1 holds pin n. All pins are high
    // at power-up.
    std::uint64_t Pins(int evl) const { return mPins.at(static_cast<std::size_t>(evl)); }
    bool Pin(int evl, int pin) const { return (Pins(evl) >> (pin - 1)) & 1; }
    // The latch address last taken, -1 before the first.
    int LatchAddress() const { return mLatchAddress; }

    // The EVL and its first pin (1 to 61) that latch address `address` with D4 `high` loads.
    struct TTarget {
        int Evl;
        int FirstPin;
    };
    static TTarget Target(int address, bool high);

private:
    int mLatchAddress = -1;
    std::array<std::uint64_t, Evls> mPins;
};

} // namespace sim
