#pragma once

#include "sim/TrainBus.h"

#include <vector>

namespace sim {

// The selection card: it decodes every address strobe into one select output per card place
// (64 places in four racks of 16) and pulls the output of the addressed place to "0".
class TSimSelectionCard : public TSimCard {
public:
    void AddressStrobe(std::uint8_t place) override {
        mSelected = place;
        mHistory.push_back(place);
    }

    // The place whose select output is "0", -1 before the first address strobe.
    int SelectedPlace() const { return mSelected; }
    // Every place selected so far, in order.
    const std::vector<std::uint8_t>& History() const { return mHistory; }

private:
    int mSelected = -1;
    std::vector<std::uint8_t> mHistory;
};

} // namespace sim
