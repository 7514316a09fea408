// Start-up of the whole program with /sim in this process: time to a shown main window, time
// until the set-up has connected over the simulated serial card (the window usable), and the
// resident memory then. Once per process: the program owns its QApplication.
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "platform/Tick.h"
#include "settings/qt/SettingsWindow.h"

#include <QTimer>
#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

double ResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

void BM_StartUpWithSim(benchmark::State& state) {
    char pattern[] = "/tmp/morvelplint-startup-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder); // no settings file: a newcomer's first start
    qputenv("QT_QPA_PLATFORM", "offscreen");
    for (auto _ : state) {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        double shownMs = 0;
        double usableMs = 0;
        double rss = 0;
        app::SetStartedHook([&](app::TFormMorvelplint& window) {
            shownMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            auto* poll = new QTimer(&window);
            QObject::connect(poll, &QTimer::timeout, &window, [&, poll, &window = window] {
                const bool done = bus::StatusForm->BusReady() && !bus::StatusForm->SetUpRunning();
                const bool late = std::chrono::duration<double>(Clock::now() - start).count() > 30;
                if (!done && !late)
                    return;
                poll->stop();
                usableMs =
                    done ? std::chrono::duration<double, std::milli>(Clock::now() - start).count()
                         : -1;
                rss = ResidentMiB();
                window.ExitClick();
            });
            poll->start(5);
        });
        char name[] = "morvelplint";
        char sim[] = "/sim";
        char* argv[] = {name, sim, nullptr};
        app::RunMorvelplint(2, argv);
        state.SetIterationTime(usableMs / 1000.0);
        state.counters["shown_ms"] = shownMs;
        state.counters["connected_ms"] = usableMs;
        state.counters["rss_MiB"] = rss;
    }
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_StartUpWithSim)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
