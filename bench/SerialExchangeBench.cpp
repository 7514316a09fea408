// One bus-word exchange on a pseudo-terminal whose master end echoes every byte: purge both
// queues, write one byte, read the one-byte answer. The same exchange runs through the port
// component (with the serial-card link's settings), through a bare termios + poll loop, and
// through libserialport, so the component's overhead can be read off against both.
#include "serial/ComPort.h"

#include <benchmark/benchmark.h>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <libserialport.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

// libserialport refuses to open a device whose modem-line ioctls answer ENOTTY, as every
// pseudo-terminal's do. Interposed here, such a device reads its lines as off, which is what
// the port component does by itself.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    using TIoctl = int (*)(int, unsigned long, ...);
    static const auto real = reinterpret_cast<TIoctl>(dlsym(RTLD_NEXT, "ioctl"));
    const int result = real(fd, request, argument);
    const bool modemLines =
        request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
    if (result == 0 || errno != ENOTTY || !modemLines)
        return result;
    if (request == TIOCMGET)
        *static_cast<int*>(argument) = 0;
    return 0;
}

namespace {

// A pseudo-terminal and a thread on its master end that sends back every byte it receives.
class TEchoLine {
public:
    TEchoLine() {
        mMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (mMaster < 0 || grantpt(mMaster) != 0 || unlockpt(mMaster) != 0 || pipe(mStop) != 0)
            throw std::runtime_error("no pseudo-terminal");
        mPath = ptsname(mMaster);
        mThread = std::thread([this] { Echo(); });
    }
    ~TEchoLine() {
        const char stop = 0;
        (void)!write(mStop[1], &stop, 1);
        mThread.join();
        close(mStop[0]);
        close(mStop[1]);
        close(mMaster);
    }

    const std::string& Path() const { return mPath; }

private:
    void Echo() {
        pollfd entries[2] = {{mMaster, POLLIN, 0}, {mStop[0], POLLIN, 0}};
        char buffer[256];
        while (poll(entries, 2, -1) >= 0 && entries[1].revents == 0) {
            if ((entries[0].revents & POLLIN) == 0)
                continue;
            const ssize_t got = read(mMaster, buffer, sizeof buffer);
            if (got > 0)
                (void)!write(mMaster, buffer, static_cast<std::size_t>(got));
        }
    }

    int mMaster = -1;
    int mStop[2] = {-1, -1};
    std::string mPath;
    std::thread mThread;
};

void ComPortExchange(benchmark::State& state) {
    TEchoLine line;
    serial::TComPort port;
    port.SetPort(line.Path());
    port.BeginConfiguration();
    port.SetBaudRate(serial::br9600);
    port.FlowControl().SetFlowControl(serial::fcNone);
    port.FlowControl().SetControlDTR(serial::dtrEnable);
    port.Timeouts().SetReadInterval(10);
    port.Timeouts().SetReadTotalMultiplier(0);
    port.Timeouts().SetReadTotalConstant(100);
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(100);
    port.EndConfiguration();
    port.OpenPort();
    const std::string word(1, '\x85');
    std::string answer;
    for (auto _ : state) {
        port.PurgeQueues(true, true);
        if (port.WriteText(word) != 1 || port.ReadText(answer, 1) != 1 || answer != word) {
            state.SkipWithError("no echo");
            break;
        }
    }
}

void BareTermiosExchange(benchmark::State& state) {
    TEchoLine line;
    const int fd = open(line.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios settings{};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    cfsetspeed(&settings, B9600);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &settings);
    for (auto _ : state) {
        tcflush(fd, TCIOFLUSH);
        char byte = '\x85';
        pollfd entry{fd, POLLIN, 0};
        if (write(fd, &byte, 1) != 1 || poll(&entry, 1, 100) != 1 || read(fd, &byte, 1) != 1) {
            state.SkipWithError("no echo");
            break;
        }
    }
    close(fd);
}

void LibserialportExchange(benchmark::State& state) {
    TEchoLine line;
    // libserialport takes only names below /dev/ whose last part is listed in
    // /sys/class/tty; a pseudo-terminal is neither. The name below climbs out of both
    // folders to a link to the pseudo-terminal.
    const auto folder =
        std::filesystem::temp_directory_path() / ("morvelplint-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto link = folder / "pty";
    std::filesystem::remove(link);
    std::filesystem::create_symlink(line.Path(), link);
    const std::string name = "/dev/../../.." + link.string();

    sp_port* port = nullptr;
    if (sp_get_port_by_name(name.c_str(), &port) != SP_OK ||
        sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
        state.SkipWithError("libserialport cannot open the pseudo-terminal");
        sp_free_port(port);
        std::filesystem::remove_all(folder);
        return;
    }
    sp_set_baudrate(port, 9600);
    sp_set_bits(port, 8);
    sp_set_parity(port, SP_PARITY_NONE);
    sp_set_stopbits(port, 1);
    sp_set_flowcontrol(port, SP_FLOWCONTROL_NONE);
    for (auto _ : state) {
        sp_flush(port, SP_BUF_BOTH);
        unsigned char byte = 0x85;
        if (sp_blocking_write(port, &byte, 1, 100) != 1 ||
            sp_blocking_read(port, &byte, 1, 100) != 1) {
            state.SkipWithError("no echo");
            break;
        }
    }
    sp_close(port);
    sp_free_port(port);
    std::filesystem::remove_all(folder);
}

} // namespace

BENCHMARK(ComPortExchange)->UseRealTime()->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(BareTermiosExchange)->UseRealTime()->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(LibserialportExchange)->UseRealTime()->Repetitions(15)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
