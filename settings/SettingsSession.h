#pragma once

#include "platform/ChangeEvent.h"
#include "settings/ConnectionSettings.h"

#include <optional>
#include <string>
#include <vector>

namespace bus {

class TBus;

// What the settings show beside the values of their controls: which controls may be used,
// the test time's range and step, the notes on the chosen port, and the connection's state.
struct TSettingsView {
    TSettingsEnabling Enabled;
    int TestTijdMinimum = TestTijdMin;
    int TestTijdMaximum = TestTijdMax;
    int TestTijdStep = bus::TestTijdStep;
    std::vector<std::string> Notes;
    bool Connected = false;
    bool Parallel = false; // the last set-up's transport
    bool SettingUp = false;
    bool Armed = false;
    bool LedUitEnabled = false;
    // What the reconnection does, for a title or a status line; empty when there is nothing.
    std::string ReconnectNote;
};

// A save that failed, in the words of the message box that says so.
struct TSaveFailure {
    std::string Text; // "De instellingen konden niet worden bewaard in "...".", translated
    std::string Reason;
};

// The settings' actions as their views reach them: whoever applies the settings (the rack
// session) offers them, and the settings window on the desktop and the settings page in a
// browser are views of them.
class TSettingsSession {
public:
    virtual ~TSettingsSession() = default;

    virtual TConnectionSettings& Settings() = 0;
    virtual TSettingsView SettingsView() const = 0;
    // The controls' values as the user left them (the port is picked by PickPort).
    virtual void EditSettings(const TSettings& settings) = 0;
    // A port of the list, by its value; false for one the list does not hold.
    virtual bool PickPort(const std::string& value) = 0;
    virtual void RefreshPorts() = 0;
    // "OK": arms the set-up, once: pressed again before it ran, nothing more.
    virtual void Ok() = 0;
    // "Cancel": "&LED uit" is off; nothing else is undone (that is SettingsLeft's).
    virtual void Cancel() = 0;
    // The settings stop being what the user works in: the five check boxes fall back to the
    // values the last serial set-up applied.
    virtual void SettingsLeft() = 0;
    // "Openen": the file read into the settings, then the set-up armed as by OK, also when the
    // file cannot be opened; a "Tijd" that is no number stops the load, arms nothing, and
    // gives the reason ("'%s' is not a valid integer value").
    virtual std::string Open(const std::string& path) = 0;
    // "Bewaren": the settings written; what went wrong when they could not be.
    virtual std::optional<TSaveFailure> Save(const std::string& path) = 0;
    virtual bool SetUpArmed() const = 0;
    // The set-up timer's work: the set-up for the settings as they are, as one exchange.
    virtual void RunArmedSetUp() = 0;
    virtual TBus& Bus() = 0;

    // Told after every change of what SettingsView() or the settings show.
    platform::TChangeEvent Changed;
};

} // namespace bus
