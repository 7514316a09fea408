#pragma once

#include "bus/Bus.h"
#include "cards/CardModels.h"
#include "settings/ConnectionSettings.h"
#include "web/BusLoop.h"
#include "web/Commands.h"
#include "web/PageState.h"
#include "web/Tools.h"

#include <functional>
#include <optional>
#include <string>

namespace web {

// The browser front-end on the bus's thread: the card models and the connection settings, the
// driving page's commands applied to them (each checked against what the page shows enabled,
// as a disabled control takes no click), and what the pages show, pushed as it changes: the
// changes of one action or wait go as one frame, at once, and at most PushesPerSecond frames
// go on average, in bursts of up to PushBurst.
class TWebApp : private bus::TBusListener, private cards::TCardFrontEnd {
public:
    static constexpr int PushesPerSecond = 20;
    static constexpr double PushBurst = 4;
    // The longest a change waits for its frame when changes come faster than that.
    static constexpr int PushMs = 1000 / PushesPerSecond;

    TWebApp(bus::TBus& bus, TBusLoop& loop, TSend send,
            std::string settingsFile = "Morvelplint.ini");
    ~TWebApp() override;
    TWebApp(const TWebApp&) = delete;
    TWebApp& operator=(const TWebApp&) = delete;

    // At start, as the desktop program's first showing: the settings file from the current
    // folder, then the set-up for its settings.
    void Start();
    // A page came: everything it shows, at once.
    void Hello(int page);
    // A command of the driving page's; a refusal goes back to it with the reason.
    void Apply(const TCommand& command, int page);
    // The driving page is gone: its running test stops as its Stop button would stop it.
    void DriverGone();
    // A page is gone.
    void Closed(int page) { mTools.Closed(page); }
    // A file for the page to download (the tools' recording and report).
    TDownload Download(const std::string& name, const std::string& query) const {
        return mTools.Download(name, query);
    }
    TWebTools& Tools() { return mTools; }

    cards::TCardModels& Models() { return mModels; }
    // With --sim: where the simulated rack's cards sit, for the INTRO page.
    void SetRackSummary(std::string summary) { mRackSummary = std::move(summary); }
    // A simulated rack without its serial card (a system without pseudo-terminals): the
    // connection goes through its parallel card, whatever the settings file says.
    void SetSimulatedParallelOnly() { mSimulatedParallelOnly = true; }
    bus::TConnectionSettings& Settings() { return mSettings; }

private:
    // Applies a card page's action; false with the reason when its control is disabled.
    bool ApplyToPage(const TCommand& command, std::string& refused);
    void SettingsCommand(const TCommand& command, int page);
    void Connect();
    void Changed();
    void Push();
    void PushSettings();
    void Notice(int page, bool error, const std::string& text, const std::string& informative);

    // TCardFrontEnd
    void Message(cards::TPage page, bool error, const std::string& text) override;
    void Error(const std::string& text) override;
    // TBusListener
    void SetUpStarted() override { PushSettings(); }
    void SetUpFinished(const bus::TSetUpResult& result) override;
    void BusLineLost() override { PushSettings(); }

    bus::TBus& mBus;
    TBusLoop& mLoop;
    TSend mSend;
    std::string mSettingsFile;
    std::string mRackSummary;
    std::optional<bus::TSetUpMessage> mSetUpFailure;
    bool mSimulatedParallelOnly = false;
    cards::TCardModels mModels;
    TPagesFrame mFrame;
    bus::TConnectionSettings mSettings;
    TWebTools mTools;
    bool mPushWaiting = false;
    double mPushTokens = PushBurst;
    TBusLoop::TClock::time_point mTokensAt = TBusLoop::TClock::now();
};

} // namespace web
