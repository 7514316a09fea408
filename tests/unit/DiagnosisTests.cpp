// The card diagnostics: the patterns, the diagnosis rules on small hand-made reads, and the
// report's shape.
#include "diag/Diagnosis.h"
#include "diag/Patterns.h"

#include <gtest/gtest.h>

using diag::TFault;
using diag::TInputEvidence;

namespace {

// The reads of a card whose input bit 3 is stuck at 0, bits 5 and 6 are shorted (each reads
// the AND of the two), and bit 9 reads wrong on every third read; the others are right.
TInputEvidence Evidence(const std::vector<std::uint16_t>& outputs) {
    TInputEvidence evidence;
    int read = 0;
    for (const std::uint16_t expected : outputs) {
        std::uint16_t inputs = expected & ~(1u << 3);
        const bool both = (expected >> 5 & 1) && (expected >> 6 & 1);
        inputs = static_cast<std::uint16_t>((inputs & ~0x60u) | (both ? 0x60u : 0u));
        if (++read % 3 == 0)
            inputs ^= 1u << 9;
        evidence.Add(expected, inputs);
    }
    return evidence;
}

std::vector<std::uint16_t> Values(const std::string& patterns, int count) {
    std::vector<diag::TPattern> list;
    std::string error;
    EXPECT_TRUE(diag::ParsePatterns(patterns, list, error)) << error;
    diag::TPatternSequence sequence(list);
    std::vector<std::uint16_t> values;
    for (int i = 0; i < count; ++i)
        values.push_back(sequence.Next());
    return values;
}

} // namespace

TEST(Patterns, WalkAlongThePinsCheckCountAndRepeatWithTheSameSeed) {
    const auto walk = Values("walk1,walk0,checker", 36);
    EXPECT_EQ(walk[0], 1u << 12) << "pin 1";
    EXPECT_EQ(walk[1], 1u << 8) << "pin 2";
    EXPECT_EQ(walk[15], 1u << 3) << "pin 16";
    EXPECT_EQ(walk[16], static_cast<std::uint16_t>(~(1u << 12)));
    EXPECT_EQ(walk[32], 0x5555);
    EXPECT_EQ(walk[33], 0xAAAA);
    EXPECT_EQ(walk[34], 1u << 12) << "from the first pattern again";
    EXPECT_EQ(Values("count", 3), (std::vector<std::uint16_t>{0, 1, 2}));
    EXPECT_EQ(Values("random:7", 300), Values("random:7", 300));
    EXPECT_NE(Values("random:7", 20), Values("random:8", 20));

    std::vector<diag::TPattern> list;
    std::string error;
    EXPECT_FALSE(diag::ParsePatterns("walk1,zigzag", list, error));
    EXPECT_NE(error.find("zigzag"), std::string::npos);
    EXPECT_FALSE(diag::ParsePatterns("random:x", list, error));
    EXPECT_TRUE(diag::ParsePatterns("random:42,count", list, error));
    EXPECT_EQ(diag::PatternNames(list), "random:42,count");
}

TEST(Diagnosis, NamesStuckShortedAndIntermittentInputsFromTheirReads) {
    const TInputEvidence evidence = Evidence(Values("walk1,walk0,checker", 34 * 3));
    EXPECT_EQ(evidence.Diagnose(3).Fault, TFault::Stuck0);
    EXPECT_EQ(evidence.Count(3).Read1Expected0, 0u);
    EXPECT_GT(evidence.Count(3).Read0Expected1, 0u);
    const diag::TInputDiagnosis five = evidence.Diagnose(5);
    EXPECT_EQ(five.Fault, TFault::Shorted);
    EXPECT_EQ(five.Partner, 6);
    EXPECT_EQ(evidence.Diagnose(6).Partner, 5);
    EXPECT_EQ(evidence.Diagnose(9).Fault, TFault::Intermittent);
    for (const int healthy : {0, 1, 2, 4, 7, 8, 10, 15})
        EXPECT_EQ(evidence.Diagnose(healthy).Fault, TFault::None) << healthy;

    // A stuck input beside a healthy one is not a short: the two read apart whenever the
    // healthy one is driven to the stuck level's opposite.
    TInputEvidence stuckHigh;
    for (const std::uint16_t expected : {0x0000, 0x0001, 0x0002, 0x0003, 0x0000})
        stuckHigh.Add(expected, expected | 0x0001);
    EXPECT_EQ(stuckHigh.Diagnose(0).Fault, TFault::Stuck1);
    EXPECT_EQ(stuckHigh.Diagnose(1).Fault, TFault::None);

    // A card that drives no line: every input stuck at 0, which names the card silent; one
    // input that ever read 1 does not.
    EXPECT_FALSE(evidence.Silent());
    TInputEvidence silent;
    for (const std::uint16_t expected : {0x5555, 0xAAAA, 0x5555, 0xAAAA})
        silent.Add(expected, 0x0000);
    EXPECT_TRUE(silent.Silent());
    silent.Add(0x8000, 0x8000);
    EXPECT_FALSE(silent.Silent());

    // One wrong read is an error, but not evidence enough to name a fault.
    TInputEvidence once;
    once.Add(0x0001, 0x0000);
    EXPECT_EQ(once.Count(0).Errors(), 1u);
    EXPECT_EQ(once.Diagnose(0).Fault, TFault::None);
    once.Add(0x0001, 0x0001);
    EXPECT_EQ(once.Diagnose(0).Fault, TFault::Intermittent) << "right once, wrong once";

    // Inputs that were not read (no reply for their nibble) count nothing.
    TInputEvidence partly;
    partly.Add(0xFFFF, 0x0000, 0x000F);
    EXPECT_EQ(partly.Count(0).Reads, 1u);
    EXPECT_EQ(partly.Count(4).Reads, 0u);
}
