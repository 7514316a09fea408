// Runs the whole program against the simulated rack, waits until it is connected, and saves a
// picture of the main window with each page in front: <output folder>/<page>.png, the page
// named by its tab sheet (intro, sck, pck, slk, xbk, 3bk, lkk_evl, iok); then the rack view
// beside the (?)BK shuttle running over the whole two-rail line, with a short circuit on its
// third card: <output folder>/rack-view.png; then the bus monitor beside the same shuttle:
// <output folder>/monitor.png.
// Usage (in a folder without a Morvelplint.ini, under an X server): morvelplint-shots <folder>
#include "app/BusMonitor.h"
#include "app/MainWindow.h"
#include "app/RackView.h"
#include "app/Startup.h"
#include "cards/qt/CardPages.h"
#include "cards/qt/PageBlock.h"
#include "cards/qt/PageBusWord.h"
#include "cards/qt/PageIok.h"
#include "platform/Tick.h"
#include "settings/qt/SettingsWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QPainter>
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

// The shuttle on (?)BK over cards 0, 4 and 7, and the rack view with place 7 shorted.
void StartShuttleAndView(app::TFormMorvelplint& window) {
    window.PageControlTester->setCurrentWidget(window.CardPages->TabSheetXBK);
    cards::TXbkPage& xbk = *window.CardPages->PageXBK;
    const int places[] = {0, 4, 7};
    for (int card = 0; card < 3; ++card)
        xbk.SpinEditBKadr[static_cast<std::size_t>(card)]->setValue(places[card]);
    xbk.TrackBar2BKSpeed->setValue(10);
    xbk.Button2BKControlClick();
    window.RekItemClick();
    window.FormRek->SpinEditPlaats->setValue(7);
    window.FormRek->CheckBoxKortsluiting->click();
}

// The main window and another window beside it, as they stand on the screen, saved as
// `name` in `folder`.
bool SaveSideBySide(QWidget& main, QWidget& beside, const QString& folder, const char* name) {
    const QPixmap left = main.grab();
    const QPixmap right = beside.grab();
    constexpr int Gap = 8;
    QImage both(left.width() + Gap + right.width(), std::max(left.height(), right.height()),
                QImage::Format_RGB32);
    both.fill(QColor(0x30, 0x30, 0x30));
    QPainter painter(&both);
    painter.drawPixmap(0, 0, left);
    painter.drawPixmap(left.width() + Gap, 0, right);
    painter.end();
    const QString file = folder + "/" + name;
    const bool ok = both.save(file, "PNG");
    std::printf("%s %s\n", ok ? "saved" : "cannot write", qPrintable(file));
    return ok;
}

bool SaveRackView(app::TFormMorvelplint& window, const QString& folder) {
    return SaveSideBySide(window, *window.FormRek, folder, "rack-view.png");
}

// The bus monitor after it has taken in a few seconds of the shuttle.
bool SaveMonitor(app::TFormMorvelplint& window, const QString& folder) {
    window.BusmonitorClick();
    app::TBusMonitor& monitor = *window.BusMonitor;
    monitor.resize(1000, window.height());
    QEventLoop loop;
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    loop.exec();
    return SaveSideBySide(window, monitor, folder, "monitor.png");
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
            const bool connected = bus::StatusForm->BusReady() && !bus::StatusForm->SetUpRunning() &&
                                   !bus::StatusForm->TimerStatus->isActive();
            if (!connected && !platform::TicksPassed(start, 20000))
                return;
            poll->stop();
            if (!connected) {
                std::fprintf(stderr, "the simulated rack did not come up\n");
                window.ExitClick();
                return;
            }
            ShowActivity(window);
            saved = SavePages(window, folder);
            StartShuttleAndView(window);
            // Long enough for the locomotive to leave section 1 and the lamps to settle.
            QTimer::singleShot(2500, &window, [&] {
                saved = SaveRackView(window, folder) && saved;
                window.FormRek->close();
                saved = SaveMonitor(window, folder) && saved;
                window.ExitClick();
            });
        });
        poll->start(50);
    });
    char name[] = "morvelplint";
    char sim[] = "/sim";
    char* programArguments[] = {name, sim, nullptr};
    const int result = app::RunMorvelplint(2, programArguments);
    return result == 0 && saved ? 0 : 1;
}
