#pragma once

#include "serial/PortNames.h"

#include <string>
#include <vector>

namespace serial {

// The serial ports among the entries of a tty class folder (normally /sys/class/tty), as paths
// in `deviceFolder` (normally /dev), unsorted. An entry counts when it has a device behind it
// (virtual consoles, ptmx and the like have none) and is not a placeholder of the 8250 driver
// for a UART that is absent. An unreadable folder raises EComPort reason 23 with the errno.
std::vector<std::string> ScanTtyClass(const std::string& ttyClassFolder,
                                      const std::string& deviceFolder);

// The serial ports of a sysfs tree (`sysFolder`, normally /sys) with what it tells about each,
// and their by-id names from `deviceFolder`/serial/by-id; nothing is opened. Unsorted; raises
// as ScanTtyClass.
std::vector<TPortInfo> ReadPorts(const std::string& sysFolder, const std::string& deviceFolder);

} // namespace serial
