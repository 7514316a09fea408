#pragma once

#include "bus/BusWord.h"

#include <array>

namespace diag {

using bus::IoPinBit;
using bus::IoPinOfBit;

// The data-strobe word that loads nibble `nibble` (3 to 0) of `outputs`: D5 and D4 choose the
// nibble, D3 to D0 carry it. The card answers with the inputs of the same nibble.
constexpr int IoNibbleWord(int nibble, int outputs) {
    return bus::DataWord(16 * nibble + ((outputs >> (4 * nibble)) & 15));
}

} // namespace diag
