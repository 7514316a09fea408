#pragma once

#include <array>
#include <cstdint>

namespace diag {

enum class TFault { None, Stuck0, Stuck1, Shorted, Intermittent };

// The name of a fault in reports: "stuck-0", "stuck-1", "shorted", "intermittent"; empty for
// none.
const char* FaultName(TFault fault);

struct TInputCount {
    std::uint64_t Reads = 0;
    std::uint64_t ReadOnes = 0;
    std::uint64_t ExpectedOnes = 0;
    std::uint64_t Read0Expected1 = 0;
    std::uint64_t Read1Expected0 = 0;

    std::uint64_t Errors() const { return Read0Expected1 + Read1Expected0; }
};

struct TInputDiagnosis {
    TFault Fault = TFault::None;
    int Partner = -1; // the other input of a short (a bit, 0 to 15)
};

// What the reads of 16 inputs say about each of them, by bit (0 to 15). A diagnosis needs
// evidence, and an input without a wrong read has none:
//   stuck-0 / stuck-1  it read the same level every time, and was expected at the other level
//                      at least twice;
//   shorted            two inputs, neither stuck, that read alike every time they were driven
//                      apart, at least twice (whatever the short makes of the two levels);
//   intermittent       right and wrong reads that fit none of the above.
class TInputEvidence {
public:
    static constexpr std::uint64_t MinEvidence = 2;

    // One read of the inputs in `known` (a bit for each input that was read), against what
    // they should have read.
    void Add(std::uint16_t expected, std::uint16_t read, std::uint16_t known = 0xFFFF);
    void Reset();

    const TInputCount& Count(int bit) const { return mCounts[static_cast<std::size_t>(bit)]; }
    TInputDiagnosis Diagnose(int bit) const;
    // Every input stuck at 0: the card drives none of its feedback lines (a silent card, an
    // empty place, or a card that does not see its address).
    bool Silent() const;

private:
    bool Stuck(int bit) const;

    std::array<TInputCount, 16> mCounts{};
    // For each pair of inputs: the reads in which they were driven apart, and of those the
    // reads in which they read alike.
    std::array<std::array<std::uint64_t, 16>, 16> mApart{};
    std::array<std::array<std::uint64_t, 16>, 16> mApartAlike{};
};

} // namespace diag
