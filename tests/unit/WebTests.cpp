// The browser front-end without a browser or a socket: the access rules on hand-made
// requests, the page's commands as parsed, who drives, and the web application's commands
// against the simulated serial card, word for word.
#include "bus/ParallelTransport.h"
#include "capture/Capture.h"
#include "capture/CaptureFiles.h"
#include "platform/Tick.h"
#include "sim/SimRack.h"
#include "web/AccessRules.h"
#include "web/CommandQueue.h"
#include "web/Commands.h"
#include "web/Control.h"
#include "web/KeyFile.h"
#include "web/Outbox.h"
#include "web/PageState.h"
#include "web/WebApp.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

using web::TRequest;
using web::TRole;
using Words = std::vector<int>;

namespace {

// A download's bytes whole: its body, or its parts one after another.
std::string Whole(web::TDownload file) {
    if (!file.Parts)
        return file.Body;
    std::string bytes;
    while (file.Parts(bytes)) {
    }
    return bytes;
}

TRequest Get(std::string target, std::string host = "127.0.0.1:8314") {
    TRequest request;
    request.Method = "GET";
    request.Target = std::move(target);
    request.Host = std::move(host);
    return request;
}

} // namespace

TEST(AccessRules, OnTheLoopbackOnlyItsOwnHostIsServed) {
    const web::TAccessConfig loopback;
    EXPECT_EQ(Check(Get("/"), loopback).Status, 200);
    EXPECT_EQ(Check(Get("/"), loopback).Role, TRole::Driver);
    EXPECT_EQ(Check(Get("/app.js", "localhost:8314"), loopback).Path, "/app.js");
    EXPECT_EQ(Check(Get("/", "LocalHost:8314"), loopback).Status, 200);
    // A name that leads to the loopback through DNS is not the loopback's own.
    EXPECT_EQ(Check(Get("/", "rebound.example:8314"), loopback).Status, 403);
    EXPECT_EQ(Check(Get("/", "127.0.0.1:8315"), loopback).Status, 403);
    EXPECT_EQ(Check(Get("/", "127.0.0.1"), loopback).Status, 403);
    EXPECT_EQ(Check(Get("/", ""), loopback).Status, 400);
    EXPECT_EQ(Check(Get("app.js"), loopback).Status, 400);
}

TEST(AccessRules, ElsewhereTheTokenGuardsEveryRequestAndLivesOnInACookie) {
    web::TAccessConfig network;
    network.Loopback = false;
    network.Token = "0123456789abcdef0123456789abcdef";
    network.ViewToken = "fedcba9876543210fedcba9876543210";
    const std::string host = "192.168.1.20:8314";
    EXPECT_EQ(Check(Get("/", host), network).Status, 401);
    EXPECT_EQ(Check(Get("/app.js", host), network).Status, 401);
    EXPECT_EQ(Check(Get("/?token=0123456789abcdef0123456789abcdee", host), network).Status, 401);
    EXPECT_EQ(Check(Get("/?token=", host), network).Status, 401);

    const web::TDecision first = Check(Get("/?token=" + network.Token, host), network);
    EXPECT_EQ(first.Status, 200);
    EXPECT_EQ(first.Role, TRole::Driver);
    EXPECT_EQ(first.Path, "/");
    EXPECT_EQ(first.SetCookie,
              "morvelplint=" + network.Token + "; HttpOnly; SameSite=Strict; Path=/");

    TRequest later = Get("/app.css", host);
    later.Cookie = "other=1; morvelplint=" + network.Token;
    EXPECT_EQ(Check(later, network).Role, TRole::Driver);
    EXPECT_TRUE(Check(later, network).SetCookie.empty());
    later.Cookie = "morvelplint=" + network.ViewToken;
    EXPECT_EQ(Check(later, network).Role, TRole::Viewer);
    EXPECT_EQ(Check(Get("/?view=" + network.ViewToken, host), network).Role, TRole::Viewer);
    EXPECT_EQ(Check(Get("/?view=" + network.Token, host), network).Status, 401)
        << "the driving token is no view token";
}

TEST(AccessRules, ChangesAndUpgradesNeedThePagesOriginAndJsonAndKeepToTheirSize) {
    const web::TAccessConfig loopback;
    TRequest upgrade = Get("/ws");
    upgrade.Upgrade = true;
    EXPECT_EQ(Check(upgrade, loopback).Status, 403) << "no Origin";
    upgrade.Origin = "http://evil.example";
    EXPECT_EQ(Check(upgrade, loopback).Status, 403);
    upgrade.Origin = "http://127.0.0.1:8314";
    EXPECT_EQ(Check(upgrade, loopback).Status, 200);

    TRequest post = Get("/ws");
    post.Method = "POST";
    post.ContentType = "application/json";
    EXPECT_EQ(Check(post, loopback).Status, 403) << "no Origin";
    post.Origin = "http://127.0.0.1:8314";
    EXPECT_EQ(Check(post, loopback).Status, 405) << "every change goes through the WebSocket";
    post.ContentType = "application/x-www-form-urlencoded";
    EXPECT_EQ(Check(post, loopback).Status, 415);
    post.ContentType = "application/json; charset=utf-8";
    post.ContentLength = web::MaxBody + 1;
    EXPECT_EQ(Check(post, loopback).Status, 413);
    TRequest big = Get("/");
    big.ContentLength = web::MaxBody + 1;
    EXPECT_EQ(Check(big, loopback).Status, 413);
}

TEST(AccessRules, TokensAreLongRandomAndComparedWhole) {
    const std::string a = web::MakeToken();
    const std::string b = web::MakeToken();
    EXPECT_EQ(a.size(), 32u) << "128 bits";
    EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(a, b);
    EXPECT_TRUE(web::SameToken(a, a));
    EXPECT_FALSE(web::SameToken(a, a.substr(0, 31)));
    EXPECT_FALSE(web::SameToken(a, b));
    EXPECT_EQ(web::QueryValue("a=1&token=xyz&b=2", "token"), "xyz");
    EXPECT_EQ(web::CookieValue("a=1;  morvelplint=abc ; b=2", "morvelplint"), "abc");
}

TEST(PageCommands, EachActionIsCheckedBeforeAnyModelSeesIt) {
    std::string error;
    const auto bit =
        web::ParseCommand(R"({"cmd": "page", "page": "pck", "do": "bit", "bit": 7})", error);
    ASSERT_TRUE(bit) << error;
    EXPECT_EQ(bit->Kind, web::TCommand::TKind::Page);
    EXPECT_EQ(bit->Page, cards::TPage::Pck);
    EXPECT_EQ(bit->Index, 7);
    const auto section = web::ParseCommand(
        R"({"cmd": "page", "page": "xbk", "do": "section", "section": 11, "ticked": false})",
        error);
    ASSERT_TRUE(section) << error;
    EXPECT_EQ(section->Index, 11);
    EXPECT_FALSE(section->Ticked);
    const auto settings = web::ParseCommand(
        R"({"cmd": "settings", "settings": {"parallel": true, "port": "/dev/ttyUSB0", "clock": 4,
            "kortsluitStop": false, "timeOut": true, "kortsluitMelding": true,
            "baud19200": false, "testen": false, "testTijd": 650}})",
        error);
    ASSERT_TRUE(settings) << error;
    EXPECT_TRUE(settings->Settings.Parallel);
    EXPECT_EQ(settings->Settings.ClockIndex, 4);
    EXPECT_EQ(settings->Settings.TestTijd, 650);
    EXPECT_EQ(settings->Port, "/dev/ttyUSB0") << "a port by its value, never by its place";
    EXPECT_EQ(web::ParseCommand(R"({"cmd": "show", "page": "iok"})", error)->Page,
              cards::TPage::Iok);

    for (
        const char* wrong : {
            "not json",
            "[1, 2]",
            R"({"page": "sck"})",
            R"({"cmd": "reboot"})",
            R"({"cmd": "show", "page": "settings"})",
            R"({"cmd": "page", "page": "sck"})",
            R"({"cmd": "page", "page": "sck", "do": "bit", "bit": 8})",
            R"({"cmd": "page", "page": "sck", "do": "bit", "bit": "3"})",
            R"({"cmd": "page", "page": "sck", "do": "bit", "bit": 2.5})",
            R"({"cmd": "page", "page": "bk3", "do": "address", "value": 64})",
            R"({"cmd": "page", "page": "xbk", "do": "section", "section": 3})",
            R"({"cmd": "page", "page": "slk", "do": "fly"})",
            R"({"cmd": "settings", "settings": {"parallel": true}})",
            R"({"cmd": "settings", "settings": {"parallel": 1, "port": "", "clock": 0, "kortsluitStop": false,
                 "timeOut": true, "kortsluitMelding": false, "baud19200": false, "testen": false, "testTijd": 99}})",
        }) {
        SCOPED_TRACE(wrong);
        error.clear();
        EXPECT_FALSE(web::ParseCommand(wrong, error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_FALSE(web::ParseCommand(std::string(web::MaxCommand + 1, ' '), error));
}

TEST(WhoDrives, TheFirstDrivesOthersWatchAndAGonePageGivesControlUpAfterThreeSeconds) {
    using namespace std::chrono_literals;
    web::TControl control;
    const auto start = web::TControl::TClock::now();
    EXPECT_TRUE(control.Opened(1, TRole::Driver, start));
    EXPECT_FALSE(control.Opened(2, TRole::Driver, start)) << "watches";
    EXPECT_FALSE(control.Opened(3, TRole::Viewer, start));
    EXPECT_FALSE(control.TakeOver(3, start)) << "a view-only page never drives";
    EXPECT_TRUE(control.TakeOver(2, start));
    EXPECT_TRUE(control.Drives(2));
    EXPECT_FALSE(control.Drives(1));

    // The driving page's heartbeat keeps it; gone, it drives on until three seconds passed.
    control.Seen(2, start + 2s);
    EXPECT_FALSE(control.Expire(start + 4s));
    control.Closed(2);
    EXPECT_TRUE(control.Drives(2));
    EXPECT_FALSE(control.Expire(start + 4900ms));
    EXPECT_TRUE(control.Expire(start + 5s));
    EXPECT_FALSE(control.Expire(start + 6s)) << "once";
    EXPECT_EQ(control.Driver(), 0);
    EXPECT_EQ(control.Pages(), (std::vector<int>{1, 3}));
    EXPECT_FALSE(control.Drives(1)) << "a watching page goes on watching";
    EXPECT_TRUE(control.Opened(4, TRole::Driver, start + 7s)) << "a new page takes control";

    // The driving page's tab back within the three seconds drives on; later it only watches.
    control.Closed(4);
    EXPECT_FALSE(control.Resumed(5, 4, TRole::Viewer, start + 8s)) << "a view-only page never";
    EXPECT_FALSE(control.Resumed(5, 1, TRole::Driver, start + 8s)) << "not the one that drove";
    EXPECT_TRUE(control.Resumed(5, 4, TRole::Driver, start + 9900ms));
    EXPECT_TRUE(control.Drives(5));
    EXPECT_EQ(control.Pages(), (std::vector<int>{1, 3, 5}));
    EXPECT_FALSE(control.Expire(start + 12s));
    control.Closed(5);
    EXPECT_FALSE(control.Resumed(6, 5, TRole::Driver, start + 15s)) << "too late";
    EXPECT_FALSE(control.Drives(6));
}

// The key file: made at the first start for its owner only, the same tokens at the next,
// new ones with --new-key; a damaged one, or one others may read, refused with its name and
// left as it is.
TEST(KeyFile, MadeOnceKeptAcrossStartsAndRefusedWhenDamagedOrOpenToOthers) {
    namespace fs = std::filesystem;
    char folder[] = "/tmp/morvelplint-keys-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    const std::string path = std::string(folder) + "/Morvelplint.key";
    const auto contents = [&] {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };

    const web::TKeyFile first = web::LoadKeyFile(path, false);
    ASSERT_TRUE(first.Ok) << first.Error;
    EXPECT_TRUE(first.Made);
    EXPECT_NE(first.Token, first.ViewToken);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_NE(contents().find("\ntoken=" + first.Token + "\nview=" + first.ViewToken + "\n"),
              std::string::npos);
    const web::TKeyFile again = web::LoadKeyFile(path, false);
    ASSERT_TRUE(again.Ok) << again.Error;
    EXPECT_FALSE(again.Made);
    EXPECT_EQ(again.Token, first.Token);
    EXPECT_EQ(again.ViewToken, first.ViewToken);
    const web::TKeyFile fresh = web::LoadKeyFile(path, true);
    ASSERT_TRUE(fresh.Ok && fresh.Made);
    EXPECT_NE(fresh.Token, first.Token);
    EXPECT_EQ(web::LoadKeyFile(path, false).Token, fresh.Token);

    const std::string damaged = "token=" + fresh.Token + "\nview=" + fresh.Token.substr(1) + "\n";
    for (const std::string& text :
         {damaged, "token=" + fresh.Token + "\n", "token=" + fresh.Token + "\nview=" +
                                                      fresh.Token + "\n"}) {
        std::ofstream(path, std::ios::trunc) << text;
        const web::TKeyFile refused = web::LoadKeyFile(path, false);
        EXPECT_FALSE(refused.Ok);
        EXPECT_TRUE(refused.Token.empty());
        EXPECT_EQ(refused.Error, "het sleutelbestand " + path +
                                     " is beschadigd (er horen twee regels in, token= en view=, "
                                     "elk met 32 hexadecimale cijfers); herstel het, of maak "
                                     "nieuwe sleutels met --new-key");
        EXPECT_EQ(contents(), text) << "never replaced";
    }
    std::ofstream(path, std::ios::trunc) << "token=" + first.Token + "\nview=" + fresh.Token + "\n";
    chmod(path.c_str(), 0644);
    const web::TKeyFile open = web::LoadKeyFile(path, false);
    EXPECT_FALSE(open.Ok);
    EXPECT_NE(open.Error.find(path + " is ook voor anderen te lezen"), std::string::npos);
    chmod(path.c_str(), 0600);
    EXPECT_TRUE(web::LoadKeyFile(path, false).Ok);
    fs::remove(path);
    fs::create_directory(path);
    const web::TKeyFile unreadable = web::LoadKeyFile(path, false);
    EXPECT_FALSE(unreadable.Ok);
    EXPECT_EQ(unreadable.Error.rfind("kan het sleutelbestand " + path + " niet lezen: ", 0), 0u);
    fs::remove_all(folder);
}

// A watching page that floods: its pending filter replaced by its newest, refused once too
// many wait, and the driving page's command taken before every one of them.
TEST(PageCommands, AFloodingPageIsRefusedAndTheDriversCommandGoesFirst) {
    using web::TCommandQueue;
    const auto command = [](web::TCommand::TKind kind, std::string what, int index = 0) {
        web::TCommand c;
        c.Kind = kind;
        c.Do = std::move(what);
        c.Index = index;
        return c;
    };
    using K = web::TCommand::TKind;
    TCommandQueue queue;
    EXPECT_EQ(queue.Push(2, false, command(K::Monitor, "watch")), TCommandQueue::TPushed::Queued);
    EXPECT_EQ(queue.Push(2, false, command(K::Monitor, "filter", 1)),
              TCommandQueue::TPushed::Queued);
    for (int i = 2; i < 3000; ++i)
        EXPECT_EQ(queue.Push(2, false, command(K::Monitor, "filter", i)),
                  TCommandQueue::TPushed::Replaced);
    EXPECT_EQ(queue.Push(3, false, command(K::Rack, "watch")), TCommandQueue::TPushed::Queued);
    EXPECT_EQ(queue.Push(3, false, command(K::Rack, "watch", 1)),
              TCommandQueue::TPushed::Replaced);
    for (std::size_t i = 2; i < TCommandQueue::MaxPerPage; ++i)
        EXPECT_EQ(queue.Push(2, false, command(K::Monitor, "freeze")),
                  TCommandQueue::TPushed::Queued);
    EXPECT_EQ(queue.Push(2, false, command(K::Monitor, "freeze")),
              TCommandQueue::TPushed::Refused);
    EXPECT_EQ(queue.Pending(2), TCommandQueue::MaxPerPage);
    EXPECT_EQ(queue.Push(1, true, command(K::Page, "stop")), TCommandQueue::TPushed::Queued);

    std::vector<std::string> taken;
    while (const auto next = queue.Take())
        taken.push_back(std::to_string(next->Page) + " " + next->Command.Do + " " +
                        std::to_string(next->Command.Index));
    ASSERT_EQ(taken.size(), TCommandQueue::MaxPerPage + 2);
    EXPECT_EQ(std::vector<std::string>(taken.begin(), taken.begin() + 5),
              (std::vector<std::string>{"1 stop 0", "2 watch 0", "3 watch 1", "2 filter 2999",
                                        "2 freeze 0"}));
    EXPECT_EQ(queue.Pending(2), 0u);
}

// A page that reads slowly or not at all: one frame of each state, the newest; rows dropped
// oldest first and counted; behind for ten seconds, or with too many events, it is closed.
TEST(PageOutbox, StatesCoalesceRowsDropOldestFirstAndAPageBehindTenSecondsIsClosed) {
    using namespace std::chrono_literals;
    using web::TOutbox;
    const auto frame = [](std::string text) {
        return std::make_shared<const std::string>(std::move(text));
    };
    const auto push = [&](TOutbox& box, const std::string& text, TOutbox::TClock::time_point at) {
        box.Push(frame(text), web::ClassifyFrame(text), at);
    };
    const auto t0 = TOutbox::TClock::now();

    const auto rows = web::ClassifyFrame(R"({"rows":[{"type":"x"},{}],"type":"monitor"})");
    EXPECT_EQ(rows.Kind, web::TFrameKind::Rows);
    EXPECT_EQ(rows.Rows, 2u);
    EXPECT_EQ(web::ClassifyFrame(R"({"text":"{\"type\":\"pages\"}","type":"message"})").Kind,
              web::TFrameKind::Event);
    EXPECT_EQ(web::ClassifyFrame(R"({"type":"pages"})").Kind, web::TFrameKind::State);
    EXPECT_EQ(web::ClassifyFrame("not json").Kind, web::TFrameKind::Event);

    TOutbox box;
    push(box, R"({"n":1,"type":"pages"})", t0);
    push(box, R"({"type":"message"})", t0);
    push(box, R"({"n":1,"type":"settings"})", t0);
    push(box, R"({"n":2,"type":"pages"})", t0);
    push(box, R"({"n":3,"type":"pages"})", t0);
    std::vector<std::string> taken;
    while (const auto next = box.Take(t0)) {
        EXPECT_FALSE(box.Take(t0)) << "one write at a time";
        taken.push_back(*next);
        box.Written();
    }
    EXPECT_EQ(taken, (std::vector<std::string>{R"({"type":"message"})",
                                               R"({"n":1,"type":"settings"})",
                                               R"({"n":3,"type":"pages"})"}));

    // A page that never reads: its first frame in the write that never ends, the rest waits.
    const std::string tenRows = R"({"rows":[0,1,2,3,4,5,6,7,8,9],"type":"monitor","x":")" +
                                std::string(10'000, 'x') + "\"}";
    push(box, tenRows, t0);
    ASSERT_TRUE(box.Take(t0));
    const std::size_t fit = TOutbox::MaxRowBytes / tenRows.size();
    for (std::size_t i = 0; i < fit; ++i)
        push(box, tenRows, t0);
    push(box, R"({"type":"refused"})", t0);
    EXPECT_EQ(box.Missed(), 0u);
    EXPECT_FALSE(box.TakeDropped());
    push(box, tenRows, t0 + 1s);
    push(box, tenRows, t0 + 1s);
    EXPECT_EQ(box.Missed(), 20u);
    EXPECT_TRUE(box.TakeDropped());
    EXPECT_FALSE(box.TakeDropped()) << "once";
    EXPECT_EQ(box.Frames(), fit + 1);
    EXPECT_LE(box.Bytes(), TOutbox::MaxRowBytes + 100);
    EXPECT_FALSE(box.Overdue(t0 + 10s));
    EXPECT_TRUE(box.Overdue(t0 + 10001ms)) << "the write has not ended for ten seconds";

    // A page that reads again, slowly: behind from the first rows dropped until it caught up.
    TOutbox slow;
    push(slow, tenRows, t0);
    for (std::size_t i = 0; i < fit; ++i)
        push(slow, tenRows, t0 + 2s);
    EXPECT_EQ(slow.Missed(), 10u);
    for (int second = 3; second < 12; ++second) {
        ASSERT_TRUE(slow.Take(t0 + std::chrono::seconds(second)));
        slow.Written();
    }
    EXPECT_FALSE(slow.Overdue(t0 + 12s));
    EXPECT_TRUE(slow.Overdue(t0 + 12001ms)) << "still behind ten seconds after the rows it lost";
    while (slow.Take(t0 + 12s))
        slow.Written();
    EXPECT_FALSE(slow.Overdue(t0 + 20s)) << "caught up";

    // Rows that waited longer than two seconds go when the next come, however few they are.
    TOutbox late;
    push(late, tenRows, t0);
    ASSERT_TRUE(late.Take(t0));
    push(late, tenRows, t0);
    push(late, tenRows, t0 + 2s);
    EXPECT_EQ(late.Missed(), 0u);
    push(late, tenRows, t0 + 2001ms);
    EXPECT_EQ(late.Missed(), 10u);
    EXPECT_EQ(late.Frames(), 2u);

    // More events than a page may hold.
    TOutbox flooded;
    for (std::size_t i = 0; i < TOutbox::MaxEvents; ++i)
        push(flooded, R"({"type":"refused"})", t0);
    EXPECT_FALSE(flooded.Overdue(t0));
    push(flooded, R"({"type":"refused"})", t0);
    EXPECT_TRUE(flooded.Overdue(t0));
    EXPECT_EQ(flooded.Frames(), TOutbox::MaxEvents);
}

namespace {

// The web application over the rack /sim gives, its serial card on a pseudo-terminal that
// the settings file names, as morvelplint-web has it.
class WebAppTest : public ::testing::Test {
protected:
    web::TBusLoop Loop;
    std::vector<std::pair<int, nlohmann::json>> Sent;
    std::filesystem::path Ini = std::filesystem::temp_directory_path() /
                                ("morvelplint-web-" + std::to_string(::getpid()) + ".ini");
    std::unique_ptr<session::TRackSession> Session;
    sim::TSimRack* Rack = nullptr;
    std::unique_ptr<web::TWebApp> App;

    void SetUp() override {
        session::TSessionOptions options;
        options.SimRack = sim::DefaultRack();
        options.SettingsFile = Ini.string();
        Session = std::make_unique<session::TRackSession>(Loop, std::move(options));
        Rack = Session->Rack();
        ASSERT_TRUE(Rack->SerialCard);
        std::ofstream(Ini) << "[ZELM]\r\nMethode= Serieel\r\nPoort= "
                           << Rack->SerialCard->SlavePath() << "\r\nTijd= 300\r\n";
        App = std::make_unique<web::TWebApp>(*Session, Loop, [this](int page, std::string text) {
            Sent.emplace_back(page, nlohmann::json::parse(text));
        });
        App->Start();
        // The set-up its timer would run.
        Session->RunArmedSetUp();
        ASSERT_TRUE(Session->Bus().Ready());
    }
    void TearDown() override {
        App.reset();
        Session.reset();
        std::filesystem::remove(Ini);
    }
    cards::TTickSource& TestTimer() { return Session->Cards().Context().TimerSpeed; }

    void Command(const std::string& text) {
        std::string error;
        const auto command = web::ParseCommand(text, error);
        ASSERT_TRUE(command) << error;
        App->Apply(*command, 1);
    }
    Words Taken(std::size_t from) const {
        Words words;
        const auto received = Rack->SerialCard->Received();
        for (std::size_t i = from; i < received.size(); ++i)
            words.push_back(received[i].Byte);
        return words;
    }
    std::size_t Mark() const { return Rack->SerialCard->Received().size(); }
    // The last state of the pages the application pushed, once the push that waits for its
    // turn (at most one every PushMs) has gone.
    nlohmann::json Pages() {
        platform::Sleep(web::TWebApp::PushMs + 10);
        Loop.RunDue();
        for (auto at = Sent.rbegin(); at != Sent.rend(); ++at)
            if (at->second["type"] == "pages")
                return at->second["pages"];
        return {};
    }
};

} // namespace

TEST_F(WebAppTest, TheSetUpAndThePagesWordsAreTheDesktopsWordForWord) {
    // The settings file's port, the option byte and the 192 words.
    Words setUp = Taken(0);
    ASSERT_EQ(setUp.size(), 1u + 192);
    EXPECT_EQ(setUp[0], 0x02);
    EXPECT_EQ(setUp[1], 0x80);
    EXPECT_EQ(Session->Cards().Settings().TestTijd, 300);

    // SCK: place 2 and its feedback, on the lamps of the pushed state.
    std::size_t mark = Mark();
    Command(R"({"cmd": "show", "page": "sck"})");
    Command(R"({"cmd": "page", "page": "sck", "do": "bit", "bit": 1})");
    Command(R"({"cmd": "page", "page": "sck", "do": "send"})");
    Command(R"({"cmd": "page", "page": "sck", "do": "bit", "bit": 1})");
    Command(R"({"cmd": "page", "page": "sck", "do": "strobe", "item": 1})");
    Command(R"({"cmd": "page", "page": "sck", "do": "send"})");
    EXPECT_EQ(Taken(mark), (Words{0x82, 0x40}));
    EXPECT_EQ(Pages()["sck"]["s"], (nlohmann::json{"wit", "wit", "geel", "wit"}));
    EXPECT_EQ(Pages()["sck"]["kort"], "groen");

    // The sweep of rack 4: its 16 address words at the click and again each tick.
    Command(R"({"cmd": "show", "page": "slk"})");
    Command(R"({"cmd": "page", "page": "slk", "do": "rackMode"})");
    Command(R"({"cmd": "page", "page": "slk", "do": "value", "value": 4})");
    mark = Mark();
    Command(R"({"cmd": "page", "page": "slk", "do": "click"})");
    Session->Cards().TimerSpeedTimer();
    Words sweep;
    for (int i = 0; i < 16; ++i)
        sweep.push_back(0xB0 + i);
    Words twice = sweep;
    twice.insert(twice.end(), sweep.begin(), sweep.end());
    EXPECT_EQ(Taken(mark), twice);
    EXPECT_EQ(TestTimer().Interval(), 400);
    EXPECT_EQ(Pages()["slk"]["caption"], "Stop");
    // A page of the driver's gone: the sweep stops as its button would stop it.
    App->DriverGone();
    EXPECT_FALSE(TestTimer().Running());
    EXPECT_EQ(Pages()["slk"]["caption"], "Testen");

    // The shuttle on the two-rail card in place 0: its first tick, and the stop word when the
    // driver is gone.
    Command(R"({"cmd": "show", "page": "xbk"})");
    for (int n = 2; n < 12; ++n)
        Command(R"({"cmd": "page", "page": "xbk", "do": "section", "section": )" +
                std::to_string(n) + R"(, "ticked": false})");
    Command(R"({"cmd": "page", "page": "xbk", "do": "speed", "position": 0})");
    Session->Cards().State().LegDuration = 1000000;
    Session->Cards().State().LastReversal = platform::GetTickCount();
    mark = Mark();
    Command(R"({"cmd": "page", "page": "xbk", "do": "click"})");
    EXPECT_EQ(Taken(mark), (Words{0x80, 0x4F}));
    EXPECT_TRUE(TestTimer().Running());
    mark = Mark();
    App->DriverGone();
    EXPECT_EQ(Taken(mark), (Words{0x40}));
    EXPECT_FALSE(TestTimer().Running());

    // The IO card in place 9: the address word at the click, then a square-wave tick.
    Command(R"({"cmd": "show", "page": "iok"})");
    Command(R"({"cmd": "page", "page": "iok", "do": "address", "value": 9})");
    Command(R"({"cmd": "page", "page": "iok", "do": "output", "pin": 16})");
    Command(R"({"cmd": "page", "page": "iok", "do": "testen", "ticked": true})");
    mark = Mark();
    Command(R"({"cmd": "page", "page": "iok", "do": "click"})");
    EXPECT_EQ(TestTimer().Interval(), 250);
    Session->Cards().State().SquareWavePhase = false;
    Session->Cards().TimerSpeedTimer();
    EXPECT_EQ(TestTimer().Interval(), 300) << "the settings file's test time";
    EXPECT_EQ(Taken(mark), (Words{0x89, 0x89, 0x70, 0x60, 0x50, 0x48, 0x70, 0x60, 0x50, 0x48}));
    EXPECT_EQ(Pages()["iok"]["inputs"][15], "wit") << "the test plug brings output 16 back";
    // The frames made again only for the pages that changed show what a frame made whole does.
    EXPECT_EQ(Pages(), nlohmann::json::parse(web::PagesJson(Session->Cards()))["pages"]);
}

TEST_F(WebAppTest, ADisabledControlTakesNoCommand) {
    Sent.clear();
    // The PCK page's send is off while the serial card is the method.
    Command(R"({"cmd": "page", "page": "pck", "do": "send"})");
    ASSERT_FALSE(Sent.empty());
    EXPECT_EQ(Sent.back().second["type"], "refused");
    EXPECT_EQ(Sent.back().first, 1) << "to the page that asked";
    const std::size_t mark = Mark();
    Command(R"({"cmd": "page", "page": "sck", "do": "bit", "bit": 7})");
    EXPECT_EQ(Sent.back().second["type"], "refused")
        << "the strobe buttons are off outside test mode";
    EXPECT_EQ(Taken(mark), Words{});
}

TEST(PageCommands, TheToolsCommandsAndWhatAWatchingPageMaySend) {
    std::string error;
    const auto parsed = [&](const std::string& text) {
        error.clear();
        auto command = web::ParseCommand(text, error);
        EXPECT_TRUE(command) << text << ": " << error;
        return command.value_or(web::TCommand{});
    };
    const web::TCommand filter = parsed(
        R"({"cmd": "monitor", "do": "filter", "address": false, "data": true, "latchAddress": true,
            "latchData": true, "other": false, "place": 9, "problems": true})");
    EXPECT_FALSE(filter.Filter.Address);
    EXPECT_FALSE(filter.Filter.Other);
    EXPECT_EQ(filter.Filter.Place, 9);
    EXPECT_TRUE(filter.Filter.ProblemsOnly);
    const web::TCommand stuck =
        parsed(R"({"cmd": "rack", "do": "stuck", "place": 9, "pin": 16, "level": 1})");
    EXPECT_EQ(stuck.Index, 9);
    EXPECT_EQ(stuck.Value, 16);
    EXPECT_EQ(stuck.Level, 1);
    const web::TCommand start = parsed(
        R"({"cmd": "diag", "do": "start", "scan": false, "place": 9, "inverted": true,
            "patterns": [false, true, false, false, true], "seed": 7, "end": "seconds",
            "count": 60, "onError": "stopAfter", "maxErrors": 3})");
    EXPECT_TRUE(start.Choice.Inverted);
    EXPECT_EQ(start.Choice.End, diag::TRunChoice::TEnd::Seconds);
    EXPECT_EQ(start.Choice.OnError, diag::TRunChoice::TOnError::StopAfter);
    EXPECT_EQ(start.Choice.MaxErrors, 3u);

    // Watching changes nothing but the page's own view; clearing, notes, faults and runs do.
    for (const char* watcher : {R"({"cmd": "monitor", "do": "watch", "ticked": true})",
                                R"({"cmd": "monitor", "do": "freeze", "ticked": false})",
                                R"({"cmd": "rack", "do": "watch", "ticked": true})",
                                R"({"cmd": "report"})"})
        EXPECT_TRUE(web::ForWatchers(parsed(watcher))) << watcher;
    for (const char* driver : {R"({"cmd": "monitor", "do": "clear"})",
                               R"({"cmd": "monitor", "do": "note", "text": "x"})",
                               R"({"cmd": "rack", "do": "short", "place": 0, "ticked": true})",
                               R"({"cmd": "rack", "do": "hangUp"})",
                               R"({"cmd": "diag", "do": "stop"})"})
        EXPECT_FALSE(web::ForWatchers(parsed(driver))) << driver;

    for (const char* wrong : {
             R"({"cmd": "rack", "do": "stuck", "place": 9, "pin": 17, "level": 0})",
             R"({"cmd": "rack", "do": "stuck", "place": 9, "pin": 1, "level": 2})",
             R"({"cmd": "monitor", "do": "filter", "address": true})",
             R"({"cmd": "diag", "do": "start", "scan": false, "place": 9, "inverted": false,
                 "patterns": [false, false, false, false, false], "seed": 1, "end": "cycles",
                 "count": 10, "onError": "count", "maxErrors": 1})",
             R"({"cmd": "diag", "do": "start", "scan": true, "place": 9, "inverted": false,
                 "patterns": [true, true, true, true, true], "seed": 1, "end": "forever",
                 "count": 10, "onError": "count", "maxErrors": 1})",
         }) {
        SCOPED_TRACE(wrong);
        EXPECT_FALSE(web::ParseCommand(wrong, error));
    }
    const std::string longNote = std::string(R"({"cmd": "monitor", "do": "note", "text": ")") +
                                 std::string(web::MaxNote + 1, 'x') + "\"}";
    EXPECT_FALSE(web::ParseCommand(longNote, error));
}

// A filter over a recording of many turns' events: the rows are made a part at a time, and
// the page gets them once, whole, the last TailRows of them, the last word sent included.
TEST_F(WebAppTest, RowsMadeAnewComeOnceAndWhole) {
    bus::TCapture& capture = Session->Capture();
    for (std::size_t i = 0; i < 3 * web::TWebTools::EventsPerTurn; ++i)
        capture.RecordWord(0x40 + static_cast<int>(i % 16), bus::TEventTransport::Serial,
                           bus::TEventStatus::Ok);
    Command(R"({"cmd": "monitor", "do": "watch", "ticked": true})");
    Loop.RunDue();
    Sent.clear();
    Command(R"({"cmd": "monitor", "do": "filter", "address": false, "data": true,
                "latchAddress": true, "latchData": true, "other": false, "place": -1,
                "problems": false})");
    capture.RecordWord(0x4F, bus::TEventTransport::Serial, bus::TEventStatus::Ok);
    // A part a turn of the loop.
    std::vector<nlohmann::json> frames;
    int turns = 0;
    for (; frames.empty() && turns < 10; ++turns) {
        Loop.RunDue();
        for (const auto& [page, message] : Sent)
            if (message["type"] == "monitor")
                frames.push_back(message);
    }
    EXPECT_EQ(turns, 4) << "3 parts' events and one more";
    // In one turn, in frames of RowsPerFrame: the first says they were made anew.
    ASSERT_EQ(frames.size(), web::TWebTools::TailRows / web::TWebTools::RowsPerFrame);
    std::size_t rows = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i]["remade"], i == 0);
        rows += frames[i]["rows"].size();
    }
    EXPECT_EQ(rows, web::TWebTools::TailRows);
    EXPECT_EQ(frames.back()["rows"].back()["c"][1], "0x4F");
}

TEST_F(WebAppTest, TheMonitorTheRackViewAndTheDiagnosticsOnTheBusThread) {
    const bus::TCapture& capture = Session->Capture();
    const auto last = [this](const char* type, int page) {
        for (auto at = Sent.rbegin(); at != Sent.rend(); ++at)
            if (at->second["type"] == type &&
                (at->first == page || at->first == web::ToEveryPage || at->first == web::ToDriver))
                return at->second;
        return nlohmann::json();
    };
    const auto waitTicks = [this](int ms) {
        platform::Sleep(ms + 10);
        Loop.RunDue();
    };

    // The monitor: page 1 watches the data strobes only; its rows come in the next batch.
    Command(R"({"cmd": "monitor", "do": "clear"})");
    Command(R"({"cmd": "monitor", "do": "watch", "ticked": true})");
    Command(R"({"cmd": "monitor", "do": "filter", "address": false, "data": true,
                "latchAddress": true, "latchData": true, "other": true, "place": -1,
                "problems": false})");
    Command(R"({"cmd": "show", "page": "sck"})");
    Command(R"({"cmd": "page", "page": "sck", "do": "bit", "bit": 1})");
    Command(R"({"cmd": "page", "page": "sck", "do": "send"})");
    Command(R"({"cmd": "page", "page": "sck", "do": "bit", "bit": 1})");
    Command(R"({"cmd": "page", "page": "sck", "do": "strobe", "item": 1})");
    Command(R"({"cmd": "page", "page": "sck", "do": "send"})");
    Command(R"({"cmd": "monitor", "do": "note", "text": "  kaart 2  "})");
    waitTicks(web::TWebTools::MonitorMs);
    const nlohmann::json rows = last("monitor", 1)["rows"];
    ASSERT_EQ(rows.size(), 2u) << "the data word and the note, not the address word";
    EXPECT_EQ(rows[0]["c"], (nlohmann::json{"→ rek", "0x40", "0100 0000", "data", "0", "0x44",
                                            "data 0; terugmelding 0100", rows[0]["c"][7], "ok"}));
    EXPECT_EQ(rows[1]["c"][6], "kaart 2");
    EXPECT_EQ(last("counters", 1)["text"].get<std::string>().substr(0, 13), "Woorden: 2   ");
    // The download of the shown rows: the same filter, as CSV; the whole recording as pcapng.
    const web::TDownload shown = App->Tools().Download(
        "opname.csv", "shown=1&address=0&data=1&latchAddress=1&latchData=1&other=1&place=-1");
    EXPECT_EQ(shown.Status, 200);
    const std::string shownRows = Whole(shown);
    EXPECT_EQ(shownRows.find("0x82"), std::string::npos);
    EXPECT_NE(shownRows.find("0x40"), std::string::npos);
    EXPECT_EQ(Whole(App->Tools().Download("opname.pcapng", "")), bus::PcapngBytes(capture, {}));
    EXPECT_EQ(App->Tools().Download("../etc/passwd", "").Status, 404);

    // The rack view: a short circuit on the block card in place 0 reaches the SCK page's lamp.
    Command(R"({"cmd": "rack", "do": "watch", "ticked": true})");
    Command(R"({"cmd": "rack", "do": "short", "place": 0, "ticked": true})");
    EXPECT_TRUE(last("rack", 1)["places"][0]["short"]);
    Sent.clear();
    Command(R"({"cmd": "rack", "do": "short", "place": 1, "ticked": true})");
    EXPECT_EQ(last("refused", 1)["reason"], "no block card in that place");
    Command(R"({"cmd": "page", "page": "sck", "do": "strobe", "item": 0})");
    Command(R"({"cmd": "page", "page": "sck", "do": "send"})");
    Command(R"({"cmd": "page", "page": "sck", "do": "strobe", "item": 1})");
    Command(R"({"cmd": "page", "page": "sck", "do": "send"})");
    EXPECT_EQ(Pages()["sck"]["kort"], "rood");

    // The diagnostics: refused beside a running card test; a run of the IO card in place 9
    // with its plug goes to its end between the pages' work, and its report is the file's.
    Command(R"({"cmd": "show", "page": "iok"})");
    Command(R"({"cmd": "page", "page": "iok", "do": "address", "value": 9})");
    Command(R"({"cmd": "page", "page": "iok", "do": "testen", "ticked": true})");
    Command(R"({"cmd": "page", "page": "iok", "do": "click"})");
    ASSERT_TRUE(TestTimer().Running());
    const std::string start =
        R"({"cmd": "diag", "do": "start", "scan": false, "place": 9, "inverted": false,
            "patterns": [true, true, true, false, false], "seed": 1, "end": "cycles",
            "count": 20, "onError": "count", "maxErrors": 1})";
    Sent.clear();
    Command(start);
    EXPECT_EQ(last("message", 1)["text"], "Er loopt al een kaarttest; stop die eerst.");
    Command(R"({"cmd": "page", "page": "iok", "do": "click"})");
    ASSERT_FALSE(TestTimer().Running());
    Command(start);
    ASSERT_TRUE(Session->Diagnostics().Running());
    Sent.clear();
    Command(R"({"cmd": "page", "page": "iok", "do": "click"})");
    EXPECT_EQ(last("message", 1)["text"], "De kaartdiagnose loopt; stop die eerst.");
    for (int i = 0; i < 2000 && Session->Diagnostics().Running(); ++i)
        waitTicks(1);
    ASSERT_FALSE(Session->Diagnostics().Running());
    const nlohmann::json done = last("diag", 1);
    EXPECT_EQ(done["result"], "pass");
    EXPECT_EQ(done["verdict"], "Geslaagd");
    const web::TDownload report = App->Tools().Download("kaartdiagnose.json", "");
    const nlohmann::json parsed = nlohmann::json::parse(report.Body);
    EXPECT_EQ(parsed["result"], "pass");
    EXPECT_EQ(parsed["transport"], "serial");
    EXPECT_EQ(parsed["port"], Rack->SerialCard->SlavePath());
    EXPECT_EQ(parsed["tests"][0]["cycles"], 20);
}
