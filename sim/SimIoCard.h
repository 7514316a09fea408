#pragma once

#include "sim/RackFile.h"
#include "sim/TrainBus.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace sim {

// The input/output card (IOK): 16 outputs and 16 inputs, reached four at a time. A data strobe
// loads D0-D3 into the output nibble that D5 and D4 choose (3 to 0) and puts the input nibble
// of the same number on the feedback lines. Bits are numbered as the IOK page numbers them:
// nibble 3 holds bits 12 to 15.
//
// With the test plug in (the default) every output is wired to the input of the same bit, so
// the inputs read what the outputs were last set to; without it the inputs read what a test
// (or the user, in the rack view) sets.
//
// Faults: a stuck input reads its level whatever drives it; two shorted inputs both read 0
// when either is driven to 0 (the inputs pull up, so a low one wins); an intermittent input
// reads inverted on every k-th data strobe that reads its nibble.
class TSimIoCard : public TSimCard {
public:
    void DataStrobe(std::uint8_t data) override;
    std::uint8_t FeedbackLines() const override;

    std::uint16_t Outputs() const { return mOutputs; }
    // The levels at the inputs, faults included (an intermittent input only misreads on a
    // read).
    std::uint16_t Inputs() const;

    bool TestPlug = true;
    std::uint16_t ExternalInputs = 0; // the inputs while the test plug is out

    // Holds `input` at `level`; none frees it.
    void SetStuck(int input, std::optional<bool> level);
    std::optional<bool> Stuck(int input) const;
    std::vector<std::pair<int, int>> Shorted;
    void SetIntermittent(std::vector<TIntermittentInput> inputs);

private:
    std::uint16_t mOutputs = 0;
    int mNibble = 0; // the nibble the last data strobe chose
    std::uint16_t mStuckMask = 0;
    std::uint16_t mStuckLevels = 0;
    std::vector<TIntermittentInput> mIntermittent;
    std::vector<int> mReads;    // reads of each intermittent input so far
    std::uint16_t mMisread = 0; // the inputs the last read got wrong
};

} // namespace sim
