#pragma once

#include "bus/MainWindowLink.h"

#include <utility>
#include <vector>

// Stands in for the main window and keeps what it was told.
class TFakeMainWindow : public bus::TMainWindowLink {
public:
    bool LedUitEnabled = true;
    int TimerStops = 0;
    std::vector<bool> PagesShown; // true: "PCK", false: "SCK/ MCK"
    std::vector<std::pair<bool, bool>> InstellingenCalls;

    void SetLedUitEnabled(bool enabled) override { LedUitEnabled = enabled; }
    void ShowSetUpPage(bool parallel) override { PagesShown.push_back(parallel); }
    void Instellingen(bool connected, bool parallel) override {
        InstellingenCalls.emplace_back(connected, parallel);
    }
    void StopTestTimer() override { ++TimerStops; }
};
