#include "sim/TrainBus.h"

#include "bus/BusWord.h"

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
    if (mSelected >= 0 && mCards[mSelected] && !mCards[mSelected]->Silent) {
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
    const int data = bus::DataLines(word);
    switch (bus::StrobeOf(word)) {
    case bus::TStrobe::LatchData:
        LatchDataStrobe(static_cast<std::uint8_t>(data));
        return word;
    case bus::TStrobe::Data:
        DataStrobe(static_cast<std::uint8_t>(data));
        return FeedbackValue(Feedback(), word);
    case bus::TStrobe::Address:
        AddressStrobe(static_cast<std::uint8_t>(data));
        return word;
    case bus::TStrobe::LatchAddress:
        // The latch-address strobe is the data-strobe line pulsed with D5 low.
        DataStrobe(static_cast<std::uint8_t>(data));
        return word;
    case bus::TStrobe::None:
        break;
    }
    return word;
}

void TTrainBus::Locked(const std::function<void()>& f) const {
    std::lock_guard lock(mMutex);
    f();
}

std::uint8_t FeedbackValue(const TFeedback& feedback, std::uint8_t word) {
    return static_cast<std::uint8_t>(bus::FeedbackValue(feedback.Lines, feedback.ShortCircuit, word));
}

} // namespace sim
