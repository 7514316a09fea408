#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace bus {
class TBus;
}

namespace cards {

// The state of the card tests, shared by the pages and the test timer for the life of the
// program.
struct TCardTestState {
    int SckWord = 0;
    int PckWord = 0;
    int PckFeedback = 0;
    int TickFeedback = 0;
    std::array<int, 4> PinWords{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    bool SquareWavePhase = false;
    int IokOutputs = 0;
    int IokInputs = 0;
    int IokFeedback = 0;
    std::array<bool, 3> GroupActive{};
    int Direction = 0;
    int FirstSection = 0;
    int LastSection = 0;
    std::int32_t LegDuration = 0;   // ms
    std::uint32_t LastReversal = 0; // system tick count
};

extern TCardTestState CardTest;

inline constexpr std::array<int, 16> LatchAddressTable{1,  3,  5, 7,  0,  2,  4, 6,
                                                       12, 13, 8, 10, 14, 15, 9, 11};
inline constexpr std::array<int, 16> LatchBit4Table{16, 16, 16, 16, 0,  0,  0,  0,
                                                    0,  0,  0,  0,  16, 16, 16, 16};

// A page action runs as an exchange with the rack: now, or once the exchange under way (an
// action or a tick waiting for replies, a set-up) has ended. An error it raises ends it in
// the general error message box.
void RunPageAction(bus::TBus& bus, const std::function<void()>& action);

// Runs a tick as an exchange unless one is under way; false when it was skipped.
bool RunTick(bus::TBus& bus, const std::function<void()>& tick);

} // namespace cards
