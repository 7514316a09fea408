#pragma once

namespace platform {

// Raises the calling thread to the highest priority the process may set without real-time
// scheduling (a busy-waiting real-time thread could starve the machine). Returns false when
// the system refuses any raise; that is not an error.
bool RaiseThreadPriority();

} // namespace platform
