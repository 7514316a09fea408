// Copied by install-test.sh into the bin folder of an installed tree, beside the installed
// program, and run there: the same start-up as the program (same library, same folder), so
// it finds the catalogues exactly where the installed program looks for them. Started with
// /sim, it waits for the connected state and prints what it found; exit code 0 when the
// program came up connected.
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "platform/Messages.h"
#include "platform/Tick.h"
#include "settings/qt/SettingsWindow.h"

#include <QTimer>
#include <cstdio>
#include <libintl.h>

int main() {
    bool connected = false;
    app::SetStartedHook([&](app::TFormMorvelplint& window) {
        auto* poll = new QTimer(&window);
        const std::uint32_t start = platform::GetTickCount();
        QObject::connect(poll, &QTimer::timeout, &window, [&, poll, start] {
            connected = bus::StatusForm->BusReady() && !bus::StatusForm->SetUpRunning() &&
                        !bus::StatusForm->TimerStatus->isActive();
            if (!connected && !platform::TicksPassed(start, 20000))
                return;
            poll->stop();
            window.ExitClick();
        });
        poll->start(50);
    });
    char name[] = "morvelplint";
    char sim[] = "/sim";
    char* arguments[] = {name, sim, nullptr};
    const int result = app::RunMorvelplint(2, arguments);

    std::printf("connected: %s\n", connected ? "yes" : "no");
    // The folder the start-up bound the program's domain to.
    std::printf("catalogues: %s\n", bindtextdomain(platform::DefaultDomain, nullptr));
    std::printf("message: %s\n", platform::Tr("De parallelle kaart kan niet worden gebruikt."));
    return result == 0 && connected ? 0 : 1;
}
