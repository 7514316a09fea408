#pragma once

#include "capture/CaptureRows.h"
#include "capture/CaptureText.h"
#include "session/RackSession.h"
#include "web/BusLoop.h"
#include "web/Commands.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace web {

// Where a message of the web application goes: to one page (its number), to every page, or to
// the page that drives.
inline constexpr int ToEveryPage = 0;
inline constexpr int ToDriver = -1;
using TSend = std::function<void(int page, std::string text)>;

// The tools of the browser front-end on the session's thread, beside the card pages: the bus
// monitor (each watching page with its own filter and freeze, fed in batches from the
// capture), the view of the simulated rack with its faults, and the card diagnostics (the
// session's, pushed as they change).
class TWebTools {
public:
    // How often a watching page gets the monitor's new rows and the rack's state.
    static constexpr int MonitorMs = 100;
    static constexpr int RackMs = 150;
    // The rows a page gets when it starts watching or its rows are made anew (a filter, a
    // clear): the last ones, as many as a page keeps.
    static constexpr std::size_t TailRows = 1000;
    // The rows go in frames of at most this many (some 20 KB): a page on a slow link takes
    // each within seconds, and one that reads too slowly misses some rows and goes on from
    // the newest (it shows how many), never the whole tail again.
    static constexpr std::size_t RowsPerFrame = 100;
    // Rows made anew are made from this many events a turn of the bus's loop (about 2 ms at a
    // million recorded), so that the driver's commands come between; the page gets them whole.
    static constexpr std::size_t EventsPerTurn = 1 << 16;
    // How often a diagnostics run's counters go to the pages while it runs.
    static constexpr int DiagMs = 200;

    TWebTools(session::TRackSession& session, TBusLoop& loop, TSend send);
    ~TWebTools();
    TWebTools(const TWebTools&) = delete;
    TWebTools& operator=(const TWebTools&) = delete;

    // A page came: which tools there are, and the diagnostics' state.
    void Hello(int page);
    // A tool's command; false with the reason when it is refused.
    bool Apply(const TCommand& command, int page, std::string& refused);
    // The page is gone: it watches nothing any more.
    void Closed(int page);

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
    void CatchUpLater();
    void RackTick();
    void SendRack(bool always);
    void DiagChanged();
    void SendDiag(int page);

    session::TRackSession& mSession;
    TBusLoop& mLoop;
    TSend mSend;
    bus::TCapture& mCapture;

    std::map<int, TMonitorWatch> mMonitors;
    bus::TWordRate mRate;
    bool mMonitorTicking = false;
    bool mCatchingUp = false;

    std::map<int, bool> mRackWatchers;
    std::string mRackJson;
    bool mRackTicking = false;

    int mDiagListener = 0;
    bool mDiagWasRunning = false;
    TBusLoop::TClock::time_point mDiagSentAt{};
    // Whether the object still lives, for the loop's timers that outlast it.
    std::shared_ptr<bool> mAlive = std::make_shared<bool>(true);
};

} // namespace web
