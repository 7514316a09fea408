#include "sim/RackState.h"

namespace sim {

namespace {
enum : std::uint32_t { Place = 1, Section = 2, Pin = 3, Io = 4 };

TLampId Lamp(std::uint32_t group, int a, int b) {
    return (group << 24) | (static_cast<std::uint32_t>(a & 0xFFF) << 12) |
           static_cast<std::uint32_t>(b & 0xFFF);
}
} // namespace

TLampId PlaceLamp(int place, int lamp) {
    return Lamp(Place, place, lamp);
}

TLampId SectionLamp(int line, int section) {
    return Lamp(Section, line, section);
}

TLampId PinLamp(int evl, int pin) {
    return Lamp(Pin, evl, pin);
}

TLampId IoLamp(bool input, int bit) {
    return Lamp(Io, input ? 1 : 0, bit);
}

void ForEachLamp(const TRackState& state, const std::function<void(TLampId, bool)>& lamp) {
    for (int place = 0; place < TTrainBus::Places; ++place) {
        const TPlaceState& at = state.Places[static_cast<std::size_t>(place)];
        for (int line = 0; line < 4; ++line)
            lamp(PlaceLamp(place, line), (at.Lines >> line) & 1);
        lamp(PlaceLamp(place, 4), at.Short);
        lamp(PlaceLamp(place, 5), state.Selected == place);
    }
    for (std::size_t line = 0; line < state.Lines.size(); ++line)
        for (int section = 0; section < state.Lines[line].Sections; ++section)
            lamp(SectionLamp(static_cast<int>(line), section),
                 (state.Lines[line].Occupied >> section) & 1);
    if (state.Latch.Place >= 0)
        for (int evl = 0; evl < 4; ++evl)
            for (int pin = 1; pin <= 64; ++pin)
                lamp(PinLamp(evl, pin),
                     (state.Latch.Pins[static_cast<std::size_t>(evl)] >> (pin - 1)) & 1);
    if (state.Io.Place >= 0)
        for (int bit = 0; bit < 16; ++bit) {
            lamp(IoLamp(false, bit), (state.Io.Outputs >> bit) & 1);
            lamp(IoLamp(true, bit), (state.Io.Inputs >> bit) & 1);
        }
}

void TRackFlashes::Take(const TRackState& state, std::uint32_t now) {
    ForEachLamp(state, [&](TLampId lamp, bool lit) {
        const auto [at, first] = mLit.try_emplace(lamp, lit);
        if (!first && at->second != lit) {
            at->second = lit;
            mChanged[lamp] = now;
        }
    });
}

bool TRackFlashes::Flashing(TLampId lamp, std::uint32_t now) const {
    const auto changed = mChanged.find(lamp);
    return changed != mChanged.end() && now - changed->second < FlashMs;
}

} // namespace sim
