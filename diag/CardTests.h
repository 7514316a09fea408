#pragma once

#include "diag/Diagnosis.h"
#include "diag/Patterns.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bus {
class TBus;
}

namespace diag {

// How one cycle of a test went.
enum class TCycle {
    Pass,
    Fail,    // a card error: a wrong input, or a place without a valid reply
    Silent,  // not one valid reply in the whole cycle
};

// The counts every test keeps, reset together.
struct TTestCounts {
    std::uint64_t Cycles = 0;
    std::uint64_t Words = 0;
    std::uint64_t Errors = 0;  // cycles that failed
    std::uint64_t NoReply = 0; // words that got no valid reply
    std::int64_t FirstErrorNs = 0; // wall clock, 0 before the first error
    std::int64_t LastErrorNs = 0;
};

class TCardTest {
public:
    virtual ~TCardTest() = default;
    // One cycle on the bus. A serial port error (the line lost) is raised as EComPort.
    virtual TCycle Cycle() = 0;
    virtual void ResetCounts() = 0;
    // "io@9", "scan".
    virtual std::string Name() const = 0;
    const TTestCounts& Counts() const { return mCounts; }

protected:
    void CountError();
    TTestCounts mCounts;
};

// The IO card through its test plug: each cycle writes the next pattern value to the 16
// outputs with the four nibble words and reads the inputs back by sending the same four again,
// so that the replies read are right whether the card answers a nibble word with its inputs
// after or before that word's own load.
class TIoTest : public TCardTest {
public:
    struct TOptions {
        int Place = 9;
        std::vector<TPattern> Patterns;
        // The test plug wires each output to the input of the same pin; inverted, the inputs
        // read the opposite level.
        bool Inverted = false;
        std::uint32_t SettleMs = 0; // between the outputs' load and their read-back
    };

    TIoTest(bus::TBus& bus, TOptions options);

    TCycle Cycle() override;
    void ResetCounts() override;
    std::string Name() const override;

    const TOptions& Options() const { return mOptions; }
    const TInputEvidence& Evidence() const { return mEvidence; }
    // The last cycle's outputs and the inputs as read.
    std::uint16_t LastOutputs() const { return mLastOutputs; }
    std::uint16_t LastInputs() const { return mLastInputs; }

private:
    bus::TBus& mBus;
    TOptions mOptions;
    TPatternSequence mSequence;
    TInputEvidence mEvidence;
    std::uint16_t mLastOutputs = 0;
    std::uint16_t mLastInputs = 0;
};

// What a rack scan read in one place.
struct TPlaceReading {
    int Place = 0;
    bool Reply = false;
    int Lines = 0;
    bool Short = false;
};

// Every place in turn (or the places given): its address, then a data strobe, and what the
// card reports.
class TScanTest : public TCardTest {
public:
    TScanTest(bus::TBus& bus, std::vector<int> places = {});

    TCycle Cycle() override;
    void ResetCounts() override { mCounts = {}; }
    std::string Name() const override { return "scan"; }

    // The readings of the last cycle.
    const std::vector<TPlaceReading>& Readings() const { return mReadings; }

private:
    bus::TBus& mBus;
    std::vector<int> mPlaces;
    std::vector<TPlaceReading> mReadings;
};

} // namespace diag
