#include "cards/CardModel.h"

#include <algorithm>

namespace cards {

int TCardModel::Listen(std::function<void()> listener) {
    mListeners.emplace_back(mNextListener, std::move(listener));
    return mNextListener++;
}

void TCardModel::Unlisten(int id) {
    std::erase_if(mListeners, [id](const auto& listener) { return listener.first == id; });
}

void TCardModel::Changed() {
    // A copy: a listener may come or go while it is told.
    const auto listeners = mListeners;
    for (const auto& [id, listener] : listeners)
        listener();
}

} // namespace cards
