#pragma once

#include "platform/Tick.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

// A pseudo-terminal whose master end the test drives, standing in for the far end of a serial
// line; the port opens the slave end by its path. No test touches a real serial device.
class TPty {
public:
    TPty() {
        mMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (mMaster < 0 || grantpt(mMaster) != 0 || unlockpt(mMaster) != 0)
            throw std::runtime_error("no pseudo-terminal");
        mPath = ptsname(mMaster);
        fcntl(mMaster, F_SETFL, fcntl(mMaster, F_GETFL) | O_NONBLOCK);
    }
    ~TPty() { CloseMaster(); }
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    const std::string& Path() const { return mPath; }
    int Master() const { return mMaster; }

    // Puts bytes on the line towards the port.
    void Send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t sent = ::write(mMaster, bytes.data() + done, bytes.size() - done);
            if (sent > 0)
                done += static_cast<std::size_t>(sent);
            else if (sent < 0 && errno != EINTR && errno != EAGAIN)
                throw std::runtime_error("pty master write failed");
        }
    }

    // What the port has sent, until `count` bytes have come or `ms` have passed.
    std::string Receive(std::size_t count, std::uint32_t ms = 1000) {
        std::string bytes;
        const std::uint32_t start = platform::GetTickCount();
        while (bytes.size() < count && !platform::TicksPassed(start, ms)) {
            char buffer[4096];
            const ssize_t got =
                ::read(mMaster, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (got > 0) {
                bytes.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            pollfd entry{mMaster, POLLIN, 0};
            ::poll(&entry, 1, 5);
        }
        return bytes;
    }

    // Reads and drops everything the port has sent so far.
    std::size_t Drain() {
        std::size_t total = 0;
        char buffer[65536];
        ssize_t got = 0;
        while ((got = ::read(mMaster, buffer, sizeof buffer)) > 0)
            total += static_cast<std::size_t>(got);
        return total;
    }

    // Hangs the line up: the port's side sees the far end gone.
    void CloseMaster() {
        if (mMaster >= 0)
            ::close(mMaster);
        mMaster = -1;
    }

private:
    int mMaster = -1;
    std::string mPath;
};
