#include "cards/BlockModel.h"

#include "bus/CardWords.h"
#include "platform/Messages.h"
#include "platform/Tick.h"

#include <algorithm>

namespace cards {

TBlockModel::TBlockModel(TCardContext& context, TKind kind)
    : TCardModel(context, kind == TKind::TwoRail ? TPage::Xbk : TPage::Bk3), mKind(kind) {
    mView.AddressMaximum = kind == TKind::TwoRail ? 127 : 63;
}

void TBlockModel::SetAddress(int group, int address) {
    if (group < 0 || group >= Groups())
        return;
    mView.Address[static_cast<std::size_t>(group)] = std::clamp(address, 0, mView.AddressMaximum);
    Changed();
}

void TBlockModel::SetSection(int n, bool ticked) {
    if (n < 0 || n >= 4 * Groups())
        return;
    const auto at = static_cast<std::size_t>(n);
    mView.Section[at] = ticked;
    // The three-rail page's boxes have no action and leave its lamps as they are.
    if (mKind == TKind::TwoRail)
        mView.S[at] = ticked ? TLamp::White : TLamp::Grey;
    Changed();
}

void TBlockModel::SetSpeedPosition(int position) {
    mView.SpeedPosition = std::clamp(position, 0, 15);
    Changed();
}

void TBlockModel::Enable(const TPageEnabling& enabling) {
    mView.ButtonEnabled = enabling.CardTests;
    Changed();
}

void TBlockModel::Click() {
    if (mContext.Refused(Page()))
        return;
    mContext.Action([this] {
        // The test timer is one for every page: running for another page's test, "Go" takes
        // the stop path.
        if (mContext.TimerSpeed.Running())
            Stop();
        else
            Go();
    });
}

void TBlockModel::SetRunning(bool running) {
    mView.Caption = running ? "Stop" : "Go";
    mView.AddressesEnabled = !running;
    // The three-rail page's boxes stay usable during its test.
    if (mKind == TKind::TwoRail)
        mView.SectionsEnabled = !running;
}

void TBlockModel::Go() {
    TCardTestState& state = mContext.State;
    if (mKind == TKind::TwoRail) {
        mGroupActive = {};
        for (int n = 0; n < 12; ++n)
            if (mView.Section[static_cast<std::size_t>(n)])
                mGroupActive[static_cast<std::size_t>(n / 4)] = true;
    }
    // The lowest ticked section's weight is the first end, the highest the last.
    state.FirstSection = 0;
    state.LastSection = 0;
    for (int n = 0; n < 4 * Groups(); ++n) {
        if (!mView.Section[static_cast<std::size_t>(n)])
            continue;
        (state.FirstSection == 0 ? state.FirstSection : state.LastSection) = 1 << n;
    }
    if (state.LastSection == 0) {
        mContext.Message(Page(), true, platform::Tr("Onvoldoende secties geselecteerd"));
        return;
    }
    SetRunning(true);
    Changed();
    state.Direction = bus::BlockDirectionUp;
    mContext.TimerSpeed.Start();
    mContext.TickNow();
}

void TBlockModel::Stop() {
    SetRunning(false);
    Changed();
    mContext.TimerSpeed.Stop();
    TCardTestState& state = mContext.State;
    state.Direction = 0;
    state.FirstSection = 0;
    state.LastSection = 0;
    mContext.Bus.SendBusWord(bus::BlockStopWord);
    mContext.Bus.AwaitFeedback(true);
}

int TBlockModel::DriveCard(int a, int s) {
    bus::TBus& bus = mContext.Bus;
    TCardTestState& state = mContext.State;
    bus.SendBusWord(bus::BlockAddressWord(a));
    state.TickFeedback = bus.AwaitFeedback(false);
    const std::uint32_t elapsed = platform::GetTickCount() - state.LastReversal;
    const std::int32_t threshold = state.LegDuration / 3 * 2;
    // Compared as 64-bit numbers: a run timed at more than 2^31 ms is negative as a 32-bit
    // number, and then the whole next run counts as its last third.
    const bool slowed = static_cast<std::int64_t>(elapsed) > static_cast<std::int64_t>(threshold);
    bus.SendBusWord(bus::BlockSpeedWord(a, state.Direction, slowed ? bus::SlowedSpeed(s) : s));
    return bus.AwaitFeedback(false);
}

void TBlockModel::ReverseAtEnd(int occupancy) {
    TCardTestState& state = mContext.State;
    const bool up = state.Direction == bus::BlockDirectionUp;
    const int target = up ? state.LastSection : state.FirstSection;
    if ((occupancy & target) != target)
        return;
    const std::uint32_t now = platform::GetTickCount();
    state.Direction = up ? bus::BlockDirectionDown : bus::BlockDirectionUp;
    state.LegDuration = static_cast<std::int32_t>(now - state.LastReversal);
    state.LastReversal = now;
}

void TBlockModel::Tick() {
    TCardTestState& state = mContext.State;
    const int speed = 15 - mView.SpeedPosition;
    if (mKind == TKind::ThreeRail) {
        state.TickFeedback = DriveCard(mView.Address[0], speed);
        const bus::TReply reply(state.TickFeedback);
        if (!reply.IsByte()) {
            mView.Kort[0] = TLamp::Yellow;
            Changed();
        } else if (reply.IsBlockFeedback()) {
            for (std::size_t k = 0; k < 4; ++k)
                mView.S[k] = reply.Line(static_cast<int>(k)) ? TLamp::Yellow : TLamp::White;
            mView.Kort[0] = reply.ShortCircuit() ? TLamp::Red : TLamp::Green;
            Changed();
            if (reply.ShortCircuit() && ShortCircuitReporting())
                Stop();
        }
        ReverseAtEnd(reply.Lines());
        return;
    }
    int occupancy = 0;
    for (int g = 2; g >= 0; --g) {
        if (!mGroupActive[static_cast<std::size_t>(g)])
            continue;
        state.TickFeedback = DriveCard(mView.Address[static_cast<std::size_t>(g)], speed);
        if (g == 0) {
            mView.Label9 = std::to_string(state.TickFeedback);
            Changed();
        }
        occupancy |= bus::TReply(state.TickFeedback).Lines() << (4 * g);
        ShowReply(g, state.TickFeedback);
    }
    ReverseAtEnd(occupancy);
}

void TBlockModel::ShowReply(int group, int value) {
    const bus::TReply reply(value);
    const auto g = static_cast<std::size_t>(group);
    if (!reply.IsByte()) {
        mView.Kort[g] = TLamp::Yellow;
        Changed();
        return;
    }
    if (!reply.IsBlockFeedback())
        return;
    for (int k = 0; k < 4; ++k) {
        const auto n = static_cast<std::size_t>(4 * group + k);
        mView.S[n] = !mView.Section[n] ? TLamp::Grey : reply.Line(k) ? TLamp::Yellow : TLamp::White;
    }
    mView.Kort[g] = reply.ShortCircuit() ? TLamp::Red : TLamp::Green;
    Changed();
    if (reply.ShortCircuit() && ShortCircuitReporting())
        Stop();
}

void TBlockModel::Leave() {
    // The section boxes keep their state, and so do the direction and the ends.
    mView.AddressesEnabled = true;
    mView.Caption = "Go";
    Changed();
    if (!mContext.TimerSpeed.Running())
        return;
    mContext.TimerSpeed.Stop();
    mContext.Bus.SendBusWord(bus::BlockStopWord);
    mContext.Bus.AwaitFeedback(true);
}

} // namespace cards
