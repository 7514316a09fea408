#include "cards/qt/PageLkkEvl.h"

#include "bus/BusWord.h"
#include "cards/qt/Controls.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>

namespace cards {

TLkkEvlPage::TLkkEvlPage(TCardContext& context, QWidget* sheet) : TCardPage(context, sheet) {
    auto* labelAdr = MakeLabel(sheet, "LabelLKK_EVLadr", "Adres", 8, 14, 48, 22);
    SpinEditLKK_EVLadr = Placed(new QSpinBox(sheet), "SpinEditLKK_EVLadr", {58, 12, 70, 26});
    SpinEditLKK_EVLadr->setRange(0, 31);
    labelAdr->setBuddy(SpinEditLKK_EVLadr);
    // A second caption of the same address; one "Adres" beside the spin edit is enough.
    MakeLabel(sheet, "LabelLKKAdres", "Adres", 8, 14, 48, 22)->hide();

    RadioGroupEVLSelect =
        new TRadioGroup(sheet, "RadioGroupEVLSelect", "EVL Selectie",
                        {"EVL A", "EVL B", "EVL C", "EVL D"}, QRect(150, 2, 130, 110));

    CheckBoxLKK_EVLTest =
        Placed(new QCheckBox("Tester", sheet), "CheckBoxLKK_EVLTest", {304, 14, 110, 22});
    ButtonLKK_EVLversturen =
        Placed(new QPushButton("Versturen", sheet), "ButtonLKK_EVLversturen", {304, 48, 110, 30});
    ButtonLKK_EVLversturen->setEnabled(false);

    auto* pins =
        Placed(new QGroupBox("Pennen", sheet), "GroupBoxLKK_EVLPennen", {8, 116, 590, 194});
    for (int i = 0; i < 64; ++i) {
        const int x = 10 + (i % 16) * 36;
        const int y = 20 + (i / 16) * 43;
        const QString n = QString::number(i + 1);
        ButtonLKK_EVL[i] =
            MakeBitButton(pins, "ButtonLKK_EVL" + n, 1 << (i % 16), x, y + 15, 30, 22);
        LabelLKK_EVLPen[i] = MakeLabel(pins, "LabelLKK_EVLPen" + n, n, x, y, 30, 15);
        LabelLKK_EVLPen[i]->setAlignment(Qt::AlignCenter);
        if (i > 0)
            QWidget::setTabOrder(ButtonLKK_EVL[i - 1], ButtonLKK_EVL[i]);
        QPushButton* button = ButtonLKK_EVL[i];
        connect(button, &QPushButton::clicked, this, [this, button] { PinClick(button); });
    }

    connect(CheckBoxLKK_EVLTest, &QCheckBox::clicked, this,
            [this] { Action([this] { CheckBoxLKK_EVLTestClick(); }); });
    connect(ButtonLKK_EVLversturen, &QPushButton::clicked, this,
            [this] { Action([this] { ButtonLKK_EVLversturenClick(); }); });
}

int TLkkEvlPage::LatchAddressWord(int evl, int step) {
    return bus::LatchAddressWord(16 * (evl / 2) + LatchAddressTable[(step % 8) + 8 * (evl % 2)]);
}

int TLkkEvlPage::LatchDataWord(int step, int nibble) {
    return bus::LatchDataWord(LatchBit4Table[step] + nibble);
}

void TLkkEvlPage::PinClick(QPushButton* button) {
    // A pin's bit holds the level sent to it: the inverse of its caption.
    const auto index =
        std::find(ButtonLKK_EVL.begin(), ButtonLKK_EVL.end(), button) - ButtonLKK_EVL.begin();
    int& word = State().PinWords[static_cast<std::size_t>(index / 16)];
    if (button->text() == "0") {
        button->setText("1");
        word -= Tag(button);
    } else {
        button->setText("0");
        word += Tag(button);
    }
}

void TLkkEvlPage::CheckBoxLKK_EVLTestClick() {
    if (CheckBoxLKK_EVLTest->isChecked()) {
        ButtonLKK_EVLversturen->setText("Testen");
    } else {
        // The EVL choice stays as it is: a square wave stopped here leaves it disabled until
        // the next "Stop" or page exit in square-wave mode.
        ButtonLKK_EVLversturen->setText("Versturen");
        StopTimer();
    }
}

void TLkkEvlPage::ButtonLKK_EVLversturenClick() {
    if (!CheckBoxLKK_EVLTest->isChecked()) {
        Load();
        return;
    }
    if (ButtonLKK_EVLversturen->text() == "Testen") {
        RadioGroupEVLSelect->setEnabled(false);
        ButtonLKK_EVLversturen->setText("Stop");
        StartTimer();
        mContext.TickNow();
    } else {
        RadioGroupEVLSelect->setEnabled(true);
        ButtonLKK_EVLversturen->setText("Testen");
        StopTimer();
    }
}

void TLkkEvlPage::Load() {
    DrainFeedback(true);
    SendSteps(true);
}

int TLkkEvlPage::TickInterval() const {
    return Settings().TestTijd;
}

void TLkkEvlPage::Tick() {
    DrainFeedback(false);
    State().SquareWavePhase = !State().SquareWavePhase;
    SendSteps(State().SquareWavePhase);
}

void TLkkEvlPage::Exit() {
    if (!CheckBoxLKK_EVLTest->isChecked())
        return;
    RadioGroupEVLSelect->setEnabled(true);
    ButtonLKK_EVLversturen->setText("Testen");
    StopTimer();
}

void TLkkEvlPage::SendSteps(bool pattern) {
    // No reply is awaited: the 33 words go out back to back and the next drain takes the
    // replies away.
    Bus().SendBusWord(bus::AddressWord(SpinEditLKK_EVLadr->value()));
    const int evl = RadioGroupEVLSelect->ItemIndex();
    for (int step = 0; step < 16; ++step) {
        const int pinWord = State().PinWords[static_cast<std::size_t>(step / 4)];
        const int nibble = pattern ? (pinWord >> (4 * (step % 4))) & 15 : 15;
        Bus().SendBusWord(LatchAddressWord(evl, step));
        Bus().SendBusWord(LatchDataWord(step, nibble));
    }
}

} // namespace cards
