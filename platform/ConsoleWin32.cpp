#include "platform/Console.h"

#include <cstdio>
#include <io.h>
#include <windows.h>

namespace platform {

namespace {

void (*gHandler)() = nullptr;

// Runs on a thread of its own that the system starts. Ctrl+C and Ctrl+Break are taken; for a
// closing console the system ends the process when this returns, so the run gets no time to
// write its report there.
BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    if (gHandler)
        gHandler();
    return TRUE;
}

} // namespace

bool OutputIsTerminal() {
    return ::_isatty(::_fileno(stdout)) != 0;
}

bool ErrorIsTerminal() {
    return ::_isatty(::_fileno(stderr)) != 0;
}

// Windows has no SIGPIPE: a write to a closed pipe fails by itself.
void IgnoreBrokenPipes() {}

void OnStopRequest(void (*handler)()) {
    gHandler = handler;
    ::SetConsoleCtrlHandler(OnControl, TRUE);
}

} // namespace platform
