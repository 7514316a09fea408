#include "serial/PortWatch.h"

#include "serial/ComError.h"

#include <vector>

namespace serial {

void TPortWatch::Start(const TPortInfo& port, std::optional<TDeviceNode> node,
                       std::optional<TDeviceNode> entry) {
    mPort = port;
    mLostNode = node;
    mLostEntry = entry;
    mWatching = true;
    // Only whether it is gone: a port already back is found by the next look.
    const std::string path = Candidate();
    mSeenGone = path.empty() || !DeviceNodeOf(path);
}

std::string TPortWatch::Look() {
    if (!mWatching)
        return {};
    const std::string path = Candidate();
    const std::optional<TDeviceNode> node = path.empty() ? std::nullopt : DeviceNodeOf(path);
    if (!node) {
        mSeenGone = true;
        return {};
    }
    if (!mSeenGone && mLostNode && *node == *mLostNode)
        return {};
    if (node->PseudoTerminal) {
        const std::optional<TDeviceNode> entry = EntryOf(path);
        if (!entry || entry->PseudoTerminal || entry == mLostEntry)
            return {};
    }
    mWatching = false;
    return path;
}

std::string TPortWatch::Candidate() const {
    std::vector<TPortInfo> ports;
    try {
        ports = EnumPorts();
    } catch (const EComPort&) {
        // A list that cannot be read now: the path alone may still tell.
    }
    if (!mPort.ById.empty() && DeviceNodeOf(mPort.ById)) {
        for (const TPortInfo& port : ports)
            if (port.ById == mPort.ById)
                return port.Path;
        return mPort.ById;
    }
    for (const TPortInfo& port : ports) {
        if (SameAdapter(port, mPort))
            return port.Path;
    }
    for (const TPortInfo& port : ports) {
        // Another adapter under the lost one's name is not the one watched for.
        if (port.Path == mPort.Path && !mPort.SerialNumber.empty() && !port.SerialNumber.empty())
            return {};
    }
    return mPort.Path;
}

} // namespace serial
