#pragma once

#include "app/UnitMorvelplint.h"
#include "bus/UnitStatus.h"
#include "bus/UnitThread_PAR_IO.h"
#include "platform/PortIo.h"
#include "serial/CPortCtl.h"
#include "serial/PortNames.h"

#include <QTimer>
#include <memory>
#include <string>

// The program's main window and settings window over a simulated rack: the simulated
// parallel card as the port backend with the transport's worker running, and the simulated
// serial card's pseudo-terminal as the only port in the list, selected. Nothing is connected
// until the test runs the set-up (Status->TimerStatusTimer()).
class TProgramWindows {
public:
    TProgramWindows(platform::TPortBackend& parallelCard, const std::string& serialPort)
        : mPreviousBackend(platform::SetPortBackend(&parallelCard)) {
        bus::ParTransport().CreateWorker();
        mPreviousSource = serial::SetPortNameSource(
            [serialPort] { return std::vector<std::string>{serialPort}; });
        Window = std::make_unique<app::TFormMorvelplint>(QStringList{});
        Status = std::make_unique<bus::TStatusForm>(*Window, Window.get());
        Status->TimerStatus->stop();
        Status->ComComboBoxPoort->SetItemIndex(0);
    }

    ~TProgramWindows() {
        Window->TimerSpeed->stop();
        Status.reset();
        Window.reset();
        bus::ParTransport().StopWorker();
        platform::SetPortBackend(mPreviousBackend);
        serial::SetPortNameSource(mPreviousSource);
    }

    TProgramWindows(const TProgramWindows&) = delete;
    TProgramWindows& operator=(const TProgramWindows&) = delete;

    std::unique_ptr<app::TFormMorvelplint> Window;
    std::unique_ptr<bus::TStatusForm> Status;

private:
    platform::TPortBackend* mPreviousBackend;
    serial::TPortNameSource mPreviousSource;
};
