#include "bus/SettingsFile.h"

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

namespace {

std::string Upper(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return result;
}

// Blanks are spaces and control characters, as a text editor would leave them.
std::string_view Strip(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return Upper(a) == Upper(b);
}

// A whole decimal number with an optional sign that fits an int.
bool ParseInt(std::string_view text, int& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return false;
    long long result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + (text[i] - '0');
        if (result > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    if (negative)
        result = -result;
    if (result > INT_MAX || result < INT_MIN)
        return false;
    value = static_cast<int>(result);
    return true;
}

// The file a path leads to through its symbolic links; empty when it leads nowhere.
std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

void ApplyPort(const std::string& value, const std::string& rawValue, TSettingsLoad& load,
               const TIsTerminalDevice& isTerminalDevice) {
    for (std::size_t i = 0; i < load.Ports.size(); ++i) {
        if (EqualsNoCase(load.Ports[i], value)) {
            load.Settings.PortIndex = static_cast<int>(i);
            return;
        }
    }
    if (const std::string device =
            rawValue.empty() || rawValue.front() != '/' ? std::string() : RealPath(rawValue);
        !device.empty()) {
        for (std::size_t i = 0; i < load.Ports.size(); ++i) {
            if (load.Ports[i].starts_with('/') && RealPath(load.Ports[i]) == device) {
                load.Settings.PortIndex = static_cast<int>(i);
                return;
            }
        }
    }
    if (!rawValue.empty() && rawValue.front() == '/' && isTerminalDevice &&
        isTerminalDevice(rawValue)) {
        load.Ports.push_back(rawValue);
        load.Settings.PortIndex = static_cast<int>(load.Ports.size() - 1);
        return;
    }
    static const char* const comNames[] = {"COM1", "COM2", "COM3", "COM4"};
    for (int i = 0; i < 4; ++i) {
        if (value == comNames[i]) {
            load.Settings.PortIndex = i < static_cast<int>(load.Ports.size()) ? i : -1;
            return;
        }
    }
}

// Applies one key; false stops the load with `load.Error` set.
bool ApplyKey(const std::string& key, const std::string& value, const std::string& rawValue,
              TSettingsLoad& load, const TIsTerminalDevice& isTerminalDevice) {
    TSettings& s = load.Settings;
    if (key == "METHODE") {
        s.Parallel = value == "PARALLEL";
    } else if (key == "POORT") {
        ApplyPort(value, rawValue, load, isTerminalDevice);
    } else if (key == "CLOCK") {
        for (std::size_t i = 0; i < ClockEntries.size(); ++i)
            if (value == ClockEntries[i])
                s.ClockIndex = static_cast<int>(i);
    } else if (key == "STOP") {
        s.KortsluitStop = value == "TRUE";
    } else if (key == "TIMEOUT") {
        s.TimeOut = value == "TRUE";
    } else if (key == "KORTSLUIT") {
        s.KorsluitMelding = value == "TRUE";
    } else if (key == "BAUDRATE") {
        s.Baudrate19200 = value == "19200";
    } else if (key == "TEST") {
        s.Testen = value == "TRUE";
    } else if (key == "TIJD") {
        int tijd = 0;
        if (!ParseInt(value, tijd)) {
            load.Ok = false;
            load.Error = "'" + value + "' is not a valid integer value";
            return false;
        }
        s.TestTijd = tijd < TestTijdMin ? TestTijdMin : tijd > TestTijdMax ? TestTijdMax : tijd;
    }
    return true;
}

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

TSettingsLoad ReadSettings(std::string_view text, const TSettings& current,
                           std::vector<std::string> ports,
                           const TIsTerminalDevice& isTerminalDevice) {
    TSettingsLoad load;
    load.Settings = current;
    load.Ports = std::move(ports);
    enum class TSection { None, Settings, Other } section = TSection::None;

    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, end);
        if (end == std::string_view::npos) {
            text = {};
        } else {
            const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
            text.remove_prefix(end + (crlf ? 2 : 1));
        }

        const std::string upper = Upper(line);
        if (upper == "[ZELM]")
            section = TSection::Settings;
        else if (upper == "[COUNTER]")
            section = TSection::Other;
        if (section != TSection::Settings)
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string key = Upper(Strip(line.substr(0, equals)));
        const std::string rawValue(Strip(line.substr(equals + 1)));
        if (!ApplyKey(key, Upper(rawValue), rawValue, load, isTerminalDevice))
            break;
    }
    return load;
}

std::string WriteSettings(const TSettings& s, const std::vector<std::string>& ports) {
    const auto yesNo = [](bool on) { return on ? "True" : "False"; };
    const bool portSelected = s.PortIndex >= 0 && s.PortIndex < static_cast<int>(ports.size());
    const bool clockSelected =
        s.ClockIndex >= 0 && s.ClockIndex < static_cast<int>(ClockEntries.size());
    std::string out;
    const auto line = [&out](const std::string& text) { out += text + "\r\n"; };
    line("[ZELM]");
    line(std::string("Methode= ") + (s.Parallel ? "Parallel" : "Serieel"));
    line("Poort= " + (portSelected ? ports[s.PortIndex] : std::string()));
    line("Clock= " + (clockSelected ? ClockEntries[s.ClockIndex] : std::string()));
    line(std::string("Stop= ") + yesNo(s.KortsluitStop));
    line(std::string("Timeout= ") + yesNo(s.TimeOut));
    line(std::string("Kortsluit= ") + yesNo(s.KorsluitMelding));
    line(std::string("Baudrate= ") + (s.Baudrate19200 ? "19200" : "9600"));
    line(std::string("Test= ") + yesNo(s.Testen));
    line("Tijd= " + std::to_string(s.TestTijd));
    line("");
    return out;
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
