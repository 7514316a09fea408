#pragma once

#include <functional>

namespace platform {

// Lets the window handle pending events. Qt-free code calls this where a wait must keep
// the program responsive; the program installs Qt's event loop behind it, unit tests a
// counter. With nothing installed it does nothing.
void ProcessMessages();

// Installs the handler and returns the one it replaces.
std::function<void()> SetProcessMessages(std::function<void()> handler);

} // namespace platform

namespace platform {

// Waits `ms` milliseconds of elapsed time while the window keeps handling events. Every wait
// of this kind is a designed one: when those are skipped, the window handles its events once
// and the time passes at once (see SkipDesignedWaits).
void WaitWithEvents(unsigned ms);

} // namespace platform
