// Runs the whole program against the simulated rack, waits until it is connected, and saves a
// picture of the main window with each page in front: <output folder>/<page>.png, the page
// named by its tab sheet (intro, sck, pck, slk, xbk, 3bk, lkk_evl, iok); then monitor.png,
// the bus monitor beside the "(?)BK" page while the locomotive shuttles.
// Usage (in a folder without a Morvelplint.ini, under an X server): morvelplint-shots <folder>
#include "app/BusMonitor.h"
#include "app/Startup.h"
#include "app/UnitMorvelplint.h"
#include "bus/UnitStatus.h"
#include "cards/CardPages.h"
#include "cards/PageBlock.h"
#include "cards/PageBusWord.h"
#include "cards/PageIok.h"
#include "platform/Tick.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
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

// Lets the program run for `ms` milliseconds.
void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool SaveMonitor(app::TFormMorvelplint& window, const QString& folder) {
    window.PageControlTester->setCurrentWidget(window.CardPages->TabSheetXBK);
    window.CardPages->PageXBK->TrackBar2BKSpeed->setValue(3); // speed 12
    window.CardPages->PageXBK->Button2BKControl->click();
    window.BusmonitorClick();
    app::TBusMonitor& monitor = *window.BusMonitor;
    monitor.resize(1000, window.height());
    RunFor(4000);
    const QPixmap main = window.grab();
    const QPixmap view = monitor.grab();
    QPixmap both(main.width() + 8 + view.width(), std::max(main.height(), view.height()));
    both.fill(QColor(60, 60, 60));
    QPainter painter(&both);
    painter.drawPixmap(0, 0, main);
    painter.drawPixmap(main.width() + 8, 0, view);
    painter.end();
    window.CardPages->PageXBK->Button2BKControl->click();
    const QString file = folder + "/monitor.png";
    const bool ok = both.save(file, "PNG");
    std::printf("%s %s\n", ok ? "saved" : "cannot write", qPrintable(file));
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
                saved = SavePages(window, folder) && SaveMonitor(window, folder);
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
