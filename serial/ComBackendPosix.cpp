// The serial device on Linux: a tty driven through termios, with the time limits of the
// transfers met by poll() against deadlines on the monotonic tick counter.
#include "serial/ComBackendPosix.h"

#include "platform/Messages.h"
#include "platform/Tick.h"
#include "serial/ComError.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace serial {

namespace {

struct TSpeed {
    std::uint32_t Rate;
    speed_t Code;
};

// The speeds termios can name. 14400, 56000, 128000 and 256000 are not among them; asking for
// one is refused as an unsupported line setting.
constexpr TSpeed Speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool SpeedCode(std::uint32_t rate, speed_t& code) {
    for (const TSpeed& speed : Speeds) {
        if (speed.Rate == rate) {
            code = speed.Code;
            return true;
        }
    }
    return false;
}

// Settings that Linux has no counterpart for: DSR flow and sensitivity, DTR handshaking, RTS
// toggling, 1.5 stop bits other than with 5 data bits, CTS output flow without RTS input flow
// or the other way round (CRTSCTS is both at once), and a parity-error replacement other than
// the 0 byte that the kernel puts in.
bool Supported(const TDcb& dcb) {
    return !dcb.fOutxDsrFlow && !dcb.fDsrSensitivity && dcb.fDtrControl <= 1 &&
           dcb.fRtsControl <= 2 && dcb.fOutxCtsFlow == (dcb.fRtsControl == 2) &&
           dcb.ByteSize >= 5 && dcb.ByteSize <= 8 && dcb.Parity <= 4 && dcb.StopBits <= 2 &&
           (dcb.StopBits != 1 || dcb.ByteSize == 5) && (!dcb.fErrorChar || dcb.ErrorChar == 0);
}

tcflag_t SizeFlag(std::uint8_t byteSize) {
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

tcflag_t ParityFlags(std::uint8_t parity) {
    switch (parity) {
    case 1:
        return PARENB | PARODD;
    case 2:
        return PARENB;
    case 3:
        return PARENB | CMSPAR | PARODD;
    case 4:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

// Pseudo-terminals and some adapters have no modem lines and answer the modem ioctls with
// ENOTTY; such a device is treated as one whose lines are off and ignore being driven.
int ModemIoctl(int fd, unsigned long request, int* bits) {
    if (::ioctl(fd, request, bits) == 0 || errno == ENOTTY)
        return 0;
    return errno;
}

int DriveLine(int fd, int line, bool on) {
    int bits = line;
    return ModemIoctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

// USB-serial drivers hold received bytes back (an FTDI chip for 16 ms) unless low latency is
// on; a one-byte answer would wait that long. Best effort: drivers without it say no, and
// some take the flag without keeping it, so it is read back. Returns whether it is on.
bool AskLowLatency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0)
        return false;
    if ((info.flags & ASYNC_LOW_LATENCY) != 0)
        return true;
    info.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &info) == 0 && ::ioctl(fd, TIOCGSERIAL, &info) == 0 &&
           (info.flags & ASYNC_LOW_LATENCY) != 0;
}

// Milliseconds left of `limit` counted from `start`, at least 0.
int Remaining(std::uint32_t start, std::int64_t limit) {
    const std::int64_t elapsed = static_cast<std::uint32_t>(platform::GetTickCount() - start);
    return static_cast<int>(std::clamp<std::int64_t>(limit - elapsed, 0, INT_MAX));
}

// One poll for `events`; -1 waits without a limit. EINTR counts as a wake-up with nothing to
// report, so that the caller looks at its deadlines again.
int Await(int fd, short events, int timeout, short& revents) {
    pollfd entry{fd, events, 0};
    revents = 0;
    const int result = ::poll(&entry, 1, timeout);
    if (result < 0)
        return errno == EINTR ? 0 : errno;
    revents = entry.revents;
    return (revents & POLLNVAL) != 0 ? EBADF : 0;
}

} // namespace

bool MakeTermios(const TDcb& dcb, termios& settings) {
    speed_t speed{};
    if (!Supported(dcb) || !SpeedCode(dcb.BaudRate, speed))
        return false;
    // Raw bytes both ways. Without INPCK a byte with a parity error is passed on as it came,
    // as the original platform does when it only checks; with INPCK (replacing) the kernel
    // hands in a 0 byte instead. XonLim, XoffLim and TxContinueOnXoff have no counterpart:
    // the kernel keeps its own thresholds and keeps sending after it has sent an XOFF.
    settings.c_iflag = (dcb.fOutX ? IXON : 0) | (dcb.fInX ? IXOFF : 0) |
                       (dcb.fParity && dcb.fErrorChar ? INPCK : 0);
    settings.c_oflag = 0;
    settings.c_lflag = 0;
    settings.c_cflag = CREAD | CLOCAL | HUPCL | SizeFlag(dcb.ByteSize) | ParityFlags(dcb.Parity) |
                       (dcb.StopBits != 0 ? CSTOPB : 0) | (dcb.fOutxCtsFlow ? CRTSCTS : 0);
    // VMIN 1: with VMIN 0 an empty non-blocking read returns 0 instead of EAGAIN, and 0 must
    // mean hang-up.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    settings.c_cc[VSTART] = dcb.XonChar;
    settings.c_cc[VSTOP] = dcb.XoffChar;
    return ::cfsetispeed(&settings, speed) == 0 && ::cfsetospeed(&settings, speed) == 0;
}

namespace {

class TPosixComBackend final : public TComBackend {
public:
    ~TPosixComBackend() override { Close(); }

    int Open(const std::string& port) override {
        if (mFd >= 0)
            return EBUSY;
        mLowLatencyRefused = false;
        const std::string path = DeviceName(port);
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno;
        // TIOCEXCL keeps other programs out but not root; the lock covers root as well, for
        // programs that ask for it. A held lock reads as "device busy".
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int code = errno == EWOULDBLOCK ? EBUSY : errno;
            ::close(fd);
            return code;
        }
        termios settings{};
        if (::tcgetattr(fd, &settings) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
            const int code = errno;
            ::close(fd);
            return code;
        }
        mLowLatencyRefused = !AskLowLatency(fd);
        mFd = fd;
        return 0;
    }

    void Close() override {
        if (mFd < 0)
            return;
        // close() waits for unsent output, on a serial port up to 30 s when flow control holds
        // the line; give the output a short while and discard the rest.
        const std::uint32_t start = platform::GetTickCount();
        int pending = 0;
        while (::ioctl(mFd, TIOCOUTQ, &pending) == 0 && pending > 0 &&
               Remaining(start, DrainLimit) > 0)
            platform::Sleep(1);
        ::tcflush(mFd, TCOFLUSH);
        ::close(mFd);
        mFd = -1;
    }

    int SetQueueSizes(std::int32_t, std::int32_t) override {
        // The tty layer has fixed queues; the sizes only matter for XonLim and XoffLim.
        return mFd < 0 ? EBADF : 0;
    }

    int SetLine(const TDcb& dcb) override {
        if (mFd < 0)
            return EBADF;
        termios settings{};
        if (::tcgetattr(mFd, &settings) != 0)
            return errno;
        if (!MakeTermios(dcb, settings))
            return EINVAL;
        if (::tcsetattr(mFd, TCSANOW, &settings) != 0)
            return errno;
        if (const int code = DriveLine(mFd, TIOCM_DTR, dcb.fDtrControl == 1))
            return code;
        if (dcb.fRtsControl != 2) {
            if (const int code = DriveLine(mFd, TIOCM_RTS, dcb.fRtsControl == 1))
                return code;
        }
        mDiscardNull = dcb.fNull;
        return 0;
    }

    int SetTimeouts(const TCommTimeouts& timeouts) override {
        if (mFd < 0)
            return EBADF;
        mTimeouts = timeouts;
        return 0;
    }

    int Write(const char* data, std::int32_t count, std::int32_t& written) override {
        written = 0;
        if (mFd < 0)
            return EBADF;
        const auto multiplier = static_cast<std::int32_t>(mTimeouts.WriteTotalTimeoutMultiplier);
        const auto constant = static_cast<std::int32_t>(mTimeouts.WriteTotalTimeoutConstant);
        const std::int64_t limit = std::int64_t{multiplier} * count + constant;
        const bool limited = limit > 0;
        const std::uint32_t start = platform::GetTickCount();
        while (written < count) {
            const ssize_t sent = ::write(mFd, data + written, count - written);
            if (sent > 0) {
                written += static_cast<std::int32_t>(sent);
                continue;
            }
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent < 0 && errno != EAGAIN)
                return errno;
            const int timeout = limited ? Remaining(start, limit) : -1;
            if (timeout == 0)
                return 0;
            short revents = 0;
            if (const int code = Await(mFd, POLLOUT, timeout, revents))
                return code;
            if ((revents & (POLLHUP | POLLERR)) != 0)
                return EIO;
        }
        return 0;
    }

    int Read(char* data, std::int32_t count, std::int32_t& received) override {
        received = 0;
        if (mFd < 0)
            return EBADF;
        const auto interval = static_cast<std::int32_t>(mTimeouts.ReadIntervalTimeout);
        const auto multiplier = static_cast<std::int32_t>(mTimeouts.ReadTotalTimeoutMultiplier);
        const auto constant = static_cast<std::int32_t>(mTimeouts.ReadTotalTimeoutConstant);
        const bool atOnce = interval == -1 && multiplier == 0 && constant == 0;
        const std::int64_t total = std::int64_t{multiplier} * count + constant;
        const std::uint32_t start = platform::GetTickCount();
        std::uint32_t lastByte = start;
        for (;;) {
            short revents = 0;
            // Wait before reading, not after a read that found nothing: an answer is hardly
            // ever there yet when a read begins, and the spare read would cost a system call
            // in every exchange.
            if (!atOnce) {
                int timeout = -1;
                if (total > 0) {
                    timeout = Remaining(start, total);
                    if (timeout == 0)
                        return LastLook(data, count, received, lastByte);
                }
                if (interval > 0 && received > 0) {
                    const int quiet = Remaining(lastByte, interval);
                    if (quiet == 0)
                        return LastLook(data, count, received, lastByte);
                    timeout = timeout < 0 ? quiet : std::min(timeout, quiet);
                }
                if (const int code = Await(mFd, POLLIN, timeout, revents))
                    return code;
                if (revents == 0)
                    continue;
            }
            bool arrived = false;
            if (const int code = TakeWaiting(data, count, received, lastByte, arrived))
                return code;
            if (received == count || atOnce)
                return 0;
            // Readiness that brought nothing, together with a hang-up or an error report:
            // the device is gone (a pseudo-terminal's far end closed, a USB adapter pulled).
            if (!arrived && (revents & (POLLHUP | POLLERR)) != 0)
                return EIO;
        }
    }

    int Purge(std::uint32_t flags) override {
        if (mFd < 0)
            return EBADF;
        // Transfers run to completion inside Read and Write on the caller's thread, so none
        // is ever in progress to abort; only the clear flags have work to do.
        // Clearing the output queue has nothing to clear either: a Windows write completes
        // once its bytes have left the driver, so a purge never takes back what was written.
        // Here a write returns with its bytes still in the tty's queue (or, on a
        // pseudo-terminal, still on their way to the far end), and TCOFLUSH would drop
        // the words that the bus path sends back to back, each after a purge of both queues.
        if ((flags & PurgeRxClear) == 0)
            return 0;
        return ::tcflush(mFd, TCIFLUSH) == 0 ? 0 : errno;
    }

    int SetDtr(bool on) override { return mFd < 0 ? EBADF : DriveLine(mFd, TIOCM_DTR, on); }

    int ModemStatus(std::uint32_t& status) override {
        status = 0;
        if (mFd < 0)
            return EBADF;
        int lines = 0;
        if (const int code = ModemIoctl(mFd, TIOCMGET, &lines))
            return code;
        status = ((lines & TIOCM_CTS) ? ModemCtsOn : 0) | ((lines & TIOCM_DSR) ? ModemDsrOn : 0) |
                 ((lines & TIOCM_RNG) ? ModemRingOn : 0) | ((lines & TIOCM_CD) ? ModemRlsdOn : 0);
        return 0;
    }

    std::intptr_t Handle() const override { return mFd; }
    bool LowLatencyRefused() const override { return mLowLatencyRefused; }

    int LineFailure() override {
        if (mFd < 0)
            return EBADF;
        short revents = 0;
        if (const int code = Await(mFd, POLLIN, 0, revents))
            return code;
        // A hung-up tty reports readiness as well; waiting bytes alone are no failure.
        return (revents & (POLLHUP | POLLERR)) != 0 ? EIO : 0;
    }

private:
    // Ample for the last bus words to leave at 9600 baud (about 1 ms a byte).
    static constexpr std::int64_t DrainLimit = 200;

    // At a deadline, what is waiting already came in time: a thread that got the processor
    // back only after the deadline (a busy machine) must not call an answer late that was
    // there before it. So a read takes what waits once more before it ends.
    int LastLook(char* data, std::int32_t count, std::int32_t& received, std::uint32_t& lastByte) {
        bool arrived = false;
        return TakeWaiting(data, count, received, lastByte, arrived);
    }

    // One read of what the driver holds, up to `count`; `arrived` tells whether anything
    // came. A tty read hands over all that waits, up to the size asked, so one is enough.
    int TakeWaiting(char* data, std::int32_t count, std::int32_t& received, std::uint32_t& lastByte,
                    bool& arrived) {
        ssize_t got = 0;
        do
            got = ::read(mFd, data + received, static_cast<std::size_t>(count - received));
        while (got < 0 && errno == EINTR);
        if (got < 0)
            return errno == EAGAIN ? 0 : errno;
        if (got == 0)
            return EIO; // end of file on a tty: hung up
        arrived = true;
        std::int32_t kept = static_cast<std::int32_t>(got);
        if (mDiscardNull) {
            char* begin = data + received;
            kept = static_cast<std::int32_t>(std::remove(begin, begin + got, '\0') - begin);
        }
        if (kept > 0) {
            received += kept;
            lastByte = platform::GetTickCount();
        }
        return 0;
    }

    int mFd = -1;
    bool mLowLatencyRefused = false;
    TCommTimeouts mTimeouts{};
    bool mDiscardNull = false;
};

bool EqualsIgnoringCase(const std::string& text, std::size_t length, const char* prefix) {
    for (std::size_t i = 0; i < length; ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

} // namespace

std::unique_ptr<TComBackend> CreatePlatformComBackend() {
    return std::make_unique<TPosixComBackend>();
}

// Settings files written on Windows name ports COM1, COM2, ...; the first of them is ttyS0.
std::string DeviceName(const std::string& port) {
    if (!port.empty() && port.front() == '/')
        return port;
    const std::size_t digits = port.size() > 3 ? port.size() - 3 : 0;
    if (digits > 0 && digits <= 6 && EqualsIgnoringCase(port, 3, "COM") &&
        std::all_of(port.begin() + 3, port.end(),
                    [](unsigned char c) { return std::isdigit(c) != 0; })) {
        const int number = std::stoi(port.substr(3));
        if (number >= 1)
            return "/dev/ttyS" + std::to_string(number - 1);
    }
    return "/dev/" + port;
}

std::string UserExplanation(const EComPort& error) {
    switch (error.SystemCode) {
    case EACCES:
    case EPERM:
        return platform::Tr("Geen toegang tot de seriële poort. Voeg de gebruiker toe aan de "
                            "groep dialout (sudo usermod -aG dialout $USER) en meld opnieuw aan.");
    case EBUSY:
        return platform::Tr("De seriële poort is in gebruik door een ander programma. Sluit dat "
                            "programma en probeer het opnieuw.");
    case EIO:
        return platform::Tr("De verbinding met de seriële poort is verbroken. Is de USB-seriële "
                            "adapter losgetrokken? Sluit hem weer aan, kies de poort in "
                            "Instellingen > Status... en druk op OK.");
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return platform::Tr("Deze seriële poort bestaat niet op deze computer. Kies een andere "
                            "poort of sluit de USB-seriële adapter aan.");
    default:
        return {};
    }
}

} // namespace serial
