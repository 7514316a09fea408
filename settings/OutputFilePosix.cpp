// Writing the program's files on POSIX systems: a regular file replaced in one step, anything
// else written where it is, and every write checked to its end.
#include "platform/Messages.h"
#include "platform/Tick.h"
#include "settings/OutputFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bus {

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

std::string FolderOf(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
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

// Flushes a file to the disc and closes it, whichever fails first giving the reason.
int SyncAndClose(int fd) {
    int code = ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    return code;
}

// Rewrites an existing file in place, for a file the user may write in a folder where no
// temporary file can be made beside it. A crash part way through leaves an empty or partly
// written file, neither the old one nor the new one, which is why this is only the fallback.
// Returns the open file (truncated) or -1 when it cannot be opened for it.
int OpenInPlace(const std::string& path) {
    // Not blocking, so that a named pipe in the file's place cannot hold the save up.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// A new file beside `target` that will take its place: the owner and permissions of the file
// it replaces, or the usual ones for a new file. Returns the open file or -1 with `code` set;
// `code` EACCES, EPERM or EROFS means that the folder takes no new file.
int OpenTemporary(const std::string& target, std::string& temporary, int& code) {
    const std::size_t slash = target.rfind('/');
    temporary = slash == std::string::npos
                    ? "." + target + ".XXXXXX"
                    : target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        code = errno;
        return -1;
    }
    struct stat old {};
    mode_t mode = 0666;
    if (::stat(target.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
        if ((code = KeepOwner(fd, old)) != 0) {
            ::close(fd);
            ::unlink(temporary.c_str());
            return -1;
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    // After the owner: a change of owner clears the set-user-id and set-group-id bits.
    ::fchmod(fd, mode);
    code = 0;
    return fd;
}

bool FolderRefuses(int code) {
    return code == EACCES || code == EPERM || code == EROFS;
}

// The descriptor a name stands for: standard output for "-", and the descriptors that
// /dev/stdout, /dev/stderr and /dev/fd/N name; -1 for any other name. Written to directly, so
// that a pipe, a terminal or a file opened for appending gets the bytes as the shell set it up.
int DescriptorOf(const std::string& path) {
    if (path == "-" || path == "/dev/stdout")
        return STDOUT_FILENO;
    if (path == "/dev/stderr")
        return STDERR_FILENO;
    for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (!path.starts_with(prefix) || path.size() == prefix.size() ||
            path.size() > prefix.size() + 6)
            continue;
        int fd = 0;
        for (const char c : std::string_view(path).substr(prefix.size())) {
            if (c < '0' || c > '9')
                return -1;
            fd = fd * 10 + (c - '0');
        }
        return fd;
    }
    return -1;
}

// An output written where it is: a descriptor the program was given, a FIFO (opened once its
// reader has come), a character device or a terminal.
class TInPlaceOutput final : public TOutputStream {
public:
    // Writes to an open descriptor of the process's (a copy of it, closed at the end).
    explicit TInPlaceOutput(int descriptor) : mFd(::fcntl(descriptor, F_DUPFD_CLOEXEC, 3)) {
        if (mFd < 0)
            mOpenError = errno;
        else
            NoteKind();
    }
    // Opens `path`; a FIFO without a reader yet is opened by a later write.
    explicit TInPlaceOutput(std::string path) : mPath(std::move(path)) { TryOpen(); }

    ~TInPlaceOutput() override {
        if (mFd >= 0)
            ::close(mFd);
    }

    // The reason the output cannot be opened at all, or 0.
    int OpenError() const { return mOpenError; }
    void SetHead(std::string_view head) { mHead = head; }

    std::ptrdiff_t WriteSome(std::string_view bytes, int waitMs, std::string& error) override {
        const std::uint32_t start = platform::GetTickCount();
        const auto left = [&] {
            const std::uint32_t passed = platform::GetTickCount() - start;
            return passed >= static_cast<std::uint32_t>(waitMs) ? 0
                                                                : waitMs - static_cast<int>(passed);
        };
        while (mFd < 0) {
            if (mOpenError != 0)
                return Fail(mOpenError, error);
            if (TryOpen())
                break;
            if (left() == 0)
                return 0;
            platform::Sleep(left() < 50 ? static_cast<std::uint32_t>(left()) : 50);
        }
        for (;;) {
            std::string_view chunk = mHead.empty() ? bytes : std::string_view(mHead);
            if (chunk.empty())
                return 0;
            if (!mRegular) {
                // A pipe with room for a page takes a page without blocking.
                if (chunk.size() > PIPE_BUF)
                    chunk = chunk.substr(0, PIPE_BUF);
                pollfd ready{mFd, POLLOUT, 0};
                const int polled = ::poll(&ready, 1, left());
                if (polled < 0 && errno == EINTR)
                    continue;
                if (polled < 0)
                    return Fail(errno, error);
                if (polled == 0)
                    return 0;
            }
            const ssize_t n = ::write(mFd, chunk.data(), chunk.size());
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n < 0)
                return Fail(errno, error);
            if (mHead.empty())
                return n;
            mHead.erase(0, static_cast<std::size_t>(n));
        }
    }

    bool Close(std::string& error) override {
        if (mFd < 0)
            return mOpenError == 0 || Fail(mOpenError, error) == 0;
        // A FIFO, a terminal or a device has nothing to flush to a disc.
        int code = mRegular && ::fsync(mFd) != 0 && errno != EINVAL ? errno : 0;
        if (::close(mFd) != 0 && code == 0)
            code = errno;
        mFd = -1;
        return code == 0 || Fail(code, error) == 0;
    }

private:
    static std::ptrdiff_t Fail(int code, std::string& error) {
        error = std::strerror(code);
        return -1;
    }

    bool TryOpen() {
        mFd = ::open(mPath.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (mFd < 0) {
            // A FIFO without a reader; its reader may come later.
            if (errno != ENXIO)
                mOpenError = errno;
            return false;
        }
        // Blocking again: the writes wait for room through poll() and take a page at a time.
        ::fcntl(mFd, F_SETFL, ::fcntl(mFd, F_GETFL) & ~O_NONBLOCK);
        NoteKind();
        return true;
    }

    void NoteKind() {
        struct stat info {};
        mRegular = ::fstat(mFd, &info) == 0 && S_ISREG(info.st_mode);
    }

    std::string mPath;
    int mFd = -1;
    int mOpenError = 0;
    bool mRegular = false;
    std::string mHead;
};

// A regular file that was replaced by a new one at the start and grows from there.
class TFileOutput final : public TOutputStream {
public:
    explicit TFileOutput(int fd) : mFd(fd) {}
    ~TFileOutput() override {
        if (mFd >= 0)
            ::close(mFd);
    }

    std::ptrdiff_t WriteSome(std::string_view bytes, int, std::string& error) override {
        if (const int code = WriteAll(mFd, bytes)) {
            error = std::strerror(code);
            return -1;
        }
        return static_cast<std::ptrdiff_t>(bytes.size());
    }

    bool Close(std::string& error) override {
        const int code = SyncAndClose(mFd);
        mFd = -1;
        if (code != 0)
            error = std::strerror(code);
        return code == 0;
    }

private:
    int mFd;
};

// Whether `path` leads to something that exists and is written where it is (not a regular
// file), or to a folder (`code` EISDIR).
bool WrittenInPlace(const std::string& path, int& code) {
    code = 0;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode))
        return false;
    if (S_ISDIR(info.st_mode))
        code = EISDIR;
    return true;
}

std::unique_ptr<TInPlaceOutput> InPlaceOutput(const std::string& path) {
    const int descriptor = DescriptorOf(path);
    return descriptor >= 0 ? std::make_unique<TInPlaceOutput>(descriptor)
                           : std::make_unique<TInPlaceOutput>(path);
}

} // namespace

bool IsStandardOutput(const std::string& path) {
    return DescriptorOf(path) == STDOUT_FILENO;
}

bool CheckOutputFile(const std::string& path, std::string& error) {
    const auto fail = [&error](int code, const std::string& where = {}) {
        error = (where.empty() ? "" : where + ": ") + std::strerror(code);
        return false;
    };
    if (const int descriptor = DescriptorOf(path); descriptor >= 0) {
        const int flags = ::fcntl(descriptor, F_GETFL);
        return (flags >= 0 && (flags & O_ACCMODE) != O_RDONLY) || fail(EBADF);
    }
    int code = 0;
    if (WrittenInPlace(path, code))
        return code == 0 ? (::access(path.c_str(), W_OK) == 0 || fail(errno)) : fail(code);
    std::string target;
    if ((code = ResolveLinks(path, target)) != 0)
        return fail(code);
    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (!exists && errno != ENOENT)
        return fail(errno);
    const std::string folder = FolderOf(target);
    struct stat folderInfo {};
    if (::stat(folder.c_str(), &folderInfo) != 0)
        return fail(errno, folder);
    if (!S_ISDIR(folderInfo.st_mode))
        return fail(ENOTDIR, folder);
    if (::access(folder.c_str(), W_OK | X_OK) == 0)
        return true;
    code = errno;
    // A file the user may write is rewritten in place where its folder takes no new file.
    if (exists && FolderRefuses(code) && ::access(target.c_str(), W_OK) == 0)
        return true;
    return fail(code, folder);
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

    std::string temporary;
    int code = 0;
    const int fd = OpenTemporary(target, temporary, code);
    if (fd < 0) {
        if (!FolderRefuses(code))
            return fail(code);
        const int file = OpenInPlace(target);
        // A file that cannot be rewritten either fails for the folder's reason.
        if (file < 0)
            return fail(code);
        code = WriteAll(file, bytes);
        const int closed = SyncAndClose(file);
        return (code == 0 && closed == 0) || fail(code != 0 ? code : closed);
    }
    code = WriteAll(fd, bytes);
    const int closed = SyncAndClose(fd);
    if (code == 0)
        code = closed;
    if (code == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        code = errno;
    if (code != 0) {
        ::unlink(temporary.c_str());
        return fail(code);
    }
    return true;
}

bool SaveFile(const std::string& path, std::string_view bytes, std::string& error) {
    int code = 0;
    if (DescriptorOf(path) < 0 && !WrittenInPlace(path, code))
        return ReplaceFile(path, bytes, error);
    if (code != 0) {
        error = std::strerror(code);
        return false;
    }
    const std::unique_ptr<TInPlaceOutput> output = InPlaceOutput(path);
    std::uint32_t lastProgress = platform::GetTickCount();
    while (!bytes.empty()) {
        const std::ptrdiff_t n = output->WriteSome(bytes, 100, error);
        if (n < 0)
            return false;
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            lastProgress = platform::GetTickCount();
        } else if (platform::TicksPassed(lastProgress, StallLimitMs)) {
            char text[128];
            std::snprintf(text, sizeof text, platform::Tr("niemand las er %d s lang iets van"),
                          StallLimitMs / 1000);
            error = text;
            return false;
        }
    }
    return output->Close(error);
}

std::unique_ptr<TOutputStream> OpenOutputStream(const std::string& path, std::string_view head,
                                                std::string& error) {
    int code = 0;
    if (DescriptorOf(path) >= 0 || WrittenInPlace(path, code)) {
        if (code != 0) {
            error = std::strerror(code);
            return nullptr;
        }
        auto output = InPlaceOutput(path);
        if (output->OpenError() != 0) {
            error = std::strerror(output->OpenError());
            return nullptr;
        }
        output->SetHead(head);
        return output;
    }
    std::string target;
    if ((code = ResolveLinks(path, target)) != 0) {
        error = std::strerror(code);
        return nullptr;
    }
    // The head in a new file that then takes the old one's place: a stream that cannot even
    // begin leaves the old file as it was.
    std::string temporary;
    int fd = OpenTemporary(target, temporary, code);
    if (fd < 0) {
        temporary.clear();
        if (FolderRefuses(code))
            fd = OpenInPlace(target);
        if (fd < 0) {
            error = std::strerror(code);
            return nullptr;
        }
    }
    code = WriteAll(fd, head);
    if (code == 0 && !temporary.empty()) {
        if (::fsync(fd) != 0 || ::rename(temporary.c_str(), target.c_str()) != 0)
            code = errno;
    }
    if (code != 0) {
        ::close(fd);
        if (!temporary.empty())
            ::unlink(temporary.c_str());
        error = std::strerror(code);
        return nullptr;
    }
    return std::make_unique<TFileOutput>(fd);
}

} // namespace bus
