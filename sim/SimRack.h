#pragma once

#include "sim/SimBlockCards.h"
#include "sim/SimIoCard.h"
#include "sim/SimLatchCard.h"
#include "sim/SimParallelCard.h"
#include "sim/SimSelectionCard.h"
#include "sim/SimSerialCard.h"
#include "sim/TrainBus.h"

#include <array>
#include <memory>
#include <string>

namespace sim {

// The simulated rack that the program uses with /sim: the train bus with its cards, the
// parallel interface card in front of it and the serial interface card on a
// pseudo-terminal.
//
// Places: 0, 4 and 7 three two-rail block cards on one line of 12 sections with a
// locomotive; 6 a three-rail block card with a locomotive of its own; 1 to 3 generic cards
// that report 2, 4 and 8 on their feedback lines; 5 the latch selection card with its four
// EVLs; 9 the input/output card with its test plug in; 63 the selection card (it hears every
// address strobe wherever it sits). The card pages start with address 0 everywhere, so
// "Go" on either block-card page runs the locomotive of the two-rail line on sections 1 to 4.
class TSimRack {
public:
    static constexpr int LatchPlace = 5;
    static constexpr int IoPlace = 9;
    static constexpr int SelectionPlace = 63;
    static constexpr std::array<int, 3> TwoRailPlaces{0, 4, 7};
    static constexpr int ThreeRailPlace = 6;
    // Slow enough to watch the lamps follow the locomotive.
    static constexpr std::uint32_t MsPerSection = 1000;

    TSimRack();
    ~TSimRack();

    TTrainBus Bus;
    TSimBlockCards TwoRail{TSimBlockLine::TKind::TwoRail, 3, MsPerSection};
    TSimBlockCards ThreeRail{TSimBlockLine::TKind::ThreeRail, 1, MsPerSection};
    std::shared_ptr<TSimSelectionCard> SelectionCard = std::make_shared<TSimSelectionCard>();
    std::shared_ptr<TSimLatchCard> LatchCard = std::make_shared<TSimLatchCard>();
    std::shared_ptr<TSimIoCard> IoCard = std::make_shared<TSimIoCard>();
    TSimParallelCard ParallelCard{Bus};
    // None when the system gives no pseudo-terminal.
    std::unique_ptr<TSimSerialCard> SerialCard;
};

} // namespace sim
