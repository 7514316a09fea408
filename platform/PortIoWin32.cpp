// The parallel card's ports on Windows, through inpoutx64.dll when it is installed.
#include "platform/PortIoWin32.h"

#include "platform/Messages.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <windows.h>

namespace platform {

TInpOut::~TInpOut() {
    if (mModule)
        ::FreeLibrary(static_cast<HMODULE>(mModule));
}

TPortAccess TInpOut::Load(const std::wstring& library) {
    TPortAccess access;
    const HMODULE module = ::LoadLibraryW(library.c_str());
    if (!module) {
        access.ErrorNumber = static_cast<int>(::GetLastError());
        access.Reason = TrMark("De parallelle kaart is niet te gebruiken: inpoutx64.dll is niet "
                               "gevonden. Installeer InpOutx64 (de DLL met zijn stuurprogramma) "
                               "en zet inpoutx64.dll naast %f, of kies de seriele kaart, of start "
                               "met /sim voor het gesimuleerde rek.");
        return access;
    }
    // The functions come as plain addresses; their types are the DLL's documented ones.
    const auto out = reinterpret_cast<TOut32>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module, "Out32")));
    const auto in = reinterpret_cast<TInp32>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module, "Inp32")));
    const auto driverOpen = reinterpret_cast<TDriverOpen>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module, "IsInpOutDriverOpen")));
    if (!out || !in || !driverOpen) {
        ::FreeLibrary(module);
        access.Reason = TrMark("De parallelle kaart is niet te gebruiken: deze inpoutx64.dll "
                               "mist Out32, Inp32 of IsInpOutDriverOpen.");
        return access;
    }
    if (!driverOpen()) {
        ::FreeLibrary(module);
        access.Reason = TrMark("De parallelle kaart is niet te gebruiken: het stuurprogramma van "
                               "inpoutx64.dll is niet geopend. Start het programma een keer als "
                               "administrator, zodat de DLL het kan installeren.");
        return access;
    }
    mModule = module;
    mOut = out;
    mIn = in;
    access.Granted = true;
    return access;
}

void TInpOut::Out(std::uint16_t port, std::uint16_t value) const {
    if (mOut)
        mOut(static_cast<short>(port), static_cast<short>(value & 0xFF));
}

std::uint16_t TInpOut::In(std::uint16_t port) const {
    return mIn ? static_cast<std::uint16_t>(static_cast<std::uint8_t>(mIn(static_cast<short>(port))))
               : 0xFFFF;
}

namespace {

std::mutex gRequestMutex;
std::optional<TPortAccess> gAnswer; // the one answer of this process, once asked
std::atomic<bool> gGranted{false};

TInpOut& InpOut() {
    static TInpOut inpOut;
    return inpOut;
}

} // namespace

// The DLL is loaded once, at the first request; the answer holds for the rest of the run.
TPortAccess TRealPortBackend::RequestAccess() {
    std::lock_guard lock(gRequestMutex);
    if (!gAnswer) {
        gAnswer = InpOut().Load(L"inpoutx64.dll");
        gGranted.store(gAnswer->Granted, std::memory_order_release);
    }
    return *gAnswer;
}

void TRealPortBackend::Out(std::uint16_t port, std::uint16_t value) {
    if (gGranted.load(std::memory_order_acquire))
        InpOut().Out(port, value);
}

std::uint16_t TRealPortBackend::In(std::uint16_t port) {
    return gGranted.load(std::memory_order_acquire) ? InpOut().In(port) : 0xFFFF;
}

} // namespace platform
