#include "platform/PortIo.h"

#include <atomic>

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

} // namespace platform
