#pragma once

#include "platform/Tick.h"
#include "web/AccessRules.h"

#include <chrono>
#include <map>
#include <vector>

namespace web {

// Who drives and who watches. The first page that may drive does; every other page watches,
// read-only, and may take over ("Overnemen"). The driving page's heartbeat keeps its control:
// gone for GoneMs (closed, a phone asleep, the network lost), it gives control up, and the
// caller stops its running test. A page that was watching goes on watching when control comes
// free (a phone in someone's pocket never takes control by itself); a page opened while
// nobody drives takes control.
class TControl {
public:
    using TClock = platform::TTickClock;
    static constexpr std::chrono::milliseconds GoneAfter{3000};

    // A page came; true when it drives now.
    bool Opened(int session, TRole role, TClock::time_point now);
    // A page that comes back in the tab of the driving page that went (a reload, a network
    // lost for a moment) within GoneAfter: it drives in its place. False, and nothing done,
    // when `former` is not the driving page that went.
    bool Resumed(int session, int former, TRole role, TClock::time_point now);
    // A page went; a driving page keeps control until it has been gone for GoneAfter.
    void Closed(int session);
    // A heartbeat, or any other message, from the page.
    void Seen(int session, TClock::time_point now);
    // "Overnemen": false for a page that may only watch, or one that is gone.
    bool TakeOver(int session, TClock::time_point now);
    // Control comes free when the driving page has been gone for GoneAfter: true once, then.
    bool Expire(TClock::time_point now);

    int Driver() const { return mDriver; }
    bool Drives(int session) const { return session != 0 && session == mDriver; }
    TRole RoleOf(int session) const;
    // The pages open now.
    std::vector<int> Pages() const;

private:
    struct TPage {
        TRole Role;
        TClock::time_point LastSeen;
        bool Open;
    };
    std::map<int, TPage> mPages;
    int mDriver = 0;
};

} // namespace web
