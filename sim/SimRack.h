#pragma once

#include "sim/SimParallelCard.h"
#include "sim/SimSerialCard.h"
#include "sim/TrainBus.h"

#include <memory>
#include <string>

namespace sim {

// The simulated rack that the program uses with /sim: the train bus with its cards, the
// parallel interface card in front of it and the serial interface card on a
// pseudo-terminal.
class TSimRack {
public:
    TSimRack();
    ~TSimRack();

    TTrainBus Bus;
    TSimParallelCard ParallelCard{Bus};
    // None when the system gives no pseudo-terminal.
    std::unique_ptr<TSimSerialCard> SerialCard;
};

} // namespace sim
