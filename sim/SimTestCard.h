#pragma once

#include "sim/TrainBus.h"

#include <vector>

namespace sim {

// A generic card for tests: its feedback lines and short circuit are set by hand, and it
// keeps every strobe it receives.
class TSimTestCard : public TSimCard {
public:
    std::uint8_t Lines = 0;
    bool Short = false;
    std::vector<std::uint8_t> DataReceived;
    std::vector<std::uint8_t> LatchReceived;

    void DataStrobe(std::uint8_t data) override { DataReceived.push_back(data); }
    void LatchData(std::uint8_t data) override { LatchReceived.push_back(data); }
    std::uint8_t FeedbackLines() const override { return Lines; }
    bool ShortCircuit() const override { return Short; }
};

} // namespace sim
