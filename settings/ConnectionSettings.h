#pragma once

#include "bus/Bus.h"
#include "platform/ChangeEvent.h"
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

// The five check boxes' applied values: the serial link's four options and the baud rate, as
// the last serial set-up left them (or as the program starts).
struct TAppliedOptions {
    bool KortsluitStop = false;
    bool TimeOut = true;
    bool KortsluitMelding = false;
    bool TestBedrijf = false;
    bool Baud19200 = false;
};

// Which controls of the settings may be used: the port and the serial card's options for the
// serial card, the clock for the parallel card; "Korsluitmelding", "Testen" and the test time
// for both.
struct TSettingsEnabling {
    bool Port = true;
    bool Clock = false;
    bool KortsluitStop = true;
    bool TimeOut = true;
    bool Baudrate = true;
};
TSettingsEnabling SettingsEnabling(const TSettings& settings);

// The test time's spin edit steps by this much.
inline constexpr int TestTijdStep = 50;

// The connection settings as the settings window holds them: the controls' values (the five
// check boxes only a pending choice until a serial set-up applies them), the port list they
// choose from with each port's identity, the settings file read and written in the window's
// format, and the set-up the settings ask for. A model: the settings window on the desktop and
// the settings page in a browser are views of it.
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
    // What the system told of the listed ports, in the list's order (those a settings file or
    // the program added have none).
    const std::vector<serial::TPortInfo>& Listed() const { return mListed; }
    // The chosen port's value; empty for none.
    std::string PortValue() const;
    // The list anew from the system's, keeping the chosen port.
    void RefreshPorts();
    // Chooses a port by its value or by-id name, adding it to the list when it is not there.
    void SelectPort(const std::string& name);
    // Chooses one of the listed ports by its value, as a pick in the list does (empty: none);
    // false for a value the list does not hold (nothing changes).
    bool PickPort(const std::string& value);
    // The five check boxes back from the applied values: what was not applied is dropped.
    void FallBack(const TAppliedOptions& applied);

    // Reads a settings file over the settings. A file that cannot be opened changes nothing
    // and is no error; a "Tijd" that is no whole number stops the load with the error after
    // applying what came before it.
    bool Load(const std::string& path, std::string& error);
    // Writes the settings file (settings/OutputFile.h's rule); false with the reason.
    bool Save(const std::string& path, std::string& error) const;
    // The port list as a settings file names its entries.
    std::vector<std::string> Entries() const;

    TSetUpChoice Choice() const { return SetUpChoiceOf(mSettings, PortValue()); }

    // Told after every change of the settings or the list.
    platform::TChangeEvent Changed;

private:
    void Fill(std::vector<serial::TPortInfo> listed, std::vector<std::string> added);
    void Set(TSettings settings);

    TSettings mSettings;
    std::vector<TPort> mPorts;
    std::vector<serial::TPortInfo> mListed;
};

} // namespace bus
