#include "sim/SimLatchCard.h"

namespace sim {

namespace {

// The EVL's wiring: the step of a full load (0 to 15, pins 4i + 1 to 4i + 4) that each
// latch (0 to 7) serves when D4 is high. Its other half serves the step 8 further on, or
// 8 back. EVL A and C are wired one way, B and D the other.
constexpr std::array<std::array<int, 8>, 2> HighStep{{
    {12, 0, 13, 1, 14, 2, 15, 3}, // EVL A and C
    {2, 14, 3, 15, 0, 1, 12, 13}, // EVL B and D
}};

} // namespace

TSimLatchCard::TSimLatchCard() {
    mPins.fill(~std::uint64_t{0});
}

TSimLatchCard::TTarget TSimLatchCard::Target(int address, bool high) {
    const int evl = ((address >> 4) & 1) * 2 + ((address >> 3) & 1);
    const int highStep = HighStep[static_cast<std::size_t>((address >> 3) & 1)]
                                 [static_cast<std::size_t>(address & 7)];
    const int step = high ? highStep : highStep ^ 8;
    return {evl, 4 * step + 1};
}

void TSimLatchCard::LatchData(std::uint8_t data) {
    if (mLatchAddress < 0)
        return;
    const TTarget target = Target(mLatchAddress, (data & 16) != 0);
    const int shift = target.FirstPin - 1;
    std::uint64_t& pins = mPins[static_cast<std::size_t>(target.Evl)];
    pins = (pins & ~(std::uint64_t{15} << shift)) | (std::uint64_t{data & 15u} << shift);
}

} // namespace sim
