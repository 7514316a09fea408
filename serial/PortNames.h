#pragma once

#include <functional>
#include <string>
#include <vector>

namespace serial {

// Where the names of the system's serial ports come from. A source that cannot be read
// raises EComPort with reason 23 (ceRegistry).
using TPortNameSource = std::function<std::vector<std::string>()>;

// The names of the serial ports that the system knows, sorted with letter case ignored, so
// that COM10 comes before COM2. An empty source gives an empty list.
std::vector<std::string> EnumPortNames();

// Replaces the source and returns the one it replaces; an empty function stands for the
// system's own list. Tests install their own so that they never see the machine's ports.
TPortNameSource SetPortNameSource(TPortNameSource source);

// The system's own list, as device paths that the port accepts as its Port.
std::vector<std::string> SystemPortNames();

} // namespace serial
