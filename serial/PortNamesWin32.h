#pragma once

#include <string>
#include <vector>
#include <windows.h>

namespace serial {

// The port names that the values of a registry key hold, unsorted: the serial drivers enter
// each port they serve under HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, the value's
// name being the driver's device (\Device\Serial0) and its data the port name (COM1). Only
// text values count. A key that is not there means no ports; one that cannot be read raises
// EComPort reason 23 (ceRegistry) with the Windows error code.
std::vector<std::string> ReadPortKey(HKEY root, const std::wstring& key);

} // namespace serial
