#include "cards/BusWordModel.h"

#include "bus/BusWord.h"
#include "bus/CardWords.h"
#include "platform/Messages.h"

namespace cards {

TBusWordModel::TBusWordModel(TCardContext& context, TKind kind)
    : TCardModel(context, kind == TKind::SCK ? TPage::Sck : TPage::Pck), mKind(kind) {}

void TBusWordModel::ClickBit(int bit) {
    if (bit < 0 || bit > 7)
        return;
    bool& shown = mView.Bits[static_cast<std::size_t>(bit)];
    shown = !shown;
    mWord += shown ? 1 << bit : -(1 << bit);
    Changed();
}

void TBusWordModel::ChooseStrobe(int item) {
    if (item < 0 || item > 3)
        return;
    mView.Strobe = item;
    mView.D5Enabled = item <= 1;
    Changed();
}

int TBusWordModel::ApplyStrobe(int word) const {
    switch (mView.Strobe) {
    case 0:
        return bus::AddressWord(word);
    case 1:
        return bus::DataWord(word);
    case 2:
        return bus::LatchAddressWord(word);
    default:
        return bus::LatchDataWord(word);
    }
}

void TBusWordModel::Enable(const TPageEnabling& enabling) {
    mView.VersturenEnabled = mKind == TKind::SCK ? enabling.SckVersturen : enabling.PckVersturen;
    mView.StrobeButtonsEnabled = enabling.StrobeButtons;
    mView.StrobeGroupEnabled = enabling.StrobeGroups;
    mView.D5Caption = enabling.TestMode ? "D5/ Latch Strobe" : "D5";
    Changed();
}

void TBusWordModel::Send() {
    if (mContext.Refused(Page()))
        return;
    mContext.Action([this] {
        if (mKind == TKind::SCK)
            SendSerial();
        else
            SendParallel();
    });
}

void TBusWordModel::SendSerial() {
    bus::TBus& bus = mContext.Bus;
    if (bus.Transport() == bus::TTransport::Parallel) {
        mContext.Message(Page(), false, platform::Tr("Seriele kaart selecteren"));
        return;
    }
    mView.Kort = TLamp::Yellow;
    Changed();
    // In test mode the word goes as the buttons made it: its bits 6 and 7 come from the
    // strobe buttons, and the user gives each strobe pulse by sending three words in turn.
    const bool testMode = mContext.Settings.Testen;
    if (!testMode)
        mWord = ApplyStrobe(mWord);
    bus.SendBusWord(mWord);
    if (!testMode)
        mWord &= 0x3F;
    ShowReply(bus.AwaitFeedback(true));
}

void TBusWordModel::SendParallel() {
    bus::TBus& bus = mContext.Bus;
    if (bus.Transport() != bus::TTransport::Parallel) {
        mContext.Message(Page(), false, platform::Tr("Parallelle kaart selecteren"));
        ShowReply(mFeedback);
        return;
    }
    if (mContext.Settings.Testen) {
        bus.WriteDataPort(mWord);
    } else {
        mWord = ApplyStrobe(mWord);
        bus.SendBusWord(mWord);
        mWord &= 0x3F;
        mFeedback = bus.AwaitFeedback(true);
    }
    mFeedback = bus::StatusPortAsRead(bus.ReadStatusPort());
    ShowReply(mFeedback);
}

void TBusWordModel::ShowReply(int value) {
    const bus::TReply reply(value);
    if (!reply.IsFeedback()) {
        mView.Kort = TLamp::Yellow;
    } else {
        for (int k = 0; k < 4; ++k)
            mView.S[static_cast<std::size_t>(k)] = reply.Line(k) ? TLamp::Yellow : TLamp::White;
        mView.Kort = reply.ShortCircuit() ? TLamp::Red : TLamp::Green;
    }
    Changed();
}

} // namespace cards
