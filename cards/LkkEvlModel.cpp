#include "cards/LkkEvlModel.h"

#include "bus/CardWords.h"

#include <algorithm>

namespace cards {

bool TLkkEvlModel::Pin(int pin) const {
    if (pin < 1 || pin > 64)
        return false;
    return ((mPinWords[static_cast<std::size_t>(bus::EvlPinWord(pin))] >> bus::EvlPinBit(pin)) &
            1) == 0;
}

void TLkkEvlModel::Show(TRun run) {
    mRun = run;
    mView.Caption = run == TRun::Versturen ? "Versturen" : run == TRun::Testen ? "Testen" : "Stop";
    Changed();
}

void TLkkEvlModel::SetAddress(int address) {
    mView.Address = std::clamp(address, 0, 31);
    Changed();
}

void TLkkEvlModel::ChooseEvl(int evl) {
    mView.Evl = std::clamp(evl, 0, 3);
    Changed();
}

void TLkkEvlModel::ClickPin(int pin) {
    if (pin < 1 || pin > 64)
        return;
    mPinWords[static_cast<std::size_t>(bus::EvlPinWord(pin))] ^= 1 << bus::EvlPinBit(pin);
    Changed();
}

void TLkkEvlModel::SetTester(bool ticked) {
    mView.Tester = ticked;
    Changed();
    mContext.Action([this] {
        if (mView.Tester) {
            Show(TRun::Testen);
            return;
        }
        // The EVL choice stays as it is: a square wave stopped here leaves it disabled until
        // the next "Stop" or page exit in square-wave mode.
        Show(TRun::Versturen);
        mContext.TimerSpeed.Stop();
    });
}

void TLkkEvlModel::Enable(const TPageEnabling& enabling) {
    mView.ButtonEnabled = enabling.CardTests;
    Changed();
}

void TLkkEvlModel::Click() {
    if (mContext.Refused(Page()))
        return;
    mContext.Action([this] {
        if (!mView.Tester) {
            mContext.Bus.DrainFeedback(true);
            SendSteps(true);
            return;
        }
        if (mRun == TRun::Testen) {
            mView.EvlEnabled = false;
            Show(TRun::Stop);
            mContext.TimerSpeed.Start();
            mContext.TickNow();
        } else {
            mView.EvlEnabled = true;
            Show(TRun::Testen);
            mContext.TimerSpeed.Stop();
        }
    });
}

void TLkkEvlModel::Tick() {
    mContext.Bus.DrainFeedback(false);
    bool& phase = mContext.State.SquareWavePhase;
    phase = !phase;
    SendSteps(phase);
}

void TLkkEvlModel::Leave() {
    if (!mView.Tester)
        return;
    mView.EvlEnabled = true;
    Show(TRun::Testen);
    mContext.TimerSpeed.Stop();
}

void TLkkEvlModel::SendSteps(bool pattern) {
    // No reply is awaited: the 33 words go out back to back and the next drain takes the
    // replies away.
    bus::TBus& bus = mContext.Bus;
    bus.SendBusWord(bus::AddressWord(mView.Address));
    for (int step = 0; step < bus::EvlSteps; ++step) {
        const int nibble = pattern ? bus::EvlStepNibble(mPinWords, step) : 0xF;
        bus.SendBusWord(bus::EvlLatchAddressWord(mView.Evl, step));
        bus.SendBusWord(bus::EvlLatchDataWord(step, nibble));
    }
}

} // namespace cards
