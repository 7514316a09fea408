#include "web/Tools.h"

#include "capture/CaptureFiles.h"
#include "platform/Messages.h"
#include "sim/SimRack.h"
#include "web/AccessRules.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace web {

namespace {

using nlohmann::json;

// A download goes out in parts of about this many bytes.
constexpr std::size_t DownloadPart = 64 * 1024;

json RowJson(const bus::TCapture& capture, const bus::TCaptureRow& row) {
    const bus::TCaptureEvent& event = capture.At(row.Event);
    const bus::TRowCells cells = bus::RowCells(capture, row);
    return {{"s", row.Event},
            {"t", event.TimeNs},
            {"w", capture.WallNs(event) / 1000000},
            {"c",
             {cells.Direction, cells.Word, cells.Bits, cells.Strobe, cells.AddressOrData,
              cells.Reply, cells.Meaning, cells.Latency, cells.Status}},
            {"k", static_cast<int>(bus::RowMark(capture, row))}};
}

// A filter from a download's query: every strobe and other event unless it says 0, every
// place unless it names one.
bus::TCaptureFilter FilterOfQuery(std::string_view query) {
    bus::TCaptureFilter filter;
    const auto flag = [&](const char* name, bool& into) {
        const std::string value = QueryValue(query, name);
        if (!value.empty())
            into = value != "0";
    };
    flag("address", filter.Address);
    flag("data", filter.Data);
    flag("latchAddress", filter.LatchAddress);
    flag("latchData", filter.LatchData);
    flag("other", filter.Other);
    flag("problems", filter.ProblemsOnly);
    const std::string place = QueryValue(query, "place");
    if (!place.empty()) {
        int value = -1;
        if (std::sscanf(place.c_str(), "%d", &value) == 1 && value >= 0 && value <= 63)
            filter.Place = value;
    }
    return filter;
}

json RackJson(const sim::TRackState& state, const sim::TFaultsView& faults) {
    json places = json::array();
    for (std::size_t i = 0; i < state.Places.size(); ++i) {
        const sim::TPlaceState& place = state.Places[i];
        const sim::TPlaceFaults& fault = faults.Places[i];
        places.push_back({{"kind", place.Kind ? json(sim::KindName(*place.Kind)) : json()},
                          {"silent", place.Silent},
                          {"lines", place.Lines},
                          {"short", place.Short},
                          {"silentEnabled", fault.SilentEnabled},
                          {"shortEnabled", fault.ShortEnabled},
                          {"shorted", fault.Short},
                          {"stuckEnabled", fault.StuckEnabled}});
    }
    json lines = json::array();
    for (const sim::TLineState& line : state.Lines)
        lines.push_back({{"kind", sim::KindName(line.Kind)},
                         {"places", line.Places},
                         {"sections", line.Sections},
                         {"position", line.Position},
                         {"occupied", line.Occupied},
                         {"speed", line.Speed},
                         {"down", line.Down},
                         {"shorts", line.Shorts}});
    // The EVL pins as 16 hexadecimal digits each: JSON's numbers hold no 64 bits exactly.
    json pins = json::array();
    for (const std::uint64_t evl : state.Latch.Pins) {
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(evl));
        pins.push_back(hex);
    }
    const sim::TSerialState& serial = state.Serial;
    // The IO card's pins in their order, 1 to 16.
    return {{"type", "rack"},
            {"places", places},
            {"selected", state.Selected},
            {"lines", lines},
            {"latch", {{"place", state.Latch.Place}, {"pins", pins}}},
            {"io",
             {{"place", state.Io.Place},
              {"plug", state.Io.Plug},
              {"outputs", faults.Outputs},
              {"inputs", faults.Inputs},
              {"stuck", faults.Stuck},
              {"inputsClickable", faults.InputsClickable}}},
            {"serial",
             {{"present", serial.Present},
              {"path", serial.Path},
              {"hungUp", serial.HungUp},
              {"connected", serial.Connected},
              {"silent", faults.SerialSilent},
              {"garbage", faults.SerialGarbage},
              {"faultsEnabled", faults.SerialFaultsEnabled},
              {"newCardEnabled", faults.NewCardEnabled}}}};
}

} // namespace

TWebTools::TWebTools(session::TRackSession& session, TBusLoop& loop, TSend send)
    : mSession(session), mLoop(loop), mSend(std::move(send)), mCapture(session.Capture()) {
    mDiagListener = mSession.Diagnostics().Changed.Listen([this] { DiagChanged(); });
}

TWebTools::~TWebTools() {
    mSession.Diagnostics().Changed.Unlisten(mDiagListener);
    *mAlive = false;
}

void TWebTools::Hello(int page) {
    mSend(page, json{{"type", "tools"}, {"monitor", true}, {"rack", mSession.Rack() != nullptr}}
                    .dump());
    SendDiag(page);
}

bool TWebTools::Apply(const TCommand& command, int page, std::string& refused) {
    switch (command.Kind) {
    case TCommand::TKind::Monitor:
        return MonitorCommand(command, page, refused);
    case TCommand::TKind::Rack:
        return RackCommand(command, page, refused);
    case TCommand::TKind::Diag:
        return DiagCommand(command, page, refused);
    default:
        refused = "not a tool's command";
        return false;
    }
}

void TWebTools::Closed(int page) {
    mMonitors.erase(page);
    mRackWatchers.erase(page);
}

// The bus monitor -----------------------------------------------------------------------------

bool TWebTools::MonitorCommand(const TCommand& c, int page, std::string& refused) {
    if (c.Do == "watch") {
        if (!c.Ticked) {
            mMonitors.erase(page);
            return true;
        }
        TMonitorWatch& watch = mMonitors[page];
        watch.Fresh = true;
        watch.Counters.clear();
        watch.Rows.Refilter(watch.Rows.Filter());
        CatchUpLater();
        if (!mMonitorTicking) {
            mMonitorTicking = true;
            mLoop.After(0, [this, alive = mAlive] {
                if (*alive)
                    MonitorTick();
            });
        }
        return true;
    }
    if (c.Do == "clear") {
        mCapture.Clear();
        for (auto& [number, watch] : mMonitors) {
            watch.Rows.Reset();
            watch.Fresh = true;
        }
        return true;
    }
    if (c.Do == "note") {
        // Trimmed, as the desktop takes it; an empty note is none.
        const std::size_t first = c.Text.find_first_not_of(" \t\r\n");
        if (first == std::string::npos)
            return true;
        const std::size_t last = c.Text.find_last_not_of(" \t\r\n");
        mCapture.AddNote(c.Text.substr(first, last - first + 1));
        return true;
    }
    const auto found = mMonitors.find(page);
    if (found == mMonitors.end()) {
        refused = "this page does not watch the monitor";
        return false;
    }
    TMonitorWatch& watch = found->second;
    if (c.Do == "filter") {
        watch.Rows.Refilter(c.Filter);
        watch.Fresh = true;
        CatchUpLater();
    } else if (c.Do == "freeze") {
        watch.Frozen = c.Ticked;
    }
    return true;
}

void TWebTools::MonitorTick() {
    if (mMonitors.empty()) {
        mMonitorTicking = false;
        return;
    }
    const std::string counters = bus::CountersText(mCapture, mRate.Take(mCapture));
    for (auto& [page, watch] : mMonitors) {
        if (!watch.Frozen || watch.Fresh)
            SendRows(page, watch);
        if (watch.Counters != counters) {
            watch.Counters = counters;
            mSend(page, json{{"type", "counters"}, {"text", counters}}.dump());
        }
    }
    mLoop.After(MonitorMs, [this, alive = mAlive] {
        if (*alive)
            MonitorTick();
    });
}

void TWebTools::SendRows(int page, TMonitorWatch& watch) {
    const bus::TCaptureRows::TChange change = watch.Rows.Update(mCapture, EventsPerTurn);
    if (watch.Rows.Behind(mCapture)) {
        // Its rows go whole once they are all in.
        watch.Fresh = true;
        CatchUpLater();
        return;
    }
    const auto& rows = watch.Rows.Rows();
    const bool remade = watch.Fresh || change.Remade;
    std::size_t from = 0;
    if (remade)
        from = rows.size() > TailRows ? rows.size() - TailRows : 0;
    else if (change.Appended == 0 && change.FirstUpdated == bus::TCaptureRows::TChange::NoRow &&
             change.Dropped == 0)
        return;
    else
        from = std::min(change.FirstUpdated, rows.size() - change.Appended);
    watch.Fresh = false;
    // The first frame says whether the rows were made anew; those after it add to it.
    for (bool first = true; first || from < rows.size(); first = false) {
        const std::size_t to = std::min(rows.size(), from + RowsPerFrame);
        json list = json::array();
        for (std::size_t i = from; i < to; ++i)
            list.push_back(RowJson(mCapture, rows[i]));
        mSend(page, json{{"type", "monitor"},
                         {"remade", remade && first},
                         {"begin", mCapture.Begin()},
                         {"frozen", watch.Frozen},
                         {"rows", list}}
                        .dump());
        from = to;
    }
}

// The next part of the rows being made anew, posted behind what waits already (the driver's
// command), not as a timer, which would run again before it.
void TWebTools::CatchUpLater() {
    if (mCatchingUp)
        return;
    mCatchingUp = true;
    mLoop.Post([this, alive = mAlive] {
        if (!*alive)
            return;
        mCatchingUp = false;
        for (auto& [page, watch] : mMonitors)
            if (watch.Fresh)
                SendRows(page, watch);
    });
}

TDownload TWebTools::Download(const std::string& name, const std::string& query) const {
    TDownload download;
    if (name == "kaartdiagnose.json") {
        std::string report = mSession.Diagnostics().ReportJson();
        if (report.empty())
            return download;
        download.Status = 200;
        download.Type = "application/json";
        download.FileName = name;
        download.Body = std::move(report);
        return download;
    }
    const bool csv = name == "opname.csv";
    if (!csv && name != "opname.pcapng")
        return download;
    // The file is made from what the recording holds now, on another thread, a part at a time
    // as the connection takes it: the bus's thread only copies the ring.
    std::shared_ptr<const bus::TCapture> snapshot = mCapture.Snapshot();
    const bool shown = QueryValue(query, "shown") == "1";
    const bus::TCaptureFilter filter = FilterOfQuery(query);
    std::shared_ptr<bus::TCaptureFileParts> parts;
    download.Status = 200;
    download.FileName = name;
    download.Type = csv ? "text/csv; charset=utf-8" : "application/octet-stream";
    download.Body.clear();
    download.Parts = [snapshot, shown, filter, csv, parts](std::string& out) mutable {
        if (!parts) {
            bus::TCaptureSelection selection;
            if (shown) {
                // Every row the filter lets through, also those a frozen view does not show yet.
                bus::TCaptureRows rows;
                rows.SetFilter(*snapshot, filter);
                selection.All = false;
                for (const bus::TCaptureRow& row : rows.Rows())
                    selection.Events.push_back(row.Event);
            }
            parts = std::make_shared<bus::TCaptureFileParts>(*snapshot, selection, csv);
        }
        parts->Next(out, DownloadPart);
        return !parts->Done();
    };
    return download;
}

// The rack view --------------------------------------------------------------------------------

bool TWebTools::RackCommand(const TCommand& c, int page, std::string& refused) {
    if (!mSession.Rack()) {
        refused = "there is no simulated rack";
        return false;
    }
    if (c.Do == "watch") {
        if (c.Ticked)
            mRackWatchers[page] = true;
        else
            mRackWatchers.erase(page);
        if (c.Ticked) {
            // Only the page that asked: the others have it already.
            mSend(page, RackJson(mSession.Rack()->State(), mSession.Faults()).dump());
            if (!mRackTicking) {
                mRackTicking = true;
                mLoop.After(RackMs, [this, alive = mAlive] {
                    if (*alive)
                        RackTick();
                });
            }
        }
        return true;
    }
    using K = sim::TFault::TKind;
    std::vector<sim::TFault> faults;
    sim::TFault fault;
    fault.Place = c.Index;
    fault.On = c.Ticked;
    if (c.Do == "silent") {
        fault.Kind = K::Silent;
    } else if (c.Do == "short") {
        fault.Kind = K::Short;
    } else if (c.Do == "stuck") {
        fault.Kind = K::Stuck;
        fault.Pin = c.Value;
        fault.Level = c.Level;
    } else if (c.Do == "input") {
        fault.Kind = K::Input;
        fault.Pin = c.Value;
    } else if (c.Do == "serial") {
        fault.Kind = K::SerialSilent;
        faults.push_back(fault);
        fault.Kind = K::SerialGarbage;
        fault.On = c.Garbage;
    } else if (c.Do == "hangUp") {
        fault.Kind = K::HangUp;
    } else {
        fault.Kind = K::NewCard;
    }
    faults.push_back(fault);
    for (const sim::TFault& given : faults) {
        if (const auto reason = mSession.GiveFault(given)) {
            refused = *reason;
            SendRack(true);
            return false;
        }
    }
    SendRack(false);
    return true;
}

void TWebTools::RackTick() {
    if (mRackWatchers.empty()) {
        mRackTicking = false;
        return;
    }
    SendRack(false);
    mLoop.After(RackMs, [this, alive = mAlive] {
        if (*alive)
            RackTick();
    });
}

void TWebTools::SendRack(bool always) {
    if (!mSession.Rack() || mRackWatchers.empty())
        return;
    std::string text = RackJson(mSession.Rack()->State(), mSession.Faults()).dump();
    if (text == mRackJson && !always)
        return;
    mRackJson = std::move(text);
    for (const auto& [page, watching] : mRackWatchers)
        mSend(page, mRackJson);
}

// The card diagnostics -------------------------------------------------------------------------

bool TWebTools::DiagCommand(const TCommand& c, int page, std::string& refused) {
    session::TDiagnostics& diagnostics = mSession.Diagnostics();
    if (c.Do == "choice") {
        diagnostics.SetChoice(c.Choice);
        SendDiag(ToEveryPage);
    } else if (c.Do == "start") {
        if (diagnostics.Running()) {
            refused = "a diagnostics run is under way";
            return false;
        }
        diagnostics.SetChoice(c.Choice);
        if (const std::string reason = diagnostics.Start(); !reason.empty()) {
            mSend(page, json{{"type", "message"}, {"error", true}, {"text", reason},
                             {"informative", ""}}
                            .dump());
            refused = "a card test runs";
            SendDiag(page);
            return false;
        }
    } else if (c.Do == "stop") {
        diagnostics.Stop();
    } else if (c.Do == "reset") {
        diagnostics.Reset();
    }
    return true;
}

void TWebTools::DiagChanged() {
    // While it runs the counters go at most every DiagMs; its start and end at once.
    const bool running = mSession.Diagnostics().Running();
    const auto now = TBusLoop::TClock::now();
    if (running && mDiagWasRunning && now - mDiagSentAt < std::chrono::milliseconds(DiagMs))
        return;
    mDiagWasRunning = running;
    mDiagSentAt = now;
    SendDiag(ToEveryPage);
}

void TWebTools::SendDiag(int page) {
    const session::TDiagnostics& diagnostics = mSession.Diagnostics();
    const diag::TRunView view = diagnostics.View();
    const diag::TRunFormView form = diagnostics.FormView();
    const diag::TRunChoice& choice = diagnostics.Choice();
    json inputs = json::array();
    for (const diag::TInputView& input : view.Inputs)
        inputs.push_back(
            {{"caption", input.Caption}, {"tested", input.Tested}, {"errors", input.Errors}});
    using R = diag::TRunChoiceRanges;
    static const char* const ends[] = {"cycles", "seconds", "untilStop"};
    static const char* const onErrors[] = {"count", "stopAtFirst", "stopAfter"};
    const diag::TRun* run = diagnostics.Run();
    const bool running = diagnostics.Running();
    mSend(page,
          json{{"type", "diag"},
               {"running", running},
               {"counts", view.Counts},
               {"inputs", inputs},
               {"verdict", diagnostics.Verdict()},
               {"result", run && !running ? diag::VerdictName(run->Verdict()) : ""},
               {"report", form.ReportEnabled},
               {"choice",
                {{"scan", choice.Scan},
                 {"place", choice.Place},
                 {"inverted", choice.Inverted},
                 {"patterns", choice.Patterns},
                 {"seed", choice.Seed},
                 {"end", ends[static_cast<int>(choice.End)]},
                 {"count", choice.Count},
                 {"onError", onErrors[static_cast<int>(choice.OnError)]},
                 {"maxErrors", choice.MaxErrors}}},
               {"enabled",
                {{"kind", form.KindEnabled},
                 {"place", form.PlaceEnabled},
                 {"plug", form.PlugEnabled},
                 {"patterns", form.PatternsEnabled},
                 {"seed", form.SeedEnabled},
                 {"end", form.EndEnabled},
                 {"count", form.CountEnabled},
                 {"onError", form.OnErrorEnabled},
                 {"maxErrors", form.MaxErrorsEnabled},
                 {"reset", form.ResetEnabled}}},
               {"caption", form.StartCaption},
               {"ranges",
                {{"place", {R::PlaceMinimum, R::PlaceMaximum}},
                 {"seed", {0, R::SeedMaximum}},
                 {"count", {R::CountMinimum, R::CountMaximum}},
                 {"maxErrors", {R::MaxErrorsMinimum, R::MaxErrorsMaximum}}}}}
              .dump());
}

} // namespace web
