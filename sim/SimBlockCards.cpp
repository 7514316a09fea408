#include "sim/SimBlockCards.h"

#include <algorithm>
#include <cmath>

namespace sim {

TSimBlockLine::TSimBlockLine(TKind kind, int cards, std::uint32_t msPerSection, TClock clock)
    : mKind(kind), mMsPerSection(std::max<std::uint32_t>(msPerSection, 1)),
      mClock(std::move(clock)), mDrives(static_cast<std::size_t>(std::max(cards, 1))),
      mUpdated(mClock()) {}

double TSimBlockLine::Clamp(double position) const {
    return std::clamp(position, 0.0, Sections() - LocomotiveLength);
}

void TSimBlockLine::Advance() const {
    const std::uint32_t now = mClock();
    std::uint32_t remaining = now - mUpdated;
    mUpdated = now;
    while (remaining > 0) {
        const std::uint32_t step = std::min(remaining, StepMs);
        // A locomotive that stands (no power, or against the buffer) stands for the rest of
        // the gap, however long it was.
        if (!Move(step))
            break;
        remaining -= step;
    }
}

bool TSimBlockLine::Move(std::uint32_t ms) const {
    const double middle = mPosition + LocomotiveLength / 2;
    const auto card = std::min(static_cast<std::size_t>(middle) / 4, mDrives.size() - 1);
    const TDrive& drive = mDrives[card];
    if (drive.Short)
        return false;
    const double speed = (drive.Word & 15) / 15.0;
    const double way = (drive.Word & 16) ? -1.0 : 1.0;
    const double before = mPosition;
    mPosition = Clamp(mPosition + way * speed * ms / mMsPerSection);
    return mPosition != before;
}

double TSimBlockLine::Position() const {
    std::lock_guard lock(mMutex);
    Advance();
    return mPosition;
}

void TSimBlockLine::PlaceLocomotive(double position) {
    std::lock_guard lock(mMutex);
    Advance();
    mPosition = Clamp(position);
}

std::uint32_t TSimBlockLine::Occupied() const {
    std::lock_guard lock(mMutex);
    Advance();
    const auto first = static_cast<int>(std::floor(mPosition));
    // The far end touches the next section only once it is past its boundary.
    const auto last = static_cast<int>(std::ceil(mPosition + LocomotiveLength)) - 1;
    std::uint32_t sections = 0;
    for (int n = first; n <= last && n < Sections(); ++n)
        sections |= 1u << n;
    return sections;
}

void TSimBlockLine::SetShortCircuit(int card, bool shortCircuit) {
    std::lock_guard lock(mMutex);
    Advance();
    mDrives.at(static_cast<std::size_t>(card)).Short = shortCircuit;
}

bool TSimBlockLine::ShortCircuit(int card) const {
    std::lock_guard lock(mMutex);
    return mDrives.at(static_cast<std::size_t>(card)).Short;
}

void TSimBlockLine::Drive(int card, std::uint8_t word) {
    std::lock_guard lock(mMutex);
    Advance();
    mDrives.at(static_cast<std::size_t>(card)).Word = word & 31;
}

std::uint8_t TSimBlockLine::DriveWord(int card) const {
    std::lock_guard lock(mMutex);
    return mDrives.at(static_cast<std::size_t>(card)).Word;
}

std::uint8_t TSimBlockCard::FeedbackLines() const {
    return static_cast<std::uint8_t>((mLine->Occupied() >> (4 * mIndex)) & 15);
}

TSimBlockCards::TSimBlockCards(TSimBlockLine::TKind kind, int cards, std::uint32_t msPerSection,
                               TSimBlockLine::TClock clock)
    : Line(std::make_shared<TSimBlockLine>(kind, cards, msPerSection, std::move(clock))) {
    for (int i = 0; i < Line->Sections() / 4; ++i)
        Cards.push_back(std::make_shared<TSimBlockCard>(Line, i));
}

} // namespace sim
