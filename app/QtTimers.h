#pragma once

#include "session/Timers.h"

#include <map>
#include <string>

class QTimer;

namespace app {

// The session's timers on the desktop: window timers, each with its name as object name
// ("TimerSpeed", "TimerStatus", "TimerAdapter", "TimerDiagnose"), ticking in the message loop.
class TQtTimers final : public session::TTimers {
public:
    std::unique_ptr<cards::TTickSource> Make(const std::string& name, int intervalMs) override;
    // The window timer made under `name`; none before it was made.
    QTimer* Timer(const std::string& name) const;

private:
    std::map<std::string, QTimer*> mTimers;
};

} // namespace app
