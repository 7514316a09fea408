#pragma once

#include "bus/Bus.h"
#include "cards/BlockModel.h"
#include "cards/BusWordModel.h"
#include "cards/CardContext.h"
#include "cards/IokModel.h"
#include "cards/LkkEvlModel.h"
#include "cards/SlkModel.h"

#include <array>

namespace cards {

// The card tests of the main window's pages, below any front-end: the seven models, the one
// test timer that drives whichever test runs (on each tick it does the work of the page
// active at that moment), the settings as a value, and the rules by which the pages' buttons
// follow the settings and the set-up. It listens to the bus: a serial connection that was
// never set up or a line that was lost stops the test timer, and the end of every set-up
// applies the enabling rules.
class TCardModels : private bus::TBusListener {
    // First, as the models keep a reference to it.
    TCardContext mContext;

public:
    TCardModels(bus::TBus& bus, TTickSource& timer);
    ~TCardModels() override;
    TCardModels(const TCardModels&) = delete;
    TCardModels& operator=(const TCardModels&) = delete;

    TCardContext& Context() { return mContext; }
    void SetFrontEnd(TCardFrontEnd* frontEnd) { mContext.FrontEnd = frontEnd; }
    TCardTestState& State() { return mContext.State; }

    TBusWordModel Sck;
    TBusWordModel Pck;
    TSlkModel Slk;
    TBlockModel Xbk;
    TBlockModel Bk3;
    TLkkEvlModel LkkEvl;
    TIokModel Iok;

    // The model of a card page; nullptr for "INTRO".
    TCardModel* Model(TPage page);

    // The settings as the front-end holds them now (the settings window's controls, applied
    // or not); the models read them at the moment of use.
    void SetSettings(const bus::TSettings& settings) { mContext.Settings = settings; }
    const bus::TSettings& Settings() const { return mContext.Settings; }

    // Enables the pages' send and start buttons for the method, the test mode as the settings
    // hold it now, and whether the rack connection came up.
    void Instellingen(bool connected, bool parallel);

    // The page the user looks at: the test timer's ticks work for it.
    void SetActivePage(TPage page) { mActive = page; }
    TPage ActivePage() const { return mActive; }
    // The page was left (the input focus moved off it), as an action of its own.
    void LeavePage(TPage page);
    // Another page is shown where showing it says nothing of the input focus (a browser): the
    // page left runs every rule of the focus leaving it (the SLK button's, the page's exit) as
    // the desktop's tab change does, then `page` is the active one.
    void ShowPage(TPage page);
    // The running test stops as its page's Stop button would stop it (the block cards with
    // their stop word), as an action of its own; nothing when no test runs.
    void StopRunningTest();

    // The test timer's tick: skipped while a page action or another tick waits for the rack.
    void TimerSpeedTimer();
    // The tick's work for the active page: the interval that page's test takes, then its work.
    void TickWork();

private:
    void BusNotConnected() override;
    void BusLineLost() override;
    void SetUpFinished(const bus::TSetUpResult& result) override;

    TPage mActive = TPage::Intro;
};

} // namespace cards
