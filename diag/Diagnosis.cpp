#include "diag/Diagnosis.h"

namespace diag {

const char* FaultName(TFault fault) {
    switch (fault) {
    case TFault::Stuck0:
        return "stuck-0";
    case TFault::Stuck1:
        return "stuck-1";
    case TFault::Shorted:
        return "shorted";
    case TFault::Intermittent:
        return "intermittent";
    case TFault::None:
        break;
    }
    return "";
}

void TInputEvidence::Add(std::uint16_t expected, std::uint16_t read, std::uint16_t known) {
    const auto bit = [](std::uint16_t word, int n) { return (word >> n) & 1; };
    for (int i = 0; i < 16; ++i) {
        if (!bit(known, i))
            continue;
        TInputCount& count = mCounts[static_cast<std::size_t>(i)];
        ++count.Reads;
        count.ReadOnes += bit(read, i);
        count.ExpectedOnes += bit(expected, i);
        if (bit(expected, i) && !bit(read, i))
            ++count.Read0Expected1;
        if (!bit(expected, i) && bit(read, i))
            ++count.Read1Expected0;
        for (int j = i + 1; j < 16; ++j) {
            if (!bit(known, j) || bit(expected, i) == bit(expected, j))
                continue;
            ++mApart[i][j];
            if (bit(read, i) == bit(read, j))
                ++mApartAlike[i][j];
        }
    }
}

void TInputEvidence::Reset() {
    *this = TInputEvidence{};
}

bool TInputEvidence::Stuck(int bit) const {
    const TInputCount& count = Count(bit);
    if (count.ReadOnes == 0)
        return count.ExpectedOnes >= MinEvidence;
    if (count.ReadOnes == count.Reads)
        return count.Reads - count.ExpectedOnes >= MinEvidence;
    return false;
}

TInputDiagnosis TInputEvidence::Diagnose(int bit) const {
    const TInputCount& count = Count(bit);
    if (count.Errors() == 0)
        return {};
    if (Stuck(bit))
        return {count.ReadOnes == 0 ? TFault::Stuck0 : TFault::Stuck1, -1};
    for (int other = 0; other < 16; ++other) {
        if (other == bit || Stuck(other))
            continue;
        const int i = bit < other ? bit : other;
        const int j = bit < other ? other : bit;
        if (mApart[i][j] >= MinEvidence && mApartAlike[i][j] == mApart[i][j])
            return {TFault::Shorted, other};
    }
    // Right reads beside the wrong ones; an input that was only ever wrong, too few times to
    // call it stuck, gets no name yet.
    if (count.Errors() < count.Reads)
        return {TFault::Intermittent, -1};
    return {};
}

bool TInputEvidence::Silent() const {
    for (int bit = 0; bit < 16; ++bit)
        if (Diagnose(bit).Fault != TFault::Stuck0)
            return false;
    return true;
}

} // namespace diag
