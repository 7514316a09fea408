#include "serial/PortNamesLinux.h"

#include "serial/ComError.h"
#include "serial/PortWatch.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace serial {

namespace fs = std::filesystem;

namespace {

// The 8250 driver registers ttyS0..ttyS(n-1) whether a UART answers or not; the absent ones
// have the port type PORT_UNKNOWN (0) in their "type" attribute. Reading the attribute keeps
// the list from opening each device, which would toggle the modem lines of real ports.
bool AbsentUart(const fs::path& entry) {
    std::ifstream typeFile(entry / "type");
    int type = -1;
    return typeFile >> type && type == 0;
}

// A sysfs attribute's text without the line end; empty when it is not there.
std::string Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    while (!text.empty() && (text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// The USB device above a tty's device: the first folder on the way up that has a vendor id
// (the interface for ttyACM, the port and then the interface for ttyUSB lie below it).
// Stops at the top of the sysfs tree; empty for a port that is not on USB.
fs::path UsbDevice(fs::path device, const fs::path& top) {
    std::error_code error;
    for (; !device.empty() && device != top && device != device.root_path();
         device = device.parent_path()) {
        if (fs::exists(device / "idVendor", error))
            return device;
    }
    return {};
}

// The by-id names of `deviceFolder`, by the device each one leads to.
std::map<fs::path, std::string> ByIdNames(const std::string& deviceFolder) {
    std::map<fs::path, std::string> names;
    std::error_code error;
    fs::directory_iterator entries(fs::path(deviceFolder) / "serial" / "by-id", error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::error_code dangling;
        const fs::path target = fs::canonical(entries->path(), dangling);
        if (!dangling)
            names.emplace(target, entries->path().string());
    }
    return names;
}

} // namespace

std::vector<std::string> ScanTtyClass(const std::string& ttyClassFolder,
                                      const std::string& deviceFolder) {
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

std::vector<TPortInfo> ReadPorts(const std::string& sysFolder, const std::string& deviceFolder) {
    const fs::path classFolder = fs::path(sysFolder) / "class" / "tty";
    const std::vector<std::string> paths = ScanTtyClass(classFolder.string(), deviceFolder);
    const std::map<fs::path, std::string> byId = ByIdNames(deviceFolder);
    std::error_code error;
    const fs::path top = fs::canonical(sysFolder, error);

    std::vector<TPortInfo> ports;
    for (const std::string& path : paths) {
        TPortInfo port;
        port.Path = path;
        const fs::path name = fs::path(path).filename();
        const fs::path device = fs::canonical(classFolder / name / "device", error);
        if (!error) {
            const fs::path driver = fs::canonical(device / "driver", error);
            if (!error)
                port.Driver = driver.filename().string();
            if (const fs::path usb = UsbDevice(device, top); !usb.empty()) {
                port.VendorId = Attribute(usb / "idVendor");
                port.ProductId = Attribute(usb / "idProduct");
                port.Manufacturer = Attribute(usb / "manufacturer");
                port.Product = Attribute(usb / "product");
                port.SerialNumber = Attribute(usb / "serial");
            }
        }
        const fs::path node = fs::canonical(path, error);
        if (!error) {
            if (const auto found = byId.find(node); found != byId.end())
                port.ById = found->second;
        }
        ports.push_back(std::move(port));
    }
    return ports;
}

namespace {

// UNIX 98 pseudo-terminal slaves have the majors 136 to 143.
TDeviceNode NodeOf(const struct stat& info) {
    const unsigned majorNumber = S_ISCHR(info.st_mode) ? major(info.st_rdev) : 0;
    return TDeviceNode{info.st_dev, info.st_ino, info.st_rdev,
                       std::int64_t{info.st_ctim.tv_sec} * 1000000000 + info.st_ctim.tv_nsec,
                       majorNumber >= 136 && majorNumber <= 143};
}

} // namespace

std::optional<TDeviceNode> DeviceNodeOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return NodeOf(info);
}

std::optional<TDeviceNode> EntryOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return std::nullopt;
    return NodeOf(info);
}

std::vector<TPortInfo> SystemPorts() {
    return ReadPorts("/sys", "/dev");
}

} // namespace serial
