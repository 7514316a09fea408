#include "web/CommandQueue.h"

namespace web {

namespace {

// A command whose newest replaces the one still waiting: what it sets is a whole view.
bool Replaces(const TCommand& command) {
    using K = TCommand::TKind;
    return (command.Kind == K::Monitor && (command.Do == "filter" || command.Do == "watch")) ||
           (command.Kind == K::Rack && command.Do == "watch");
}

} // namespace

TCommandQueue::TPushed TCommandQueue::Push(int page, bool drives, TCommand command) {
    const std::lock_guard lock(mMutex);
    std::deque<TEntry>& queue = mPages[page];
    if (Replaces(command)) {
        for (auto entry = queue.begin(); entry != queue.end(); ++entry)
            if (entry->Command.Kind == command.Kind && entry->Command.Do == command.Do) {
                queue.erase(entry);
                queue.push_back({std::move(command), drives});
                return TPushed::Replaced;
            }
    }
    if (queue.size() >= MaxPerPage)
        return TPushed::Refused;
    queue.push_back({std::move(command), drives});
    return TPushed::Queued;
}

std::optional<TCommandQueue::TNext> TCommandQueue::Take() {
    const std::lock_guard lock(mMutex);
    auto chosen = mPages.end();
    for (auto page = mPages.begin(); page != mPages.end(); ++page)
        if (!page->second.empty() && page->second.front().Drives) {
            chosen = page;
            break;
        }
    if (chosen == mPages.end()) {
        // The watching pages in turn: the first after the one served last.
        for (auto page = mPages.upper_bound(mLastWatcher); page != mPages.end(); ++page)
            if (!page->second.empty()) {
                chosen = page;
                break;
            }
        for (auto page = mPages.begin(); chosen == mPages.end() && page != mPages.end(); ++page)
            if (!page->second.empty())
                chosen = page;
        if (chosen == mPages.end())
            return std::nullopt;
        mLastWatcher = chosen->first;
    }
    TNext next{chosen->first, std::move(chosen->second.front().Command)};
    chosen->second.pop_front();
    if (chosen->second.empty())
        mPages.erase(chosen);
    return next;
}

std::size_t TCommandQueue::Pending(int page) const {
    const std::lock_guard lock(mMutex);
    const auto found = mPages.find(page);
    return found == mPages.end() ? 0 : found->second.size();
}

} // namespace web
