#pragma once

#include <functional>
#include <string>
#include <vector>

namespace app {

class TFormMorvelplint;

// Initialises the "default" and "cport" catalogues from the first of `folders` that exists,
// in the language of LANG or else of the system's locale.
void InitCatalogues(const std::vector<std::string>& folders);

// The whole program: start-up, the message loop and the end of the run.
int RunMorvelplint(int argc, char* argv[]);

// Runs `hook` in the message loop once the main window is shown; for tests that drive the
// whole program in their own process.
void SetStartedHook(std::function<void(TFormMorvelplint&)> hook);

} // namespace app
