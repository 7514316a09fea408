// The settings file's dealings with the file system on POSIX systems: reading, replacing it
// safely, links, and whether a path is a terminal device.
#include "bus/SettingsFile.h"
#include "bus/SettingsFileSystem.h"

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

namespace {

// Follows `path` through symbolic links to the name a plain open would write: a relative
// link target counts from the link's own folder, and a dangling link ends at the name it
// points to. Returns 0 or the reason the chain cannot be followed.
int ResolveLinks(const std::string& path, std::string& target) {
    target = path;
    // The kernel's own limit, so that a chain the program follows is one open would follow.
    for (int hop = 0;; ++hop) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return 0; // whatever is wrong with the name, the save itself reports it
        if (hop == 40)
            return ELOOP;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n < 0)
            return errno;
        if (static_cast<std::size_t>(n) == link.size())
            return ENAMETOOLONG;
        link.resize(static_cast<std::size_t>(n));
        const std::size_t slash = target.rfind('/');
        target = link.front() == '/' || slash == std::string::npos
                     ? link
                     : target.substr(0, slash + 1) + link;
    }
}

// Hands a new file to the owner and group of the one it replaces. Only a privileged process
// may give a file away, but an ordinary user may still give it a group they belong to; a
// refusal leaves the process's own owner, as saving a new file would. EINVAL is a refusal
// too: in a user namespace the old owner may have no id that can be set. Returns 0 or the
// reason it failed.
int KeepOwner(int fd, const struct stat& old) {
    const auto refused = [] { return errno == EPERM || errno == EINVAL; };
    if (::fchown(fd, old.st_uid, old.st_gid) == 0)
        return 0;
    if (!refused())
        return errno;
    if (::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0 || refused())
        return 0;
    return errno;
}

// Writes all of `bytes` at the file's offset. Returns 0 or the reason it stopped.
int WriteAll(int fd, std::string_view bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

// Rewrites an existing file in place, for a file the user may write in a folder where no
// temporary file can be made beside it. A crash part way through leaves an empty or partly
// written file, neither the old one nor the new one, which is why this is only the fallback.
// Returns 0, the reason the rewrite failed, or -1 when the file cannot be opened for it.
int RewriteInPlace(const std::string& path, std::string_view bytes) {
    // Not blocking, so that a named pipe in the file's place cannot hold the save up.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    int code = ::ftruncate(fd, 0) != 0 ? errno : WriteAll(fd, bytes);
    if (code == 0 && ::fsync(fd) != 0)
        code = errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    return code;
}

} // namespace

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

bool ReplaceFile(const std::string& path, std::string_view bytes, std::string& error) {
    const auto fail = [&error](int code) {
        error = std::strerror(code);
        return false;
    };
    // A link stays a link: the file at the end of the chain is replaced, in its own folder.
    std::string target;
    if (const int code = ResolveLinks(path, target))
        return fail(code);

    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = folder + (slash == std::string::npos ? "/." : ".") + name + ".XXXXXX";

    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        const int code = errno;
        if (code != EACCES && code != EPERM && code != EROFS)
            return fail(code);
        const int rewrite = RewriteInPlace(target, bytes);
        // A file that cannot be rewritten either fails for the folder's reason.
        return rewrite == 0 || fail(rewrite < 0 ? code : rewrite);
    }

    // Keep the owner and permissions of the file that is replaced; a new file gets the usual
    // ones.
    struct stat old {};
    mode_t mode = 0666;
    if (::stat(target.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
        if (const int code = KeepOwner(fd, old)) {
            ::close(fd);
            ::unlink(temporary.c_str());
            return fail(code);
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    // After the owner: a change of owner clears the set-user-id and set-group-id bits.
    ::fchmod(fd, mode);

    if (const int code = WriteAll(fd, bytes)) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return fail(code);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return fail(code);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return fail(code);
    }
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
