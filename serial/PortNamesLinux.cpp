#include "serial/PortNamesLinux.h"

#include "serial/ComError.h"
#include "serial/PortNames.h"

#include <filesystem>
#include <fstream>

namespace serial {

namespace {

// The 8250 driver registers ttyS0..ttyS(n-1) whether a UART answers or not; the absent ones
// have the port type PORT_UNKNOWN (0) in their "type" attribute. Reading the attribute keeps
// the list from opening each device, which would toggle the modem lines of real ports.
bool AbsentUart(const std::filesystem::path& entry) {
    std::ifstream typeFile(entry / "type");
    int type = -1;
    return typeFile >> type && type == 0;
}

} // namespace

std::vector<std::string> ScanTtyClass(const std::string& ttyClassFolder,
                                      const std::string& deviceFolder) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator entries(ttyClassFolder, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::path entry = entries->path();
        std::error_code ignored;
        if (!fs::exists(entry / "device", ignored) || AbsentUart(entry))
            continue;
        names.push_back(deviceFolder + "/" + entry.filename().string());
    }
    if (error)
        throw EComPort(ceRegistry, error.value());
    return names;
}

std::vector<std::string> SystemPortNames() {
    return ScanTtyClass("/sys/class/tty", "/dev");
}

} // namespace serial
