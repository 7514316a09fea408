// The settings file's dealings with the file system on POSIX systems: reading it, links, and
// whether a path is a terminal device (writing it is OutputFilePosix.cpp's).
#include "settings/SettingsFile.h"
#include "settings/SettingsFileSystem.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace bus {

// The file a path leads to through its symbolic links; empty when it leads nowhere.
std::string ResolvedPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

bool ReadFileText(const std::string& path, std::string& text, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    text.clear();
    char buffer[4096];
    while (text.size() < limit) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    if (text.size() > limit)
        text.resize(limit);
    ::close(fd);
    return true;
}

bool IsTerminalDevice(const std::string& path) {
    // Decided without opening the device: opening a serial port raises DTR, which resets
    // some devices behind it.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    const unsigned majorNumber = major(info.st_rdev);
    if (majorNumber >= 136 && majorNumber <= 143) // pseudo-terminal slaves
        return true;
    const std::string subsystem = "/sys/dev/char/" + std::to_string(majorNumber) + ":" +
                                  std::to_string(minor(info.st_rdev)) + "/subsystem";
    char target[PATH_MAX];
    const ssize_t n = ::readlink(subsystem.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return false;
    const std::string_view link(target, static_cast<std::size_t>(n));
    return link.size() >= 4 && link.substr(link.size() - 4) == "/tty";
}

} // namespace bus
