#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The parallel interface card's two I/O ports.
inline constexpr std::uint16_t BusOutPort =
    788; // 0x314: D0-D5, data strobe bit 6, address strobe bit 7
inline constexpr std::uint16_t BusInPort =
    789; // 0x315: feedback lines bits 0-3, short circuit bit 4

// The answer of the system to a request for the parallel card's ports.
struct TPortAccess {
    bool Granted = false;
    int ErrorNumber = 0; // errno of the refusal, 0 when granted or not applicable
    std::string Reason;  // Dutch text for the user, empty when granted; see AccessReasonText
};

// Where PortOut and PortIn go: the real ports, the simulated parallel card, or a recorder.
class TPortBackend {
public:
    virtual ~TPortBackend() = default;
    // Asks the system for the ports, for the calling thread and the threads it starts
    // afterwards. A backend that needs no permission grants at once.
    virtual TPortAccess RequestAccess() { return {true, 0, {}}; }
    virtual void Out(std::uint16_t port, std::uint16_t value) = 0;
    virtual std::uint16_t In(std::uint16_t port) = 0;
};

// Selects the backend and returns the previous one. The caller keeps ownership and must keep
// the backend alive until it has been replaced and the parallel worker has stopped using it.
// With no backend, writes go nowhere and reads give 0xFFFF, as from an empty ISA bus.
TPortBackend* SetPortBackend(TPortBackend* backend);
TPortBackend* PortBackend();

// One 16-bit write and one 16-bit read of an I/O port through the selected backend.
void PortOut(std::uint16_t port, std::uint16_t value);
std::uint16_t PortIn(std::uint16_t port);

// The reason of a refusal in the user's language, the system's error text in place of "%s"
// and the running program's file in place of "%f" (the file `setcap` must be given).
std::string AccessReasonText(const TPortAccess& access);

// The real ports (x86 Linux: ioperm for 0x314..0x315 alone, then outw/inw). The permission
// belongs to the thread that asked and to the threads it starts afterwards, and asking takes
// CAP_SYS_RAWIO, which the program gives up right after; so the process asks once, on the main
// thread before any other thread exists, and every later request only repeats that answer.
// A port instruction without permission kills the process: when the answer was no, writes
// are dropped and reads give 0xFFFF.
class TRealPortBackend : public TPortBackend {
public:
    // Call it on the main thread before the parallel worker starts, and show the reason when
    // it is refused. Asked while other threads run, it refuses without asking, as those
    // threads could not use the ports.
    TPortAccess RequestAccess() override;

    void Out(std::uint16_t port, std::uint16_t value) override;
    std::uint16_t In(std::uint16_t port) override;
};

} // namespace platform
