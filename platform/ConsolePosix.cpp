#include "platform/Console.h"

#include <csignal>
#include <unistd.h>

namespace platform {

namespace {

void (*gHandler)() = nullptr;

void OnSignal(int) {
    if (gHandler)
        gHandler();
}

} // namespace

bool OutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) != 0;
}

bool ErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

void IgnoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

void OnStopRequest(void (*handler)()) {
    gHandler = handler;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace platform
