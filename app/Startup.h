#pragma once

#include <functional>

namespace app {

class TFormMorvelplint;

// The whole program: start-up, the message loop and the end of the run.
int RunMorvelplint(int argc, char* argv[]);

// Runs `hook` in the message loop once the main window is shown; for tests that drive the
// whole program in their own process.
void SetStartedHook(std::function<void(TFormMorvelplint&)> hook);

} // namespace app
