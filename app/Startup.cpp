#include "app/Startup.h"

#include "app/AboutBox.h"
#include "app/HelpBox.h"
#include "app/MainWindow.h"
#include "app/Pictures.h"
#include "app/QtEventPump.h"
#include "app/SplashScreen.h"
#include "app/QtTimers.h"
#include "bus/ParallelTransport.h"
#include "platform/Messages.h"
#include "platform/PortIo.h"
#include "platform/Privileges.h"
#include "serial/ComError.h"
#include "session/RackSession.h"
#include "settings/qt/SettingsWindow.h"
#include "sim/RackFile.h"
#include "sim/SimRack.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>

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

bool IsSwitch(const char* argument) {
    return strcasecmp(argument, "/sim") == 0 || strcasecmp(argument, "/debug") == 0;
}

// With /sim: the rack file named right after it (an argument that is not a switch itself), or
// empty for the default rack.
std::optional<std::string> SimRackArgument(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        if (strcasecmp(argv[i], "/sim") == 0)
            return i + 1 < argc && !IsSwitch(argv[i + 1]) ? std::string(argv[i + 1])
                                                          : std::string();
    return std::nullopt;
}

// The rack for /sim: from the file given, else from the default rack file where it is
// installed, else the same rack built in. Empty with the message shown when the file is
// refused.
std::optional<sim::TRackDescription> SimRackDescription(const std::string& given) {
    const std::string file =
        given.empty() ? sim::FindDefaultRackFile(platform::ProgramFolder()) : given;
    if (file.empty())
        return sim::DefaultRack();
    sim::TRackLoad load = sim::ReadRackFile(file);
    if (load.Ok)
        return std::move(load.Rack);
    std::fprintf(stderr, "morvelplint: %s\n", load.Error.c_str());
    bus::Dialogs().Message(nullptr, bus::TDialogs::TIcon::Error, bus::ProgramTitle,
                           QString::fromStdString(load.Error), QString());
    return std::nullopt;
}

} // namespace

void InitCatalogues(const std::vector<std::string>& folders) {
    platform::InitMessages({platform::DefaultDomain, serial::TextDomain}, folders,
                           platform::UserLanguage());
}

int RunMorvelplint(int argc, char* argv[]) {
    // The parallel card's ports are asked for, and the privileges the request needed given up,
    // while the main thread is still the only one and before the toolkit loads anything; the
    // worker comes after both and inherits the permission. With /sim nothing is asked.
    const auto rackArgument = SimRackArgument(argc, argv);
    platform::TRealPortBackend realPorts;
    int dropError = 0;
    const auto started = bus::ParTransport().Start(rackArgument ? nullptr : &realPorts, [&] {
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

    // With /sim the simulated rack stands in for the hardware. It comes after the privileges
    // are given up (its serial card has a thread of its own) and after the catalogues, so that
    // a refused rack file is told in the user's language.
    session::TSessionOptions options;
    options.ParallelAccess = access;
    if (rackArgument) {
        options.SimRack = SimRackDescription(*rackArgument);
        if (!options.SimRack)
            return 1;
    }

    SplashScreen = new TSplashScreen;
    SplashScreen->show();
    SplashScreen->repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    int result = 0;
    {
        // The session below the windows, which outlives them: closing its open port pulses DTR.
        TQtTimers timers;
        session::TRackSession session(timers, std::move(options));
        QStringList arguments = application.arguments();
        arguments.removeFirst();
        auto mainWindow = std::make_unique<TFormMorvelplint>(session, timers, arguments);
        auto aboutBox = std::make_unique<TAboutBox>(mainWindow.get());
        auto helpBox = std::make_unique<THelpBox>(mainWindow.get());
        auto statusForm = std::make_unique<bus::TStatusForm>(
            session, timers.Timer("TimerStatus"), mainWindow.get());
        mainWindow->show();
        if (gStartedHook)
            QTimer::singleShot(0, mainWindow.get(), [&] { gStartedHook(*mainWindow); });
        result = application.exec();

        statusForm.reset();
        helpBox.reset();
        aboutBox.reset();
        mainWindow.reset();
        session.Close();
    }
    // The worker must be gone before the port backend it uses.
    bus::ParTransport().StopWorker();
    platform::SetPortBackend(nullptr);
    return result;
}

void SetStartedHook(std::function<void(TFormMorvelplint&)> hook) {
    gStartedHook = std::move(hook);
}

} // namespace app
