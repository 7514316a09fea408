#pragma once

#include "platform/Tick.h"
#include "sim/TrainBus.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace sim {

class TSimBlockCard;

// A line of track sections with one locomotive on it, powered by block cards of one kind
// (two-rail or three-rail), four sections per card in card order: sections 1 to 4 belong to
// card 0, 5 to 8 to card 1, and so on.
//
// Each card holds the last speed word it took: D0-D3 the speed (0 to 15), D4 the direction
// (0 towards higher sections, 1 towards lower). The locomotive takes the word of the card
// that powers the section under its middle; a card with a short circuit gives no power.
// At speed 15 it runs one section in MsPerSection, slower speeds in proportion; it stops at
// both ends of the line. It occupies every section it stands in, so two while it crosses
// from one section to the next.
//
// Time: the locomotive moves with the clock (the tick counter unless a test gives its own),
// but nobody drives it. Its position is brought up to date from the time elapsed since the
// last update whenever a card or the line is touched, before the touch takes effect. A long
// gap is taken in steps of at most StepMs, so that a crossing to another card's sections
// changes the power part-way. Every member locks the line, so a card may be touched from the
// bus's threads and a test (or a rack view) at once.
class TSimBlockLine {
public:
    enum class TKind { TwoRail, ThreeRail };
    using TClock = std::function<std::uint32_t()>;

    // The locomotive's length in sections: how far it runs while it occupies two.
    static constexpr double LocomotiveLength = 0.25;
    static constexpr std::uint32_t StepMs = 10;

    TSimBlockLine(TKind kind, int cards, std::uint32_t msPerSection,
                  TClock clock = platform::GetTickCount);

    TKind Kind() const { return mKind; }
    int Sections() const { return static_cast<int>(mDrives.size()) * 4; }

    // Where the end nearer section 1 stands, in sections from the start of the line
    // (section n covers n - 1 up to n).
    double Position() const;
    void PlaceLocomotive(double position);
    // One bit per section the locomotive stands in, bit 0 for section 1.
    std::uint32_t Occupied() const;

    void SetShortCircuit(int card, bool shortCircuit);
    bool ShortCircuit(int card) const;
    void Drive(int card, std::uint8_t word);
    std::uint8_t DriveWord(int card) const;

private:
    struct TDrive {
        std::uint8_t Word = 0;
        bool Short = false;
    };

    void Advance() const;
    bool Move(std::uint32_t ms) const; // false: the locomotive stands
    double Clamp(double position) const;

    const TKind mKind;
    const double mMsPerSection;
    const TClock mClock;
    std::vector<TDrive> mDrives;
    mutable std::mutex mMutex;
    mutable std::uint32_t mUpdated;
    mutable double mPosition = 0;
};

// One block card on a line: it takes speed words by data strobe (card addresses 0 to 63) or
// by latch-data strobe (addresses 64 to 127 reach the card in place address - 64) and
// reports the occupancy of its four sections on the feedback lines.
class TSimBlockCard : public TSimCard {
public:
    TSimBlockCard(std::shared_ptr<TSimBlockLine> line, int index)
        : mLine(std::move(line)), mIndex(index) {}

    void DataStrobe(std::uint8_t data) override { mLine->Drive(mIndex, data & 31); }
    void LatchData(std::uint8_t data) override { mLine->Drive(mIndex, data & 31); }
    std::uint8_t FeedbackLines() const override;
    bool ShortCircuit() const override { return mLine->ShortCircuit(mIndex); }

    void SetShortCircuit(bool shortCircuit) { mLine->SetShortCircuit(mIndex, shortCircuit); }
    std::uint8_t SpeedWord() const { return mLine->DriveWord(mIndex); }
    TSimBlockLine& Line() const { return *mLine; }
    int Index() const { return mIndex; }

private:
    const std::shared_ptr<TSimBlockLine> mLine;
    const int mIndex;
};

// A line of `cards` block cards with its cards, card 0 first.
struct TSimBlockCards {
    TSimBlockCards(TSimBlockLine::TKind kind, int cards, std::uint32_t msPerSection,
                   TSimBlockLine::TClock clock = platform::GetTickCount);

    std::shared_ptr<TSimBlockLine> Line;
    std::vector<std::shared_ptr<TSimBlockCard>> Cards;
};

} // namespace sim
