#pragma once

#include "bus/qt/Dialogs.h"
#include "session/RackSession.h"

#include <utility>
#include <vector>

// Stands in for the main window as the session's front-end and keeps what it was told; its
// notices go to the dialogs' seam as the main window's do. On the bus (registered by the test)
// it also keeps what the card tests act on: each "not connected" stops their timer, and each
// set-up's end applies their enabling rules for (connected, parallel).
class TFakeFrontEnd : public session::TFrontEnd, public bus::TBusListener {
public:
    int TimerStops = 0;
    std::vector<bool> PagesShown; // true: "PCK", false: "SCK/ MCK"
    std::vector<std::pair<bool, bool>> InstellingenCalls;

    void Message(cards::TPage, bool, const std::string&) override {}
    void Error(const std::string&) override {}
    void Notice(const session::TNotice& notice) override {
        bus::Dialogs().Message(nullptr,
                               notice.Error ? bus::TDialogs::TIcon::Error : bus::TDialogs::TIcon::None,
                               bus::ProgramTitle, QString::fromUtf8(notice.Text.c_str()),
                               QString::fromLocal8Bit(notice.Informative.c_str()));
    }
    void ShowPage(cards::TPage page) override { PagesShown.push_back(page == cards::TPage::Pck); }

    void BusNotConnected() override { ++TimerStops; }
    void BusLineLost() override { ++TimerStops; }
    void SetUpFinished(const bus::TSetUpResult& result) override {
        InstellingenCalls.emplace_back(result.Ready, result.Transport == bus::TTransport::Parallel);
    }
};
