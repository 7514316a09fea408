#include "app/Startup.h"

#include "app/Pictures.h"
#include "app/QtEventPump.h"
#include "app/UnitAbout.h"
#include "app/UnitHelp.h"
#include "app/UnitMorvelplint.h"
#include "app/UnitSplash.h"
#include "bus/UnitStatus.h"
#include "bus/UnitThread_PAR_IO.h"
#include "platform/Messages.h"
#include "platform/PortIo.h"
#include "platform/Privileges.h"
#include "serial/ComError.h"
#include "sim/SimRack.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace app {

namespace {

// Errors that no handler caught end the current action in the general error message box.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            bus::ShowGeneralError(QString::fromLocal8Bit(error.what()));
        }
        return false;
    }
};

std::function<void(TFormMorvelplint&)> gStartedHook;

bool HasSimSwitch(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        if (strcasecmp(argv[i], "/sim") == 0)
            return true;
    return false;
}

} // namespace

void InitCatalogues(const std::vector<std::string>& folders) {
    platform::InitMessages({platform::DefaultDomain, serial::TextDomain}, folders,
                           platform::UserLanguage());
}

int RunMorvelplint(int argc, char* argv[]) {
    // The parallel card's ports are asked for, and the privileges the request needed given up,
    // while the main thread is still the only one and before the toolkit loads anything; the
    // worker comes after both and inherits the permission. With /sim nothing is asked, and the
    // simulated rack, whose serial card has a thread of its own, comes only after the drop.
    const bool simulated = HasSimSwitch(argc, argv);
    platform::TRealPortBackend realPorts;
    int dropError = 0;
    const auto started = bus::ParTransport().Start(simulated ? nullptr : &realPorts, [&] {
        dropError = platform::DropPrivileges();
        return dropError == 0;
    });
    if (!started) {
        InitCatalogues(platform::CatalogueFolders(platform::ProgramFolder()));
        std::fprintf(stderr, "morvelplint: %s (%s)\n",
                     platform::Tr("Het programma kan zijn rechten niet opgeven en stopt, liever "
                                  "dan met meer rechten verder te gaan dan het nodig heeft"),
                     std::strerror(dropError));
        return 1;
    }
    const platform::TPortAccess access = *started;
    std::unique_ptr<sim::TSimRack> rack;
    if (simulated) {
        rack = std::make_unique<sim::TSimRack>();
        platform::SetPortBackend(&rack->ParallelCard);
    }

    TApplication application(argc, argv);
    // On X11 the windows' class (WM_CLASS) is the application name; the desktop entry's
    // StartupWMClass is the same.
    application.setApplicationName(MORVELPLINT_APP_NAME);
    application.setDesktopFileName(MORVELPLINT_APP_ID);
    // For the windows that set none of their own: settings, about, help, message boxes.
    application.setWindowIcon(ProgramIcon());
    InstallQtEventPump();
    // After the application object, which sets the process locale from the environment.
    InitCatalogues(platform::CatalogueFolders(platform::ProgramFolder()));

    SplashScreen = new TSplashScreen;
    SplashScreen->show();
    SplashScreen->repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    // The bus below the windows, which outlives them: closing its open port pulses DTR.
    bus::TBus bus(bus::ParTransport());
    bus.ParallelAccess = access;
    // Everything on the bus from the start on, for the bus monitor.
    bus::TCapture capture;
    capture.Simulated = rack != nullptr;
    bus.SetCapture(&capture);

    QStringList arguments = application.arguments();
    arguments.removeFirst();
    auto mainWindow = std::make_unique<TFormMorvelplint>(bus, arguments);
    bus::TMainWindowEvents mainWindowEvents(*mainWindow);
    bus.AddListener(mainWindowEvents);
    auto aboutBox = std::make_unique<TAboutBox>(mainWindow.get());
    auto helpBox = std::make_unique<THelpBox>(mainWindow.get());
    auto statusForm = std::make_unique<bus::TStatusForm>(bus, *mainWindow, mainWindow.get());
    if (rack && rack->SerialCard)
        statusForm->SelectPort(rack->SerialCard->SlavePath());

    mainWindow->show();
    if (gStartedHook)
        QTimer::singleShot(0, mainWindow.get(), [&] { gStartedHook(*mainWindow); });
    const int result = application.exec();

    // The worker must be gone before the port backend it uses.
    statusForm.reset();
    helpBox.reset();
    aboutBox.reset();
    bus.RemoveListener(mainWindowEvents);
    mainWindow.reset();
    bus.CloseSerialLink();
    bus::ParTransport().StopWorker();
    platform::SetPortBackend(nullptr);
    return result;
}

void SetStartedHook(std::function<void(TFormMorvelplint&)> hook) {
    gStartedHook = std::move(hook);
}

} // namespace app
