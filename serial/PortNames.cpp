#include "serial/PortNames.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace serial {

namespace {

TPortNameSource& NameSource() {
    static TPortNameSource source;
    return source;
}

TPortSource& Source() {
    static TPortSource source;
    return source;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

} // namespace

std::vector<TPortInfo> EnumPorts() {
    const TPortSource source = Source();
    const TPortNameSource nameSource = NameSource();
    std::vector<TPortInfo> ports;
    if (source) {
        ports = source();
    } else if (nameSource) {
        for (std::string& name : nameSource()) {
            ports.emplace_back();
            ports.back().Path = std::move(name);
        }
    } else {
        ports = SystemPorts();
    }
    std::stable_sort(ports.begin(), ports.end(), [](const TPortInfo& a, const TPortInfo& b) {
        return LessIgnoringCase(a.Path, b.Path);
    });
    return ports;
}

std::vector<std::string> EnumPortNames() {
    std::vector<std::string> names;
    for (TPortInfo& port : EnumPorts())
        names.push_back(std::move(port.Path));
    return names;
}

TPortNameSource SetPortNameSource(TPortNameSource source) {
    return std::exchange(NameSource(), std::move(source));
}

TPortSource SetPortSource(TPortSource source) {
    return std::exchange(Source(), std::move(source));
}

std::string PortLine(const TPortInfo& port) {
    if (port.VendorId.empty())
        return port.Path;
    std::string what = !port.Product.empty()        ? port.Product
                       : !port.Manufacturer.empty() ? port.Manufacturer
                                                    : "USB " + port.VendorId + ":" + port.ProductId;
    if (!port.SerialNumber.empty())
        what += " (" + port.SerialNumber + ")";
    return port.Path + " \u2014 " + what;
}

bool SameAdapter(const TPortInfo& a, const TPortInfo& b) {
    return !a.SerialNumber.empty() && a.SerialNumber == b.SerialNumber &&
           a.VendorId == b.VendorId && a.ProductId == b.ProductId;
}

std::string StablePortName(const TPortInfo& port, const std::vector<TPortInfo>& ports) {
    if (port.ById.empty())
        return port.Path;
    for (const TPortInfo& other : ports) {
        if (other.Path != port.Path && other.VendorId == port.VendorId &&
            other.ProductId == port.ProductId && other.SerialNumber == port.SerialNumber)
            return port.Path;
    }
    return port.ById;
}

} // namespace serial
