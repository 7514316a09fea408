#include "cards/qt/PageBusWord.h"

#include "bus/BusWord.h"
#include "bus/qt/Dialogs.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace cards {

void TCardPage::StartTimer() {
    mContext.TimerSpeed->start();
}

void TCardPage::StopTimer() {
    mContext.TimerSpeed->stop();
}

bool TCardPage::TimerRunning() const {
    return mContext.TimerSpeed->isActive();
}

TBusWordPage::TBusWordPage(TCardContext& context, QWidget* sheet, TKind kind)
    : TCardPage(context, sheet), mKind(kind) {
    const QString p = kind == TKind::SCK ? "SCK" : "PCK";

    auto* control = Placed(new QGroupBox("Bus besturing", sheet), "GroupBox" + p + "Besturing",
                           {8, 8, 392, 96});
    // The lines from bit 7 on the left to bit 0 on the right, as the word is written.
    const int x0 = 14;
    const int step = 47;
    ButtonAdr = MakeBitButton(control, "Button" + p + "Adr", 128, x0, 58, 32, 26);
    LabelAdr = MakeLabel(control, kind == TKind::SCK ? "LabelSCKAdr" : "LabelPCKadr",
                         "Adres Strobe", x0 - 6, 22, 46, 34);
    ButtonData = MakeBitButton(control, "Button" + p + "Data", 64, x0 + step, 58, 32, 26);
    LabelData = MakeLabel(control, "Label" + p + "Data", "Data Strobe", x0 + step - 6, 22, 46, 34);
    for (int bit = 5; bit >= 0; --bit) {
        const int x = x0 + (7 - bit) * step;
        ButtonD[bit] =
            MakeBitButton(control, QString("Button%1D%2").arg(p).arg(bit), 1 << bit, x, 58, 32, 26);
        LabelD[bit] = MakeLabel(control, QString("Label%1D%2").arg(p).arg(bit),
                                QString("D%1").arg(bit), x - 6, 22, 46, 34);
    }
    for (QLabel* label : {LabelAdr, LabelData}) {
        label->setWordWrap(true);
        label->setEnabled(false);
    }
    for (QLabel* label : LabelD)
        label->setWordWrap(true);
    for (QLabel* label : control->findChildren<QLabel*>())
        label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    ButtonAdr->setEnabled(false);
    ButtonData->setEnabled(false);

    RadioGroupStrobe =
        new TRadioGroup(sheet, "RadioGroup" + p + "Strobe", "Select Strobe",
                        {"Adres Strobe", "Data Stobe", "Latchadres Strobe", "Latchdata Strobe"},
                        QRect(412, 8, 182, 110));

    ButtonVersturen = Placed(new QPushButton("Versturen", sheet), "Button" + p + "Versturen",
                             {452, 150, 100, 30});
    ButtonVersturen->setEnabled(false);

    auto* feedback = Placed(new QGroupBox("Bus terugmelding", sheet),
                            "GroupBox" + p + "Terugmelding", {8, 116, 392, 96});
    for (int k = 0; k < 4; ++k) {
        ShapeS[k] = new TShape(feedback, QString("Shape%1S%2").arg(p).arg(k + 1), LampWhite,
                               34 + k * 70, 30);
        MakeLabel(feedback, QString("Label%1S%2").arg(p).arg(k + 1),
                  QString("Sectie %1").arg(k + 1), 14 + k * 70, 54, 60)
            ->setAlignment(Qt::AlignHCenter);
    }
    ShapeKort = new TShape(feedback, "Shape" + p + "Kort", LampYellow, 330, 30);
    MakeLabel(feedback, "Label" + p + "Kort", "Kortsluitmelding", 290, 54, 98)
        ->setAlignment(Qt::AlignHCenter);

    for (QPushButton* button : {ButtonAdr, ButtonData})
        connect(button, &QPushButton::clicked, this, [this, button] { BitButtonClick(button); });
    for (QPushButton* button : ButtonD)
        connect(button, &QPushButton::clicked, this, [this, button] { BitButtonClick(button); });
    connect(RadioGroupStrobe, &TRadioGroup::Click, this, [this] { StrobeClick(); });
    connect(ButtonVersturen, &QPushButton::clicked, this,
            [this] { Action([this] { VersturenClick(); }); });
}

int& TBusWordPage::Word() const {
    return mKind == TKind::SCK ? State().SckWord : State().PckWord;
}

void TBusWordPage::BitButtonClick(QPushButton* button) {
    ToggleBitButton(button, Word());
}

void TBusWordPage::StrobeClick() {
    // The latch strobes carry D0 to D4 only.
    const bool d5 = RadioGroupStrobe->ItemIndex() <= 1;
    ButtonD[5]->setEnabled(d5);
    LabelD[5]->setEnabled(d5);
}

int TBusWordPage::ApplyStrobe(int word) const {
    switch (RadioGroupStrobe->ItemIndex()) {
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

void TBusWordPage::VersturenClick() {
    if (mKind == TKind::SCK)
        SendSerial();
    else
        SendParallel();
}

void TBusWordPage::SendSerial() {
    if (Bus().Transport() == bus::TTransport::Parallel) {
        bus::Dialogs().Message(Sheet, bus::TDialogs::TIcon::None, bus::ProgramTitle,
                               bus::Tr("Seriele kaart selecteren"), QString());
        return;
    }
    ShapeKort->SetBrushColor(LampYellow);
    int& word = State().SckWord;
    const bool testMode = Settings().Testen;
    if (!testMode)
        word = ApplyStrobe(word);
    Bus().SendBusWord(word);
    if (!testMode)
        word &= 0x3F;
    ShowReply(AwaitFeedback(true));
}

void TBusWordPage::SendParallel() {
    TCardTestState& state = State();
    if (Bus().Transport() != bus::TTransport::Parallel) {
        bus::Dialogs().Message(Sheet, bus::TDialogs::TIcon::None, bus::ProgramTitle,
                               bus::Tr("Parallelle kaart selecteren"), QString());
        ShowReply(state.PckFeedback);
        return;
    }
    if (Settings().Testen) {
        Bus().WriteDataPort(state.PckWord);
    } else {
        state.PckWord = ApplyStrobe(state.PckWord);
        Bus().SendBusWord(state.PckWord);
        state.PckWord &= 0x3F;
        state.PckFeedback = AwaitFeedback(true);
    }
    // The status port's five low bits as read: the short-circuit line is not inverted here.
    state.PckFeedback = (Bus().ReadStatusPort() & 0x1F) + 0x40;
    ShowReply(state.PckFeedback);
}

void TBusWordPage::ShowReply(int value) {
    const bus::TReply reply(value);
    if (!reply.IsFeedback()) {
        ShapeKort->SetBrushColor(LampYellow);
        return;
    }
    for (int k = 0; k < 4; ++k)
        ShapeS[k]->SetBrushColor(reply.Line(k) ? LampYellow : LampWhite);
    ShapeKort->SetBrushColor(reply.ShortCircuit() ? LampRed : LampGreen);
}

} // namespace cards
