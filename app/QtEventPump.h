#pragma once

namespace app {

// Puts Qt's event loop behind platform::ProcessMessages.
void InstallQtEventPump();

} // namespace app
