#pragma once

namespace platform {

// Whether the program's standard output goes to a terminal (a console window on Windows)
// rather than to a file or a pipe.
bool OutputIsTerminal();

// Calls `handler` when the user asks a program without a window to stop: Ctrl+C, and SIGTERM
// on POSIX systems or closing the console window on Windows. The handler may run on another
// thread or inside a signal handler, so it may only set an atomic flag.
void OnStopRequest(void (*handler)());

} // namespace platform
