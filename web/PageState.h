#pragma once

#include "cards/CardModels.h"
#include "session/RackSession.h"

#include <array>
#include <string>

namespace web {

// What the pages show, as the JSON the browser's page takes: every card page's state value,
// the page the test timer works for and whether a test runs.
std::string PagesJson(cards::TCardModels& models);
// Every card page's actions as the page actions' table has them: what each takes and its
// ranges, so that the page's fields keep to them.
std::string ActionsJson();

// The same frame, made again only for the pages that changed since the last one: a word that
// changes one lamp costs one page's JSON, not seven.
class TPagesFrame {
public:
    explicit TPagesFrame(cards::TCardModels& models) : mModels(models) {}
    // The page's model changed: its part is made anew for the next frame.
    void Changed(cards::TPage page);
    std::string Json();

private:
    cards::TCardModels& mModels;
    // The card pages in the order of their keys in the frame; empty: to be made.
    std::array<std::string, 7> mParts;
};
// The settings as Instellingen > Status... shows them, with the port list (each port's
// readable line), the clock list, which controls may be used, the test time's range, the
// notes on the port, and the connection's state.
std::string SettingsJson(const session::TRackSession& session);

} // namespace web
