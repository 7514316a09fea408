// The web server on the loopback, through hand-made clients: what a page that reads slowly
// or not at all costs, and the deadlines of connections. The program's clock is the test's,
// stepped, so that every deadline passes exactly when the test says.
#include "WebClient.h"
#include "platform/Tick.h"
#include "web/AccessRules.h"
#include "web/Announce.h"
#include "web/Server.h"
#include "web/Tools.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Polls `done` on the machine's own time, for at most TWebClient::Patience.
template <typename TDone> bool Eventually(TDone done) {
    const auto end = std::chrono::steady_clock::now() + TWebClient::Patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// The server on 127.0.0.1 with a port of the system's choice, on a clock the test steps; what
// it tells the application counted.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        mPreviousClock = platform::SetClock(&mClock);
        web::TServerEvents events;
        events.Opened = [this](int page) { mLastPage = page; ++mOpened; };
        events.Command = [](int, const web::TCommand&, bool) { return true; };
        events.DriverGone = [] {};
        events.Closed = [this](int) { ++mClosed; };
        events.Missed = [this](int) { ++mMissed; };
        events.Download = [this](std::string, std::string, std::function<void(web::TDownload)> done) {
            const std::lock_guard lock(mMutex);
            mDownloads.push_back(std::move(done));
        };
        mServer = std::make_unique<web::TServer>("127.0.0.1", 0, web::TAccessConfig{}, events);
        std::string error;
        ASSERT_TRUE(mServer->Start(error)) << error;
        mPort = mServer->Port();
    }
    void TearDown() override {
        mServer.reset();
        platform::SetClock(mPreviousClock);
    }

    // A page: its WebSocket open and its page number told.
    int OpenPage(TWebClient& client) {
        const int before = mOpened;
        EXPECT_NE(client.Upgrade(mPort).find("HTTP/1.1 101"), std::string::npos);
        EXPECT_TRUE(Eventually([&] { return mOpened > before; }));
        return mLastPage;
    }

    // Until the server has looked at its deadlines once more.
    void LookedAgain() {
        const std::uint64_t rounds = mServer->Rounds();
        EXPECT_TRUE(Eventually([&] { return mServer->Rounds() >= rounds + 2; }));
    }

    platform::TSteppedClock mClock;
    platform::TClock* mPreviousClock = nullptr;
    std::unique_ptr<web::TServer> mServer;
    std::uint16_t mPort = 0;
    std::atomic<int> mLastPage{0};
    std::atomic<int> mOpened{0};
    std::atomic<int> mClosed{0};
    std::atomic<int> mMissed{0};
    std::mutex mMutex;
    std::vector<std::function<void(web::TDownload)>> mDownloads;
};

// 20 MB of monitor rows for a page that never reads: it is sent a bounded part of them, the
// rest is dropped and counted, a page beside it gets its frames at once, and ten seconds
// behind the stalled page is closed.
TEST_F(ServerTest, APageThatNeverReadsCostsABoundedBacklogAndIsClosedTenSecondsBehind) {
    TWebClient stalled(mPort, 4096);
    const int page = OpenPage(stalled);
    TWebClient reading(mPort);
    const int other = OpenPage(reading);

    const std::string rows = R"({"rows":[0,1,2,3,4,5,6,7,8,9],"type":"monitor","x":")" +
                             std::string(10'000, 'x') + "\"}";
    constexpr int Frames = 2000;
    for (int i = 0; i < Frames; ++i)
        mServer->Send(page, rows);
    ASSERT_TRUE(Eventually([&] { return mMissed > 0; }));
    mServer->Send(web::ToEveryPage, R"({"n":1,"type":"pages"})");
    EXPECT_EQ(reading.NextTextWith(R"("n":1)"), R"({"n":1,"type":"pages"})")
        << "a stalled page holds up no other";
    EXPECT_EQ(mClosed, 0);
    // The reading page's writes all taken back before the clock jumps: a write still in
    // flight at the jump would count as ten seconds behind.
    LookedAgain();

    mClock.Step(10'001);
    // A close frame that cannot be sent gives way two seconds later.
    EXPECT_TRUE(Eventually([&] {
        mClock.Step(100);
        return mClosed == 1;
    }));
    std::size_t received = 0;
    EXPECT_TRUE(stalled.Closed(TWebClient::Patience, &received));
    EXPECT_LT(received, std::size_t{3} << 20) << "of " << Frames * rows.size() << " bytes";
    (void)other;
}

std::string Get(std::uint16_t port, const std::string& target = "/") {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
}

// A request's header has five seconds; a kept-alive connection idle for five seconds closes;
// an answer that goes on being taken has no end.
TEST_F(ServerTest, AHeaderHasFiveSecondsAndAnIdleConnectionAsLong) {
    TWebClient unfinished(mPort);
    unfinished.Send("GET / HTTP/1.1\r\nHost: 127.0.0.1:");
    TWebClient kept(mPort);
    kept.Send("GET / HT");
    ASSERT_TRUE(Eventually([&] { return mServer->Connections() == 2; }));
    mClock.Step(4'900);
    LookedAgain();
    kept.Send("TP/1.1\r\nHost: 127.0.0.1:" + std::to_string(mPort) + "\r\n\r\n");
    EXPECT_EQ(kept.Response().substr(0, 15), "HTTP/1.1 200 OK");
    LookedAgain();
    mClock.Step(101);
    EXPECT_TRUE(unfinished.Closed());
    mClock.Step(4'800);
    LookedAgain();
    kept.Send(Get(mPort));
    EXPECT_EQ(kept.Response().substr(0, 15), "HTTP/1.1 200 OK") << "kept alive";
    LookedAgain();
    mClock.Step(5'001);
    EXPECT_TRUE(kept.Closed()) << "idle";
}

// Sixteen pages at once, and at most 24 connections from one address: the oldest connection
// that waits for a request gives way to a new one, an open page never does.
TEST_F(ServerTest, TheOldestWaitingConnectionGivesWayAndOpenPagesNever) {
    std::vector<std::unique_ptr<TWebClient>> pages;
    for (int i = 0; i < web::MaxPages; ++i) {
        pages.push_back(std::make_unique<TWebClient>(mPort));
        OpenPage(*pages.back());
    }
    {
        TWebClient seventeenth(mPort);
        EXPECT_EQ(seventeenth.Upgrade(mPort).substr(0, 32), "HTTP/1.1 503 Service Unavailable");
    }
    ASSERT_TRUE(Eventually([&] { return mServer->Connections() == web::MaxPages; }));

    // 32 unfinished requests, made one after another.
    std::vector<std::unique_ptr<TWebClient>> unfinished;
    for (int i = 0; i < 32; ++i) {
        unfinished.push_back(std::make_unique<TWebClient>(mPort));
        unfinished.back()->Send("GET / HTTP/1.1\r\n");
        const int open = web::MaxPages + std::min(i + 1, web::MaxPerAddress - web::MaxPages);
        ASSERT_TRUE(Eventually([&] { return mServer->Connections() == open; }));
        mClock.Step(1);
    }
    TWebClient fresh(mPort);
    fresh.Send(Get(mPort));
    EXPECT_EQ(fresh.Response().substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_TRUE(unfinished.front()->Closed()) << "the oldest gave way";
    EXPECT_FALSE(unfinished.back()->Closed(200ms)) << "the newest waits on";
    // Each that gave way is opened again at once, round after round: a new page still loads.
    for (int round = 0; round < 5; ++round) {
        for (auto& request : unfinished) {
            if (!request->Closed(0ms))
                continue;
            request = std::make_unique<TWebClient>(mPort);
            request->Send("GET / HTTP/1.1\r\n");
            mClock.Step(1);
        }
        TWebClient next(mPort);
        next.Send(Get(mPort));
        EXPECT_EQ(next.Response().substr(0, 15), "HTTP/1.1 200 OK") << "round " << round;
    }
    mServer->Send(web::ToEveryPage, R"({"n":2,"type":"pages"})");
    for (auto& page : pages)
        EXPECT_EQ(page->NextTextWith(R"("n":2)"), R"({"n":2,"type":"pages"})");
    EXPECT_EQ(mClosed, 0);
}

// Two downloads at once: a third is told to come back, and served once one has ended.
TEST_F(ServerTest, AtMostTwoDownloadsAtOnce) {
    TWebClient first(mPort);
    TWebClient second(mPort);
    first.Send(Get(mPort, "/download/opname.pcapng"));
    second.Send(Get(mPort, "/download/opname.csv"));
    ASSERT_TRUE(Eventually([&] {
        const std::lock_guard lock(mMutex);
        return mDownloads.size() == 2;
    }));
    TWebClient third(mPort);
    third.Send(Get(mPort, "/download/opname.csv"));
    EXPECT_EQ(third.Response().substr(0, 32), "HTTP/1.1 503 Service Unavailable");
    web::TDownload file;
    file.Status = 200;
    file.Body = std::string(100'000, 'x');
    {
        const std::lock_guard lock(mMutex);
        mDownloads[0](file);
    }
    const std::string whole = first.Response();
    EXPECT_EQ(whole.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(whole.substr(whole.size() - 100'000), file.Body);
    // A file made as it is taken: in chunks, whole, and the connection kept for the next.
    web::TDownload parts;
    parts.Status = 200;
    parts.Parts = [n = 0](std::string& out) mutable {
        out += std::string(70'000, static_cast<char>('a' + n));
        return ++n < 3;
    };
    {
        const std::lock_guard lock(mMutex);
        mDownloads[1](parts);
    }
    const auto [header, body] = second.ChunkedResponse();
    EXPECT_EQ(header.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_NE(header.find("Transfer-Encoding: chunked"), std::string::npos) << header;
    EXPECT_EQ(body, std::string(70'000, 'a') + std::string(70'000, 'b') + std::string(70'000, 'c'));
    second.Send(Get(mPort, "/download/opname.csv"));
    third.Send(Get(mPort, "/download/opname.csv"));
    EXPECT_TRUE(Eventually([&] {
        const std::lock_guard lock(mMutex);
        return mDownloads.size() == 4;
    })) << "their turn";
    const std::lock_guard lock(mMutex);
    for (std::size_t i = 2; i < mDownloads.size(); ++i)
        mDownloads[i](file);
}

// avahi-daemon's client library stood in for: what the announcement asks of it.
class TAvahiStandIn final : public web::TAvahiCalls {
public:
    explicit TAvahiStandIn(std::vector<std::string>& calls, bool daemon = true)
        : mCalls(calls), mDaemon(daemon) {}
    bool Connect(std::string& error) override {
        mCalls.push_back("connect");
        error = "Daemon not running";
        return mDaemon;
    }
    std::string HostName() override { return "zelmrek"; }
    std::string HostNameFqdn() override { return "zelmrek.local"; }
    bool AddService(const std::string& name, const std::string& type, std::uint16_t port,
                    std::string&) override {
        mCalls.push_back("add " + name + " " + type + " " + std::to_string(port));
        return true;
    }
    void Withdraw() override { mCalls.push_back("withdraw"); }
    void Disconnect() override { mCalls.push_back("disconnect"); }

private:
    std::vector<std::string>& mCalls;
    bool mDaemon;
};

TEST(NameOnTheNetwork, AnnouncedAtTheStartWithdrawnAtTheStopAndANoteOnceWithoutADaemon) {
    std::vector<std::string> calls;
    {
        web::TAnnouncement announcement(std::make_unique<TAvahiStandIn>(calls));
        std::string note;
        ASSERT_TRUE(announcement.Start(8314, note));
        EXPECT_EQ(note, "");
        EXPECT_EQ(announcement.HostName(), "zelmrek.local");
        EXPECT_EQ(calls, (std::vector<std::string>{"connect",
                                                   "add Morvelplint op zelmrek _http._tcp 8314"}));
        announcement.Stop();
        EXPECT_EQ(announcement.HostName(), "");
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"connect", "add Morvelplint op zelmrek _http._tcp 8314",
                                               "withdraw", "disconnect"}))
        << "withdrawn once";

    calls.clear();
    web::TAnnouncement without(std::make_unique<TAvahiStandIn>(calls, false));
    std::string note;
    EXPECT_FALSE(without.Start(8314, note));
    EXPECT_EQ(note, "geen naam op het netwerk: avahi-daemon is niet te bereiken (Daemon not "
                    "running); de adressen hieronder werken wel");
    without.Stop();
    EXPECT_EQ(calls, (std::vector<std::string>{"connect"}));
    EXPECT_EQ(without.HostName(), "");
}

} // namespace
