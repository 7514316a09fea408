#pragma once

#include "serial/PortNames.h"

#include <optional>
#include <string>
#include <vector>

namespace serial {

// Who may use a device and who the user is, as the system says it without opening the device.
struct TAccessFacts {
    unsigned DeviceOwner = 0;
    unsigned DeviceGroup = 0;
    unsigned Mode = 0; // the file type and permission bits (st_mode)
    std::string OwnerName;
    std::string GroupName;
    unsigned UserId = 0; // effective
    std::string UserName;
    std::vector<unsigned> UserGroups; // of this session: the effective group and the others
    // The user database lists the user in the device's group: true for a user added with
    // usermod whose session began before that.
    bool GroupListsUser = false;
};

// Everything the notes for a port are made of.
struct TPortFacts {
    std::optional<TAccessFacts> Access; // none when the device is not there
    bool Usb = false;                   // the port is a USB-serial adapter
    bool UsbListed = false;             // some listed port is one
    std::vector<std::string> Services;  // the known ones that run (RunningServices)
    int LatencyTimerMs = 0;             // the driver's latency timer; 0: none, or not asked
    std::string LatencyTimerFile;
    std::string Driver;
    bool Baud19200 = false;
};

// What stands in the way of using `device`, as short notes for the settings window: no right
// to open it (with the command that gives it), a service that takes adapters (ModemManager,
// brltty), and a latency timer the driver would not switch off, with its cost per bus word.
// Notes only: nothing here stops the user from trying. Empty when there is nothing to say.
std::vector<std::string> PortNotes(const std::string& device, const TPortFacts& facts);

// Where GatherPortFacts reads sysfs and the processes; tests point them at fake trees.
struct TSystemFolders {
    std::string Sys = "/sys";
    std::string Proc = "/proc";
};
TSystemFolders SetSystemFolders(TSystemFolders folders);

// The facts for `device` from the system, `listed` the port list's ports. The latency timer is
// read only when `lowLatencyRefused` (the port was opened and the driver said no).
TPortFacts GatherPortFacts(const std::string& device, const std::vector<TPortInfo>& listed,
                           bool lowLatencyRefused, bool baud19200);

// The platform's part, one file per system.
std::optional<TAccessFacts> ReadAccessFacts(const std::string& device);
// The names of the known services that take serial adapters among the processes of
// `procFolder`.
std::vector<std::string> RunningServices(const std::string& procFolder);
// The latency timer of the driver behind `device` in ms, 0 when it has none; `file` is
// where it is.
int LatencyTimerMs(const std::string& sysFolder, const std::string& device, std::string& file);

} // namespace serial
