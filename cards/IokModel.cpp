#include "cards/IokModel.h"

#include "bus/CardWords.h"

#include <algorithm>

namespace cards {

bool TIokModel::Output(int pin) const {
    return pin >= 1 && pin <= 16 &&
           ((mOutputs >> bus::IoPinBit[static_cast<std::size_t>(pin - 1)]) & 1) != 0;
}

void TIokModel::Show(TRun run) {
    mRun = run;
    mView.Caption = run == TRun::Versturen ? "Versturen" : run == TRun::Testen ? "Testen" : "Stop";
    Changed();
}

void TIokModel::SetAddress(int address) {
    mView.Address = std::clamp(address, 0, 63);
    Changed();
}

void TIokModel::ClickOutput(int pin) {
    if (pin < 1 || pin > 16)
        return;
    mOutputs ^= 1 << bus::IoPinBit[static_cast<std::size_t>(pin - 1)];
    Changed();
}

void TIokModel::SetTesten(bool ticked) {
    mView.Testen = ticked;
    Changed();
    mContext.Action([this] {
        if (mView.Testen) {
            Show(TRun::Testen);
            return;
        }
        Show(TRun::Versturen);
        mContext.TimerSpeed.Stop();
    });
}

void TIokModel::Enable(const TPageEnabling& enabling) {
    mView.ButtonEnabled = enabling.CardTests;
    Changed();
}

void TIokModel::Click() {
    if (mContext.Refused(Page()))
        return;
    mContext.Action([this] {
        bus::TBus& bus = mContext.Bus;
        bus.SendBusWord(bus::AddressWord(mView.Address));
        mFeedback = bus.AwaitFeedback(false);
        if (mView.Testen) {
            if (mRun == TRun::Testen) {
                Show(TRun::Stop);
                mContext.TimerSpeed.SetInterval(FirstTickMs);
                mContext.TimerSpeed.Start();
            } else {
                Show(TRun::Testen);
                mContext.TimerSpeed.Stop();
            }
            return;
        }
        mInputs = 0;
        TakeIn(bus::IoNibbles(bus, mOutputs));
        ShowInputs();
    });
}

void TIokModel::TakeInReply(int value) {
    const bus::TReply reply(value);
    if (!reply.IsFeedback())
        return;
    // A square-wave tick takes in eight replies; the lamps show the last four, and keeping
    // 16 bits keeps the shift from running out of an int.
    mInputs = (mInputs * 16 + reply.Lines()) & 0xFFFF;
}

void TIokModel::TakeIn(const std::array<int, 4>& replies) {
    for (const int reply : replies) {
        mFeedback = reply;
        TakeInReply(reply);
    }
}

void TIokModel::ShowInputs() {
    for (std::size_t pin = 0; pin < 16; ++pin)
        mView.Inputs[pin] =
            ((mInputs >> bus::IoPinBit[pin]) & 1) != 0 ? TLamp::White : TLamp::Yellow;
    Changed();
}

void TIokModel::Tick() {
    // Outputs showing "1" change level on every tick: the period is twice the test time. The
    // lamps follow the replies of the second pass.
    bool& phase = mContext.State.SquareWavePhase;
    phase = !phase;
    const bus::TIoExchange exchange =
        bus::IoLoadAndRead(mContext.Bus, mView.Address, phase ? mOutputs : 0);
    mFeedback = exchange.AddressReply;
    mInputs = 0;
    TakeIn(exchange.Loaded);
    TakeIn(exchange.Read);
    ShowInputs();
}

void TIokModel::Leave() {
    if (!mView.Testen)
        return;
    Show(TRun::Testen);
    mContext.TimerSpeed.Stop();
}

} // namespace cards
