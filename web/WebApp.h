#pragma once

#include "session/RackSession.h"
#include "web/BusLoop.h"
#include "web/CommandQueue.h"
#include "web/Commands.h"
#include "web/PageState.h"
#include "web/Server.h"
#include "web/Tools.h"

#include <memory>
#include <optional>
#include <string>

namespace web {

// The browser front-end on the session's thread: a view of the rack session for every page.
// The driving page's commands go to the session (a card page's action through the page
// actions' table, checked against what the page shows enabled, as a disabled control takes no
// click), and what the pages show is pushed as it changes: the changes of one action or wait
// go as one frame, at once, and at most PushesPerSecond frames go on average, in bursts of up
// to PushBurst.
class TWebApp : private session::TFrontEnd {
public:
    static constexpr int PushesPerSecond = 20;
    static constexpr double PushBurst = 4;
    // The longest a change waits for its frame when changes come faster than that.
    static constexpr int PushMs = 1000 / PushesPerSecond;

    TWebApp(session::TRackSession& session, TBusLoop& loop, TSend send);
    ~TWebApp() override;
    TWebApp(const TWebApp&) = delete;
    TWebApp& operator=(const TWebApp&) = delete;

    // What the server hands over, posted from the network's thread to the session's.
    TServerEvents ServerEvents();
    // At start, as the desktop program's first showing: the settings file of the folder.
    void Start();
    // A page came: everything it shows, at once.
    void Hello(int page);
    // A command of a page (the server lets a watching page send only what changes nothing
    // but its own view); a refusal goes back to it with the reason.
    void Apply(const TCommand& command, int page);
    // The driving page is gone: its running test stops as its Stop button would stop it, and
    // the settings it left unapplied fall back.
    void DriverGone();
    // A page is gone.
    void Closed(int page) { mTools.Closed(page); }
    // A file for the page to download (the tools' recording and report).
    TDownload Download(const std::string& name, const std::string& query) const {
        return mTools.Download(name, query);
    }
    TWebTools& Tools() { return mTools; }
    session::TRackSession& Session() { return mSession; }

private:
    bool ApplyToPage(const TCommand& command, std::string& refused);
    void SettingsCommand(const TCommand& command, int page);
    void Show(const TCommand& command);
    void Changed();
    void Push();
    void PushSettings();
    void Tell(int page, const session::TNotice& notice);

    // session::TFrontEnd
    void Message(cards::TPage page, bool error, const std::string& text) override;
    void Error(const std::string& text) override;
    void Notice(const session::TNotice& notice) override;
    void ShowPage(cards::TPage page) override;

    session::TRackSession& mSession;
    TBusLoop& mLoop;
    TSend mSend;
    std::string mRackSummary;
    // The last set-up's failure, told to every page that opens until one succeeds.
    std::optional<session::TNotice> mSetUpFailure;
    TPagesFrame mFrame;
    TWebTools mTools;
    // Shared with the loop's work that takes from it.
    std::shared_ptr<TCommandQueue> mCommands = std::make_shared<TCommandQueue>();
    // The tab the driving page shows: leaving the settings is their window's deactivation.
    std::string mDriverTab = "intro";
    int mSettingsListener = 0;
    bool mPushWaiting = false;
    double mPushTokens = PushBurst;
    TBusLoop::TClock::time_point mTokensAt = TBusLoop::TClock::now();
};

} // namespace web
