#pragma once

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace platform {

// One change event of a model: the views listen, the model tells them after every change.
class TChangeEvent {
public:
    // Calls `listener` after every change; the number it returns takes it off again.
    int Listen(std::function<void()> listener) {
        mListeners.emplace_back(mNext, std::move(listener));
        return mNext++;
    }
    void Unlisten(int id) {
        std::erase_if(mListeners, [id](const auto& listener) { return listener.first == id; });
    }
    void Tell() const {
        // A copy: a listener may come or go while it is told.
        const auto listeners = mListeners;
        for (const auto& [id, listener] : listeners)
            listener();
    }

private:
    std::vector<std::pair<int, std::function<void()>>> mListeners;
    int mNext = 1;
};

} // namespace platform
