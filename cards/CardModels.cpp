#include "cards/CardModels.h"

namespace cards {

TCardModels::TCardModels(bus::TBus& bus, TTickSource& timer)
    : mContext(bus, timer), Sck(mContext, TBusWordModel::TKind::SCK),
      Pck(mContext, TBusWordModel::TKind::PCK), Slk(mContext),
      Xbk(mContext, TBlockModel::TKind::TwoRail), Bk3(mContext, TBlockModel::TKind::ThreeRail),
      LkkEvl(mContext), Iok(mContext) {
    mContext.TickNow = [this] { TickWork(); };
    timer.OnTick = [this] { TimerSpeedTimer(); };
    bus.AddListener(*this);
}

TCardModels::~TCardModels() {
    mContext.Bus.RemoveListener(*this);
    mContext.TimerSpeed.OnTick = nullptr;
}

TCardModel* TCardModels::Model(TPage page) {
    switch (page) {
    case TPage::Sck:
        return &Sck;
    case TPage::Pck:
        return &Pck;
    case TPage::Slk:
        return &Slk;
    case TPage::Xbk:
        return &Xbk;
    case TPage::Bk3:
        return &Bk3;
    case TPage::LkkEvl:
        return &LkkEvl;
    case TPage::Iok:
        return &Iok;
    case TPage::Intro:
        break;
    }
    return nullptr;
}

void TCardModels::Instellingen(bool connected, bool parallel) {
    mContext.Enabling = PageEnabling(connected, parallel, mContext.Settings.Testen);
    Sck.Enable(mContext.Enabling);
    Pck.Enable(mContext.Enabling);
    Slk.Enable(mContext.Enabling);
    Xbk.Enable(mContext.Enabling);
    Bk3.Enable(mContext.Enabling);
    LkkEvl.Enable(mContext.Enabling);
    Iok.Enable(mContext.Enabling);
}

void TCardModels::LeavePage(TPage page) {
    if (TCardModel* model = Model(page))
        mContext.Action([model] { model->Leave(); });
}

void TCardModels::ShowPage(TPage page) {
    const TPage previous = mActive;
    if (previous != page) {
        // As on the desktop: the focus leaves the page before the other one is active.
        if (previous == TPage::Slk)
            Slk.LeaveButton();
        LeavePage(previous);
    }
    mActive = page;
}

void TCardModels::StopRunningTest() {
    if (!mContext.TimerSpeed.Running())
        return;
    // Each button's action is an exchange of its own: run now, or in this order after the one
    // under way.
    switch (mActive) {
    case TPage::Slk:
        if (Slk.Testing())
            Slk.Click();
        break;
    case TPage::Xbk:
        Xbk.Click();
        break;
    case TPage::Bk3:
        Bk3.Click();
        break;
    case TPage::LkkEvl:
        if (LkkEvl.Testing())
            LkkEvl.Click();
        break;
    case TPage::Iok:
        if (Iok.Testing())
            Iok.Click();
        break;
    default:
        break;
    }
    // Whatever the page, no test runs on.
    mContext.Action([this] { mContext.TimerSpeed.Stop(); });
}

void TCardModels::TimerSpeedTimer() {
    mContext.Tick([this] { TickWork(); });
}

void TCardModels::TickWork() {
    TCardModel* model = Model(mActive);
    if (!model || model->TickInterval() < 0)
        return;
    mContext.TimerSpeed.SetInterval(model->TickInterval());
    model->Tick();
}

void TCardModels::BusNotConnected() {
    mContext.TimerSpeed.Stop();
}

void TCardModels::BusLineLost() {
    mContext.TimerSpeed.Stop();
}

void TCardModels::SetUpFinished(const bus::TSetUpResult& result) {
    Instellingen(result.Ready, result.Transport == bus::TTransport::Parallel);
}

} // namespace cards
