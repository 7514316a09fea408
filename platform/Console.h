#pragma once

namespace platform {

// Whether the program's standard output goes to a terminal (a console window on Windows)
// rather than to a file or a pipe.
bool OutputIsTerminal();
// The same for standard error.
bool ErrorIsTerminal();

// A write to a pipe whose reader has gone fails (EPIPE) instead of ending the program.
void IgnoreBrokenPipes();

// Calls `handler` when the user asks a program without a window to stop: Ctrl+C, and SIGTERM
// on POSIX systems or closing the console window on Windows. The handler may run on another
// thread or inside a signal handler, so it may only set an atomic flag.
void OnStopRequest(void (*handler)());

// The name that Complain puts before each line; set once at the start of main().
void SetProgramName(const char* name);

// One line on standard error, after the program's name: "morvelplint-check: ...".
__attribute__((format(printf, 1, 2))) void Complain(const char* format, ...);

} // namespace platform
