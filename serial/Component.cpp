#include "serial/Component.h"

#include <algorithm>
#include <utility>

namespace serial {

TComponent::TComponent(TComponent* owner) : mOwner(owner) {
    if (mOwner)
        mOwner->mComponents.push_back(this);
}

TComponent::~TComponent() {
    // Newest first; each one takes itself out of the list as it goes.
    while (!mComponents.empty())
        delete mComponents.back();
    if (mOwner) {
        auto& siblings = mOwner->mComponents;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
}

void TComponent::BeginLoading() {
    mLoading = true;
}

void TComponent::EndLoading() {
    if (!mLoading)
        return;
    mLoading = false;
    Loaded();
}

namespace {
std::function<void(const std::exception&)>& ExceptionHandler() {
    static std::function<void(const std::exception&)> handler;
    return handler;
}
} // namespace

void ShowException(const std::exception& error) {
    const auto handler = ExceptionHandler();
    if (handler)
        handler(error);
}

std::function<void(const std::exception&)>
SetExceptionHandler(std::function<void(const std::exception&)> handler) {
    return std::exchange(ExceptionHandler(), std::move(handler));
}

} // namespace serial
