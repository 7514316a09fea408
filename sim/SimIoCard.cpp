#include "sim/SimIoCard.h"

namespace sim {

void TSimIoCard::DataStrobe(std::uint8_t data) {
    mNibble = (data >> 4) & 3;
    const int shift = 4 * mNibble;
    mOutputs = static_cast<std::uint16_t>((mOutputs & ~(15 << shift)) | ((data & 15) << shift));
}

std::uint8_t TSimIoCard::FeedbackLines() const {
    return static_cast<std::uint8_t>((Inputs() >> (4 * mNibble)) & 15);
}

} // namespace sim
