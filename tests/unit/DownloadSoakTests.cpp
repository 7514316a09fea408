// A long run (label soak): the downloads of a full recording (a million events) through the
// program's own server, application and session on the loopback. Fifteen downloads at once
// that are never read cost a bounded amount that does not grow from one round to the next,
// and the bus's loop goes on answering; a pcapng download read at 1 MiB/s arrives whole.
#include "WebClient.h"
#include "capture/CaptureFiles.h"
#include "sim/SimRack.h"
#include "web/BusLoop.h"
#include "web/Server.h"
#include "web/WebApp.h"

#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// This process's resident memory in KiB.
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

std::string Get(std::uint16_t port, const std::string& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
}

// The program as morvelplint-web puts it together, with the simulated rack; the bus's loop on a
// thread of its own.
struct TWorld {
    TWorld() {
        server = std::make_unique<web::TServer>("127.0.0.1", 0, web::TAccessConfig{},
                                                app.ServerEvents());
        std::string error;
        EXPECT_TRUE(server->Start(error)) << error;
        thread = std::thread([this] {
            app.Start();
            loop.Run();
        });
    }
    ~TWorld() {
        loop.Quit();
        thread.join();
        server->Stop();
        session.Close();
    }
    static session::TSessionOptions Options() {
        session::TSessionOptions options;
        options.SimRack = sim::DefaultRack();
        options.SettingsFile =
            (std::filesystem::temp_directory_path() / "morvelplint-soak-none.ini").string();
        return options;
    }
    // `work` on the bus's loop, its result once it has run.
    template <typename F> auto OnLoop(F work) {
        std::packaged_task<decltype(work())()> task(std::move(work));
        auto result = task.get_future();
        loop.Post([&task] { task(); });
        return result.get();
    }

    web::TBusLoop loop;
    session::TRackSession session{loop, Options()};
    std::unique_ptr<web::TServer> server;
    web::TWebApp app{session, loop, [this](int page, std::string text) {
                         server->Send(page, std::move(text));
                     }};
    std::thread thread;
};

} // namespace

TEST(DownloadSoak, FifteenNeverReadCostABoundedAmountAndOneReadAtOneMebibyteASecondArrivesWhole) {
    TWorld world;
    const std::uint16_t port = world.server->Port();
    // A full ring: words with their replies.
    world.OnLoop([&] {
        bus::TCapture& capture = world.session.Capture();
        for (std::size_t i = 0; i < bus::TCapture::DefaultCapacity / 2; ++i) {
            capture.RecordWord(0x40 + static_cast<int>(i % 16), bus::TEventTransport::Serial,
                               bus::TEventStatus::Ok);
            capture.RecordReply(0x50, bus::TEventTransport::Serial, bus::TEventStatus::Ok);
        }
        return 0;
    });
    // The loop's answer to a task posted to it, the longest of a few seconds' looks.
    const auto slowestAnswer = [&] {
        auto slowest = 0us;
        for (int look = 0; look < 30; ++look) {
            const auto asked = std::chrono::steady_clock::now();
            world.OnLoop([] { return 0; });
            slowest = std::max(slowest, std::chrono::duration_cast<std::chrono::microseconds>(
                                            std::chrono::steady_clock::now() - asked));
            std::this_thread::sleep_for(100ms);
        }
        return slowest;
    };
    const auto quietAnswer = slowestAnswer();
    const long before = ResidentKiB();

    long peaks[2] = {0, 0};
    for (long& peak : peaks) {
        std::vector<std::unique_ptr<TWebClient>> pages;
        for (int i = 0; i < 15; ++i) {
            pages.push_back(std::make_unique<TWebClient>(port, 4096));
            pages.back()->Send(Get(port, "/download/opname.pcapng"));
        }
        const auto busyAnswer = slowestAnswer();
        peak = ResidentKiB();
        std::printf("15 unread downloads: %ld KiB more than before; the loop answered within "
                    "%lld us (%lld us without them)\n",
                    peak - before, static_cast<long long>(busyAnswer.count()),
                    static_cast<long long>(quietAnswer.count()));
        // Closed unread: the two under way end, and their copies of the recording go.
        pages.clear();
        std::this_thread::sleep_for(1s);
    }
    // Two copies of the ring (24 bytes an event) and what is being sent.
    EXPECT_LT(peaks[0] - before, 2 * 24 * 1000 + 16 * 1024);
    EXPECT_LT(peaks[1] - peaks[0], 8 * 1024) << "the second round costs no more than the first";

    const std::string expected =
        world.OnLoop([&] { return bus::PcapngBytes(world.session.Capture(), {}); });
    ASSERT_GT(expected.size(), std::size_t{50} << 20);
    TWebClient reader(port);
    reader.Send(Get(port, "/download/opname.pcapng"));
    const auto started = std::chrono::steady_clock::now();
    const auto [header, body] = reader.ChunkedResponse(std::size_t{1} << 20);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - started);
    std::printf("%zu bytes read in %lld s\n", body.size(), static_cast<long long>(seconds.count()));
    EXPECT_EQ(header.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(body.size(), expected.size());
    EXPECT_TRUE(body == expected);
}
