#include "sim/RackFaults.h"

#include "bus/CardWords.h"
#include "sim/SimRack.h"

namespace sim {

namespace {

bool IsBlock(const std::optional<TCardKind>& kind) {
    return kind == TCardKind::TwoRail || kind == TCardKind::ThreeRail;
}

int BitOfPin(int pin) {
    return bus::IoPinBit[static_cast<std::size_t>(pin - 1)];
}

} // namespace

TFaultsView FaultsOf(const TRackState& state) {
    TFaultsView view;
    for (std::size_t place = 0; place < state.Places.size(); ++place) {
        const TPlaceState& at = state.Places[place];
        TPlaceFaults& faults = view.Places[place];
        faults.SilentEnabled = at.Kind.has_value();
        faults.Silent = at.Silent;
        faults.ShortEnabled = IsBlock(at.Kind);
        faults.StuckEnabled =
            at.Kind == TCardKind::Io && state.Io.Place == static_cast<int>(place);
    }
    for (const TLineState& line : state.Lines)
        for (std::size_t i = 0; i < line.Places.size() && i < line.Shorts.size(); ++i)
            view.Places[static_cast<std::size_t>(line.Places[i])].Short = line.Shorts[i];
    const TIoState& io = state.Io;
    for (int pin = 1; pin <= 16; ++pin) {
        const int bit = BitOfPin(pin);
        const auto at = static_cast<std::size_t>(pin - 1);
        view.Outputs[at] = ((io.Outputs >> bit) & 1) != 0;
        view.Inputs[at] = ((io.Inputs >> bit) & 1) != 0;
        view.Stuck[at] = ((io.StuckMask >> bit) & 1) == 0 ? -1 : (io.StuckLevels >> bit) & 1;
    }
    view.InputsClickable = io.Place >= 0 && !io.Plug;
    const TSerialState& serial = state.Serial;
    view.SerialPresent = serial.Present;
    view.SerialSilent = serial.Faults.Silent;
    view.SerialGarbage = serial.Faults.ExtraBytes > 0;
    view.SerialFaultsEnabled = serial.Present && !serial.HungUp;
    view.NewCardEnabled = serial.Present && serial.HungUp;
    return view;
}

std::optional<std::string> GiveFault(TSimRack& rack, const TFault& fault) {
    using K = TFault::TKind;
    switch (fault.Kind) {
    case K::Silent:
        if (!rack.KindAt(fault.Place))
            return "no card in that place";
        rack.SetSilent(fault.Place, fault.On);
        return std::nullopt;
    case K::Short:
        if (!IsBlock(rack.KindAt(fault.Place)))
            return "no block card in that place";
        rack.SetShortCircuit(fault.Place, fault.On);
        return std::nullopt;
    case K::Stuck:
        if (rack.KindAt(fault.Place) != TCardKind::Io)
            return "no IO card in that place";
        rack.SetStuck(fault.Place, BitOfPin(fault.Pin),
                      fault.Level < 0 ? std::nullopt : std::optional<bool>(fault.Level == 1));
        return std::nullopt;
    case K::Input: {
        const TRackState state = rack.State();
        if (state.Io.Place < 0)
            return "the rack has no IO card";
        if (state.Io.Plug)
            return "the IO card's test plug is in";
        const int bit = BitOfPin(fault.Pin);
        rack.SetInput(state.Io.Place, bit, ((state.Io.External >> bit) & 1) == 0);
        return std::nullopt;
    }
    case K::SerialSilent:
    case K::SerialGarbage:
    case K::HangUp:
    case K::NewCard:
        break;
    }
    if (!rack.SerialCard)
        return "the rack has no serial card";
    const TRackState state = rack.State();
    if (fault.Kind == K::NewCard) {
        if (!state.Serial.HungUp)
            return "the serial card has not hung up";
        if (!rack.ReplaceSerialCard())
            return "the system gives no pseudo-terminal";
        return std::nullopt;
    }
    if (state.Serial.HungUp)
        return "the serial card has hung up";
    if (fault.Kind == K::HangUp) {
        rack.SerialCard->HangUp();
        return std::nullopt;
    }
    TSerialFaults faults = rack.SerialCard->Faults();
    if (fault.Kind == K::SerialSilent)
        faults.Silent = fault.On;
    else
        // Enough bytes after each answer to fill a read that would take them.
        faults.ExtraBytes = fault.On ? 5 : 0;
    rack.SerialCard->SetFaults(faults);
    return std::nullopt;
}

} // namespace sim
