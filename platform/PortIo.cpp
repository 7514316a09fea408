#include "platform/PortIo.h"

#include "platform/Messages.h"

#include <atomic>
#include <cstring>

namespace platform {

namespace {
std::atomic<TPortBackend*> gBackend{nullptr};
}

TPortBackend* SetPortBackend(TPortBackend* backend) {
    return gBackend.exchange(backend, std::memory_order_acq_rel);
}

TPortBackend* PortBackend() {
    return gBackend.load(std::memory_order_acquire);
}

void PortOut(std::uint16_t port, std::uint16_t value) {
    if (auto* backend = PortBackend())
        backend->Out(port, value);
}

std::uint16_t PortIn(std::uint16_t port) {
    if (auto* backend = PortBackend())
        return backend->In(port);
    return 0xFFFF;
}

std::string AccessReasonText(const TPortAccess& access) {
    std::string text = Tr(access.Reason.c_str());
    if (const auto at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, std::strerror(access.ErrorNumber));
    if (const auto at = text.find("%f"); at != std::string::npos)
        text.replace(at, 2, ProgramFile().empty() ? std::string("morvelplint") : ProgramFile());
    return text;
}

} // namespace platform
