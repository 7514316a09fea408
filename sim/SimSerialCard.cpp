#include "sim/SimSerialCard.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

// Pseudo-terminal behaviour this card relies on (Linux, checked by hand and by its tests):
// - tcgetattr and tcsetattr on the master reach the slave's termios, so the master sees the
//   speed the program set on its end, and the card can set up the line before anyone opens it.
// - The slave's termios survive a close and reopen of the slave while the master stays open.
// - A master whose slave was never opened shows nothing in poll(); once every slave
//   descriptor is closed it shows POLLHUP (and read gives EIO) until the slave is opened
//   again. A close followed at once by a reopen therefore leaves no trace on the master,
//   which is why the card learns of opens and closes from inotify on the slave's device node:
//   those events are queued in order and are never lost between two polls.
// - Bytes written to the master while no slave is open wait in the slave's input queue for
//   whoever opens it next.

namespace sim {

namespace {

[[noreturn]] void Fail(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
}

int BaudOf(speed_t speed) {
    switch (speed) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

void CloseFd(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

bool MasterHungUp(int master) {
    pollfd line{master, POLLIN, 0};
    while (poll(&line, 1, 0) < 0)
        if (errno != EINTR)
            return false;
    return (line.revents & POLLHUP) != 0;
}

} // namespace

TSimSerialCard::TSimSerialCard(TTrainBus& bus) : mBus(bus) {
    try {
        mMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (mMaster < 0)
            Fail(errno, "posix_openpt");
        if (grantpt(mMaster) != 0 || unlockpt(mMaster) != 0)
            Fail(errno, "grantpt/unlockpt");
        char name[128];
        if (const int error = ptsname_r(mMaster, name, sizeof name); error != 0)
            Fail(error, "ptsname_r");
        mSlavePath = name;

        // The line starts as a COM port does: raw 8N1 at 9600 baud. A fresh pty echoes and
        // edits lines: the card would read its own answers back, and a client that sets
        // nothing would get its CRs turned into LFs.
        termios line{};
        if (tcgetattr(mMaster, &line) != 0)
            Fail(errno, "tcgetattr");
        cfmakeraw(&line);
        cfsetspeed(&line, B9600);
        line.c_cflag |= CLOCAL | CREAD;
        if (tcsetattr(mMaster, TCSANOW, &line) != 0)
            Fail(errno, "tcsetattr");
        if (fcntl(mMaster, F_SETFL, O_NONBLOCK) != 0)
            Fail(errno, "fcntl");

        mWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (mWatch < 0 || inotify_add_watch(mWatch, name, IN_OPEN | IN_CLOSE) < 0)
            Fail(errno, "inotify");

        int wake[2];
        if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0)
            Fail(errno, "pipe2");
        mWakeRead = wake[0];
        mWakeWrite = wake[1];

        mThread = std::thread(&TSimSerialCard::Run, this);
    } catch (...) {
        CloseFd(mMaster);
        CloseFd(mWatch);
        CloseFd(mWakeRead);
        CloseFd(mWakeWrite);
        throw;
    }
}

TSimSerialCard::~TSimSerialCard() {
    mStop.store(true);
    Wake();
    mThread.join();
    CloseFd(mMaster);
    CloseFd(mWatch);
    CloseFd(mWakeRead);
    CloseFd(mWakeWrite);
}

void TSimSerialCard::SetFaults(const TSerialFaults& faults) {
    {
        std::lock_guard lock(mMutex);
        mFaults = faults;
    }
    Wake();
}

void TSimSerialCard::SetWireTiming(bool on) {
    mWireTiming.store(on);
}

std::chrono::nanoseconds TSimSerialCard::OnLine(int baud, std::size_t bytes) const {
    if (!mWireTiming.load() || baud <= 0)
        return {};
    return std::chrono::nanoseconds(10'000'000'000LL * static_cast<long long>(bytes) / baud);
}

void TSimSerialCard::HoldUntil(TLineTime moment) {
    // A sleep wakes up to some tens of microseconds late (more on a virtual machine), which is
    // several percent of a byte at 19200 baud: sleep until shortly before, then spin.
    constexpr auto Spin = std::chrono::microseconds(150);
    if (std::chrono::steady_clock::now() < moment - Spin)
        std::this_thread::sleep_until(moment - Spin);
    while (std::chrono::steady_clock::now() < moment)
        std::this_thread::yield();
}

TSerialFaults TSimSerialCard::Faults() const {
    std::lock_guard lock(mMutex);
    return mFaults;
}

std::vector<TLineByte> TSimSerialCard::Received() const {
    std::lock_guard lock(mMutex);
    return mReceived;
}

bool TSimSerialCard::WaitForReceived(std::size_t count, std::uint32_t timeoutMs) const {
    std::unique_lock lock(mMutex);
    return mReceivedChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return mReceived.size() >= count; });
}

std::optional<std::uint8_t> TSimSerialCard::Options() const {
    std::lock_guard lock(mMutex);
    return mOptions;
}

void TSimSerialCard::HangUp() {
    {
        std::lock_guard lock(mMutex);
        mHangUpAsked = true;
    }
    Wake();
}

bool TSimSerialCard::HungUp() const {
    std::lock_guard lock(mMutex);
    return mHungUp;
}

void TSimSerialCard::Wake() {
    const char signal = 1;
    // A full pipe already holds a wake-up, so a failed write loses nothing.
    while (write(mWakeWrite, &signal, 1) < 0 && errno == EINTR) {
    }
}

void TSimSerialCard::Run() {
    // Timed waits end when asked, not up to 50 microseconds later (the default slack).
    prctl(PR_SET_TIMERSLACK, 1UL);
    // A card has a processor of its own and answers in its own time, however busy the PC is.
    // Where the system allows it, the thread that stands in for it runs at the lowest real-time
    // priority, so that a loaded machine does not make it late for the program's 100 ms wait
    // for an echo; it sleeps in poll() for everything but a byte's time on the line. Elsewhere
    // it runs as any other thread.
    const sched_param priority{.sched_priority = 1};
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
    while (!mStop.load()) {
        if (HangUpDue())
            CloseLine();
        const bool serving = mMaster >= 0 && mSlaveOpen;
        pollfd fds[3] = {
            {mWakeRead, POLLIN, 0}, {mWatch, POLLIN, 0}, {serving ? mMaster : -1, POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents != 0)
            TakeWakeUps();
        if (fds[1].revents != 0)
            TakeOpenClose();
        if (fds[2].revents != 0)
            ServeLine();
    }
}

void TSimSerialCard::TakeWakeUps() {
    char signals[64];
    while (read(mWakeRead, signals, sizeof signals) > 0) {
    }
}

bool TSimSerialCard::HangUpDue() const {
    std::lock_guard lock(mMutex);
    return mHangUpAsked && !mHungUp;
}

void TSimSerialCard::TakeOpenClose() {
    if (mWatch < 0)
        return;
    alignas(inotify_event) char events[4096];
    bool any = false;
    for (;;) {
        const ssize_t got = read(mWatch, events, sizeof events);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        any = true;
        for (ssize_t offset = 0; offset < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + offset);
            // Unread identical events are merged, so opens and closes cannot be counted. A
            // close may be the last one, and the next open then starts a connection; a close
            // that leaves another client's descriptor open costs that client its connection
            // only when yet another open follows.
            if (event->mask & (IN_CLOSE | IN_Q_OVERFLOW)) {
                mClosedSinceOpen = true;
                if (MasterHungUp(mMaster))
                    DropLeftovers();
            }
            if (event->mask & (IN_OPEN | IN_Q_OVERFLOW)) {
                if (mClosedSinceOpen)
                    StartConnection();
                mClosedSinceOpen = false;
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (any)
        mSlaveOpen = !MasterHungUp(mMaster);
}

void TSimSerialCard::StartConnection() {
    ++mConnection;
    mPhase = TPhase::AwaitOptions;
    mWordBaud = 9600;
    std::lock_guard lock(mMutex);
    mOptions.reset();
}

void TSimSerialCard::DropLeftovers() {
    // What a client wrote and left unread when it closed belongs to no connection; answering
    // it would leave the answer waiting for the next client. Only what is there now is taken
    // (the poll that saw the hang-up has moved everything in flight into the queue), so a
    // client that opens and writes meanwhile keeps its bytes.
    int waiting = 0;
    if (ioctl(mMaster, FIONREAD, &waiting) != 0 || waiting <= 0)
        return;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(waiting));
    std::size_t taken = 0;
    while (taken < bytes.size() && ReadByte(bytes[taken]))
        ++taken;
    const int baud = LineBaud();
    for (std::size_t i = 0; i < taken; ++i)
        Record(bytes[i], baud);
}

void TSimSerialCard::ServeLine() {
    std::uint8_t byte = 0;
    while (!mStop.load() && !HangUpDue()) {
        // The moment the card sees a byte waiting counts as the moment it started on the line
        // (unless the byte before it was still arriving then).
        const TLineTime seen = std::chrono::steady_clock::now();
        // Opens and closes first: they were queued before any byte the new client wrote.
        TakeOpenClose();
        if (mMaster < 0 || !mSlaveOpen)
            return;
        if (!ReadByte(byte))
            return;
        // A pty carries no speed with its bytes, so a byte counts at the speed of the line
        // just after it was taken (looked at before the read, a speed change and a byte that
        // both came after the look would mix). The protocol makes this exact: the program
        // changes speed only once the echo is in, never with a byte on its way.
        const int baud = LineBaud();
        mReceivedUntil = std::max(seen, mReceivedUntil) + OnLine(baud, 1);
        Serve(byte, baud, Record(byte, baud), mReceivedUntil);
    }
}

bool TSimSerialCard::ReadByte(std::uint8_t& byte) {
    for (;;) {
        const ssize_t got = read(mMaster, &byte, 1);
        if (got == 1)
            return true;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EIO)
            mSlaveOpen = false; // every slave descriptor is closed
        return false;
    }
}

int TSimSerialCard::LineBaud() const {
    termios line{};
    if (tcgetattr(mMaster, &line) != 0)
        return 0;
    // The program's output speed is the speed at which its bytes reach the card.
    return BaudOf(cfgetospeed(&line));
}

TSerialFaults TSimSerialCard::Record(std::uint8_t byte, int baud) {
    // The faults in force when the byte is taken apply to it: a test that changes them once
    // it sees the byte taken must not change its fate.
    TSerialFaults faults;
    {
        std::lock_guard lock(mMutex);
        mReceived.push_back({byte, baud});
        faults = mFaults;
    }
    mReceivedChanged.notify_all();
    return faults;
}

void TSimSerialCard::Serve(std::uint8_t byte, int baud, const TSerialFaults& faults,
                           TLineTime arrived) {
    if (faults.Silent || FallsSilent(baud))
        return;
    if (mPhase == TPhase::AwaitOptions) {
        if (baud != 9600)
            return;
        mPhase = TPhase::BusWords;
        mWordBaud = (byte & 0x08) != 0 ? 19200 : 9600;
        {
            std::lock_guard lock(mMutex);
            mOptions = byte;
        }
        const auto echo = faults.WrongEcho ? static_cast<std::uint8_t>(~byte) : byte;
        Answer(echo, faults.EchoDelayMs, faults.ExtraBytes, arrived);
        return;
    }
    if (baud != mWordBaud)
        return;
    bool hangUp = false;
    {
        std::lock_guard lock(mMutex);
        if (mFaults.HangUpAfterWords == 0)
            hangUp = true;
        else if (mFaults.HangUpAfterWords > 0)
            --mFaults.HangUpAfterWords;
    }
    if (hangUp) {
        HoldUntil(arrived);
        CloseLine();
    } else {
        Answer(mBus.ApplyWord(byte), faults.ReplyDelayMs, faults.ExtraBytes, arrived);
    }
}

bool TSimSerialCard::FallsSilent(int baud) {
    if (mPhase != TPhase::BusWords || baud != mWordBaud)
        return false;
    std::lock_guard lock(mMutex);
    if (mFaults.SilentAfterWords > 0)
        --mFaults.SilentAfterWords;
    else if (mFaults.SilentAfterWords == 0) {
        mFaults.SilentAfterWords = -1;
        mFaults.Silent = true;
        return true;
    }
    return false;
}

void TSimSerialCard::Answer(std::uint8_t reply, std::uint32_t delayMs, int extraBytes,
                            TLineTime arrived) {
    std::vector<std::uint8_t> bytes(1 + std::max(0, extraBytes), static_cast<std::uint8_t>(~reply));
    bytes[0] = reply;
    // The answer starts on the line once the word has arrived and the delay has passed, and
    // leaves the card when its last byte is through.
    const TLineTime leaves =
        arrived + std::chrono::milliseconds(delayMs) + OnLine(LineBaud(), bytes.size());
    if (!WaitToAnswer(mConnection, leaves))
        return;
    HoldUntil(leaves);
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t done = write(mMaster, bytes.data() + sent, bytes.size() - sent);
        if (done > 0)
            sent += static_cast<std::size_t>(done);
        else if (!(done < 0 && errno == EINTR))
            return; // the client does not read (its queue is full): the rest is lost
    }
}

bool TSimSerialCard::WaitToAnswer(unsigned connection, TLineTime leaves) {
    // An answer for a client that has closed would wait in the slave's input for the next
    // client (the pty keeps it, and a flush from the master does not reach it), so the card
    // watches the opens and closes until shortly before it writes (the last stretch is
    // held to the microsecond by the caller). A close in the moment between the last look and
    // the write still lets such a byte through.
    constexpr auto Close = std::chrono::microseconds(1200);
    for (;;) {
        TakeOpenClose();
        if (mStop.load() || HangUpDue() || mMaster < 0 || !mSlaveOpen || connection != mConnection)
            return false;
        const auto left = leaves - std::chrono::steady_clock::now();
        if (left < Close)
            return true;
        const auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(
            left - std::chrono::microseconds(200));
        pollfd fds[2] = {{mWakeRead, POLLIN, 0}, {mWatch, POLLIN, 0}};
        if (poll(fds, 2, static_cast<int>(waitMs.count())) > 0 && fds[0].revents != 0)
            TakeWakeUps();
    }
}

void TSimSerialCard::CloseLine() {
    {
        std::lock_guard lock(mMutex);
        mHungUp = true;
        mFaults.HangUpAfterWords = -1;
    }
    // Closing the master hangs up the slave: the program's reads end, its writes fail, and
    // what it had not read yet is gone.
    CloseFd(mMaster);
    CloseFd(mWatch);
    mSlaveOpen = false;
}

} // namespace sim
