// The facts behind the port notes on Linux: the device's permissions against the user's
// groups, the processes in /proc, and the usb-serial driver's latency timer in sysfs.
#include "serial/PortNotes.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace serial {

namespace fs = std::filesystem;

std::optional<TAccessFacts> ReadAccessFacts(const std::string& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0)
        return std::nullopt;
    TAccessFacts facts;
    facts.DeviceOwner = info.st_uid;
    facts.DeviceGroup = info.st_gid;
    facts.Mode = info.st_mode;
    facts.UserId = ::geteuid();
    const passwd* owner = ::getpwuid(info.st_uid);
    facts.OwnerName = owner ? owner->pw_name : std::to_string(info.st_uid);
    const passwd* user = ::getpwuid(facts.UserId);
    facts.UserName = user ? user->pw_name : std::to_string(facts.UserId);
    const gid_t primary = user ? user->pw_gid : ::getegid();
    if (const group* deviceGroup = ::getgrgid(info.st_gid)) {
        facts.GroupName = deviceGroup->gr_name;
        facts.GroupListsUser = primary == info.st_gid;
        for (char** member = deviceGroup->gr_mem; *member && !facts.GroupListsUser; ++member)
            facts.GroupListsUser = facts.UserName == *member;
    } else {
        facts.GroupName = std::to_string(info.st_gid);
    }
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? static_cast<std::size_t>(count) : 0);
    if (count > 0 && ::getgroups(count, groups.data()) == count)
        facts.UserGroups.assign(groups.begin(), groups.end());
    facts.UserGroups.push_back(::getegid());
    return facts;
}

std::vector<std::string> RunningServices(const std::string& procFolder) {
    static const char* const known[] = {"ModemManager", "brltty"};
    std::vector<std::string> running;
    std::error_code error;
    fs::directory_iterator entries(procFolder, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const std::string pid = entries->path().filename().string();
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit))
            continue;
        std::ifstream commFile(entries->path() / "comm");
        std::string comm;
        std::getline(commFile, comm);
        for (const char* name : known)
            if (comm == name && std::find(running.begin(), running.end(), comm) == running.end())
                running.push_back(comm);
    }
    std::sort(running.begin(), running.end());
    return running;
}

int LatencyTimerMs(const std::string& sysFolder, const std::string& device, std::string& file) {
    std::error_code error;
    const fs::path node = fs::canonical(device, error);
    if (error)
        return 0;
    const fs::path timer =
        fs::path(sysFolder) / "class" / "tty" / node.filename() / "device" / "latency_timer";
    std::ifstream in(timer);
    int ms = 0;
    if (!(in >> ms))
        return 0;
    file = timer.string();
    return ms;
}

} // namespace serial
