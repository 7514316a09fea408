#include "platform/Thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

bool RaiseThreadPriority() {
    // On Linux the nice value belongs to the thread. -10 matches "two steps above normal";
    // without CAP_SYS_NICE the limit RLIMIT_NICE says how far an ordinary user may go.
    constexpr int wanted = -10;
    int lowest = wanted;
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const int allowed = 20 - static_cast<int>(limit.rlim_cur);
        if (allowed > lowest)
            lowest = allowed;
    }
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    if (setpriority(PRIO_PROCESS, tid, wanted) == 0)
        return true;
    return lowest < 0 && setpriority(PRIO_PROCESS, tid, lowest) == 0;
}

} // namespace platform
