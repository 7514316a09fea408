#pragma once

#include "platform/PortIo.h"

#include <string>

namespace platform {

// The parallel card's ports through inpoutx64.dll, the DLL (with its kernel driver) that
// Windows programs use for I/O ports, loaded at run time when the user has installed it:
// Out32 writes a byte to a port, Inp32 reads one, IsInpOutDriverOpen says whether its driver
// runs. The card's two ports are byte ports, so a write puts the value's low byte on the port
// and a read gives the port's byte.
class TInpOut {
public:
    TInpOut() = default;
    ~TInpOut();
    TInpOut(const TInpOut&) = delete;
    TInpOut& operator=(const TInpOut&) = delete;

    // Loads `library` (a name that Windows looks up beside the program first, or a path) and
    // asks whether its driver runs. Refused, with the reason in Dutch: no such DLL, a DLL
    // without the three functions, or a driver that is not open.
    TPortAccess Load(const std::wstring& library);

    void Out(std::uint16_t port, std::uint16_t value) const;
    std::uint16_t In(std::uint16_t port) const;

private:
    using TOut32 = void(__stdcall*)(short, short);
    using TInp32 = short(__stdcall*)(short);
    using TDriverOpen = int(__stdcall*)();

    void* mModule = nullptr;
    TOut32 mOut = nullptr;
    TInp32 mIn = nullptr;
};

} // namespace platform
