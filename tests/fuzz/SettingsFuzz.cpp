// Feeds arbitrary bytes to the settings file reader. Besides the sanitizers' findings it
// checks what the reader promises: a load that succeeds writes back a file that reads as
// the same settings, and the port selection always names an entry of the list or none.
// Findings become cases in tests/unit/SettingsFileTests.cpp.
#include "settings/SettingsFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> ports{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"};
    const auto isTerminal = [](const std::string& path) { return path == "/dev/pts/3"; };

    const bus::TSettingsLoad load = bus::ReadSettings(text, bus::TSettings{}, ports, isTerminal);
    Check(load.Settings.PortIndex >= -1 &&
          load.Settings.PortIndex < static_cast<int>(load.Ports.size()));
    Check(load.Ports.size() >= ports.size() &&
          std::equal(ports.begin(), ports.end(), load.Ports.begin()));
    Check(load.Settings.TestTijd >= bus::TestTijdMin && load.Settings.TestTijd <= bus::TestTijdMax);
    Check(load.Settings.ClockIndex >= 0 && load.Settings.ClockIndex < 5);
    Check(load.Ok == load.Error.empty());
    if (!load.Ok)
        return 0;

    const std::string written = bus::WriteSettings(load.Settings, load.Ports);
    const bus::TSettingsLoad again =
        bus::ReadSettings(written, bus::TSettings{}, load.Ports, isTerminal);
    Check(again.Ok);
    // With no port selected the file has an empty "Poort" value, which selects nothing and
    // so leaves the selection the reader started from.
    bus::TSettings expected = load.Settings;
    if (expected.PortIndex == -1)
        expected.PortIndex = bus::TSettings{}.PortIndex;
    Check(again.Settings == expected);
    if (load.Settings.PortIndex != -1)
        Check(bus::WriteSettings(again.Settings, again.Ports) == written);
    return 0;
}
