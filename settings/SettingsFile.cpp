#include "settings/SettingsFile.h"

#include "settings/SettingsFileSystem.h"

#include <climits>
#include <cstdlib>

namespace bus {

namespace {

std::string Upper(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return result;
}

// Blanks are spaces and control characters, as a text editor would leave them.
std::string_view Strip(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return Upper(a) == Upper(b);
}

// A whole decimal number with an optional sign that fits an int.
bool ParseInt(std::string_view text, int& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return false;
    long long result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + (text[i] - '0');
        if (result > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    if (negative)
        result = -result;
    if (result > INT_MAX || result < INT_MIN)
        return false;
    value = static_cast<int>(result);
    return true;
}

void ApplyPort(const std::string& value, const std::string& rawValue, TSettingsLoad& load,
               const TIsTerminalDevice& isTerminalDevice) {
    for (std::size_t i = 0; i < load.Ports.size(); ++i) {
        if (EqualsNoCase(load.Ports[i], value)) {
            load.Settings.PortIndex = static_cast<int>(i);
            return;
        }
    }
    if (const std::string device =
            rawValue.empty() || rawValue.front() != '/' ? std::string() : ResolvedPath(rawValue);
        !device.empty()) {
        for (std::size_t i = 0; i < load.Ports.size(); ++i) {
            if (load.Ports[i].starts_with('/') && ResolvedPath(load.Ports[i]) == device) {
                load.Settings.PortIndex = static_cast<int>(i);
                return;
            }
        }
    }
    if (!rawValue.empty() && rawValue.front() == '/' && isTerminalDevice &&
        isTerminalDevice(rawValue)) {
        load.Ports.push_back(rawValue);
        load.Settings.PortIndex = static_cast<int>(load.Ports.size() - 1);
        return;
    }
    static const char* const comNames[] = {"COM1", "COM2", "COM3", "COM4"};
    for (int i = 0; i < 4; ++i) {
        if (value == comNames[i]) {
            load.Settings.PortIndex = i < static_cast<int>(load.Ports.size()) ? i : -1;
            return;
        }
    }
}

// Applies one key; false stops the load with `load.Error` set.
bool ApplyKey(const std::string& key, const std::string& value, const std::string& rawValue,
              TSettingsLoad& load, const TIsTerminalDevice& isTerminalDevice) {
    TSettings& s = load.Settings;
    if (key == "METHODE") {
        s.Parallel = value == "PARALLEL";
    } else if (key == "POORT") {
        ApplyPort(value, rawValue, load, isTerminalDevice);
    } else if (key == "CLOCK") {
        for (std::size_t i = 0; i < ClockEntries.size(); ++i)
            if (value == ClockEntries[i])
                s.ClockIndex = static_cast<int>(i);
    } else if (key == "STOP") {
        s.KortsluitStop = value == "TRUE";
    } else if (key == "TIMEOUT") {
        s.TimeOut = value == "TRUE";
    } else if (key == "KORTSLUIT") {
        s.KorsluitMelding = value == "TRUE";
    } else if (key == "BAUDRATE") {
        s.Baudrate19200 = value == "19200";
    } else if (key == "TEST") {
        s.Testen = value == "TRUE";
    } else if (key == "TIJD") {
        int tijd = 0;
        if (!ParseInt(value, tijd)) {
            load.Ok = false;
            load.Error = "'" + value + "' is not a valid integer value";
            return false;
        }
        s.TestTijd = tijd < TestTijdMin ? TestTijdMin : tijd > TestTijdMax ? TestTijdMax : tijd;
    }
    return true;
}

} // namespace

TSettingsLoad ReadSettings(std::string_view text, const TSettings& current,
                           std::vector<std::string> ports,
                           const TIsTerminalDevice& isTerminalDevice) {
    TSettingsLoad load;
    load.Settings = current;
    load.Ports = std::move(ports);
    enum class TSection { None, Settings, Other } section = TSection::None;

    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, end);
        if (end == std::string_view::npos) {
            text = {};
        } else {
            const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
            text.remove_prefix(end + (crlf ? 2 : 1));
        }

        const std::string upper = Upper(line);
        if (upper == "[ZELM]")
            section = TSection::Settings;
        else if (upper == "[COUNTER]")
            section = TSection::Other;
        if (section != TSection::Settings)
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string key = Upper(Strip(line.substr(0, equals)));
        const std::string rawValue(Strip(line.substr(equals + 1)));
        if (!ApplyKey(key, Upper(rawValue), rawValue, load, isTerminalDevice))
            break;
    }
    return load;
}

std::string WriteSettings(const TSettings& s, const std::vector<std::string>& ports) {
    const auto yesNo = [](bool on) { return on ? "True" : "False"; };
    const bool portSelected = s.PortIndex >= 0 && s.PortIndex < static_cast<int>(ports.size());
    const bool clockSelected =
        s.ClockIndex >= 0 && s.ClockIndex < static_cast<int>(ClockEntries.size());
    std::string out;
    const auto line = [&out](const std::string& text) { out += text + "\r\n"; };
    line("[ZELM]");
    line(std::string("Methode= ") + (s.Parallel ? "Parallel" : "Serieel"));
    line("Poort= " + (portSelected ? ports[s.PortIndex] : std::string()));
    line("Clock= " + (clockSelected ? ClockEntries[s.ClockIndex] : std::string()));
    line(std::string("Stop= ") + yesNo(s.KortsluitStop));
    line(std::string("Timeout= ") + yesNo(s.TimeOut));
    line(std::string("Kortsluit= ") + yesNo(s.KorsluitMelding));
    line(std::string("Baudrate= ") + (s.Baudrate19200 ? "19200" : "9600"));
    line(std::string("Test= ") + yesNo(s.Testen));
    line("Tijd= " + std::to_string(s.TestTijd));
    line("");
    return out;
}

std::vector<std::string> SettingsReport(const TSettings& settings, const std::string& port) {
    const auto trueFalse = [](bool value) { return std::string(value ? "True" : "False"); };
    const std::string clock =
        settings.ClockIndex >= 0 && static_cast<std::size_t>(settings.ClockIndex) < ClockEntries.size()
            ? ClockEntries[static_cast<std::size_t>(settings.ClockIndex)]
            : std::string();
    return {
        std::string("Methode= ") + (settings.Parallel ? "Parallel" : "Serieel"),
        "Poort= " + port,
        "Clock= " + clock,
        "Stop= " + trueFalse(settings.KortsluitStop),
        "Timeout= " + trueFalse(settings.TimeOut),
        "Kortsluit= " + trueFalse(settings.KorsluitMelding),
        std::string("Baudrate= ") + (settings.Baudrate19200 ? "19200" : "9600"),
        "Test= " + trueFalse(settings.Testen),
    };
}

} // namespace bus
