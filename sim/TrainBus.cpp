#include "sim/TrainBus.h"

#include <stdexcept>

namespace sim {

namespace {
void CheckPlace(int place) {
    if (place < 0 || place >= TTrainBus::Places)
        throw std::out_of_range("rack place out of range");
}
} // namespace

void TTrainBus::Plug(int place, std::shared_ptr<TSimCard> card) {
    CheckPlace(place);
    std::lock_guard lock(mMutex);
    mCards[place] = std::move(card);
}

void TTrainBus::Unplug(int place) {
    Plug(place, nullptr);
}

std::shared_ptr<TSimCard> TTrainBus::CardAt(int place) const {
    CheckPlace(place);
    std::lock_guard lock(mMutex);
    return mCards[place];
}

void TTrainBus::AddressStrobe(std::uint8_t data) {
    std::lock_guard lock(mMutex);
    mSelected = data & 63;
    for (const auto& card : mCards)
        if (card)
            card->AddressStrobe(static_cast<std::uint8_t>(mSelected));
}

void TTrainBus::DataStrobe(std::uint8_t data) {
    std::lock_guard lock(mMutex);
    if (mSelected >= 0 && mCards[mSelected])
        mCards[mSelected]->DataStrobe(data & 63);
}

void TTrainBus::LatchDataStrobe(std::uint8_t data) {
    std::lock_guard lock(mMutex);
    if (mSelected >= 0 && mCards[mSelected])
        mCards[mSelected]->LatchData(data & 31);
}

TFeedback TTrainBus::Feedback() const {
    std::lock_guard lock(mMutex);
    TFeedback feedback;
    if (mSelected >= 0 && mCards[mSelected]) {
        feedback.Lines = mCards[mSelected]->FeedbackLines() & 15;
        feedback.ShortCircuit = mCards[mSelected]->ShortCircuit();
    }
    return feedback;
}

int TTrainBus::SelectedPlace() const {
    std::lock_guard lock(mMutex);
    return mSelected;
}

std::uint8_t TTrainBus::ApplyWord(std::uint8_t word) {
    std::lock_guard lock(mMutex);
    switch ((word >> 5) & 7) {
    case 1:
        LatchDataStrobe(word & 31);
        return word;
    case 2:
    case 3:
        DataStrobe(word & 63);
        return FeedbackValue(Feedback(), word);
    case 4:
    case 5:
        AddressStrobe(word & 63);
        return word;
    case 6:
        // The latch-address strobe is the data-strobe line pulsed with D5 low.
        DataStrobe(word & 31);
        return word;
    default:
        return word;
    }
}

void TTrainBus::Locked(const std::function<void()>& f) const {
    std::lock_guard lock(mMutex);
    f();
}

std::uint8_t FeedbackValue(const TFeedback& feedback, std::uint8_t word) {
    return static_cast<std::uint8_t>(64 + (word & 32) + (feedback.ShortCircuit ? 16 : 0) +
                                     (feedback.Lines & 15));
}

} // namespace sim
