#include "platform/Network.h"
#include "platform/TextWin32.h"

// clang-format off
// winsock2.h before windows.h, and both before iphlpapi.h, which needs their types.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <shellapi.h>
// clang-format on

namespace platform {

std::vector<std::string> LocalAddresses() {
    std::vector<std::string> addresses;
    ULONG size = 16 * 1024;
    std::string buffer(size, '\0');
    auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    if (::GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST, nullptr,
                               adapters, &size) != NO_ERROR)
        return addresses;
    for (const IP_ADAPTER_ADDRESSES* adapter = adapters; adapter; adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK)
            continue;
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast;
             unicast = unicast->Next) {
            const auto* address = reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr);
            char text[INET_ADDRSTRLEN] = {};
            if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text))
                addresses.emplace_back(text);
        }
    }
    return addresses;
}

bool OpenInBrowser(const std::string& url) {
    const std::wstring wide = PathOf(url).wstring();
    return reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr,
                                                     nullptr, SW_SHOWNORMAL)) > 32;
}

} // namespace platform
