// Real I/O-port access on x86 Linux.
#include "platform/Messages.h"
#include "platform/PortIo.h"

#include <cerrno>
#include <sys/io.h>

namespace platform {

namespace {

// ioperm grants per thread; -1 not asked yet, 0 refused, 1 granted.
thread_local int tPermission = -1;

TPortAccess Ask() {
    TPortAccess access;
    if (ioperm(BusOutPort, 2, 1) == 0) {
        access.Granted = true;
        return access;
    }
    access.ErrorNumber = errno;
    switch (access.ErrorNumber) {
    case ENOSYS:
        access.Reason = TrMark("De kernel van deze computer staat geen directe toegang tot "
                               "I/O-poorten toe (ioperm: ENOSYS). De parallelle kaart is hier "
                               "niet te gebruiken; kies de seriele kaart, of start met /sim "
                               "voor het gesimuleerde rek.");
        break;
    case EPERM:
        access.Reason = TrMark("Geen toestemming voor de I/O-poorten 788 en 789 van de "
                               "parallelle kaart. Start het programma als root, of geef het "
                               "programma dat recht met 'sudo setcap cap_sys_rawio+ep %f'.");
        break;
    default:
        access.Reason = TrMark("De I/O-poorten 788 en 789 van de parallelle kaart zijn niet te "
                               "gebruiken (ioperm: %s).");
        break;
    }
    return access;
}

bool Permitted() {
    if (tPermission < 0)
        tPermission = Ask().Granted ? 1 : 0;
    return tPermission == 1;
}

} // namespace

TPortAccess TRealPortBackend::RequestAccess() {
    TPortAccess access = Ask();
    tPermission = access.Granted ? 1 : 0;
    return access;
}

void TRealPortBackend::Out(std::uint16_t port, std::uint16_t value) {
    if (Permitted())
        outw(value, port);
}

std::uint16_t TRealPortBackend::In(std::uint16_t port) {
    return Permitted() ? inw(port) : 0xFFFF;
}

} // namespace platform
