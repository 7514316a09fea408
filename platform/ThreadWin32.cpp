#include "platform/Thread.h"

#include <windows.h>

namespace platform {

bool RaiseThreadPriority() {
    // Two steps above normal, within the process's class; no real-time class.
    return ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST) != 0;
}

} // namespace platform
