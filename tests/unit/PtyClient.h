#pragma once

#include "platform/Tick.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

// The program's end of a pseudo-terminal, opened and set up the way a COM port is: raw 8N1
// at a given speed. Every wait is bounded, so a card that does not answer fails a test
// instead of hanging it.
class TPtyClient {
public:
    explicit TPtyClient(const std::string& path, speed_t speed = B9600) {
        mFd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (mFd < 0) {
            ADD_FAILURE() << "cannot open " << path << ": errno " << errno;
            return;
        }
        SetSpeed(speed);
    }
    ~TPtyClient() { Close(); }

    TPtyClient(const TPtyClient&) = delete;
    TPtyClient& operator=(const TPtyClient&) = delete;

    bool IsOpen() const { return mFd >= 0; }

    void Close() {
        if (mFd >= 0)
            close(mFd);
        mFd = -1;
    }

    void SetSpeed(speed_t speed) {
        termios line{};
        ASSERT_EQ(tcgetattr(mFd, &line), 0);
        cfmakeraw(&line);
        cfsetspeed(&line, speed);
        line.c_cflag |= CLOCAL | CREAD;
        ASSERT_EQ(tcsetattr(mFd, TCSANOW, &line), 0);
    }

    void Send(std::uint8_t byte) { ASSERT_EQ(write(mFd, &byte, 1), 1); }

    // Up to `count` bytes, as many as arrive within `timeoutMs`.
    std::vector<std::uint8_t> Read(std::size_t count, std::uint32_t timeoutMs) {
        std::vector<std::uint8_t> bytes;
        const std::uint32_t start = platform::GetTickCount();
        while (bytes.size() < count) {
            const std::uint32_t elapsed = platform::GetTickCount() - start;
            if (elapsed >= timeoutMs)
                break;
            pollfd line{mFd, POLLIN, 0};
            if (poll(&line, 1, static_cast<int>(timeoutMs - elapsed)) <= 0)
                continue;
            if ((line.revents & POLLIN) == 0)
                break; // hung up
            std::uint8_t byte = 0;
            if (read(mFd, &byte, 1) == 1)
                bytes.push_back(byte);
        }
        return bytes;
    }

    std::optional<std::uint8_t> ReadByte(std::uint32_t timeoutMs = 2000) {
        const auto bytes = Read(1, timeoutMs);
        if (bytes.empty())
            return std::nullopt;
        return bytes[0];
    }

    // What the program does for every byte: purge, write, take the first byte back.
    std::optional<std::uint8_t> Exchange(std::uint8_t byte) {
        tcflush(mFd, TCIOFLUSH);
        Send(byte);
        return ReadByte();
    }

    // True when the line shows a hang-up within `timeoutMs`.
    bool WaitHangUp(std::uint32_t timeoutMs) {
        const std::uint32_t start = platform::GetTickCount();
        while (!platform::TicksPassed(start, timeoutMs)) {
            pollfd line{mFd, POLLIN, 0};
            if (poll(&line, 1, 50) > 0 && (line.revents & POLLHUP) != 0)
                return true;
        }
        return false;
    }

    int Fd() const { return mFd; }

private:
    int mFd = -1;
};
