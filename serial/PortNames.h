#pragma once

#include <functional>
#include <string>
#include <vector>

namespace serial {

// What the system tells about a serial port without opening it. What it does not know stays
// empty: a built-in port has no USB identity, a pseudo-terminal nothing but its path.
struct TPortInfo {
    std::string Path;     // the device, the port's value: /dev/ttyUSB0
    std::string Driver;   // ftdi_sio, cp210x, ch341-uart, cdc_acm, serial8250, ...
    std::string VendorId; // USB vendor and product, as the device reports them (0403, 6001)
    std::string ProductId;
    std::string Manufacturer;
    std::string Product;
    std::string SerialNumber;
    std::string ById; // the name udev gives it under /dev/serial/by-id, when there is one

    bool operator==(const TPortInfo&) const = default;
};

// Where the names of the system's serial ports come from. A source that cannot be read
// raises EComPort with reason 23 (ceRegistry).
using TPortNameSource = std::function<std::vector<std::string>()>;
// Where the ports with what is known about them come from; raises as a name source does.
using TPortSource = std::function<std::vector<TPortInfo>()>;

// The system's serial ports, sorted by path with letter case ignored, so that COM10 comes
// before COM2. The port source, when one is set, gives them; else the name source, when one
// is set, gives bare paths; else the system's own list does.
std::vector<TPortInfo> EnumPorts();
// The paths of EnumPorts. An empty source gives an empty list.
std::vector<std::string> EnumPortNames();

// Replace a source and return the one they replace; an empty function stands for none.
// Tests install their own so that they never see the machine's ports.
TPortNameSource SetPortNameSource(TPortNameSource source);
TPortSource SetPortSource(TPortSource source);

// The system's own list, with the paths as device paths that the port accepts as its Port.
std::vector<TPortInfo> SystemPorts();

// One readable line for a port list: the path, then what the port is (its product, or its
// maker, or its USB identity) and its serial number, "/dev/ttyUSB0 — FT232R USB UART
// (A10K3XYZ)". A port with no USB identity shows its path alone.
std::string PortLine(const TPortInfo& port);

// The name to keep for `port` in a settings file: its by-id name, which stays the same when
// the adapter is plugged into another socket, unless another of `ports` has the same USB
// identity and serial number (udev then gives the name to whichever came last); else its
// path.
std::string StablePortName(const TPortInfo& port, const std::vector<TPortInfo>& ports);

// The same adapter: the same USB vendor, product and serial number, the serial number known.
bool SameAdapter(const TPortInfo& a, const TPortInfo& b);

} // namespace serial
