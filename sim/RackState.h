#pragma once

#include "sim/RackFile.h"
#include "sim/SimSerialCard.h"
#include "sim/TrainBus.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sim {

// What the rack view shows of the simulated rack at one moment. TSimRack::State takes it
// under the train bus's lock, so it is one consistent picture, and the view draws from it
// without touching the rack.
struct TPlaceState {
    std::optional<TCardKind> Kind; // none: the place is empty
    bool Silent = false;
    std::uint8_t Lines = 0; // the feedback lines the card drives now
    bool Short = false;     // the short-circuit line it drives now
};

// A block line: its cards' places in line order, and the locomotive.
struct TLineState {
    TCardKind Kind = TCardKind::TwoRail;
    std::vector<int> Places;
    int Sections = 0;
    double Position = 0;        // where the locomotive's end nearer section 1 stands, in sections
    std::uint32_t Occupied = 0; // bit n: section n + 1 occupied
    int Speed = 0;              // 0 to 15, from the card that powers the locomotive
    bool Down = false;          // running towards section 1
    std::vector<bool> Shorts;   // per card, in line order
};

// The first latch card of the rack (Place -1: none).
struct TLatchState {
    int Place = -1;
    std::array<std::uint64_t, 4> Pins{}; // EVL A to D, bit n - 1 for pin n
};

// The first IO card of the rack (Place -1: none).
struct TIoState {
    int Place = -1;
    bool Plug = true;
    std::uint16_t Outputs = 0;
    std::uint16_t Inputs = 0;
    std::uint16_t External = 0; // what the user sets while the plug is out
    std::uint16_t StuckMask = 0;
    std::uint16_t StuckLevels = 0;
};

struct TSerialState {
    bool Present = false;
    std::string Path;
    bool HungUp = false;
    bool Connected = false; // a client sent the option byte on the present connection
    TSerialFaults Faults;
};

struct TRackState {
    std::array<TPlaceState, TTrainBus::Places> Places{};
    int Selected = -1; // the place the last address strobe chose
    std::vector<TLineState> Lines;
    TLatchState Latch;
    TIoState Io;
    TSerialState Serial;
};

// A lamp of the rack view, by what it shows.
using TLampId = std::uint32_t;
// Lamp 0-3 a feedback line, 4 the short circuit, 5 the selection LED.
TLampId PlaceLamp(int place, int lamp);
TLampId SectionLamp(int line, int section); // section from 0
TLampId PinLamp(int evl, int pin);          // pin from 1
TLampId IoLamp(bool input, int bit);

// Every lamp of a state and whether it is lit.
void ForEachLamp(const TRackState& state, const std::function<void(TLampId, bool)>& lamp);

// Which lamps changed lately: a lamp flashes for FlashMs after it went on or off.
class TRackFlashes {
public:
    static constexpr std::uint32_t FlashMs = 400;

    // Takes the state seen at `now` (tick counter); the first state sets no flash.
    void Take(const TRackState& state, std::uint32_t now);
    bool Flashing(TLampId lamp, std::uint32_t now) const;

private:
    std::unordered_map<TLampId, bool> mLit;
    std::unordered_map<TLampId, std::uint32_t> mChanged;
};

} // namespace sim
