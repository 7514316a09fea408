#include "sim/SimRack.h"

#include "sim/SimTestCard.h"

#include <system_error>

namespace sim {

TSimRack::TSimRack() {
    // Until the card models exist, the first places hold generic cards that report a fixed
    // pattern each, so that every reply on the SCK and PCK pages can be told apart.
    for (int place = 0; place < 4; ++place) {
        auto card = std::make_shared<TSimTestCard>();
        card->Lines = static_cast<std::uint8_t>(1 << place);
        Bus.Plug(place, card);
    }
    Bus.Plug(LatchPlace, LatchCard);
    Bus.Plug(IoPlace, IoCard);
    Bus.Plug(SelectionPlace, SelectionCard);
    try {
        SerialCard = std::make_unique<TSimSerialCard>(Bus);
    } catch (const std::system_error&) {
        SerialCard.reset();
    }
}

TSimRack::~TSimRack() = default;

} // namespace sim
