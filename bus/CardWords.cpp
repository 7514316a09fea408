#include "bus/CardWords.h"

#include "bus/Bus.h"
#include "platform/Tick.h"

namespace bus {

std::array<int, 4> IoNibbles(TBus& bus, int outputs) {
    std::array<int, 4> replies{};
    for (int nibble = 3; nibble >= 0; --nibble) {
        bus.SendBusWord(IoNibbleWord(nibble, outputs));
        replies[static_cast<std::size_t>(3 - nibble)] = bus.AwaitFeedback(false);
    }
    return replies;
}

TIoExchange IoLoadAndRead(TBus& bus, int place, int outputs, std::uint32_t settleMs) {
    TIoExchange exchange;
    bus.SendBusWord(AddressWord(place));
    exchange.AddressReply = bus.AwaitFeedback(false);
    exchange.Loaded = IoNibbles(bus, outputs);
    if (settleMs > 0)
        platform::Sleep(settleMs);
    exchange.Read = IoNibbles(bus, outputs);
    return exchange;
}

} // namespace bus
