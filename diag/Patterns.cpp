#include "diag/Patterns.h"

#include "bus/CardWords.h"
#include "platform/Messages.h"

#include <charconv>

namespace diag {

namespace {

std::uint32_t Length(TPatternKind kind) {
    switch (kind) {
    case TPatternKind::Walk1:
    case TPatternKind::Walk0:
        return 16;
    case TPatternKind::Checker:
        return 2;
    case TPatternKind::Count:
        return 65536;
    case TPatternKind::Random:
        return 256;
    }
    return 1;
}

} // namespace

bool ParsePatterns(const std::string& text, std::vector<TPattern>& patterns, std::string& error) {
    patterns.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string name =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        TPattern pattern;
        if (name == "walk1") {
            pattern.Kind = TPatternKind::Walk1;
        } else if (name == "walk0") {
            pattern.Kind = TPatternKind::Walk0;
        } else if (name == "checker") {
            pattern.Kind = TPatternKind::Checker;
        } else if (name == "count") {
            pattern.Kind = TPatternKind::Count;
        } else if (name == "random" || name.starts_with("random:")) {
            pattern.Kind = TPatternKind::Random;
            if (name.size() > 7) {
                const char* first = name.data() + 7;
                const char* last = name.data() + name.size();
                const auto [end, code] = std::from_chars(first, last, pattern.Seed);
                if (code != std::errc() || end != last) {
                    error = platform::Tr("geen geldig zaadgetal");
                    error += ": " + name;
                    return false;
                }
            }
        } else {
            error = platform::Tr("onbekend patroon");
            error += ": \"" + name + "\"";
            return false;
        }
        patterns.push_back(pattern);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return true;
}

std::string PatternNames(const std::vector<TPattern>& patterns) {
    std::string names;
    for (const TPattern& pattern : patterns) {
        if (!names.empty())
            names += ',';
        switch (pattern.Kind) {
        case TPatternKind::Walk1:
            names += "walk1";
            break;
        case TPatternKind::Walk0:
            names += "walk0";
            break;
        case TPatternKind::Checker:
            names += "checker";
            break;
        case TPatternKind::Count:
            names += "count";
            break;
        case TPatternKind::Random:
            names += "random:" + std::to_string(pattern.Seed);
            break;
        }
    }
    return names;
}

TPatternSequence::TPatternSequence(std::vector<TPattern> patterns)
    : mPatterns(patterns.empty() ? std::vector<TPattern>{TPattern{}} : std::move(patterns)) {
    for (const TPattern& pattern : mPatterns)
        mRandom.emplace_back(pattern.Seed);
}

std::uint16_t TPatternSequence::Next() {
    if (mStarted && ++mStep == Length(mPatterns[mPattern].Kind)) {
        mStep = 0;
        mPattern = (mPattern + 1) % mPatterns.size();
    }
    mStarted = true;
    const std::uint16_t one = static_cast<std::uint16_t>(1u << bus::IoPinBit[mStep % 16]);
    switch (mPatterns[mPattern].Kind) {
    case TPatternKind::Walk1:
        return one;
    case TPatternKind::Walk0:
        return static_cast<std::uint16_t>(~one);
    case TPatternKind::Checker:
        return mStep == 0 ? 0x5555 : 0xAAAA;
    case TPatternKind::Count:
        return static_cast<std::uint16_t>(mStep);
    case TPatternKind::Random:
        return static_cast<std::uint16_t>(mRandom[mPattern]() & 0xFFFF);
    }
    return 0;
}

} // namespace diag
