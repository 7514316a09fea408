#include "sim/SimIoCard.h"

namespace sim {

void TSimIoCard::DataStrobe(std::uint8_t data) {
    mNibble = (data >> 4) & 3;
    const int shift = 4 * mNibble;
    mOutputs = static_cast<std::uint16_t>((mOutputs & ~(15 << shift)) | ((data & 15) << shift));
    mMisread = 0;
    for (std::size_t i = 0; i < mIntermittent.size(); ++i) {
        const int input = mIntermittent[i].Input;
        if (input / 4 != mNibble)
            continue;
        if (++mReads[i] % mIntermittent[i].Every == 0)
            mMisread = static_cast<std::uint16_t>(mMisread | (1 << input));
    }
}

std::uint16_t TSimIoCard::Inputs() const {
    std::uint16_t levels = TestPlug ? mOutputs : ExternalInputs;
    levels = static_cast<std::uint16_t>((levels & ~mStuckMask) | (mStuckLevels & mStuckMask));
    // A short may join inputs that are shorted to others again: pull low until nothing changes.
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto& [a, b] : Shorted) {
            const bool low = !((levels >> a) & 1) || !((levels >> b) & 1);
            const auto pulled = static_cast<std::uint16_t>(levels & ~((1 << a) | (1 << b)));
            if (low && pulled != levels) {
                levels = pulled;
                changed = true;
            }
        }
    }
    return levels;
}

std::uint8_t TSimIoCard::FeedbackLines() const {
    return static_cast<std::uint8_t>(((Inputs() ^ mMisread) >> (4 * mNibble)) & 15);
}

void TSimIoCard::SetStuck(int input, std::optional<bool> level) {
    const auto bit = static_cast<std::uint16_t>(1 << (input & 15));
    mStuckMask = static_cast<std::uint16_t>(level ? mStuckMask | bit : mStuckMask & ~bit);
    mStuckLevels =
        static_cast<std::uint16_t>(level && *level ? mStuckLevels | bit : mStuckLevels & ~bit);
}

std::optional<bool> TSimIoCard::Stuck(int input) const {
    if (!((mStuckMask >> (input & 15)) & 1))
        return std::nullopt;
    return ((mStuckLevels >> (input & 15)) & 1) != 0;
}

void TSimIoCard::SetIntermittent(std::vector<TIntermittentInput> inputs) {
    mIntermittent = std::move(inputs);
    mReads.assign(mIntermittent.size(), 0);
    mMisread = 0;
}

} // namespace sim
