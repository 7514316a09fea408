// Machines without x86 I/O ports: the real backend always refuses.
#include "platform/Messages.h"
#include "platform/PortIo.h"

namespace platform {

TPortAccess TRealPortBackend::RequestAccess() {
    TPortAccess access;
    access.Reason = TrMark("Directe toegang tot I/O-poorten bestaat alleen op x86-computers; de "
                           "parallelle kaart is hier niet te gebruiken. Kies de seriele kaart, "
                           "of start met /sim voor het gesimuleerde rek.");
    return access;
}

void TRealPortBackend::Out(std::uint16_t, std::uint16_t) {}

std::uint16_t TRealPortBackend::In(std::uint16_t) {
    return 0xFFFF;
}

} // namespace platform
