#pragma once

#include "settings/OutputFile.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace bus {

// The clock list's entries; a settings file names one of them.
inline const std::vector<std::string> ClockEntries{"100", "200", "400", "800", "1600"};

// The settings as the settings window's controls hold them (pending check-box values, not
// the applied ones).
struct TSettings {
    bool Parallel = false;
    int PortIndex = 1; // selected entry of the port list, -1 for none
    int ClockIndex = 1;
    bool KortsluitStop = false;
    bool TimeOut = true;
    bool KorsluitMelding = false;
    bool Baudrate19200 = false;
    bool Testen = false;
    int TestTijd = 400;

    bool operator==(const TSettings&) const = default;
};

inline constexpr int TestTijdMin = 100;
inline constexpr int TestTijdMax = 10000;

// The outcome of reading a settings file. On an error the load stopped at the offending
// line: `Settings` holds what was applied before it, and the caller must not arm the
// connection set-up.
struct TSettingsLoad {
    TSettings Settings;
    std::vector<std::string> Ports; // the port list, possibly with a device added
    bool Ok = true;
    std::string Error;
};

// Tells whether a path names a terminal device that exists (a serial adapter, a
// pseudo-terminal, a link to one); used for "Poort" values that name a device not listed.
using TIsTerminalDevice = std::function<bool(const std::string& path)>;

// Reads the text of a settings file over the current settings and port list.
//
// Lines end in CR LF (a lone LF or CR ends a line too). Only lines in a "[ZELM]" section
// count; "[COUNTER]" starts a section that does not; other headers change nothing. Keys and
// values are case-insensitive and stripped of blanks; unknown keys are ignored; the last
// occurrence of a key wins. "Poort" selects a listed port named without regard to case,
// else a listed port whose path leads to the same device (a by-id name and the device path
// it links to), else adds and selects an existing terminal device named by its path, else
// COM1 to COM4 select positions 0 to 3 (a position past the end selects nothing), else
// changes nothing.
// A "Tijd" that is not a whole decimal number that fits an integer stops the load with
// "'%s' is not a valid integer value".
TSettingsLoad ReadSettings(std::string_view text, const TSettings& current,
                           std::vector<std::string> ports,
                           const TIsTerminalDevice& isTerminalDevice);

// The exact bytes of a settings file: ten lines in a fixed order and an empty line, each
// ended by CR LF. With no port selected the "Poort" line has an empty value.
std::string WriteSettings(const TSettings& settings, const std::vector<std::string>& ports);

// The printed settings report: eight lines from "Methode= Serieel" to "Test= False", with the
// chosen port's name as given (empty for none).
std::vector<std::string> SettingsReport(const TSettings& settings, const std::string& port);

// Reads at most `limit` bytes of a file. False when it cannot be opened.
bool ReadFileText(const std::string& path, std::string& text, std::size_t limit = 1 << 22);

// True for an existing character device that answers as a terminal.
bool IsTerminalDevice(const std::string& path);

} // namespace bus
