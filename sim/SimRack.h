#pragma once

#include "sim/SimIoCard.h"
#include "sim/SimLatchCard.h"
#include "sim/SimParallelCard.h"
#include "sim/SimSelectionCard.h"
#include "sim/SimSerialCard.h"
#include "sim/TrainBus.h"

#include <memory>
#include <string>

namespace sim {

// The simulated rack that the program uses with /sim: the train bus with its cards, the
// parallel interface card in front of it and the serial interface card on a
// pseudo-terminal.
//
// Places: 0 to 3 generic cards that report 1, 2, 4 and 8 on their feedback lines; 5 the
// latch selection card with its four EVLs; 9 the input/output card with its test plug in;
// 63 the selection card (it hears every address strobe wherever it sits).
class TSimRack {
public:
    static constexpr int LatchPlace = 5;
    static constexpr int IoPlace = 9;
    static constexpr int SelectionPlace = 63;

    TSimRack();
    ~TSimRack();

    TTrainBus Bus;
    std::shared_ptr<TSimSelectionCard> SelectionCard = std::make_shared<TSimSelectionCard>();
    std::shared_ptr<TSimLatchCard> LatchCard = std::make_shared<TSimLatchCard>();
    std::shared_ptr<TSimIoCard> IoCard = std::make_shared<TSimIoCard>();
    TSimParallelCard ParallelCard{Bus};
    // None when the system gives no pseudo-terminal.
    std::unique_ptr<TSimSerialCard> SerialCard;
};

} // namespace sim
