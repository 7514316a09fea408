#include "sim/SimParallelCard.h"

namespace sim {

void TSimParallelCard::Out(std::uint16_t port, std::uint16_t value) {
    if (port != platform::BusOutPort)
        return;
    const auto lines = static_cast<std::uint8_t>(value & 0xFF);
    const auto changed = static_cast<std::uint8_t>(lines ^ mLast);
    const auto rising = static_cast<std::uint8_t>(changed & lines);

    if (rising & 0x80)
        mBus.AddressStrobe(lines & 63);
    if (rising & 0x40)
        mBus.DataStrobe(lines & 63);

    const bool onlyD5 = changed == 0x20 && (lines & 0xC0) == 0;
    if (onlyD5 && (lines & 0x20) == 0 && mD5RaisedAlone)
        mBus.LatchDataStrobe(lines & 31);
    mD5RaisedAlone = onlyD5 && (lines & 0x20) != 0;
    mLast = lines;
}

std::uint16_t TSimParallelCard::In(std::uint16_t port) {
    if (port != platform::BusInPort)
        return 0xFFFF;
    const TFeedback feedback = mBus.Feedback();
    return static_cast<std::uint16_t>(0xFFE0 | (feedback.ShortCircuit ? 0 : 0x10) |
                                      (feedback.Lines & 15));
}

} // namespace sim
