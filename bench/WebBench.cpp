// morvelplint-web's pace, over loopback WebSockets as a browser would use them:
//  - ReplyToFrame: from a reply on the bus to the page's frame that shows it (received by the
//    client, so the figure holds the server's write and the loopback too), and from a command
//    sent by the client to its word on the wire; median and 99th percentile of each;
//  - ShuttleWatched/N: the (?)BK shuttle at 19200 baud with N pages watching: the serial word
//    time (a word to its reply) and the words a second, beside the same run with none;
//  - ToolWatched/N: the same shuttle with nothing watched (0), with a page watching the bus
//    monitor (1) or the rack view (2): the word time beside the run with none, the rows the
//    monitor page got against the rows the recording holds, the tool's frames and bytes a
//    second, and the processor time of the whole process as a share of the time;
//  - DriverBesideAFlood/N: the driver's SCK word from its command to the line, beside a watching
//    page that floods (1) monitor filters and rack watches over a million recorded events, or
//    not (0);
//  - PagesFrame: what one frame's JSON costs the bus's thread;
//  - IdleProgram: the real `morvelplint-web --sim` with one page open and its heartbeat, for
//    ten seconds: the processor time it took as a share of the time, and its resident memory
//    (the capture ring of a million events included).
#include "bus/Bus.h"
#include "bus/ParallelTransport.h"
#include "capture/Capture.h"
#include "capture/CaptureRows.h"
#include "platform/PortIo.h"
#include "platform/Tick.h"
#include "serial/PortNames.h"
#include "sim/SimRack.h"
#include "web/BusLoop.h"
#include "web/PageState.h"
#include "web/Server.h"
#include "web/WebApp.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <spawn.h>
#include <sys/resource.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using TClock = std::chrono::steady_clock;

double Percentile(std::vector<double> values, double share) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
    return values[index];
}

// Pages over WebSockets, on one thread of their own, as browsers elsewhere would be: they take
// little of this machine's time from the program under measure.
class TNetwork {
public:
    TNetwork() : mThread([this] { mIo.run(); }) {}
    ~TNetwork() {
        mWork.reset();
        mThread.join();
    }
    asio::io_context& Io() { return mIo; }

private:
    asio::io_context mIo;
    asio::executor_work_guard<asio::io_context::executor_type> mWork{mIo.get_executor()};
    std::thread mThread;
};

// A page over a WebSocket: every frame it receives is timed on arrival; commands go out on the
// network's thread, and a heartbeat every second keeps a driving page's control.
class TClient {
public:
    TClient(TNetwork& network, std::uint16_t port)
        : mIo(network.Io()), mSocket(mIo), mTimer(mIo) {
        mSocket.next_layer().connect({asio::ip::make_address("127.0.0.1"), port});
        // As browsers do: a command goes at once, not after the heartbeat's acknowledgement.
        mSocket.next_layer().set_option(tcp::no_delay(true));
        const std::string host = "127.0.0.1:" + std::to_string(port);
        mSocket.set_option(websocket::stream_base::decorator([host](websocket::request_type& r) {
            r.set(beast::http::field::origin, "http://" + host);
        }));
        mSocket.handshake(host, "/ws");
        asio::post(mIo, [this] {
            Read();
            Beat();
        });
    }
    ~TClient() {
        std::promise<void> closed;
        asio::post(mIo, [this, &closed] {
            mClosing = true;
            mTimer.cancel();
            beast::error_code ignored;
            mSocket.next_layer().close(ignored);
            closed.set_value();
        });
        closed.get_future().wait();
    }

    void Send(std::string text) {
        asio::post(mIo, [this, text = std::move(text)]() mutable {
            mOut.push_back(std::move(text));
            if (mOut.size() == 1)
                Write();
        });
    }
    // The time of the first frame that arrived after `after`, waiting up to a second for it.
    std::optional<TClock::time_point> FrameAfter(TClock::time_point after) {
        std::unique_lock lock(mMutex);
        std::optional<TClock::time_point> found;
        mArrived.wait_for(lock, std::chrono::seconds(1), [&] {
            for (const auto time : mFrames)
                if (time > after) {
                    found = time;
                    return true;
                }
            return false;
        });
        return found;
    }
    // Whether a frame holding `text` came, waiting up to ten seconds for it.
    bool WaitFor(const std::string& text) {
        std::unique_lock lock(mMutex);
        return mArrived.wait_for(lock, std::chrono::seconds(10), [&] {
            for (; mSeen < mTexts.size(); ++mSeen)
                if (mTexts[mSeen].find(text) != std::string::npos)
                    return true;
            return false;
        });
    }
    std::size_t Frames() {
        std::lock_guard lock(mMutex);
        return mFrames.size();
    }
    std::vector<std::string> Texts() {
        std::lock_guard lock(mMutex);
        return mTexts;
    }

private:
    void Read() {
        mSocket.async_read(mBuffer, [this](beast::error_code error, std::size_t) {
            if (error)
                return;
            const auto now = TClock::now();
            {
                std::lock_guard lock(mMutex);
                mFrames.push_back(now);
                mTexts.push_back(beast::buffers_to_string(mBuffer.data()));
            }
            mArrived.notify_all();
            mBuffer.consume(mBuffer.size());
            Read();
        });
    }
    void Write() {
        mSocket.async_write(asio::buffer(mOut.front()), [this](beast::error_code error,
                                                                std::size_t) {
            if (error)
                return; // closed: the client may be gone
            mOut.pop_front();
            if (!mOut.empty())
                Write();
        });
    }
    void Beat() {
        mTimer.expires_after(std::chrono::seconds(1));
        mTimer.async_wait([this](beast::error_code error) {
            if (error || mClosing)
                return;
            mOut.push_back(R"({"cmd":"ping"})");
            if (mOut.size() == 1)
                Write();
            Beat();
        });
    }

    asio::io_context& mIo;
    websocket::stream<tcp::socket> mSocket;
    asio::steady_timer mTimer;
    beast::flat_buffer mBuffer;
    std::deque<std::string> mOut;
    bool mClosing = false;
    std::mutex mMutex;
    std::condition_variable mArrived;
    std::vector<TClock::time_point> mFrames;
    std::vector<std::string> mTexts;
    std::size_t mSeen = 0;
};

// The times of the words sent and of the replies read, and each reply's word time, as the bus
// records them.
class TTimes final : public bus::TCaptureSink {
public:
    void Recorded(const bus::TCapture& capture, std::uint64_t sequence) override {
        const bus::TCaptureEvent& event = capture.At(sequence);
        const auto now = TClock::now();
        std::lock_guard lock(mMutex);
        if (event.Kind == bus::TEventKind::Word) {
            mWords.push_back(now);
        } else if (event.Kind == bus::TEventKind::Reply && event.Status == bus::TEventStatus::Ok) {
            mReplies.push_back(now);
            if (event.Paired())
                mLatencyUs.push_back(event.LatencyUs);
        }
    }
    std::optional<TClock::time_point> WordAfter(TClock::time_point after) {
        return First(mWords, after);
    }
    std::optional<TClock::time_point> ReplyAfter(TClock::time_point after) {
        return First(mReplies, after);
    }
    // The same, waiting up to `ms` for it.
    std::optional<TClock::time_point> AwaitWordAfter(TClock::time_point after, int ms) {
        return Await(mWords, after, ms);
    }
    std::optional<TClock::time_point> AwaitReplyAfter(TClock::time_point after, int ms) {
        return Await(mReplies, after, ms);
    }
    std::vector<double> LatenciesUs() {
        std::lock_guard lock(mMutex);
        return {mLatencyUs.begin(), mLatencyUs.end()};
    }
    std::size_t Words() {
        std::lock_guard lock(mMutex);
        return mWords.size();
    }
    void Clear() {
        std::lock_guard lock(mMutex);
        mWords.clear();
        mReplies.clear();
        mLatencyUs.clear();
    }

private:
    std::optional<TClock::time_point> Await(const std::vector<TClock::time_point>& times,
                                            TClock::time_point after, int ms) {
        std::optional<TClock::time_point> found = First(times, after);
        for (int wait = 0; wait < ms && !found; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            found = First(times, after);
        }
        return found;
    }
    std::optional<TClock::time_point> First(const std::vector<TClock::time_point>& times,
                                            TClock::time_point after) {
        std::lock_guard lock(mMutex);
        for (const auto time : times)
            if (time > after)
                return time;
        return std::nullopt;
    }
    std::mutex mMutex;
    std::vector<TClock::time_point> mWords;
    std::vector<TClock::time_point> mReplies;
    std::vector<std::uint32_t> mLatencyUs;
};

// morvelplint-web's own parts in this process: the simulated rack's serial card on a
// pseudo-terminal with the wire's timing, the bus, the loop, the application and the server on
// a port of the system's choosing; connected at 19200 baud.
struct TWebWorld {
    TWebWorld() {
        rack.SerialCard->SetWireTiming(true);
        capture.SetSink(&times);
        // The program's own wiring: each page's commands in their bounded queue, the driver's
        // first.
        server = std::make_unique<web::TServer>("127.0.0.1", 0, web::TAccessConfig{},
                                                app.ServerEvents());
        std::string error;
        started = server->Start(error);
        access.Port = server->Port();
        bus::TSettings settings = session.Settings().Settings();
        settings.Baudrate19200 = true;
        settings.TestTijd = bus::TestTijdMin;
        session.EditSettings(settings);
        thread = std::thread([this] {
            app.Start();
            loop.Run();
        });
    }
    // The first page, once the set-up has ended with a connection.
    std::unique_ptr<TClient> Driver() {
        if (!started)
            return nullptr;
        auto page = std::make_unique<TClient>(network, access.Port);
        if (!page->WaitFor(R"("connected":true,)") || !page->WaitFor(R"("settingUp":false)"))
            return nullptr;
        return page;
    }
    ~TWebWorld() {
        loop.Quit();
        thread.join();
        server->Stop();
        session.Close();
    }
    static session::TSessionOptions Options() {
        session::TSessionOptions options;
        options.SimRack = sim::DefaultRack();
        options.SettingsFile =
            (std::filesystem::temp_directory_path() / "morvelplint-web-bench-none.ini").string();
        return options;
    }

    TTimes times;
    web::TBusLoop loop;
    session::TRackSession session{loop, Options()};
    sim::TSimRack& rack = *session.Rack();
    bus::TCapture& capture = session.Capture();
    std::unique_ptr<web::TServer> server;
    web::TAccessConfig access;
    web::TWebApp app{session, loop, [this](int page, std::string text) {
                         server->Send(page, std::move(text));
                     }};
    std::thread thread;
    bool started = false;
    TNetwork network;
};

void BM_ReplyToFrame(benchmark::State& state) {
    TWebWorld world;
    const std::unique_ptr<TClient> driver = world.Driver();
    if (!driver) {
        state.SkipWithError("the simulated serial card did not come up");
        return;
    }
    TClient& page = *driver;
    page.Send(R"({"cmd":"show","page":"sck"})");
    std::vector<double> replyToFrameUs;
    std::vector<double> clickToWordUs;
    for (auto _ : state) {
        for (int sample = 0; sample < 100; ++sample) {
            // A word makes two frames (the yellow lamp while it waits, then the reply): at one
            // word in 150 ms the pushes stay within their pace and each goes as soon as it may.
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            const auto click = TClock::now();
            page.Send(R"({"cmd":"page","page":"sck","do":"send"})");
            const auto reply = world.times.AwaitReplyAfter(click, 100);
            const auto word = world.times.WordAfter(click);
            const auto frame = reply ? page.FrameAfter(*reply) : std::nullopt;
            if (!word || !reply || !frame) {
                state.SkipWithError("a word, its reply or its frame did not come");
                return;
            }
            using us = std::chrono::duration<double, std::micro>;
            clickToWordUs.push_back(us(*word - click).count());
            replyToFrameUs.push_back(us(*frame - *reply).count());
        }
    }
    state.counters["reply_to_frame_median_us"] = Percentile(replyToFrameUs, 0.5);
    state.counters["reply_to_frame_p99_us"] = Percentile(replyToFrameUs, 0.99);
    state.counters["click_to_word_median_us"] = Percentile(clickToWordUs, 0.5);
    state.counters["click_to_word_p99_us"] = Percentile(clickToWordUs, 0.99);
}
BENCHMARK(BM_ReplyToFrame)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

// A watching page's flood beside the driver (1), against the same without it (0): the
// recording holds a million events, the watching page watches the bus monitor and sends 3000
// monitor filters and 1000 rack watches in 10 s, and the driver sends an SCK word every 200
// ms. The figures: the time from the driver's command to its word on the line, median and
// worst, and how many of the flood's commands were refused.
void BM_DriverBesideAFlood(benchmark::State& state) {
    const bool flood = state.range(0) != 0;
    TWebWorld world;
    const std::unique_ptr<TClient> page = world.Driver();
    if (!page) {
        state.SkipWithError("the simulated serial card did not come up");
        return;
    }
    TClient& driver = *page;
    TClient watcher(world.network, world.access.Port);
    driver.Send(R"({"cmd":"show","page":"sck"})");
    std::promise<void> filled;
    world.loop.Post([&world, &filled] {
        for (int i = 0; i < 1'000'000; ++i)
            world.capture.RecordWord(0x80 + i % 64, bus::TEventTransport::Serial,
                                     bus::TEventStatus::Ok);
        filled.set_value();
    });
    filled.get_future().wait();
    watcher.Send(R"({"cmd":"monitor","do":"watch","ticked":true})");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    world.times.Clear();
    std::atomic<bool> done{false};
    std::thread flooder;
    if (flood)
        flooder = std::thread([&watcher, &done] {
            const auto start = TClock::now();
            for (int i = 0; i < 4000 && !done; ++i) {
                if (i % 4 == 3)
                    watcher.Send(R"({"cmd":"rack","do":"watch","ticked":true})");
                else
                    watcher.Send(R"({"cmd":"monitor","do":"filter","address":true,"data":true,)"
                                 R"("latchAddress":true,"latchData":true,"other":true,"place":)" +
                                 std::to_string(i % 64) + R"(,"problems":false})");
                std::this_thread::sleep_until(start + std::chrono::microseconds(2500 * (i + 1)));
            }
        });
    std::vector<double> commandToWordMs;
    for (auto _ : state) {
        for (int sample = 0; sample < 50; ++sample) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const auto command = TClock::now();
            driver.Send(R"({"cmd":"page","page":"sck","do":"send"})");
            const auto word = world.times.AwaitWordAfter(command, 5000);
            if (!word) {
                done = true;
                if (flooder.joinable())
                    flooder.join();
                state.SkipWithError("a word did not come within 5 s");
                return;
            }
            commandToWordMs.push_back(
                std::chrono::duration<double, std::milli>(*word - command).count());
        }
    }
    done = true;
    if (flooder.joinable())
        flooder.join();
    int refused = 0;
    for (const std::string& text : watcher.Texts())
        refused += text.find(R"("type":"refused")") != std::string::npos;
    state.counters["command_to_word_median_ms"] = Percentile(commandToWordMs, 0.5);
    state.counters["command_to_word_max_ms"] = Percentile(commandToWordMs, 1.0);
    state.counters["flood_refused"] = refused;
}
BENCHMARK(BM_DriverBesideAFlood)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// The serial word times of a shuttle's `seconds` and its words a second, as counters; false
// (the benchmark skipped) when it sent nothing.
bool WordTimes(benchmark::State& state, TTimes& times, double seconds) {
    const std::vector<double> latencies = times.LatenciesUs();
    if (latencies.empty()) {
        state.SkipWithError("the shuttle sent nothing");
        return false;
    }
    double sum = 0;
    for (const double latency : latencies)
        sum += latency;
    state.counters["word_time_mean_us"] = sum / static_cast<double>(latencies.size());
    state.counters["word_time_median_us"] = Percentile(latencies, 0.5);
    state.counters["word_time_p99_us"] = Percentile(latencies, 0.99);
    state.counters["words_per_s"] = static_cast<double>(times.Words()) / seconds;
    return true;
}

void BM_ShuttleWatched(benchmark::State& state) {
    TWebWorld world;
    const std::unique_ptr<TClient> page = world.Driver();
    if (!page) {
        state.SkipWithError("the simulated serial card did not come up");
        return;
    }
    TClient& driver = *page;
    std::vector<std::unique_ptr<TClient>> watchers;
    for (int i = 0; i < state.range(0); ++i)
        watchers.push_back(std::make_unique<TClient>(world.network, world.access.Port));
    driver.Send(R"({"cmd":"show","page":"xbk"})");
    driver.Send(R"({"cmd":"page","page":"xbk","do":"click"})"); // "Go"
    if (!driver.WaitFor(R"("running":true)")) {
        state.SkipWithError("the shuttle did not start");
        return;
    }
    world.times.Clear();
    std::size_t watchedFrames = 0;
    for (auto _ : state) {
        std::size_t before = 0;
        for (const auto& watcher : watchers)
            before += watcher->Frames();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        for (const auto& watcher : watchers)
            watchedFrames += watcher->Frames();
        watchedFrames -= before;
    }
    driver.Send(R"({"cmd":"page","page":"xbk","do":"click"})"); // "Stop"
    if (!WordTimes(state, world.times, 3.0))
        return;
    state.counters["frames_per_watcher_per_s"] =
        watchers.empty() ? 0.0 : static_cast<double>(watchedFrames) / 3.0 /
                                      static_cast<double>(watchers.size());
    state.SetLabel(std::to_string(state.range(0)) + " watching, 19200 baud");
}
BENCHMARK(BM_ShuttleWatched)
    ->Arg(0)
    ->Arg(10)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

double ProcessCpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

// The shuttle at 19200 baud while a second page watches a tool: none (0), the bus monitor (1)
// or the rack view (2).
void BM_ToolWatched(benchmark::State& state) {
    TWebWorld world;
    const std::unique_ptr<TClient> page = world.Driver();
    if (!page) {
        state.SkipWithError("the simulated serial card did not come up");
        return;
    }
    TClient& driver = *page;
    const int tool = static_cast<int>(state.range(0));
    TClient watcher(world.network, world.access.Port);
    if (tool == 1)
        watcher.Send(R"({"cmd":"monitor","do":"watch","ticked":true})");
    if (tool == 2)
        watcher.Send(R"({"cmd":"rack","do":"watch","ticked":true})");
    driver.Send(R"({"cmd":"show","page":"xbk"})");
    // Full speed: the locomotive moves, and the rack view with it.
    driver.Send(R"({"cmd":"page","page":"xbk","do":"speed","position":0})");
    driver.Send(R"({"cmd":"page","page":"xbk","do":"click"})"); // "Go"
    if (!driver.WaitFor(R"("running":true)")) {
        state.SkipWithError("the shuttle did not start");
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    world.times.Clear();
    const std::size_t textsBefore = watcher.Texts().size();
    double cpu = 0;
    for (auto _ : state) {
        const double before = ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        cpu = ProcessCpuSeconds() - before;
    }
    driver.Send(R"({"cmd":"page","page":"xbk","do":"click"})"); // "Stop"
    // The monitor's last batch.
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * web::TWebTools::MonitorMs));
    const std::vector<std::string> texts = watcher.Texts();
    std::size_t toolFrames = 0;
    std::size_t toolBytes = 0;
    std::set<std::uint64_t> received;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const bool monitor = texts[i].find(R"("type":"monitor")") != std::string::npos;
        const bool rackView = texts[i].find(R"("type":"rack")") != std::string::npos;
        if (i >= textsBefore && (monitor || rackView)) {
            ++toolFrames;
            toolBytes += texts[i].size();
        }
        if (monitor) {
            const nlohmann::json batch = nlohmann::json::parse(texts[i]);
            for (const auto& row : batch["rows"])
                received.insert(row["s"].get<std::uint64_t>());
        }
    }
    if (tool == 1) {
        // Every row the recording holds from the page's first one on came to the page.
        std::promise<std::pair<std::size_t, std::size_t>> counted;
        world.loop.Post([&] {
            bus::TCaptureRows rows;
            rows.SetFilter(world.capture, {});
            std::size_t held = 0;
            std::size_t missing = 0;
            for (const bus::TCaptureRow& row : rows.Rows()) {
                if (received.empty() || row.Event < *received.begin())
                    continue;
                ++held;
                missing += received.count(row.Event) == 0 ? 1 : 0;
            }
            counted.set_value({held, missing});
        });
        const auto [held, missing] = counted.get_future().get();
        state.counters["monitor_rows_held"] = static_cast<double>(held);
        state.counters["monitor_rows_missing"] = static_cast<double>(missing);
        if (missing != 0)
            state.SkipWithError("the monitor page missed rows");
    }
    if (!WordTimes(state, world.times, 3.0))
        return;
    state.counters["tool_frames_per_s"] = static_cast<double>(toolFrames) / 3.0;
    state.counters["tool_kb_per_s"] = static_cast<double>(toolBytes) / 3.0 / 1024.0;
    state.counters["process_cpu_percent"] = cpu / 3.0 * 100.0;
    const char* const names[] = {"nothing watched", "the monitor watched", "the rack view watched"};
    state.SetLabel(std::string(names[tool]) + ", 19200 baud");
}
BENCHMARK(BM_ToolWatched)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

// What one frame of the pages costs the bus's thread: every page's state as JSON (arg 0), and
// the frame after one page changed, the others' parts kept from the frame before (arg 1).
void BM_PagesFrame(benchmark::State& state) {
    TWebWorld world;
    const bool onePage = state.range(0) == 1;
    std::promise<double> done;
    world.loop.Post([&] {
        web::TPagesFrame frame(world.session.Cards());
        std::size_t bytes = 0;
        const auto start = TClock::now();
        constexpr int Frames = 2000;
        for (int i = 0; i < Frames; ++i) {
            if (onePage)
                frame.Changed(cards::TPage::Sck);
            bytes += onePage ? frame.Json().size() : web::PagesJson(world.session.Cards()).size();
        }
        benchmark::DoNotOptimize(bytes);
        done.set_value(std::chrono::duration<double, std::micro>(TClock::now() - start).count() /
                       Frames);
    });
    const double us = done.get_future().get();
    for (auto _ : state)
        state.SetIterationTime(us / 1e6);
    state.SetLabel(onePage ? "one page changed" : "every page");
}
BENCHMARK(BM_PagesFrame)->Arg(0)->Arg(1)->UseManualTime()->Iterations(1)->Unit(
    benchmark::kMicrosecond);

// The program's processor time (user and system, in clock ticks) and its resident memory now
// and at most, from /proc.
struct TUse {
    double CpuSeconds = 0;
    double RssMb = 0;
    double PeakMb = 0;
};
TUse UseOf(pid_t pid) {
    TUse use;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    use.CpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            use.RssMb = std::stod(line.substr(6)) / 1024;
        if (line.rfind("VmHWM:", 0) == 0)
            use.PeakMb = std::stod(line.substr(6)) / 1024;
    }
    return use;
}

void BM_IdleProgram(benchmark::State& state) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("morvelplint-web-idle-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string output = (folder / "out.txt").string();
    // A free port: the system's choice, taken and let go.
    std::uint16_t port = 0;
    {
        asio::io_context io;
        tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
        port = acceptor.local_endpoint().port();
    }
    const std::string listen = "127.0.0.1:" + std::to_string(port);
    std::vector<std::string> args{MORVELPLINT_WEB_PROGRAM, "--sim", "--listen", listen, "--quiet"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        state.SkipWithError("morvelplint-web did not start");
        return;
    }
    TNetwork network;
    std::unique_ptr<TClient> page;
    for (int attempt = 0; attempt < 100 && !page; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        try {
            page = std::make_unique<TClient>(network, port);
        } catch (const std::exception&) {
        }
    }
    TUse before;
    TUse after;
    for (auto _ : state) {
        if (!page)
            break;
        std::this_thread::sleep_for(std::chrono::seconds(2)); // past the set-up
        before = UseOf(pid);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        after = UseOf(pid);
    }
    page.reset();
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    std::filesystem::remove_all(folder);
    if (after.RssMb == 0) {
        state.SkipWithError("no page could reach morvelplint-web");
        return;
    }
    state.counters["cpu_percent"] = (after.CpuSeconds - before.CpuSeconds) / 10.0 * 100.0;
    state.counters["rss_mb"] = after.RssMb;
    state.counters["peak_rss_mb"] = after.PeakMb;
}
BENCHMARK(BM_IdleProgram)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
