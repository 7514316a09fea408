#pragma once

#include "sim/RackState.h"

#include <array>
#include <optional>
#include <string>

namespace sim {

class TSimRack;

// What the rack view offers of the faults, for each place and each pin of the IO card, as
// the rack stands now: what each control shows and whether it may be used. The desktop's rack
// view and the browser's read it; neither decides anything itself.
struct TPlaceFaults {
    bool SilentEnabled = false; // a card sits there
    bool Silent = false;
    bool ShortEnabled = false; // a block card sits there
    bool Short = false;
    bool StuckEnabled = false; // the rack's IO card sits there: its inputs may be stuck
};

struct TFaultsView {
    std::array<TPlaceFaults, TTrainBus::Places> Places{};
    // The IO card's pins 1 to 16, pin n at index n - 1: its outputs and inputs as they are,
    // and each input stuck at 0 or 1, or -1 while it works.
    std::array<bool, 16> Outputs{};
    std::array<bool, 16> Inputs{};
    std::array<int, 16> Stuck{};
    // The test plug is out: a click on an input sets its level.
    bool InputsClickable = false;
    // The serial card: its faults while it serves a line, a new card once it has hung up.
    bool SerialPresent = false;
    bool SerialSilent = false;
    bool SerialGarbage = false;
    bool SerialFaultsEnabled = false;
    bool NewCardEnabled = false;
};
TFaultsView FaultsOf(const TRackState& state);

// A fault the user gives the rack. Place and Pin say where (Pin 1 to 16: the IO card's pin);
// Level is a stuck input's (-1: it works again).
struct TFault {
    enum class TKind { Silent, Short, Stuck, Input, SerialSilent, SerialGarbage, HangUp, NewCard };
    TKind Kind = TKind::Silent;
    int Place = 0;
    int Pin = 1;
    int Level = -1;
    bool On = false;
};

// Gives the fault; the reason when the rack has no card for it there ("no block card in that
// place"), else nothing. A new serial card's port is the rack's serial card's path afterwards.
std::optional<std::string> GiveFault(TSimRack& rack, const TFault& fault);

} // namespace sim
