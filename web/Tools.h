#pragma once

#include "bus/Bus.h"
#include "capture/CaptureRows.h"
#include "capture/CaptureText.h"
#include "cards/CardModels.h"
#include "diag/RunView.h"
#include "web/BusLoop.h"
#include "web/Commands.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace sim {
class TSimRack;
}

namespace web {

// Where a message of the web application goes: to one page (its number), to every page, or to
// the page that drives.
inline constexpr int ToEveryPage = 0;
inline constexpr int ToDriver = -1;
using TSend = std::function<void(int page, std::string text)>;


// The tools of the browser front-end on the bus's thread, beside the card pages: the bus
// monitor (each watching page with its own filter and freeze, fed in batches from the
// capture), the view of the simulated rack with its faults, and the card diagnostics' run
// (a running test like a card page's: one at a time, stopped when the driving page is gone).
class TWebTools {
public:
    // How often a watching page gets the monitor's new rows and the rack's state.
    static constexpr int MonitorMs = 100;
    static constexpr int RackMs = 150;
    // The rows a page gets when it starts watching or its rows are made anew (a filter, a
    // clear): the last ones, as many as a page keeps.
    static constexpr std::size_t TailRows = 1000;
    // How often a diagnostics run's counters go to the pages while it runs.
    static constexpr int DiagMs = 200;

    TWebTools(bus::TBus& bus, TBusLoop& loop, TSend send, cards::TCardModels& models);
    ~TWebTools();
    TWebTools(const TWebTools&) = delete;
    TWebTools& operator=(const TWebTools&) = delete;

    void SetCapture(bus::TCapture* capture) { mCapture = capture; }
    // With --sim; `newPort` is told the path of the serial card that takes a hung-up one's
    // place, for the settings' port list.
    void SetRack(sim::TSimRack* rack, std::function<void(const std::string&)> newPort);

    // A page came: which tools there are, and the diagnostics' state.
    void Hello(int page);
    // A tool's command; false with the reason when it is refused.
    bool Apply(const TCommand& command, int page, std::string& refused);
    // The page is gone: it watches nothing any more.
    void Closed(int page);
    // The driving page is gone: a diagnostics run stops.
    void DriverGone();
    bool DiagRunning() const { return mRun && mRunning; }

    // "opname.pcapng" and "opname.csv" (the recording; with "shown=1" and a filter in the
    // query, the rows that filter lets through), "kaartdiagnose.json" (the last run's report).
    TDownload Download(const std::string& name, const std::string& query) const;

private:
    struct TMonitorWatch {
        bus::TCaptureRows Rows;
        bool Frozen = false;
        bool Fresh = true; // its rows go as a whole at the next batch
        std::string Counters;
    };

    bool MonitorCommand(const TCommand& command, int page, std::string& refused);
    bool RackCommand(const TCommand& command, int page, std::string& refused);
    bool DiagCommand(const TCommand& command, int page, std::string& refused);
    void MonitorTick();
    void SendRows(int page, TMonitorWatch& watch);
    void RackTick();
    void SendRack(bool always);
    void DiagStep();
    void DiagFinish();
    void SendDiag(int page);

    bus::TBus& mBus;
    TBusLoop& mLoop;
    TSend mSend;
    cards::TCardModels& mModels;
    bus::TCapture* mCapture = nullptr;
    sim::TSimRack* mRack = nullptr;
    std::function<void(const std::string&)> mNewPort;

    std::map<int, TMonitorWatch> mMonitors;
    bus::TWordRate mRate;
    bool mMonitorTicking = false;

    std::map<int, bool> mRackWatchers;
    std::string mRackJson;
    bool mRackTicking = false;

    std::unique_ptr<diag::TRun> mRun;
    bool mRunning = false;
    std::int64_t mRunStartedWallNs = 0;
    std::string mVerdict;
    TBusLoop::TClock::time_point mDiagSentAt{};
    // Whether the object still lives, for the loop's timers that outlast it.
    std::shared_ptr<bool> mAlive = std::make_shared<bool>(true);
};

} // namespace web
