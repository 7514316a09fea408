// Runs the whole program against the simulated rack, waits until it is connected, and saves a
// picture of the main window with each page in front: <output folder>/<page>.png, the page
// named by its tab sheet (intro, sck, pck, slk, xbk, 3bk, lkk_evl, iok).
// Usage (in a folder without a Morvelplint.ini, under an X server): morvelplint-shots <folder>
#include "app/Startup.h"
#include "app/UnitMorvelplint.h"
#include "bus/UnitStatus.h"
#include "cards/CardPages.h"
#include "cards/PageBusWord.h"
#include "cards/PageIok.h"
#include "platform/Tick.h"

#include <QApplication>
#include <QDir>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

namespace {

// Shows the pages the way a newcomer's first clicks would: a data strobe answered on the
// serial card's page, two IO card outputs looped back through the test plug.
void ShowActivity(app::TFormMorvelplint& window) {
    cards::TBusWordPage& sck = *window.CardPages->PageSCK;
    sck.ButtonD[0]->click();
    sck.ButtonVersturen->click();
    sck.ButtonD[0]->click();
    sck.RadioGroupStrobe->Item(1)->click();
    sck.ButtonVersturen->click();

    cards::TIokPage& iok = *window.CardPages->PageIOK;
    iok.SpinEditIOKadr->setValue(9);
    iok.ButtonIOK[4]->click();
    iok.ButtonIOK[13]->click();
    iok.ButtonIOKVersturen->click();
}

bool SavePages(app::TFormMorvelplint& window, const QString& folder) {
    window.resize(window.sizeHint().expandedTo(window.size()));
    bool ok = QDir().mkpath(folder);
    for (int i = 0; ok && i < window.PageControlTester->count(); ++i) {
        window.PageControlTester->setCurrentIndex(i);
        QApplication::processEvents();
        const QString name =
            window.PageControlTester->widget(i)->objectName().remove("TabSheet").toLower();
        const QString file = folder + "/" + name + ".png";
        ok = window.grab().save(file, "PNG");
        std::printf("%s %s\n", ok ? "saved" : "cannot write", qPrintable(file));
    }
    return ok;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    bool saved = false;
    app::SetStartedHook([&](app::TFormMorvelplint& window) {
        auto* poll = new QTimer(&window);
        const std::uint32_t start = platform::GetTickCount();
        QObject::connect(poll, &QTimer::timeout, &window, [&, poll, start] {
            const bool connected = bus::StatusForm->BusReady && !bus::StatusForm->SetUpRunning() &&
                                   !bus::StatusForm->TimerStatus->isActive();
            if (!connected && !platform::TicksPassed(start, 20000))
                return;
            poll->stop();
            if (connected) {
                ShowActivity(window);
                saved = SavePages(window, folder);
            } else {
                std::fprintf(stderr, "the simulated rack did not come up\n");
            }
            window.ExitClick();
        });
        poll->start(50);
    });
    char name[] = "morvelplint";
    char sim[] = "/sim";
    char* programArguments[] = {name, sim, nullptr};
    const int result = app::RunMorvelplint(2, programArguments);
    return result == 0 && saved ? 0 : 1;
}
