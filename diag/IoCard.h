#pragma once

#include "bus/BusWord.h"

#include <array>

namespace diag {

// The input/output card's 16 pins as the IOK page numbers them: pin n (1 to 16) is bit
// IoPinBit[n - 1] of the outputs and of the inputs. Pins 1 to 8 lie in the upper byte,
// interleaved, pins 9 to 16 in the lower byte.
inline constexpr std::array<int, 16> IoPinBit{12, 8, 13, 9, 14, 10, 15, 11,
                                              4,  0, 5,  1, 6,  2,  7,  3};

// The data-strobe word that loads nibble `nibble` (3 to 0) of `outputs`: D5 and D4 choose the
// nibble, D3 to D0 carry it. The card answers with the inputs of the same nibble.
constexpr int IoNibbleWord(int nibble, int outputs) {
    return bus::DataWord(16 * nibble + ((outputs >> (4 * nibble)) & 15));
}

} // namespace diag
