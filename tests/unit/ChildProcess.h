#pragma once

// A built command as a child process, its standard output and error on pipes.

#include "platform/Tick.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// `program` with `arguments` as a child process with its standard output and error on pipes.
class TChildProcess {
public:
    TChildProcess(const std::string& program, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), program);
        // In a cross build through the emulator, as ctest runs the test (MORVELPLINT_EMULATOR,
        // set by morvelplint_starts_programs in tests/CMakeLists.txt).
        if (*MORVELPLINT_EMULATOR)
            arguments.insert(arguments.begin(), MORVELPLINT_EMULATOR);
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);

        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        if (posix_spawn(&mPid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            mPid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        mOut = out[0];
        mErr = err[0];
    }

    ~TChildProcess() {
        if (mPid > 0) {
            kill(mPid, SIGKILL);
            waitpid(mPid, nullptr, 0);
        }
        if (mOut >= 0)
            close(mOut);
        if (mErr >= 0)
            close(mErr);
    }

    // Standard output up to the end of a line, or up to its end with `untilEnd`.
    std::string Read(bool untilEnd = false, std::uint32_t timeoutMs = 10000) {
        return ReadFrom(mOut, untilEnd, timeoutMs);
    }
    // Standard error, the same way.
    std::string ReadError(bool untilEnd = false, std::uint32_t timeoutMs = 10000) {
        return ReadFrom(mErr, untilEnd, timeoutMs);
    }

    // The exit code, or -1 when the process did not end normally within the time.
    int Wait(std::uint32_t timeoutMs = 10000) {
        const std::uint32_t start = platform::GetTickCount();
        while (!platform::TicksPassed(start, timeoutMs)) {
            int status = 0;
            if (waitpid(mPid, &status, WNOHANG) == mPid) {
                mPid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            platform::Sleep(10);
        }
        return -1;
    }

    void Signal(int number) { kill(mPid, number); }
    // Closes the test's end of the child's standard output, as a reader that went away does.
    void CloseOutput() {
        close(mOut);
        mOut = -1;
    }

private:
    static std::string ReadFrom(int fd, bool untilEnd, std::uint32_t timeoutMs) {
        std::string text;
        const std::uint32_t start = platform::GetTickCount();
        while (!platform::TicksPassed(start, timeoutMs)) {
            pollfd out{fd, POLLIN, 0};
            if (poll(&out, 1, 50) <= 0)
                continue;
            char c = 0;
            if (read(fd, &c, 1) != 1 || (c == '\n' && !untilEnd))
                break;
            text += c;
        }
        return text;
    }

    pid_t mPid = -1;
    int mOut = -1;
    int mErr = -1;
};
