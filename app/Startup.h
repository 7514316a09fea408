#pragma once

namespace app {

// The whole program: start-up, the message loop and the end of the run.
int RunMorvelplint(int argc, char* argv[]);

} // namespace app
