#include "bus/Reconnect.h"

#include "platform/Messages.h"
#include "serial/ComBackend.h"
#include "serial/SerialCardLink.h"

namespace bus {

namespace {

using platform::Tr;

// The port the list knows under `device` (its path or its by-id name), or the bare path.
serial::TPortInfo KnownPort(const std::string& device) {
    try {
        for (const serial::TPortInfo& port : serial::EnumPorts())
            if (port.Path == device || port.ById == device)
                return port;
    } catch (const serial::EComPort&) {
        // Not listed now: the path is all there is to watch for.
    }
    serial::TPortInfo port;
    port.Path = device;
    return port;
}

} // namespace

TReconnect::TReconnect(TBus& bus) : mBus(bus) {
    mBus.AddListener(*this);
}

TReconnect::~TReconnect() {
    mBus.RemoveListener(*this);
}

void TReconnect::Changed(std::string note) {
    mNote = std::move(note);
    if (OnChange)
        OnChange();
}

bool TReconnect::Active() const {
    return Watching() || (mBus.Transport() == TTransport::Serial && mBus.Ready() &&
                          !mBus.DebugMode() && mBus.Link().Connected());
}

void TReconnect::Look() {
    if (mBus.Busy() || mBus.Closing())
        return;
    if (!Watching()) {
        mBus.CheckLine();
        return;
    }
    const std::string path = mWatch.Look();
    if (path.empty())
        return;
    Changed(platform::Format(Tr("%s is terug, verbinden..."), path.c_str()));
    TSetUpChoice choice = mBus.LastChoice();
    choice.Parallel = false;
    choice.Port = path;
    choice.Automatic = true;
    mBus.SetUp(choice);
}

void TReconnect::BusLineLost() {
    const std::string device = serial::DeviceName(mBus.Link().Port());
    if (mPort.Path != device && mPort.ById != device) {
        mPort = KnownPort(device);
        mNode.reset();
        mEntry.reset();
    }
    mWatch.Start(mPort, mNode, mEntry);
    Changed(
        platform::Format(Tr("verbinding verbroken, wacht tot %s terug is"), mPort.Path.c_str()));
}

void TReconnect::SetUpFinished(const TSetUpResult& result) {
    const std::string device = serial::DeviceName(result.Port);
    if (result.Transport == TTransport::Serial && result.Ready) {
        mPort = KnownPort(device);
        mNode = serial::DeviceNodeOf(device);
        mEntry = serial::EntryOf(device);
        mWatch.Stop();
        Changed(result.Automatic ? platform::Format(Tr("opnieuw verbonden via %s"), device.c_str())
                                 : std::string());
        return;
    }
    if (result.Automatic) {
        // Once per return: the next try waits until the port has gone and come back, or
        // until the user presses OK.
        mWatch.Start(mPort, serial::DeviceNodeOf(device), serial::EntryOf(device));
        Changed(platform::Format(
            Tr("%s is terug, maar verbinden lukte niet: druk op OK in Instellingen > Status..."),
            device.c_str()));
        return;
    }
    // A set-up by hand that failed keeps watching for the port it was about; the user who
    // chose another transport or port has moved on.
    const bool samePort = result.Transport == TTransport::Serial &&
                          (device == mWatch.Port().Path || device == mWatch.Port().ById);
    if (Watching() && samePort)
        return;
    mWatch.Stop();
    Changed(std::string());
}

} // namespace bus
