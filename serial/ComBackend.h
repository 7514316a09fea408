#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace serial {

// The device control block that the port's line settings produce: the fields of the Win32
// DCB that the port fills (DCBlength is the Win32 backend's own business). A backend
// programs the line from it; fields it cannot honour make it refuse the whole block.
struct TDcb {
    std::uint32_t BaudRate = 0;
    bool fBinary = false;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    std::uint8_t fDtrControl = 0; // 0 low, 1 high, 2 input handshake
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;
    bool fInX = false;
    bool fErrorChar = false;
    bool fNull = false;
    std::uint8_t fRtsControl = 0; // 0 low, 1 high, 2 input handshake, 3 toggle
    bool fAbortOnError = false;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;
    std::uint8_t ErrorChar = 0;
    std::uint8_t EvtChar = 0;

    bool operator==(const TDcb&) const = default;
};

// The time limits as the platform record holds them: unsigned, -1 as all ones.
struct TCommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const TCommTimeouts&) const = default;
};

// Flags of TComBackend::Purge and bits of TComBackend::ModemStatus (the Win32 values).
inline constexpr std::uint32_t PurgeTxAbort = 0x0001;
inline constexpr std::uint32_t PurgeRxAbort = 0x0002;
inline constexpr std::uint32_t PurgeTxClear = 0x0004;
inline constexpr std::uint32_t PurgeRxClear = 0x0008;
inline constexpr std::uint32_t ModemCtsOn = 0x0010;
inline constexpr std::uint32_t ModemDsrOn = 0x0020;
inline constexpr std::uint32_t ModemRingOn = 0x0040;
inline constexpr std::uint32_t ModemRlsdOn = 0x0080;

// One serial device as the platform offers it. The port owns one backend for its whole life;
// the backend holds the device while open. Every operation returns 0 or the platform's error
// number (errno on POSIX); an operation that needs the device fails while none is held.
// Transfers run to completion under the time limits last given to SetTimeouts; running into a
// limit is not an error, the count is then smaller.
class TComBackend {
public:
    virtual ~TComBackend() = default;

    // Acquires the device of the port name for reading and writing, exclusively.
    virtual int Open(const std::string& port) = 0;
    // Releases the device; does nothing when none is held.
    virtual void Close() = 0;
    virtual int SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize) = 0;
    virtual int SetLine(const TDcb& dcb) = 0;
    virtual int SetTimeouts(const TCommTimeouts& timeouts) = 0;
    virtual int Write(const char* data, std::int32_t count, std::int32_t& written) = 0;
    virtual int Read(char* data, std::int32_t count, std::int32_t& received) = 0;
    virtual int Purge(std::uint32_t flags) = 0;
    virtual int SetDtr(bool on) = 0;
    virtual int ModemStatus(std::uint32_t& status) = 0;
    // The platform's handle of the device (a file descriptor on POSIX), -1 when none is held.
    virtual std::intptr_t Handle() const = 0;
    // 0 while the line is there; else the error number the next transfer would meet (the
    // line hung up: a far end that closed, an adapter pulled out). Takes nothing from it.
    virtual int LineFailure() { return 0; }
    // The last Open asked the driver to hand on received bytes at once (USB-serial drivers
    // hold them back otherwise) and the driver said no.
    virtual bool LowLatencyRefused() const { return false; }
};

// The backend of the platform this program is built for.
std::unique_ptr<TComBackend> CreatePlatformComBackend();

// The device that a port name stands for on this platform.
std::string DeviceName(const std::string& port);

} // namespace serial
