#pragma once

#include <exception>
#include <functional>
#include <vector>

namespace serial {

// The owned-component base that the serial port and the serial-card link build on. The
// serial layer must build without Qt, so it cannot be a QObject; it keeps the two things the
// port needs from a component: an owner that destroys what it owns, and the loading state
// while a window description is being applied (settings are then only stored, and the port
// opens, if asked to, when loading ends). A component given an owner must be made with new:
// the owner deletes it, unless it has been deleted before.
class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr);
    virtual ~TComponent();

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return mOwner; }
    int ComponentCount() const { return static_cast<int>(mComponents.size()); }

    bool Loading() const { return mLoading; }
    // Bracket the application of a window description to this component. EndLoading calls
    // Loaded once the flag is clear.
    void BeginLoading();
    void EndLoading();

protected:
    virtual void Loaded() {}

private:
    TComponent* mOwner;
    std::vector<TComponent*> mComponents;
    bool mLoading = false;
};

// The application's exception display, for errors that no caller may see (an opening at the
// end of loading). The program installs its error message box; without a handler the error
// is dropped.
void ShowException(const std::exception& error);
std::function<void(const std::exception&)>
SetExceptionHandler(std::function<void(const std::exception&)> handler);

} // namespace serial
