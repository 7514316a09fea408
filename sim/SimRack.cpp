#include "sim/SimRack.h"

#include "sim/SimTestCard.h"

#include <system_error>

namespace sim {

TSimRack::TSimRack() {
    for (std::size_t i = 0; i < TwoRailPlaces.size(); ++i)
        Bus.Plug(TwoRailPlaces[i], TwoRail.Cards[i]);
    Bus.Plug(ThreeRailPlace, ThreeRail.Cards[0]);
    // Generic cards that report a fixed pattern each, so that replies on the SCK and PCK
    // pages can be told apart.
    for (int place = 1; place < 4; ++place) {
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
