#pragma once

#include "platform/PortIo.h"
#include "sim/TrainBus.h"

namespace sim {

// The parallel interface card in front of the simulated rack: an I/O-port backend that
// turns writes of port 788 into strobes on the train bus and answers reads of port 789 with
// the selected card's lines.
//
// Port 788: a rising bit 7 is the address strobe and a rising bit 6 the data strobe, each
// with D0-D5 of that write. D5 doubles as the latch-data strobe; a latch-data strobe is a
// pulse on D5 alone (one write raises only D5, the next lowers only D5), so D5 rising to
// set up the data of a word with D5 high (96 + x, 160 + x) is not taken for one.
// Port 789: bits 0-3 the feedback lines, bit 4 the short-circuit line (low = short
// circuit), bits 5-15 high as on a floating bus. Other ports read 0xFFFF.
class TSimParallelCard : public platform::TPortBackend {
public:
    explicit TSimParallelCard(TTrainBus& bus) : mBus(bus) {}

    void Out(std::uint16_t port, std::uint16_t value) override;
    std::uint16_t In(std::uint16_t port) override;

    // The value last written to port 788.
    std::uint8_t OutputLines() const { return mLast; }

private:
    TTrainBus& mBus;
    std::uint8_t mLast = 0;
    bool mD5RaisedAlone = false;
};

} // namespace sim
