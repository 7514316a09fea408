// The program's own bus operations, as the card pages call them, through the settings window,
// TTavoCom and the real serial layer onto the simulated serial card with wire timing (every
// byte held for its ten bits on the line), and through the parallel transport onto the
// simulated parallel card. Also the processor time the program takes while it waits.
#include "app/QtEventPump.h"
#include "app/QtTimers.h"
#include "bus/ParallelTransport.h"
#include "bus/Reconnect.h"
#include "capture/CaptureStream.h"
#include "platform/PortIo.h"
#include "serial/PortNames.h"
#include "serial/PortWatch.h"
#include "serial/SerialCardLink.h"
#include "serial/qt/ComComboBox.h"
#include "session/RackSession.h"
#include "settings/qt/SettingsWindow.h"
#include "sim/SimParallelCard.h"
#include "sim/SimSerialCard.h"
#include "sim/SimTestCard.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QRadioButton>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// A settings window connected over the simulated serial card at the given speed, with the
// simulated parallel card on the transport as well.
struct TConnected {
    sim::TTrainBus Rack;
    std::shared_ptr<sim::TSimTestCard> Card5 = std::make_shared<sim::TSimTestCard>();
    sim::TSimParallelCard ParallelCard{Rack};
    sim::TSimSerialCard SerialCard{Rack};
    platform::TPortBackend* PreviousBackend = nullptr;
    serial::TPortNameSource PreviousSource;
    app::TQtTimers Timers;
    std::unique_ptr<session::TRackSession> Session;
    std::unique_ptr<bus::TStatusForm> Status;

    explicit TConnected(bool baud19200, bool wireTiming = true) {
        Rack.Plug(5, Card5);
        PreviousBackend = platform::SetPortBackend(&ParallelCard);
        bus::ParTransport().CreateWorker();
        SerialCard.SetWireTiming(wireTiming);
        const std::string pty = SerialCard.SlavePath();
        PreviousSource = serial::SetPortNameSource([pty] { return std::vector<std::string>{pty}; });
        Session = std::make_unique<session::TRackSession>(Timers, session::TSessionOptions{});
        // What the bus does is recorded only where a benchmark asks for it.
        Session->Bus().SetCapture(nullptr);
        Status = std::make_unique<bus::TStatusForm>(*Session, Timers.Timer("TimerStatus"));
        Status->TimerStatus->stop();
        Status->ComComboBoxPoort->SetItemIndex(0);
        Status->CheckBoxBaudrate->setChecked(baud19200);
        Status->TimerStatusTimer();
    }
    bus::TBus& Bus() { return Session->Bus(); }
    ~TConnected() {
        Status.reset();
        Session.reset();
        bus::ParTransport().StopWorker();
        platform::SetPortBackend(PreviousBackend);
        serial::SetPortNameSource(PreviousSource);
    }
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One bus word as a card page sends it: SendBusWord, then ReadBusFeedback for its reply;
// with the second argument 1, the bus monitor's capture records both as the program does, and
// with 2 it is also streamed to a pcapng file as morvelplint-check --capture writes it.
void BM_SerialBusWord(benchmark::State& state) {
    const int baud = static_cast<int>(state.range(0));
    TConnected world(baud == 19200);
    if (!world.Status->BusReady()) {
        state.SkipWithError("the simulated serial card did not come up");
        return;
    }
    bus::TCapture capture;
    if (state.range(1) != 0)
        world.Bus().SetCapture(&capture);
    const std::string streamed = (std::filesystem::temp_directory_path() /
                                  ("morvelplint-bench-" + std::to_string(::getpid()) + ".pcapng"))
                                     .string();
    std::unique_ptr<bus::TCaptureStream> stream;
    std::string error;
    if (state.range(1) == 2 && !(stream = bus::TCaptureStream::Open(capture, streamed, error))) {
        state.SkipWithError(error.c_str());
        return;
    }
    const int words[] = {128 + 5, 96, 64};
    std::size_t i = 0;
    for (auto _ : state) {
        world.Status->SendBusWord(words[i++ % 3]);
        benchmark::DoNotOptimize(world.Status->ReadBusFeedback());
    }
    // Two bytes of ten bits each on the line: the floor no program can beat.
    const double floorMs = 2.0 * 10.0 * 1000.0 / baud;
    state.counters["floor_ms"] = floorMs;
    state.counters["ms_per_word"] = benchmark::Counter(
        static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
    state.SetLabel(std::to_string(baud) + " baud" +
                   (state.range(1) == 2 ? ", captured and streamed"
                    : state.range(1)    ? ", captured"
                                        : ""));
    world.Bus().SetCapture(nullptr);
    if (stream && !stream->Close(error))
        state.SkipWithError(error.c_str());
    std::filesystem::remove(streamed);
}
BENCHMARK(BM_SerialBusWord)
    ->ArgsProduct({{9600, 19200}, {0, 1, 2}})
    ->UseRealTime()
    ->MinTime(2.0);

// The same exchange by the leanest client there can be on this line (a bare descriptor:
// flush the input, write the byte, poll, read the answer), against the same simulated card.
// What this takes above the floor is the pseudo-terminal's hand-over and the simulated card,
// not the program; what BM_SerialBusWord takes above this is the program's own share.
void BM_SerialBusWordBareClient(benchmark::State& state) {
    const int baud = static_cast<int>(state.range(0));
    sim::TTrainBus rack;
    rack.Plug(5, std::make_shared<sim::TSimTestCard>());
    sim::TSimSerialCard card(rack);
    card.SetWireTiming(true);
    const int line = open(card.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios settings{};
    if (line < 0 || tcgetattr(line, &settings) != 0) {
        state.SkipWithError("no line to the simulated card");
        return;
    }
    cfmakeraw(&settings);
    cfsetspeed(&settings, B9600);
    tcsetattr(line, TCSANOW, &settings);
    const auto exchange = [line](std::uint8_t word) {
        tcflush(line, TCIFLUSH);
        if (write(line, &word, 1) != 1)
            return -1;
        pollfd ready{line, POLLIN, 0};
        std::uint8_t reply = 0;
        if (poll(&ready, 1, 1000) != 1 || read(line, &reply, 1) != 1)
            return -1;
        return static_cast<int>(reply);
    };
    // The card takes a client as connected once it has seen it open the line.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::uint8_t options = baud == 19200 ? 0x0F : 0x07;
    if (exchange(options) != options) {
        state.SkipWithError("the simulated serial card did not echo the option byte");
        close(line);
        return;
    }
    if (baud == 19200) {
        cfsetspeed(&settings, B19200);
        tcsetattr(line, TCSANOW, &settings);
    }
    const std::uint8_t words[] = {128 + 5, 96, 64};
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(exchange(words[i++ % 3]));
    close(line);
    state.counters["floor_ms"] = 2.0 * 10.0 * 1000.0 / baud;
    state.counters["ms_per_word"] = benchmark::Counter(
        static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
    state.SetLabel(std::to_string(baud) + " baud");
}
BENCHMARK(BM_SerialBusWordBareClient)->Arg(9600)->Arg(19200)->UseRealTime()->MinTime(2.0);

// The 192 words of the initialisation sequence as the set-up sends them: each word, then its
// reply awaited.
void RunInitialisationSequence(bus::TStatusForm& status) {
    for (int place = 0; place < 64; ++place)
        for (const int word : {128 + place, 96, 64}) {
            status.SendBusWord(word);
            while (status.ReadBusFeedback() >= bus::NoDataYet) {
            }
        }
}

void BM_InitialisationSequenceSerial(benchmark::State& state) {
    const int baud = static_cast<int>(state.range(0));
    TConnected world(baud == 19200);
    for (auto _ : state)
        RunInitialisationSequence(*world.Status);
    state.counters["floor_ms"] = 192 * 2.0 * 10.0 * 1000.0 / baud;
    state.SetLabel(std::to_string(baud) + " baud");
}
BENCHMARK(BM_InitialisationSequenceSerial)
    ->Arg(9600)
    ->Arg(19200)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_InitialisationSequenceParallel(benchmark::State& state) {
    TConnected world(false, false);
    world.Status->RadioButtonParallel->setChecked(true);
    world.Bus().SetTransport(bus::TTransport::Parallel);
    bus::ResetTransport(200);
    for (auto _ : state)
        RunInitialisationSequence(*world.Status);
    // The design: one word per tick of the millisecond counter.
    state.counters["ticks_per_word"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 192,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_InitialisationSequenceParallel)->UseRealTime()->Unit(benchmark::kMillisecond);

// Processor time per second of wall time while the program only runs its message loop with
// the settings window connected (goal: under 1 %).
void BM_CpuIdle(benchmark::State& state) {
    TConnected world(false, false);
    for (auto _ : state) {
        const double cpu = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        state.counters["cpu_percent"] = 100.0 * (CpuSeconds() - cpu) / wall.count();
    }
}
BENCHMARK(BM_CpuIdle)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// Processor time during one read that gets no answer for its whole second (goal: under 1 %).
void BM_CpuSilentSerialRead(benchmark::State& state) {
    TConnected world(false, false);
    sim::TSerialFaults silent;
    silent.Silent = true;
    world.SerialCard.SetFaults(silent);
    for (auto _ : state) {
        const double cpu = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        world.Status->SendBusWord(64);
        benchmark::DoNotOptimize(world.Status->ReadBusFeedback());
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        state.counters["cpu_percent"] = 100.0 * (CpuSeconds() - cpu) / wall.count();
    }
}
BENCHMARK(BM_CpuSilentSerialRead)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// The reconnection looks every TReconnect::LookIntervalMs, connected or not: while
// connected it polls the serial line for a hang-up, while it watches for a lost adapter it
// reads the system's port list (this machine's /sys) and stats the lost port's path. The
// processor share is the time of one look over the interval (goal: far under 1 %).
template <typename F> void LookEveryInterval(benchmark::State& state, F look) {
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        look();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    const double perLook = wall.count() / static_cast<double>(state.iterations());
    state.counters["cpu_percent"] = 100.0 * perLook / (bus::TReconnect::LookIntervalMs / 1000.0);
}

void BM_ReconnectLookConnected(benchmark::State& state) {
    TConnected world(false, false);
    bus::TReconnect reconnect(world.Bus());
    if (!world.Status->BusReady() || !reconnect.Active()) {
        state.SkipWithError("the simulated serial card did not come up");
        return;
    }
    LookEveryInterval(state, [&] { reconnect.Look(); });
}
BENCHMARK(BM_ReconnectLookConnected)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_ReconnectLookWatching(benchmark::State& state) {
    serial::TPortInfo lost;
    lost.Path = "/dev/ttyUSB-morvelplint-bench"; // never there: every look is a full one
    serial::TPortWatch watch;
    watch.Start(lost, std::nullopt, std::nullopt);
    LookEveryInterval(state, [&] { benchmark::DoNotOptimize(watch.Look()); });
    state.SetLabel(std::to_string(serial::EnumPorts().size()) + " ports listed");
}
BENCHMARK(BM_ReconnectLookWatching)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    app::InstallQtEventPump();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
