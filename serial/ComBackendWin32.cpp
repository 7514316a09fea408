// The serial device on Windows: a COM port through CreateFile, its line through the DCB, the
// time limits of the transfers through COMMTIMEOUTS, which the driver keeps itself.
#include "serial/ComBackendWin32.h"

#include "platform/Messages.h"
#include "serial/ComError.h"

#include <algorithm>
#include <cctype>

namespace serial {

bool MakeWin32Dcb(const TDcb& dcb, const DCB& base, DCB& result) {
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > 2 ||
        (dcb.StopBits == 1 && dcb.ByteSize != 5) || (dcb.StopBits == 2 && dcb.ByteSize == 5) ||
        dcb.fDtrControl > 2 || dcb.fRtsControl > 3)
        return false;
    result = base;
    result.DCBlength = sizeof(DCB);
    result.BaudRate = dcb.BaudRate;
    result.fBinary = dcb.fBinary;
    result.fParity = dcb.fParity;
    result.fOutxCtsFlow = dcb.fOutxCtsFlow;
    result.fOutxDsrFlow = dcb.fOutxDsrFlow;
    result.fDtrControl = dcb.fDtrControl;
    result.fDsrSensitivity = dcb.fDsrSensitivity;
    result.fTXContinueOnXoff = dcb.fTXContinueOnXoff;
    result.fOutX = dcb.fOutX;
    result.fInX = dcb.fInX;
    result.fErrorChar = dcb.fErrorChar;
    result.fNull = dcb.fNull;
    result.fRtsControl = dcb.fRtsControl;
    result.fAbortOnError = dcb.fAbortOnError;
    result.XonLim = dcb.XonLim;
    result.XoffLim = dcb.XoffLim;
    result.ByteSize = dcb.ByteSize;
    result.Parity = dcb.Parity;
    result.StopBits = dcb.StopBits;
    result.XonChar = static_cast<char>(dcb.XonChar);
    result.XoffChar = static_cast<char>(dcb.XoffChar);
    result.ErrorChar = static_cast<char>(dcb.ErrorChar);
    result.EvtChar = static_cast<char>(dcb.EvtChar);
    return true;
}

COMMTIMEOUTS MakeWin32Timeouts(const TCommTimeouts& timeouts) {
    COMMTIMEOUTS result{};
    result.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    result.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    result.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    result.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
    result.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
    return result;
}

std::wstring Win32DevicePath(const std::string& port) {
    std::wstring path;
    if (!port.starts_with("\\\\.\\") && !port.starts_with("\\\\?\\"))
        path = L"\\\\.\\";
    for (const char c : port)
        path += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

namespace {

// A driver without modem lines (a virtual port, wine's on a pseudo-terminal) answers the
// modem functions with "not supported"; its lines count as off and ignore being driven. A
// failure that sets no code at all is the same answer.
bool NoModemLines(DWORD code) {
    return code == ERROR_SUCCESS || code == ERROR_NOT_SUPPORTED;
}

int LastError() {
    const DWORD code = ::GetLastError();
    return code == ERROR_SUCCESS ? static_cast<int>(ERROR_GEN_FAILURE) : static_cast<int>(code);
}

class TWin32ComBackend final : public TComBackend {
public:
    ~TWin32ComBackend() override { Close(); }

    int Open(const std::string& port) override {
        if (mHandle != INVALID_HANDLE_VALUE)
            return ERROR_BUSY;
        // No sharing: Windows holds a COM port for one handle at a time anyway.
        const HANDLE handle = ::CreateFileW(Win32DevicePath(port).c_str(),
                                           GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return LastError();
        // A name that leads to something other than a serial device (a file, a pipe).
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle, &dcb)) {
            const int code = LastError();
            ::CloseHandle(handle);
            return code;
        }
        mHandle = handle;
        return 0;
    }

    void Close() override {
        if (mHandle == INVALID_HANDLE_VALUE)
            return;
        ::CloseHandle(mHandle);
        mHandle = INVALID_HANDLE_VALUE;
    }

    int SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize) override {
        if (mHandle == INVALID_HANDLE_VALUE)
            return ERROR_INVALID_HANDLE;
        return ::SetupComm(mHandle, static_cast<DWORD>(inputSize),
                           static_cast<DWORD>(outputSize))
                   ? 0
                   : LastError();
    }

    int SetLine(const TDcb& dcb) override {
        if (mHandle == INVALID_HANDLE_VALUE)
            return ERROR_INVALID_HANDLE;
        DCB current{};
        current.DCBlength = sizeof current;
        if (!::GetCommState(mHandle, &current))
            return LastError();
        DCB wanted{};
        if (!MakeWin32Dcb(dcb, current, wanted))
            return ERROR_INVALID_PARAMETER;
        return ::SetCommState(mHandle, &wanted) ? 0 : LastError();
    }

    int SetTimeouts(const TCommTimeouts& timeouts) override {
        if (mHandle == INVALID_HANDLE_VALUE)
            return ERROR_INVALID_HANDLE;
        COMMTIMEOUTS limits = MakeWin32Timeouts(timeouts);
        return ::SetCommTimeouts(mHandle, &limits) ? 0 : LastError();
    }

    int Write(const char* data, std::int32_t count, std::int32_t& written) override {
        written = 0;
        if (mHandle == INVALID_HANDLE_VALUE)
            return ERROR_INVALID_HANDLE;
        DWORD done = 0;
        const BOOL ok = ::WriteFile(mHandle, data, static_cast<DWORD>(count), &done, nullptr);
        written = static_cast<std::int32_t>(done);
        return ok ? 0 : LastError();
    }

    int Read(char* data, std::int32_t count, std::int32_t& received) override {
        received = 0;
        if (mHandle == INVALID_HANDLE_VALUE)
            return ERROR_INVALID_HANDLE;
        DWORD done = 0;
        const BOOL ok = ::ReadFile(mHandle, data, static_cast<DWORD>(count), &done, nullptr);
        received = static_cast<std::int32_t>(done);
        if (!ok)
            return LastError();
        // Nothing within the limits: a quiet line, or one that hung up (wine hands a
        // pseudo-terminal's end of file over as an empty read at once). Only the second is
        // an error, and the line's state tells which.
        return done == 0 ? LineFailure() : 0;
    }

    int Purge(std::uint32_t flags) override {
        if (mHandle == INVALID_HANDLE_VALUE)
            return ERROR_INVALID_HANDLE;
        // As on the other systems: the transfers run to completion inside Read and Write, and
        // a write completes once its bytes are with the driver, so clearing the output queue
        // has nothing of this program's to take back, and must not drop the words that the
        // bus path sends back to back (wine's queue on a pseudo-terminal still holds them).
        const DWORD asked = flags & (PurgeRxAbort | PurgeRxClear | PurgeTxAbort);
        if (asked == 0)
            return 0;
        return ::PurgeComm(mHandle, asked) ? 0 : LastError();
    }

    int SetDtr(bool on) override {
        if (mHandle == INVALID_HANDLE_VALUE)
            return ERROR_INVALID_HANDLE;
        if (::EscapeCommFunction(mHandle, on ? SETDTR : CLRDTR))
            return 0;
        const DWORD code = ::GetLastError();
        return NoModemLines(code) ? 0 : static_cast<int>(code);
    }

    int ModemStatus(std::uint32_t& status) override {
        status = 0;
        if (mHandle == INVALID_HANDLE_VALUE)
            return ERROR_INVALID_HANDLE;
        DWORD lines = 0;
        ::SetLastError(ERROR_SUCCESS);
        if (!::GetCommModemStatus(mHandle, &lines)) {
            const DWORD code = ::GetLastError();
            return NoModemLines(code) ? 0 : static_cast<int>(code);
        }
        status = lines & (ModemCtsOn | ModemDsrOn | ModemRingOn | ModemRlsdOn);
        return 0;
    }

    std::intptr_t Handle() const override {
        return mHandle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(mHandle);
    }

    // The modem status is the one question that takes nothing from the line and fails once
    // the device is gone: ERROR_NOT_READY (21) from wine when a pseudo-terminal's far end
    // closed, ERROR_BAD_COMMAND (22) or ERROR_ACCESS_DENIED (5) from a USB-serial driver
    // whose adapter was pulled out.
    int LineFailure() override {
        std::uint32_t status = 0;
        return ModemStatus(status);
    }

private:
    HANDLE mHandle = INVALID_HANDLE_VALUE;
};

} // namespace

std::unique_ptr<TComBackend> CreatePlatformComBackend() {
    return std::make_unique<TWin32ComBackend>();
}

// A settings file names ports as Windows does; an old one from Linux, /dev/ttyS0, names the
// first port, COM1.
std::string DeviceName(const std::string& port) {
    const std::string serial = "/dev/ttyS";
    if (port.starts_with(serial) && port.size() > serial.size() && port.size() <= serial.size() + 3 &&
        std::all_of(port.begin() + static_cast<std::ptrdiff_t>(serial.size()), port.end(),
                    [](unsigned char c) { return std::isdigit(c) != 0; }))
        return "COM" + std::to_string(std::stoi(port.substr(serial.size())) + 1);
    return port;
}

std::string UserExplanation(const EComPort& error) {
    switch (error.SystemCode) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        // Windows gives a COM port to one program at a time and refuses the next one so.
        return platform::Tr("De seriële poort is in gebruik door een ander programma. Sluit dat "
                            "programma en probeer het opnieuw.");
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return platform::Tr("De verbinding met de seriële poort is verbroken. Is de USB-seriële "
                            "adapter losgetrokken? Sluit hem weer aan, kies de poort in "
                            "Instellingen > Status... en druk op OK.");
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return platform::Tr("Deze seriële poort bestaat niet op deze computer. Kies een andere "
                            "poort of sluit de USB-seriële adapter aan.");
    default:
        return {};
    }
}

} // namespace serial
