#pragma once

#include "sim/TrainBus.h"

#include <cstdint>

namespace sim {

// The input/output card (IOK): 16 outputs and 16 inputs, reached four at a time. A data strobe
// loads D0-D3 into the output nibble that D5 and D4 choose (3 to 0) and puts the input nibble
// of the same number on the feedback lines. Bits are numbered as the IOK page numbers them:
// nibble 3 holds bits 12 to 15.
//
// With the test plug in (the default) every output is wired to the input of the same bit, so
// the inputs read what the outputs were last set to; without it the inputs read what a test
// sets.
class TSimIoCard : public TSimCard {
public:
    void DataStrobe(std::uint8_t data) override;
    std::uint8_t FeedbackLines() const override;

    std::uint16_t Outputs() const { return mOutputs; }
    std::uint16_t Inputs() const { return TestPlug ? mOutputs : ExternalInputs; }

    bool TestPlug = true;
    std::uint16_t ExternalInputs = 0; // the inputs while the test plug is out

private:
    std::uint16_t mOutputs = 0;
    int mNibble = 0; // the nibble the last data strobe chose
};

} // namespace sim
