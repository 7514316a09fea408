#pragma once

#include "bus/Bus.h"

namespace bus {

struct TSettings;

// What the main window offers to the bus and the settings window. (The card tests hear the
// bus themselves: their timer stops when the connection is gone, and the end of a set-up
// enables their buttons.)
class TMainWindowLink {
public:
    virtual ~TMainWindowLink() = default;
    virtual void SetLedUitEnabled(bool enabled) = 0; // the menu item "&LED uit"
    virtual void ShowSetUpPage(bool parallel) = 0;   // "PCK" or "SCK/ MCK"
    // The settings as the settings window's controls hold them now, applied or not: after
    // every change of a control.
    virtual void SettingsChanged(const TSettings& /*settings*/) {}
};

// The bus's events as the main window answers them; the application registers one on the
// bus for its main window.
class TMainWindowEvents : public TBusListener {
public:
    explicit TMainWindowEvents(TMainWindowLink& window) : mWindow(window) {}

    void BusLineLost() override { mWindow.SetLedUitEnabled(false); }
    void SetUpStarted() override { mWindow.SetLedUitEnabled(false); }
    void SetUpFinished(const TSetUpResult& result) override {
        const bool parallel = result.Transport == TTransport::Parallel;
        if (result.Ready) {
            // "LED uit" closes the serial port; there is none to close after a parallel set-up.
            if (!parallel)
                mWindow.SetLedUitEnabled(true);
            // A set-up the program ran by itself leaves the user on the page they are on.
            if (!result.Automatic)
                mWindow.ShowSetUpPage(parallel);
        }
    }

private:
    TMainWindowLink& mWindow;
};

} // namespace bus
