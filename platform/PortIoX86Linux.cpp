// Real I/O-port access on x86 Linux.
#include "platform/Messages.h"
#include "platform/PortIo.h"

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sys/io.h>

namespace platform {

namespace {

std::mutex gRequestMutex;
std::optional<TPortAccess> gAnswer; // the one answer of this process, once asked
std::atomic<bool> gGranted{false};

// The threads of the process, or 0 when /proc cannot tell.
int ThreadCount() {
    std::error_code error;
    int count = 0;
    for (std::filesystem::directory_iterator task("/proc/self/task", error), end;
         !error && task != end; task.increment(error))
        ++count;
    return error ? 0 : count;
}

TPortAccess Ask() {
    TPortAccess access;
    // A thread that exists already would not get the permission, and a port instruction
    // there would kill the process; with one thread, every later thread descends from it.
    if (ThreadCount() > 1) {
        access.Reason = TrMark("De I/O-poorten 788 en 789 van de parallelle kaart zijn niet "
                               "gevraagd: het programma had al meer dan een thread, en alleen "
                               "threads die na de toestemming beginnen krijgen die mee.");
        return access;
    }
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

} // namespace

TPortAccess TRealPortBackend::RequestAccess() {
    std::lock_guard lock(gRequestMutex);
    if (!gAnswer) {
        gAnswer = Ask();
        gGranted.store(gAnswer->Granted, std::memory_order_release);
    }
    return *gAnswer;
}

void TRealPortBackend::Out(std::uint16_t port, std::uint16_t value) {
    if (gGranted.load(std::memory_order_acquire))
        outw(value, port);
}

std::uint16_t TRealPortBackend::In(std::uint16_t port) {
    return gGranted.load(std::memory_order_acquire) ? inw(port) : 0xFFFF;
}

} // namespace platform
