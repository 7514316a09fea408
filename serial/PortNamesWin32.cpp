// The port list on Windows: the registry's list of the serial ports the drivers serve.
#include "serial/PortNamesWin32.h"

#include "platform/TextWin32.h"
#include "serial/ComError.h"
#include "serial/PortNames.h"
#include "serial/PortWatch.h"

namespace serial {

std::vector<std::string> ReadPortKey(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    const LSTATUS openCode = ::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &opened);
    if (openCode == ERROR_FILE_NOT_FOUND)
        return {}; // no serial driver has entered a port since the start
    if (openCode != ERROR_SUCCESS)
        throw EComPort(ceRegistry, static_cast<std::int32_t>(openCode));

    std::vector<std::string> names;
    LSTATUS code = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = 256;
        wchar_t data[256];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        code = ::RegEnumValueW(opened, index, valueName, &nameLength, nullptr, &type,
                               reinterpret_cast<BYTE*>(data), &dataSize);
        if (code == ERROR_NO_MORE_ITEMS) {
            code = ERROR_SUCCESS;
            break;
        }
        if (code == ERROR_MORE_DATA)
            continue; // no port name is that long
        if (code != ERROR_SUCCESS)
            break;
        if (type != REG_SZ)
            continue;
        std::size_t length = dataSize / sizeof(wchar_t);
        while (length > 0 && data[length - 1] == L'\0')
            --length;
        if (length > 0)
            names.push_back(platform::Utf8(data, length));
    }
    ::RegCloseKey(opened);
    if (code != ERROR_SUCCESS)
        throw EComPort(ceRegistry, static_cast<std::int32_t>(code));
    return names;
}

std::vector<TPortInfo> SystemPorts() {
    std::vector<TPortInfo> ports;
    for (std::string& name : ReadPortKey(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM")) {
        ports.emplace_back();
        ports.back().Path = std::move(name);
    }
    return ports;
}

// A COM port is there while its name leads to a device (QueryDosDevice); the device it leads
// to tells one port from another under the same name.
std::optional<TDeviceNode> DeviceNodeOf(const std::string& path) {
    std::wstring name;
    for (const char c : path)
        name += static_cast<wchar_t>(static_cast<unsigned char>(c));
    if (name.starts_with(L"\\\\.\\"))
        name.erase(0, 4);
    wchar_t target[1024];
    const DWORD length = ::QueryDosDeviceW(name.c_str(), target, 1024);
    if (length == 0)
        return std::nullopt;
    TDeviceNode node;
    node.Device = std::hash<std::wstring>{}(std::wstring(target));
    return node;
}

// Windows has no links among the port names that could be laid anew.
std::optional<TDeviceNode> EntryOf(const std::string& path) {
    return DeviceNodeOf(path);
}

} // namespace serial
