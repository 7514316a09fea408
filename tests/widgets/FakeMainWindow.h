#pragma once

#include "bus/MainWindowLink.h"

#include <utility>
#include <vector>

// Stands in for the main window and keeps what it was told; on the bus (registered by the
// test) it also keeps what the card tests act on: each "not connected" stops their timer, and
// each set-up's end applies their enabling rules for (connected, parallel).
class TFakeMainWindow : public bus::TMainWindowLink, public bus::TBusListener {
public:
    bool LedUitEnabled = true;
    int TimerStops = 0;
    std::vector<bool> PagesShown; // true: "PCK", false: "SCK/ MCK"
    std::vector<std::pair<bool, bool>> InstellingenCalls;

    void SetLedUitEnabled(bool enabled) override { LedUitEnabled = enabled; }
    void ShowSetUpPage(bool parallel) override { PagesShown.push_back(parallel); }

    void BusNotConnected() override { ++TimerStops; }
    void BusLineLost() override { ++TimerStops; }
    void SetUpFinished(const bus::TSetUpResult& result) override {
        InstellingenCalls.emplace_back(result.Ready, result.Transport == bus::TTransport::Parallel);
    }
};
