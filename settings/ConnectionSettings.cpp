#include "settings/ConnectionSettings.h"

#include "platform/Messages.h"
#include "serial/ComError.h"

#include <algorithm>
#include <cstdio>

namespace bus {

TSetUpChoice SetUpChoiceOf(const TSettings& settings, const std::string& port) {
    TSetUpChoice choice;
    choice.Parallel = settings.Parallel;
    const auto clock = static_cast<std::size_t>(settings.ClockIndex);
    choice.Clock = settings.ClockIndex >= 0 && clock < ClockEntries.size()
                       ? std::stoi(ClockEntries[clock])
                       : 0;
    choice.Port = port;
    choice.Baud19200 = settings.Baudrate19200;
    choice.KortsluitStop = settings.KortsluitStop;
    choice.TimeOut = settings.TimeOut;
    choice.KortsluitMelding = settings.KorsluitMelding;
    choice.TestBedrijf = settings.Testen;
    return choice;
}

TSetUpMessage SetUpMessage(const TSetUpResult& result) {
    TSetUpMessage message;
    switch (result.Outcome) {
    case TSetUpOutcome::Connected:
    case TSetUpOutcome::Closing:
        return message;
    case TSetUpOutcome::ParallelRefused:
        message.Text = platform::Tr("De parallelle kaart kan niet worden gebruikt.");
        message.Informative = result.Reason;
        break;
    case TSetUpOutcome::CardSilent:
        message.Text = platform::Tr(
            "De seriele kaart kon niet worden geinitialiseerd. \r\nStaat het rek wel aan en is de "
            "verbindingskabel juist aangesloten?");
        break;
    case TSetUpOutcome::PortUnusable: {
        // The catalogue keeps the window's own "%1" for the port.
        std::string text = platform::Tr("Kan \"%1\" niet gebruiken.");
        if (const std::size_t at = text.find("%1"); at != std::string::npos)
            text.replace(at, 2, result.Port);
        message.Text = text;
        message.Informative = result.Reason;
        break;
    }
    }
    message.Shown = true;
    return message;
}

TSettingsEnabling SettingsEnabling(const TSettings& settings) {
    TSettingsEnabling enabling;
    enabling.Port = !settings.Parallel;
    enabling.Clock = settings.Parallel;
    enabling.KortsluitStop = !settings.Parallel;
    enabling.TimeOut = !settings.Parallel;
    enabling.Baudrate = !settings.Parallel;
    return enabling;
}

TConnectionSettings::TConnectionSettings() {
    RefreshPorts();
    mSettings.PortIndex = mPorts.size() > 1 ? 1 : mPorts.empty() ? -1 : 0;
}

void TConnectionSettings::Fill(std::vector<serial::TPortInfo> listed,
                               std::vector<std::string> added) {
    mPorts.clear();
    for (const serial::TPortInfo& port : listed)
        mPorts.push_back({port.Path, serial::PortLine(port), serial::StablePortName(port, listed)});
    for (const std::string& name : added)
        if (std::none_of(mPorts.begin(), mPorts.end(),
                         [&](const TPort& port) { return port.Value == name; }))
            mPorts.push_back({name, name, name});
    mListed = std::move(listed);
}

void TConnectionSettings::RefreshPorts() {
    const std::string chosen = PortValue();
    std::vector<serial::TPortInfo> listed;
    try {
        listed = serial::EnumPorts();
    } catch (const serial::EComPort&) {
        // The system's list cannot be read now: the chosen port stays, alone.
    }
    Fill(std::move(listed), {});
    mSettings.PortIndex = -1;
    if (!chosen.empty())
        SelectPort(chosen);
    Changed.Tell();
}

void TConnectionSettings::SelectPort(const std::string& name) {
    for (std::size_t i = 0; i < mPorts.size(); ++i) {
        if (mPorts[i].Value == name || mPorts[i].Entry == name) {
            mSettings.PortIndex = static_cast<int>(i);
            Changed.Tell();
            return;
        }
    }
    mPorts.push_back({name, name, name});
    mSettings.PortIndex = static_cast<int>(mPorts.size()) - 1;
    Changed.Tell();
}

bool TConnectionSettings::PickPort(const std::string& value) {
    if (value.empty()) {
        mSettings.PortIndex = -1;
        Changed.Tell();
        return true;
    }
    for (std::size_t i = 0; i < mPorts.size(); ++i) {
        if (mPorts[i].Value == value) {
            mSettings.PortIndex = static_cast<int>(i);
            Changed.Tell();
            return true;
        }
    }
    return false;
}

void TConnectionSettings::FallBack(const TAppliedOptions& applied) {
    TSettings settings = mSettings;
    settings.KortsluitStop = applied.KortsluitStop;
    settings.TimeOut = applied.TimeOut;
    settings.KorsluitMelding = applied.KortsluitMelding;
    settings.Testen = applied.TestBedrijf;
    settings.Baudrate19200 = applied.Baud19200;
    SetSettings(settings);
}

std::string TConnectionSettings::PortValue() const {
    const auto index = static_cast<std::size_t>(mSettings.PortIndex);
    return mSettings.PortIndex >= 0 && index < mPorts.size() ? mPorts[index].Value : std::string();
}

void TConnectionSettings::Set(TSettings settings) {
    if (settings.PortIndex < -1 || settings.PortIndex >= static_cast<int>(mPorts.size()))
        settings.PortIndex = -1;
    if (settings.ClockIndex < 0 || settings.ClockIndex >= static_cast<int>(ClockEntries.size()))
        settings.ClockIndex = mSettings.ClockIndex;
    settings.TestTijd = std::clamp(settings.TestTijd, TestTijdMin, TestTijdMax);
    mSettings = settings;
}

void TConnectionSettings::SetSettings(TSettings settings) {
    const TSettings before = mSettings;
    Set(settings);
    if (!(mSettings == before))
        Changed.Tell();
}

std::vector<std::string> TConnectionSettings::Entries() const {
    std::vector<std::string> entries;
    for (const TPort& port : mPorts)
        entries.push_back(port.Entry);
    return entries;
}

bool TConnectionSettings::Load(const std::string& path, std::string& error) {
    std::string text;
    if (!ReadFileText(path, text))
        return true;
    const TSettingsLoad load = ReadSettings(text, mSettings, Entries(), IsTerminalDevice);
    for (std::size_t i = mPorts.size(); i < load.Ports.size(); ++i)
        mPorts.push_back({load.Ports[i], load.Ports[i], load.Ports[i]});
    Set(load.Settings);
    Changed.Tell();
    if (!load.Ok)
        error = load.Error;
    return load.Ok;
}

bool TConnectionSettings::Save(const std::string& path, std::string& error) const {
    return SaveFile(path, WriteSettings(mSettings, Entries()), error);
}

} // namespace bus
