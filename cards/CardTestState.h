#pragma once

#include <array>
#include <cstdint>
#include <functional>

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

// A wait for the rack that has had no reply for this long gives up.
inline constexpr std::uint32_t AwaitBoundMs = 3000;
// A drain takes at most this many replies; more than the transport can hold, and the end of
// a drain in debug mode, where every read answers at once.
inline constexpr int DrainBound = 4096;

// Reads until a reply (below 256) or NotConnected comes, letting the window handle events
// between reads when asked. Gives up with NoDataYet when no reply came for AwaitBoundMs.
int AwaitFeedback(bool processEvents);

// Reads until no reply is pending, throwing away what comes.
void DrainFeedback(bool processEvents);

// The bus words of one page action or one tick go out together. A page action that comes
// while another action or a tick waits for its replies runs as soon as that one has ended;
// a tick that falls due meanwhile is skipped.
class TBusSession {
public:
    TBusSession();
    ~TBusSession();
    TBusSession(const TBusSession&) = delete;
    TBusSession& operator=(const TBusSession&) = delete;

    static bool Busy();
};

// Runs a page action now, or queues it until the running action or tick has ended.
void RunPageAction(const std::function<void()>& action);

// Runs a tick unless an action or tick is under way; false when it was skipped.
bool RunTick(const std::function<void()>& tick);

} // namespace cards
