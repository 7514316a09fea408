#pragma once

#include "sim/RackFile.h"
#include "sim/RackState.h"
#include "sim/InProcessSerialCard.h"
#include "sim/SimBlockCards.h"
#include "sim/SimIoCard.h"
#include "sim/SimLatchCard.h"
#include "sim/SimParallelCard.h"
#include "sim/SimSelectionCard.h"
#include "sim/SimSerialCard.h"
#include "sim/TrainBus.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// A simulated rack built from a rack description: the train bus with its cards, the parallel
// interface card in front of it and the serial interface card on a pseudo-terminal. The
// program uses it with /sim, morvelplint-rack behind its serial card.
//
// Besides the cards' own state, the rack holds the faults that the rack file or the rack view
// give them. Every member that touches a card takes the train bus's lock, so it may be called
// while a transport uses the bus.
class TSimRack {
public:
    // The places of the default rack (resources/rack/default-rack.json): three two-rail block
    // cards on one line of 12 sections, a three-rail card with a line of its own, generic cards
    // in 1 to 3 that report 2, 4 and 8, the latch card, the IO card with its test plug in, the
    // selection card. The card pages start with address 0 everywhere, so "Go" on either
    // block-card page runs the locomotive of the two-rail line on sections 1 to 4.
    static constexpr int LatchPlace = 5;
    static constexpr int IoPlace = 9;
    static constexpr int SelectionPlace = 63;
    static constexpr std::array<int, 3> TwoRailPlaces{0, 4, 7};
    static constexpr int ThreeRailPlace = 6;
    static constexpr std::uint32_t MsPerSection = 1000;

    // Where the serial card in front sits: on a pseudo-terminal (none when the system gives
    // none), in the program's own process (reached through SerialLine), or nowhere.
    enum class TSerialLine { PseudoTerminal, InProcess, None };
    explicit TSimRack(const TRackDescription& rack = DefaultRack(),
                      TSerialLine line = TSerialLine::PseudoTerminal,
                      TSimBlockLine::TClock clock = platform::GetTickCount);
    ~TSimRack();

    TSimRack(const TSimRack&) = delete;
    TSimRack& operator=(const TSimRack&) = delete;

    TTrainBus Bus;
    // The block lines, in the order of the rack file, each with its cards' places.
    struct TLine {
        TSimBlockCards Cards;
        std::vector<int> Places;
    };
    std::vector<TLine> Lines;
    // The card of each of these kinds in the lowest place, none when the rack has none.
    std::shared_ptr<TSimSelectionCard> SelectionCard;
    std::shared_ptr<TSimLatchCard> LatchCard;
    std::shared_ptr<TSimIoCard> IoCard;
    TSimParallelCard ParallelCard{Bus};
    // None when the system gives no pseudo-terminal; NoSerialCard then says why.
    std::unique_ptr<TSerialCard> SerialCard;
    std::string NoSerialCard;
    // With the card in the program's process: the backend of the port that reaches it (and
    // the card that takes a hung-up one's place); none otherwise.
    std::unique_ptr<serial::TComBackend> SerialLine();

    std::optional<TCardKind> KindAt(int place) const;

    // Faults, set and cleared while the rack runs. Each does nothing for a place whose card is
    // of another kind.
    void SetSilent(int place, bool silent);
    void SetStuck(int place, int input, std::optional<bool> level); // IO card
    void SetShortCircuit(int place, bool shortCircuit);             // block card
    // What the user sets at an IO card's input while its test plug is out.
    void SetInput(int place, int input, bool level);

    // Puts a new serial card on a new pseudo-terminal in place of the present one: a card that
    // hung up cannot come back on its old terminal. False when the system gives none.
    bool ReplaceSerialCard();

    TRackState State() const;

    // Where the cards sit, in one line, by the names of the pages that test them:
    // "(?)BK 0, 4, 7 · 3BK 6 · LKK 5 · IOK 9 · SLK 63 · testkaarten 1, 2, 3".
    std::string Summary() const;

private:
    std::shared_ptr<TSimCard> MakeCard(const TCardEntry& entry) const;
    // The card in `place` as a card of type T, or none.
    template <class T> T* CardAs(int place) const {
        return place >= 0 && place < TTrainBus::Places ? dynamic_cast<T*>(Bus.CardAt(place).get())
                                                       : nullptr;
    }

    std::array<std::optional<TCardKind>, TTrainBus::Places> mKinds{};
    TSerialLine mLine;
    int mCardsMade = 0;
};

} // namespace sim
