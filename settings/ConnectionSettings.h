#pragma once

#include "bus/Bus.h"
#include "serial/PortNames.h"
#include "settings/SettingsFile.h"

#include <string>
#include <vector>

namespace bus {

// The set-up the settings ask for, with the port chosen (its path, or the name a settings
// file gave for a port that is not listed).
TSetUpChoice SetUpChoiceOf(const TSettings& settings, const std::string& port);

// How a set-up went, in the words the settings window shows in a message box: nothing after
// a connection (or when the program closes), else an error with its text and, below it, the
// system's reason.
struct TSetUpMessage {
    bool Shown = false;
    std::string Text;
    std::string Informative;
};
TSetUpMessage SetUpMessage(const TSetUpResult& result);

// The connection settings as a value with the port list they choose from, for a front-end
// without the settings window: the system's ports with each one's identity, the settings file
// read and written in the window's format, and the set-up the settings ask for.
class TConnectionSettings {
public:
    struct TPort {
        std::string Value; // what the set-up opens: the device path, or a name given in a file
        std::string Line;  // what the list shows: "/dev/ttyUSB0 — FT232R USB UART (A10K3XYZ)"
        std::string Entry; // what a settings file keeps: a by-id name where it tells the
                           // adapter apart, else the path
    };

    // The system's ports, the second one chosen, as the settings window starts.
    TConnectionSettings();

    const TSettings& Settings() const { return mSettings; }
    // New settings, kept within what the controls allow (a port that is listed or none, a
    // clock of the list, the test time's range).
    void SetSettings(TSettings settings);
    const std::vector<TPort>& Ports() const { return mPorts; }
    // The chosen port's value; empty for none.
    std::string PortValue() const;
    // The list anew from the system's, keeping the chosen port.
    void RefreshPorts();
    // Chooses a port by its value or by-id name, adding it to the list when it is not there.
    void SelectPort(const std::string& name);

    // Reads a settings file over the settings. A file that cannot be opened changes nothing
    // and is no error; a "Tijd" that is no whole number stops the load with the error after
    // applying what came before it.
    bool Load(const std::string& path, std::string& error);
    // Writes the settings file (settings/OutputFile.h's rule); false with the reason.
    bool Save(const std::string& path, std::string& error) const;

    TSetUpChoice Choice() const { return SetUpChoiceOf(mSettings, PortValue()); }

private:
    std::vector<std::string> Entries() const;
    void Fill(std::vector<serial::TPortInfo> listed, std::vector<std::string> added);

    TSettings mSettings;
    std::vector<TPort> mPorts;
};

} // namespace bus
