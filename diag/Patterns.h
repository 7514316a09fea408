#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace diag {

enum class TPatternKind { Walk1, Walk0, Checker, Count, Random };

struct TPattern {
    TPatternKind Kind = TPatternKind::Walk1;
    std::uint32_t Seed = 1; // random only

    bool operator==(const TPattern&) const = default;
};

// "walk1,walk0,checker,count,random[:SEED]" in any order and number; false with the reason
// in `error` for anything else.
bool ParsePatterns(const std::string& text, std::vector<TPattern>& patterns, std::string& error);
// The patterns as ParsePatterns reads them.
std::string PatternNames(const std::vector<TPattern>& patterns);

// The values a list of patterns puts on the IO card's 16 outputs, one per cycle, pattern after
// pattern and from the first again:
//   walk1    a single 1 along the pins 1 to 16 (16 values)
//   walk0    a single 0 along the pins (16)
//   checker  0x5555, 0xAAAA (2)
//   count    0 to 65535 (65536)
//   random   256 values from a Mersenne twister seeded with SEED, the same on every machine;
//            the sequence goes on where it stopped when the pattern comes round again
class TPatternSequence {
public:
    explicit TPatternSequence(std::vector<TPattern> patterns);

    std::uint16_t Next();
    // The pattern the last value came from.
    const TPattern& Current() const { return mPatterns[mPattern]; }

private:
    std::vector<TPattern> mPatterns;
    std::size_t mPattern = 0;
    std::uint32_t mStep = 0;
    bool mStarted = false;
    std::vector<std::mt19937> mRandom; // one generator a pattern
};

} // namespace diag
