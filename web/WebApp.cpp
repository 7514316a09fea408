#include "web/WebApp.h"

#include "platform/AboutTexts.h"
#include "platform/Messages.h"
#include "web/PageState.h"
#include "web/PageTexts.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace web {

using cards::TPage;

constexpr const char* ProgramVersion = MORVELPLINT_VERSION;

TWebApp::TWebApp(bus::TBus& bus, TBusLoop& loop, TSend send, std::string settingsFile)
    : mBus(bus), mLoop(loop), mSend(std::move(send)), mSettingsFile(std::move(settingsFile)),
      mModels(bus, loop), mFrame(mModels), mTools(bus, loop, mSend, mModels) {
    mModels.SetFrontEnd(this);
    mModels.SetSettings(mSettings.Settings());
    for (TPage page :
         {TPage::Sck, TPage::Pck, TPage::Slk, TPage::Xbk, TPage::Bk3, TPage::LkkEvl, TPage::Iok})
        mModels.Model(page)->Listen([this, page] {
            mFrame.Changed(page);
            Changed();
        });
    mBus.AddListener(*this);
}

TWebApp::~TWebApp() {
    mBus.RemoveListener(*this);
    mModels.SetFrontEnd(nullptr);
}

void TWebApp::Start() {
    std::string error;
    if (!mSettings.Load(mSettingsFile, error)) {
        // A load that stopped with an error arms no set-up, as on the desktop.
        mModels.SetSettings(mSettings.Settings());
        Notice(ToEveryPage, true, error, {});
        return;
    }
    if (mSimulatedParallelOnly) {
        bus::TSettings settings = mSettings.Settings();
        settings.Parallel = true;
        mSettings.SetSettings(settings);
    }
    mModels.SetSettings(mSettings.Settings());
    Connect();
}

void TWebApp::Connect() {
    // Asked for while a page or a tick waits for the rack: after that exchange, never inside.
    mBus.WhenIdle([this] { mBus.SetUp(mSettings.Choice()); });
}

void TWebApp::Hello(int page) {
    std::string rack;
    if (!mRackSummary.empty()) {
        rack = platform::Tr("Gesimuleerd rek: %1.");
        if (const std::size_t at = rack.find("%1"); at != std::string::npos)
            rack.replace(at, 2, mRackSummary);
    }
    namespace about = platform::about;
    const nlohmann::json aboutTexts = {{"version", ProgramVersion},
                                       {"copyright", about::Copyright},
                                       {"disclaimerA", about::DisclaimerA},
                                       {"disclaimerB", about::DisclaimerB},
                                       {"author1", about::Author1},
                                       {"author2", about::Author2}};
    mSend(page, R"({"type":"texts","texts":)" + PageTextsJson() + R"(,"rack":)" +
                    nlohmann::json(rack).dump() + R"(,"about":)" + aboutTexts.dump() + "}");
    mSend(page, mFrame.Json());
    mSend(page, SettingsJson(mSettings, mBus));
    mTools.Hello(page);
    if (mSetUpFailure)
        Notice(page, true, mSetUpFailure->Text, mSetUpFailure->Informative);
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
    mSend(ToEveryPage, SettingsJson(mSettings, mBus));
}

void TWebApp::Notice(int page, bool error, const std::string& text,
                     const std::string& informative) {
    const nlohmann::json notice = {
        {"type", "message"}, {"error", error}, {"text", text}, {"informative", informative}};
    mSend(page, notice.dump());
}

void TWebApp::Message(TPage page, bool error, const std::string& text) {
    nlohmann::json notice = {
        {"type", "message"}, {"error", error}, {"text", text}, {"page", PageKey(page)}};
    mSend(ToDriver, notice.dump());
}

void TWebApp::Error(const std::string& text) {
    Notice(ToDriver, true, text, {});
}

void TWebApp::SetUpFinished(const bus::TSetUpResult& result) {
    // A set-up the program ran by itself may have found the port under another path.
    if (result.Automatic && result.Ready) {
        mSettings.RefreshPorts();
        mSettings.SelectPort(result.Port);
    }
    PushSettings();
    const bus::TSetUpMessage message = bus::SetUpMessage(result);
    // A page that opens after a failed set-up (the one at the start comes before any page can)
    // is told why there is no connection.
    mSetUpFailure.reset();
    if (message.Shown && !result.Ready)
        mSetUpFailure = message;
    if (message.Shown)
        Notice(ToEveryPage, true, message.Text, message.Informative);
}

void TWebApp::DriverGone() {
    mModels.StopRunningTest();
    mTools.DriverGone();
}

void TWebApp::Apply(const TCommand& command, int page) {
    using K = TCommand::TKind;
    switch (command.Kind) {
    case K::Show: {
        const TPage previous = mModels.ActivePage();
        mModels.SetActivePage(command.Page);
        // Another tab: the page left, as the focus leaving it does on the desktop.
        if (previous != command.Page)
            mModels.LeavePage(previous);
        Changed();
        return;
    }
    case K::Page: {
        std::string refused;
        // One test at a time: while the diagnostics run, no card page sends or starts.
        if (mTools.DiagRunning() && (command.Do == "send" || command.Do == "click")) {
            Notice(page, true, platform::Tr("De kaartdiagnose loopt; stop die eerst."), {});
            mSend(page, R"({"type":"refused","reason":"a diagnostics run is under way"})");
            return;
        }
        if (!ApplyToPage(command, refused)) {
            const nlohmann::json answer = {{"type", "refused"}, {"reason", refused}};
            mSend(page, answer.dump());
        }
        return;
    }
    case K::Monitor:
    case K::Rack:
    case K::Diag: {
        std::string refused;
        if (!mTools.Apply(command, page, refused)) {
            const nlohmann::json answer = {{"type", "refused"}, {"reason", refused}};
            mSend(page, answer.dump());
        } else if (command.Kind == K::Rack && command.Do == "newCard") {
            PushSettings(); // the new card's port, chosen
        }
        return;
    }
    case K::Report: {
        const nlohmann::json report = {
            {"type", "report"},
            {"lines", bus::SettingsReport(mSettings.Settings(), mSettings.PortValue())}};
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
    std::string error;
    switch (command.Kind) {
    case K::Settings:
        mSettings.SetSettings(command.Settings);
        mModels.SetSettings(mSettings.Settings());
        break;
    case K::Connect:
        Connect();
        break;
    case K::LoadSettings:
        if (!mSettings.Load(mSettingsFile, error))
            Notice(page, true, error, {});
        mModels.SetSettings(mSettings.Settings());
        break;
    case K::SaveSettings:
        if (!mSettings.Save(mSettingsFile, error)) {
            std::string text =
                platform::Tr("De instellingen konden niet worden bewaard in \"%1\".");
            if (const std::size_t at = text.find("%1"); at != std::string::npos)
                text.replace(at, 2, mSettingsFile);
            Notice(page, true, text, error);
        }
        break;
    case K::RefreshPorts:
        mSettings.RefreshPorts();
        break;
    default:
        return;
    }
    PushSettings();
}

bool TWebApp::ApplyToPage(const TCommand& c, std::string& refused) {
    const auto disabled = [&refused] {
        refused = "the control is not enabled";
        return false;
    };
    const std::string& act = c.Do;
    switch (c.Page) {
    case TPage::Sck:
    case TPage::Pck: {
        cards::TBusWordModel& m = c.Page == TPage::Sck ? mModels.Sck : mModels.Pck;
        const cards::TBusWordView& v = m.View();
        if (act == "bit") {
            if ((c.Index == 5 && !v.D5Enabled) || (c.Index >= 6 && !v.StrobeButtonsEnabled))
                return disabled();
            m.ClickBit(c.Index);
        } else if (act == "strobe") {
            if (!v.StrobeGroupEnabled)
                return disabled();
            m.ChooseStrobe(c.Index);
        } else if (act == "send") {
            if (!v.VersturenEnabled)
                return disabled();
            m.Send();
        }
        return true;
    }
    case TPage::Slk: {
        cards::TSlkModel& m = mModels.Slk;
        if (act == "cardMode")
            m.ChooseCardMode();
        else if (act == "rackMode")
            m.ChooseRackMode();
        else if (act == "value")
            m.SetValue(c.Value);
        else if (act == "leaveButton")
            m.LeaveButton();
        else if (act == "click") {
            if (!m.View().ButtonEnabled)
                return disabled();
            m.Click();
        }
        return true;
    }
    case TPage::Xbk:
    case TPage::Bk3: {
        cards::TBlockModel& m = c.Page == TPage::Xbk ? mModels.Xbk : mModels.Bk3;
        const cards::TBlockView& v = m.View();
        if (act == "address") {
            if (!v.AddressesEnabled)
                return disabled();
            m.SetAddress(c.Index, c.Value);
        } else if (act == "section") {
            if (!v.SectionsEnabled)
                return disabled();
            m.SetSection(c.Index, c.Ticked);
        } else if (act == "speed") {
            m.SetSpeedPosition(c.Value);
        } else if (act == "click") {
            if (!v.ButtonEnabled)
                return disabled();
            m.Click();
        }
        return true;
    }
    case TPage::LkkEvl: {
        cards::TLkkEvlModel& m = mModels.LkkEvl;
        if (act == "address")
            m.SetAddress(c.Value);
        else if (act == "evl") {
            if (!m.View().EvlEnabled)
                return disabled();
            m.ChooseEvl(c.Value);
        } else if (act == "pin")
            m.ClickPin(c.Index);
        else if (act == "tester")
            m.SetTester(c.Ticked);
        else if (act == "click") {
            if (!m.View().ButtonEnabled)
                return disabled();
            m.Click();
        }
        return true;
    }
    case TPage::Iok: {
        cards::TIokModel& m = mModels.Iok;
        if (act == "address")
            m.SetAddress(c.Value);
        else if (act == "output")
            m.ClickOutput(c.Index);
        else if (act == "testen")
            m.SetTesten(c.Ticked);
        else if (act == "click") {
            if (!m.View().ButtonEnabled)
                return disabled();
            m.Click();
        }
        return true;
    }
    case TPage::Intro:
        break;
    }
    refused = "the page has no actions";
    return false;
}

} // namespace web
