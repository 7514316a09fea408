#include "web/Tools.h"

#include "bus/CardWords.h"
#include "capture/CaptureFiles.h"
#include "platform/Messages.h"
#include "serial/SerialCardLink.h"
#include "sim/SimRack.h"
#include "web/AccessRules.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace web {

namespace {

using nlohmann::json;

std::int64_t WallNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

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

json RackJson(const sim::TRackState& state) {
    json places = json::array();
    for (const sim::TPlaceState& place : state.Places)
        places.push_back({{"kind", place.Kind ? json(sim::KindName(*place.Kind)) : json()},
                          {"silent", place.Silent},
                          {"lines", place.Lines},
                          {"short", place.Short}});
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
    const sim::TIoState& io = state.Io;
    const sim::TSerialState& serial = state.Serial;
    return {{"type", "rack"},
            {"places", places},
            {"selected", state.Selected},
            {"lines", lines},
            {"latch", {{"place", state.Latch.Place}, {"pins", pins}}},
            {"io",
             {{"place", io.Place},
              {"plug", io.Plug},
              {"outputs", io.Outputs},
              {"inputs", io.Inputs},
              {"external", io.External},
              {"stuckMask", io.StuckMask},
              {"stuckLevels", io.StuckLevels}}},
            {"serial",
             {{"present", serial.Present},
              {"path", serial.Path},
              {"hungUp", serial.HungUp},
              {"connected", serial.Connected},
              {"silent", serial.Faults.Silent},
              {"garbage", serial.Faults.ExtraBytes > 0}}}};
}

} // namespace

TWebTools::TWebTools(bus::TBus& bus, TBusLoop& loop, TSend send, cards::TCardModels& models)
    : mBus(bus), mLoop(loop), mSend(std::move(send)), mModels(models) {}

TWebTools::~TWebTools() {
    *mAlive = false;
}

void TWebTools::SetRack(sim::TSimRack* rack, std::function<void(const std::string&)> newPort) {
    mRack = rack;
    mNewPort = std::move(newPort);
}

void TWebTools::Hello(int page) {
    mSend(page, json{{"type", "tools"}, {"monitor", mCapture != nullptr}, {"rack", mRack != nullptr}}
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

void TWebTools::DriverGone() {
    if (DiagRunning()) {
        mRun->Stop();
        DiagFinish();
    }
}

// The bus monitor -----------------------------------------------------------------------------

bool TWebTools::MonitorCommand(const TCommand& c, int page, std::string& refused) {
    if (!mCapture) {
        refused = "there is no recording";
        return false;
    }
    if (c.Do == "watch") {
        if (!c.Ticked) {
            mMonitors.erase(page);
            return true;
        }
        TMonitorWatch& watch = mMonitors[page];
        watch.Fresh = true;
        watch.Counters.clear();
        watch.Rows.SetFilter(*mCapture, watch.Rows.Filter());
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
        mCapture->Clear();
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
        mCapture->AddNote(c.Text.substr(first, last - first + 1));
        return true;
    }
    const auto found = mMonitors.find(page);
    if (found == mMonitors.end()) {
        refused = "this page does not watch the monitor";
        return false;
    }
    TMonitorWatch& watch = found->second;
    if (c.Do == "filter") {
        watch.Rows.SetFilter(*mCapture, c.Filter);
        watch.Fresh = true;
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
    const std::string counters = bus::CountersText(*mCapture, mRate.Take(*mCapture));
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
    const bus::TCaptureRows::TChange change = watch.Rows.Update(*mCapture);
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
    json list = json::array();
    for (std::size_t i = from; i < rows.size(); ++i)
        list.push_back(RowJson(*mCapture, rows[i]));
    mSend(page, json{{"type", "monitor"},
                     {"remade", remade},
                     {"begin", mCapture->Begin()},
                     {"frozen", watch.Frozen},
                     {"rows", list}}
                    .dump());
}

TDownload TWebTools::Download(const std::string& name, const std::string& query) const {
    TDownload download;
    if (name == "kaartdiagnose.json") {
        if (!mRun)
            return download;
        diag::TReportHeader header;
        header.Transport = mBus.Transport() == bus::TTransport::Parallel ? "parallel" : "serial";
        header.Port = header.Transport == "parallel" ? "0x314" : mBus.Link().Port();
        header.StartedWallNs = mRunStartedWallNs;
        header.Seconds = static_cast<double>(WallNs() - mRunStartedWallNs) / 1e9;
        download.Status = 200;
        download.Type = "application/json";
        download.FileName = name;
        download.Body = diag::ReportJson(*mRun, header);
        return download;
    }
    const bool csv = name == "opname.csv";
    if (!mCapture || (!csv && name != "opname.pcapng"))
        return download;
    bus::TCaptureSelection selection;
    if (QueryValue(query, "shown") == "1") {
        // Every row the filter lets through, also those a frozen view does not show yet.
        bus::TCaptureRows rows;
        rows.SetFilter(*mCapture, FilterOfQuery(query));
        selection.All = false;
        for (const bus::TCaptureRow& row : rows.Rows())
            selection.Events.push_back(row.Event);
    }
    download.Status = 200;
    download.FileName = name;
    download.Type = csv ? "text/csv; charset=utf-8" : "application/octet-stream";
    download.Body =
        csv ? bus::CsvText(*mCapture, selection) : bus::PcapngBytes(*mCapture, selection);
    return download;
}

// The rack view --------------------------------------------------------------------------------

bool TWebTools::RackCommand(const TCommand& c, int page, std::string& refused) {
    if (!mRack) {
        refused = "there is no simulated rack";
        return false;
    }
    if (c.Do == "watch") {
        if (c.Ticked)
            mRackWatchers[page] = true;
        else
            mRackWatchers.erase(page);
        if (c.Ticked) {
            SendRack(true);
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
    if (c.Do == "silent") {
        mRack->SetSilent(c.Index, c.Ticked);
    } else if (c.Do == "short") {
        if (mRack->KindAt(c.Index) != sim::TCardKind::TwoRail &&
            mRack->KindAt(c.Index) != sim::TCardKind::ThreeRail) {
            refused = "no block card in that place";
            return false;
        }
        mRack->SetShortCircuit(c.Index, c.Ticked);
    } else if (c.Do == "stuck") {
        if (mRack->KindAt(c.Index) != sim::TCardKind::Io) {
            refused = "no IO card in that place";
            return false;
        }
        mRack->SetStuck(c.Index, bus::IoPinBit[static_cast<std::size_t>(c.Value - 1)],
                        c.Level < 0 ? std::nullopt : std::optional<bool>(c.Level == 1));
    } else if (c.Do == "input") {
        const sim::TRackState state = mRack->State();
        if (state.Io.Place < 0) {
            refused = "the rack has no IO card";
            return false;
        }
        const int input = bus::IoPinBit[static_cast<std::size_t>(c.Value - 1)];
        mRack->SetInput(state.Io.Place, input, !((state.Io.External >> input) & 1));
    } else if (c.Do == "serial" || c.Do == "hangUp" || c.Do == "newCard") {
        if (!mRack->SerialCard) {
            refused = "the rack has no serial card";
            return false;
        }
        if (c.Do == "serial") {
            sim::TSerialFaults faults = mRack->SerialCard->Faults();
            faults.Silent = c.Ticked;
            // Enough bytes after each answer to fill a read that would take them.
            faults.ExtraBytes = c.Garbage ? 5 : 0;
            mRack->SerialCard->SetFaults(faults);
        } else if (c.Do == "hangUp") {
            mRack->SerialCard->HangUp();
        } else if (mRack->ReplaceSerialCard() && mNewPort) {
            mNewPort(mRack->SerialCard->SlavePath());
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
    if (!mRack || mRackWatchers.empty())
        return;
    std::string text = RackJson(mRack->State()).dump();
    if (text == mRackJson && !always)
        return;
    mRackJson = std::move(text);
    for (const auto& [page, watching] : mRackWatchers)
        mSend(page, mRackJson);
}

// The card diagnostics -------------------------------------------------------------------------

bool TWebTools::DiagCommand(const TCommand& c, int page, std::string& refused) {
    if (c.Do == "start") {
        if (DiagRunning()) {
            refused = "a diagnostics run is under way";
            return false;
        }
        if (mLoop.Running()) {
            mSend(page, json{{"type", "message"},
                             {"error", true},
                             {"text", platform::Tr("Er loopt al een kaarttest; stop die eerst.")},
                             {"informative", ""}}
                            .dump());
            refused = "a card test runs";
            return false;
        }
        mVerdict.clear();
        mRun = diag::MakeRun(mBus, c.Choice);
        mRunStartedWallNs = WallNs();
        mRunning = true;
        mDiagSentAt = {};
        SendDiag(ToEveryPage);
        mLoop.After(0, [this, alive = mAlive] {
            if (*alive)
                DiagStep();
        });
    } else if (c.Do == "stop") {
        if (DiagRunning()) {
            mRun->Stop();
            DiagFinish();
        }
    } else if (c.Do == "reset") {
        if (mRun)
            for (const auto& test : mRun->Tests())
                test->ResetCounts();
        SendDiag(ToEveryPage);
    }
    return true;
}

void TWebTools::DiagStep() {
    if (!DiagRunning())
        return;
    // A page or a tick waiting for the rack goes first.
    if (mBus.Busy()) {
        mLoop.After(1, [this, alive = mAlive] {
            if (*alive)
                DiagStep();
        });
        return;
    }
    const bool goesOn = diag::StepRun(mBus, *mRun);
    if (!DiagRunning())
        return; // stopped from within a wait of the cycle
    if (!goesOn) {
        DiagFinish();
        return;
    }
    const auto now = TBusLoop::TClock::now();
    if (now - mDiagSentAt >= std::chrono::milliseconds(DiagMs)) {
        mDiagSentAt = now;
        SendDiag(ToEveryPage);
    }
    mLoop.After(0, [this, alive = mAlive] {
        if (*alive)
            DiagStep();
    });
}

void TWebTools::DiagFinish() {
    mRunning = false;
    if (mRun)
        mVerdict = diag::VerdictText(*mRun);
    SendDiag(ToEveryPage);
}

void TWebTools::SendDiag(int page) {
    const diag::TRunView view = diag::ViewOf(mRun.get());
    json inputs = json::array();
    for (const diag::TInputView& input : view.Inputs)
        inputs.push_back(
            {{"caption", input.Caption}, {"tested", input.Tested}, {"errors", input.Errors}});
    mSend(page, json{{"type", "diag"},
                     {"running", DiagRunning()},
                     {"counts", view.Counts},
                     {"inputs", inputs},
                     {"verdict", mVerdict},
                     {"result", mRun && !mRunning ? diag::VerdictName(mRun->Verdict()) : ""},
                     {"report", mRun != nullptr}}
                    .dump());
}

} // namespace web
