#include "web/WebApp.h"

#include "cards/PageActions.h"
#include "platform/AboutTexts.h"
#include "platform/Messages.h"
#include "settings/SettingsFile.h"
#include "sim/SimRack.h"
#include "web/PageState.h"
#include "web/PageTexts.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace web {

using cards::TPage;

constexpr const char* ProgramVersion = MORVELPLINT_VERSION;

TWebApp::TWebApp(session::TRackSession& session, TBusLoop& loop, TSend send)
    : mSession(session), mLoop(loop), mSend(std::move(send)), mFrame(session.Cards()),
      mTools(session, loop, mSend) {
    mSession.SetFrontEnd(this);
    cards::TCardModels& models = mSession.Cards();
    for (TPage page :
         {TPage::Sck, TPage::Pck, TPage::Slk, TPage::Xbk, TPage::Bk3, TPage::LkkEvl, TPage::Iok})
        models.Model(page)->Listen([this, page] {
            mFrame.Changed(page);
            Changed();
        });
    mSettingsListener = mSession.Changed.Listen([this] { PushSettings(); });
    if (sim::TSimRack* rack = mSession.Rack())
        mRackSummary = rack->Summary();
}

TWebApp::~TWebApp() {
    mSession.Changed.Unlisten(mSettingsListener);
    mSession.SetFrontEnd(nullptr);
}

TServerEvents TWebApp::ServerEvents() {
    TServerEvents events;
    events.Opened = [this](int page) { mLoop.Post([this, page] { Hello(page); }); };
    // The page takes up the tab its tab drove in, its running test untouched.
    events.Resumed = [this](int page) {
        mLoop.Post([this, page] {
            Hello(page);
            mSend(page, nlohmann::json{{"type", "show"}, {"page", mDriverTab}}.dump());
        });
    };
    events.Command = [this](int page, const TCommand& command, bool drives) {
        const TCommandQueue::TPushed pushed = mCommands->Push(page, drives, command);
        // One turn of the loop for each command queued: it runs the one due then.
        if (pushed == TCommandQueue::TPushed::Queued)
            mLoop.Post([this, commands = mCommands] {
                if (auto next = commands->Take())
                    Apply(next->Command, next->Page);
            });
        return pushed != TCommandQueue::TPushed::Refused;
    };
    events.DriverGone = [this] { mLoop.Post([this] { DriverGone(); }); };
    events.Closed = [this](int page) { mLoop.Post([this, page] { Closed(page); }); };
    events.Download = [this](std::string name, std::string query,
                             std::function<void(TDownload)> done) {
        mLoop.Post([this, name = std::move(name), query = std::move(query),
                    done = std::move(done)] { done(Download(name, query)); });
    };
    return events;
}

void TWebApp::Start() {
    const std::string error = mSession.Start();
    if (!error.empty())
        Tell(ToEveryPage, {true, error, {}});
}

void TWebApp::Hello(int page) {
    std::string rack;
    if (!mRackSummary.empty())
        rack = platform::Args(platform::Tr("Gesimuleerd rek: %1."), {mRackSummary});
    namespace about = platform::about;
    const nlohmann::json aboutTexts = {{"version", ProgramVersion},
                                       {"copyright", about::Copyright},
                                       {"disclaimerA", about::DisclaimerA},
                                       {"disclaimerB", about::DisclaimerB},
                                       {"author1", about::Author1},
                                       {"author2", about::Author2}};
    mSend(page, R"({"type":"texts","texts":)" + PageTextsJson() + R"(,"rack":)" +
                    nlohmann::json(rack).dump() + R"(,"about":)" + aboutTexts.dump() + "}");
    mSend(page, ActionsJson());
    mSend(page, mFrame.Json());
    mSend(page, SettingsJson(mSession));
    mTools.Hello(page);
    if (mSetUpFailure)
        Tell(page, *mSetUpFailure);
}

void TWebApp::Changed() {
    if (mPushWaiting)
        return;
    mPushWaiting = true;
    // Tokens come at PushesPerSecond, at most PushBurst of them kept.
    const auto now = TBusLoop::TClock::now();
    mPushTokens =
        std::min(PushBurst, mPushTokens + std::chrono::duration<double>(now - mTokensAt).count() *
                                              PushesPerSecond);
    mTokensAt = now;
    const double wait = mPushTokens >= 1 ? 0 : (1 - mPushTokens) * 1000.0 / PushesPerSecond;
    // Not inside the model's action but as soon as the loop runs what is due (at its end, or
    // in its wait for the rack): the action's changes go as one frame.
    mLoop.After(static_cast<int>(wait + 0.999), [this] { Push(); });
}

void TWebApp::Push() {
    mPushWaiting = false;
    const auto now = TBusLoop::TClock::now();
    mPushTokens =
        std::min(PushBurst, mPushTokens + std::chrono::duration<double>(now - mTokensAt).count() *
                                              PushesPerSecond) -
        1;
    mTokensAt = now;
    mSend(ToEveryPage, mFrame.Json());
}

void TWebApp::PushSettings() {
    if (mSession.Bus().Ready())
        mSetUpFailure.reset();
    mSend(ToEveryPage, SettingsJson(mSession));
}

void TWebApp::Tell(int page, const session::TNotice& notice) {
    const nlohmann::json message = {{"type", "message"},
                                    {"error", notice.Error},
                                    {"text", notice.Text},
                                    {"informative", notice.Informative}};
    mSend(page, message.dump());
}

void TWebApp::Message(TPage page, bool error, const std::string& text) {
    const nlohmann::json notice = {{"type", "message"}, {"error", error}, {"text", text},
                                   {"informative", ""},  {"page", PageKey(page)}};
    mSend(ToDriver, notice.dump());
}

void TWebApp::Error(const std::string& text) {
    Tell(ToDriver, {true, text, {}});
}

void TWebApp::Notice(const session::TNotice& notice) {
    // A set-up's failure is told to every page, and to every page that opens after it until a
    // set-up succeeds (the one at the start comes before any page can).
    if (notice.SetUp)
        mSetUpFailure = notice;
    // Also in the program's log (the journal of the service): a rack with nobody at a page
    // tells there why it is not connected.
    std::string line = notice.Text;
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    if (!notice.Informative.empty())
        line += " (" + notice.Informative + ")";
    std::fprintf(stderr, "%s\n", line.c_str());
    Tell(ToEveryPage, notice);
}

void TWebApp::ShowPage(TPage page) {
    mSession.Cards().SetActivePage(page);
    mDriverTab = PageKey(page);
    mSend(ToDriver, nlohmann::json{{"type", "show"}, {"page", PageKey(page)}}.dump());
    Changed();
}

void TWebApp::DriverGone() {
    mSession.Cards().StopRunningTest();
    mSession.Diagnostics().Stop();
    if (mDriverTab == SettingsTab)
        mSession.SettingsLeft();
}

void TWebApp::Show(const TCommand& command) {
    const std::string previous = mDriverTab;
    mDriverTab = command.Tab;
    // Another tab: the settings window deactivated, the card page left as the focus leaving
    // it does on the desktop. The tools are windows beside the pages there: showing them
    // leaves no page.
    if (previous == SettingsTab && command.Tab != SettingsTab)
        mSession.SettingsLeft();
    if (PageOfKey(command.Tab))
        mSession.Cards().ShowPage(command.Page);
    Changed();
}

void TWebApp::Apply(const TCommand& command, int page) {
    using K = TCommand::TKind;
    const auto refuse = [&](const std::string& reason) {
        mSend(page, nlohmann::json{{"type", "refused"}, {"reason", reason}}.dump());
    };
    switch (command.Kind) {
    case K::Show:
        Show(command);
        return;
    case K::Page: {
        std::string refused;
        if (!ApplyToPage(command, refused))
            refuse(refused);
        return;
    }
    case K::Monitor:
    case K::Rack:
    case K::Diag: {
        std::string refused;
        if (!mTools.Apply(command, page, refused))
            refuse(refused);
        return;
    }
    case K::Report: {
        const bus::TConnectionSettings& settings = mSession.Settings();
        const nlohmann::json report = {
            {"type", "report"},
            {"lines", bus::SettingsReport(settings.Settings(), settings.PortValue())}};
        mSend(page, report.dump());
        return;
    }
    case K::Ping:
    case K::TakeOver:
        return; // the network's side takes these
    default:
        SettingsCommand(command, page);
        return;
    }
}

void TWebApp::SettingsCommand(const TCommand& command, int page) {
    using K = TCommand::TKind;
    switch (command.Kind) {
    case K::Settings:
        if (!command.Port.empty() && command.Port != mSession.Settings().PortValue() &&
            !mSession.PickPort(command.Port)) {
            mSend(page, R"({"type":"refused","reason":"the port is not in the list"})");
            PushSettings();
            return;
        }
        mSession.EditSettings(command.Settings);
        break;
    case K::Connect:
        mSession.Ok();
        break;
    case K::Cancel:
        mSession.Cancel();
        mSession.SettingsLeft();
        break;
    case K::LedUit:
        mSession.LedUit();
        break;
    case K::SettingsLeft:
        mSession.SettingsLeft();
        break;
    case K::LoadSettings:
        if (const std::string error = mSession.Open(mSession.SettingsFile()); !error.empty())
            Tell(page, {true, error, {}});
        break;
    case K::SaveSettings:
        if (const auto failure = mSession.Save(mSession.SettingsFile()))
            Tell(page, {true, failure->Text, failure->Reason});
        break;
    case K::RefreshPorts:
        mSession.RefreshPorts();
        break;
    default:
        return;
    }
    // Every command's answer shows the settings as they are now, also one that changed
    // nothing (a field the page showed otherwise is set back).
    PushSettings();
}

bool TWebApp::ApplyToPage(const TCommand& c, std::string& refused) {
    const cards::TPageAction* action = cards::FindPageAction(c.Page, c.Do);
    if (!action) {
        refused = "the page has no such action";
        return false;
    }
    // Any card page action: the settings are no longer what the user works in.
    mSession.SettingsLeft();
    cards::TCardModels& models = mSession.Cards();
    const cards::TActionArgs args{c.Index, c.Value, c.Ticked};
    if (!action->Enabled(models, args)) {
        refused = "the control is not enabled";
        return false;
    }
    action->Call(models, args);
    // The page's fields show the model's values again, also where the action changed nothing
    // (a number brought back into its range).
    Changed();
    return true;
}

} // namespace web
