// The facts behind the port notes on Windows. A COM port has no owner and group to check
// (whoever is logged in may open it, one program at a time), none of the Linux services that
// take adapters runs here, and the latency timer of an FTDI adapter is set in the device's
// own properties, which the program does not read.
#include "serial/PortNotes.h"

namespace serial {

std::optional<TAccessFacts> ReadAccessFacts(const std::string&) {
    return std::nullopt;
}

std::vector<std::string> RunningServices(const std::string&) {
    return {};
}

int LatencyTimerMs(const std::string&, const std::string&, std::string&) {
    return 0;
}

} // namespace serial
