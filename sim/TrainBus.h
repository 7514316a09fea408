#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace sim {

// A function card in one place of the simulated rack. The bus calls it with its own lock
// held, so a card needs no lock of its own as long as others reach it through
// TTrainBus::Locked.
class TSimCard {
public:
    virtual ~TSimCard() = default;

    // Every card sees every address strobe (D0-D5: the place being selected).
    virtual void AddressStrobe(std::uint8_t /*place*/) {}
    // A data strobe while this card's place is selected, with D0-D5.
    virtual void DataStrobe(std::uint8_t /*data*/) {}
    // A latch-data strobe (a pulse on D5) while this card's place is selected, with D0-D4.
    virtual void LatchData(std::uint8_t /*data*/) {}

    // The four feedback lines A0-A3 (1 = logical one) and the short-circuit report.
    virtual std::uint8_t FeedbackLines() const { return 0; }
    virtual bool ShortCircuit() const { return false; }

    // A fault: the card takes its strobes but drives no feedback line (nor the short-circuit
    // line), so its place answers as an empty one.
    bool Silent = false;
};

// What the selected place reports. An empty place reports nothing: all lines 0, no short
// circuit.
struct TFeedback {
    std::uint8_t Lines = 0;
    bool ShortCircuit = false;
};

// The train bus of the simulated rack: 64 places, the place chosen by the last address
// strobe, and the strobes delivered to the card in that place. Shared between the
// transports' threads and the tests (or a rack view), hence one lock for bus and cards.
class TTrainBus {
public:
    static constexpr int Places = 64;

    void Plug(int place, std::shared_ptr<TSimCard> card);
    void Unplug(int place);
    std::shared_ptr<TSimCard> CardAt(int place) const;

    void AddressStrobe(std::uint8_t data);   // selects place data & 63
    void DataStrobe(std::uint8_t data);      // D0-D5 to the selected card
    void LatchDataStrobe(std::uint8_t data); // D0-D4 to the selected card
    TFeedback Feedback() const;              // the selected card's lines as they are now
    int SelectedPlace() const;               // -1 until the first address strobe

    // One bus word as the serial card puts it on the bus (select code in bits 7-5), and the
    // byte it answers: the feedback value for a data strobe (select codes 2 and 3), the
    // echo of the word for every other word.
    std::uint8_t ApplyWord(std::uint8_t word);

    // Runs `f` with the bus lock held: the way to look at or change a card's state while a
    // transport may be using the bus.
    void Locked(const std::function<void()>& f) const;

private:
    mutable std::recursive_mutex mMutex;
    std::array<std::shared_ptr<TSimCard>, Places> mCards{};
    int mSelected = -1;
};

// The feedback value of a data-strobe answer: bit 6 set, bit 5 the word's D5, bit 4 a short
// circuit, bits 0-3 the feedback lines.
std::uint8_t FeedbackValue(const TFeedback& feedback, std::uint8_t word);

} // namespace sim
