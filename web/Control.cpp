#include "web/Control.h"

namespace web {

bool TControl::Opened(int session, TRole role, TClock::time_point now) {
    mPages[session] = {role, now, true};
    if (mDriver == 0 && role == TRole::Driver)
        mDriver = session;
    return Drives(session);
}

bool TControl::Resumed(int session, int former, TRole role, TClock::time_point now) {
    const auto page = mPages.find(former);
    if (role != TRole::Driver || former == 0 || former != mDriver || page == mPages.end() ||
        page->second.Open || now - page->second.LastSeen >= GoneAfter)
        return false;
    mPages.erase(page);
    mPages[session] = {role, now, true};
    mDriver = session;
    return true;
}

void TControl::Closed(int session) {
    const auto page = mPages.find(session);
    if (page == mPages.end())
        return;
    if (session == mDriver)
        page->second.Open = false;
    else
        mPages.erase(page);
}

void TControl::Seen(int session, TClock::time_point now) {
    const auto page = mPages.find(session);
    if (page != mPages.end() && page->second.Open)
        page->second.LastSeen = now;
}

bool TControl::TakeOver(int session, TClock::time_point now) {
    const auto page = mPages.find(session);
    if (page == mPages.end() || !page->second.Open || page->second.Role != TRole::Driver)
        return false;
    if (mDriver != 0 && mDriver != session) {
        const auto previous = mPages.find(mDriver);
        if (previous != mPages.end() && !previous->second.Open)
            mPages.erase(previous);
    }
    mDriver = session;
    page->second.LastSeen = now;
    return true;
}

bool TControl::Expire(TClock::time_point now) {
    if (mDriver == 0)
        return false;
    const auto page = mPages.find(mDriver);
    if (page != mPages.end() && now - page->second.LastSeen < GoneAfter)
        return false;
    if (page != mPages.end() && !page->second.Open)
        mPages.erase(page);
    mDriver = 0;
    return true;
}

TRole TControl::RoleOf(int session) const {
    const auto page = mPages.find(session);
    return page == mPages.end() || !page->second.Open ? TRole::None : page->second.Role;
}

std::vector<int> TControl::Pages() const {
    std::vector<int> pages;
    for (const auto& [session, page] : mPages)
        if (page.Open)
            pages.push_back(session);
    return pages;
}

} // namespace web
