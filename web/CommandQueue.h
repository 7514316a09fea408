#pragma once

#include "web/Commands.h"

#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

namespace web {

// The pages' commands on their way from the network's thread to the bus's: a queue for each
// page with a bound, so that a page that floods is refused before the driving page waits. A
// page's pending monitor filter, monitor watch or rack watch is replaced by its newest; the
// driving page's commands go first, the watching pages' in turn.
class TCommandQueue {
public:
    static constexpr std::size_t MaxPerPage = 32;
    enum class TPushed { Queued, Replaced, Refused };

    // Any thread.
    TPushed Push(int page, bool drives, TCommand command);
    // The next command and its page; nothing when none waits.
    struct TNext {
        int Page;
        TCommand Command;
    };
    std::optional<TNext> Take();
    std::size_t Pending(int page) const;

private:
    struct TEntry {
        TCommand Command;
        bool Drives;
    };
    mutable std::mutex mMutex;
    std::map<int, std::deque<TEntry>> mPages;
    int mLastWatcher = 0;
};

} // namespace web
