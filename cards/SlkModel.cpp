#include "cards/SlkModel.h"

#include "bus/BusWord.h"

#include <algorithm>

namespace cards {

void TSlkModel::Show() {
    mView.Label = mView.RackMode ? "Rek" : "Adres";
    mView.Caption = mRun == TRun::Versturen ? "Versturen"
                    : mRun == TRun::Testen  ? "Testen"
                                            : "Stop";
    Changed();
}

void TSlkModel::ChooseCardMode() {
    mView.RackMode = false;
    mView.Minimum = 0;
    mView.Maximum = 63;
    mView.Value = 0;
    mRun = TRun::Versturen;
    mContext.TimerSpeed.Stop();
    Show();
}

void TSlkModel::ChooseRackMode() {
    mView.RackMode = true;
    mView.Minimum = 1;
    mView.Maximum = 4;
    mView.Value = 1;
    mRun = TRun::Testen;
    mContext.TimerSpeed.Stop();
    Show();
}

void TSlkModel::Reset() {
    mRun = mView.RackMode ? TRun::Testen : TRun::Versturen;
    mContext.TimerSpeed.Stop();
    Show();
}

void TSlkModel::SetValue(int value) {
    value = std::clamp(value, mView.Minimum, mView.Maximum);
    if (value == mView.Value)
        return;
    mView.Value = value;
    Reset();
}

void TSlkModel::LeaveButton() {
    Reset();
}

void TSlkModel::Enable(const TPageEnabling& enabling) {
    mView.ButtonEnabled = enabling.CardTests;
    Changed();
}

void TSlkModel::Click() {
    if (mContext.Refused(Page()))
        return;
    mContext.Action([this] {
        bus::TBus& bus = mContext.Bus;
        if (!mView.RackMode) {
            bus.SendBusWord(bus::AddressWord(mView.Value));
            bus.AwaitFeedback(true);
            return;
        }
        if (mRun == TRun::Testen) {
            mRun = TRun::Stop;
            Show();
            mContext.TimerSpeed.Start();
            mContext.TickNow();
        } else {
            mRun = TRun::Testen;
            Show();
            mContext.TimerSpeed.Stop();
        }
    });
}

void TSlkModel::Tick() {
    // In card mode the value is an address, not a rack: sweeping "rack 0" would put
    // data-strobe words (0x70 to 0x7F) on the bus. A tick that finds the page so does nothing.
    if (!mView.RackMode)
        return;
    bus::TBus& bus = mContext.Bus;
    for (int i = 0; i < 16; ++i) {
        bus.SendBusWord(bus::AddressWord((mView.Value - 1) * 16 + i));
        mContext.State.TickFeedback = bus.AwaitFeedback(true);
    }
}

} // namespace cards
