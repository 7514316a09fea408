#include "cards/qt/PageIok.h"

#include "bus/BusWord.h"
#include "cards/qt/Controls.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

namespace cards {

TIokPage::TIokPage(TCardContext& context, QWidget* sheet) : TCardPage(context, sheet) {
    auto* labelAdr = MakeLabel(sheet, "LabelIOKadr", "Adres", 8, 14, 48, 22);
    SpinEditIOKadr = Placed(new QSpinBox(sheet), "SpinEditIOKadr", {58, 12, 70, 26});
    SpinEditIOKadr->setRange(0, 63);
    labelAdr->setBuddy(SpinEditIOKadr);

    CheckBoxIOKTest = Placed(new QCheckBox("Testen", sheet), "CheckBoxIOKTest", {160, 14, 110, 22});
    ButtonIOKVersturen =
        Placed(new QPushButton("Versturen", sheet), "ButtonIOKVersturen", {290, 10, 110, 30});
    ButtonIOKVersturen->setEnabled(false);

    auto* outputs =
        Placed(new QGroupBox("Uitgangen", sheet), "GroupBoxIOKUitgangen", {8, 60, 590, 76});
    auto* inputs =
        Placed(new QGroupBox("Ingangen", sheet), "GroupBoxIOKIngangen", {8, 150, 590, 76});
    for (int i = 0; i < 16; ++i) {
        const int x = 10 + i * 36;
        const QString n = QString::number(i + 1);
        const int weight = 1 << PinBit[static_cast<std::size_t>(i)];
        MakeLabel(outputs, "LabelIOKUit" + n, n, x, 22, 30, 15)->setAlignment(Qt::AlignCenter);
        ButtonIOK[i] = MakeBitButton(outputs, "ButtonIOK" + n, weight, x, 38, 30, 24);
        MakeLabel(inputs, "LabelIOKIn" + n, n, x, 22, 30, 15)->setAlignment(Qt::AlignCenter);
        ShapeIOK[i] = new TShape(inputs, "ShapeIOK" + n, LampWhite, x + 7, 42);
        SetTag(ShapeIOK[i], weight);
        QPushButton* button = ButtonIOK[i];
        connect(button, &QPushButton::clicked, this,
                [this, button] { ToggleBitButton(button, State().IokOutputs); });
    }

    connect(CheckBoxIOKTest, &QCheckBox::clicked, this,
            [this] { Action([this] { CheckBoxIOKTestClick(); }); });
    connect(ButtonIOKVersturen, &QPushButton::clicked, this,
            [this] { Action([this] { ButtonIOKVersturenClick(); }); });
}

int TIokPage::NibbleWord(int nibble, int outputs) {
    return bus::IoNibbleWord(nibble, outputs);
}

void TIokPage::ButtonIOKVersturenClick() {
    TCardTestState& state = State();
    Bus().SendBusWord(bus::AddressWord(SpinEditIOKadr->value()));
    state.IokFeedback = AwaitFeedback(false);
    if (CheckBoxIOKTest->isChecked()) {
        if (ButtonIOKVersturen->text() == "Testen") {
            ButtonIOKVersturen->setText("Stop");
            mContext.TimerSpeed->setInterval(FirstTickMs);
            StartTimer();
        } else {
            ButtonIOKVersturen->setText("Testen");
            StopTimer();
        }
        return;
    }
    state.IokInputs = 0;
    SendNibbles(state.IokOutputs);
    ShowInputs();
}

void TIokPage::CheckBoxIOKTestClick() {
    if (CheckBoxIOKTest->isChecked()) {
        ButtonIOKVersturen->setText("Testen");
    } else {
        ButtonIOKVersturen->setText("Versturen");
        StopTimer();
    }
}

void TIokPage::TakeInReply(int value) {
    const bus::TReply reply(value);
    if (!reply.IsFeedback())
        return;
    // A square-wave tick takes in eight replies; the lamps show the last four, and keeping
    // 16 bits keeps the shift from running out of an int.
    State().IokInputs = (State().IokInputs * 16 + reply.Lines()) & 0xFFFF;
}

void TIokPage::ShowInputs() {
    for (TShape* lamp : ShapeIOK)
        lamp->SetBrushColor((State().IokInputs & Tag(lamp)) != 0 ? LampWhite : LampYellow);
}

int TIokPage::TickInterval() const {
    return Settings().TestTijd;
}

void TIokPage::Tick() {
    TCardTestState& state = State();
    Bus().SendBusWord(bus::AddressWord(SpinEditIOKadr->value()));
    state.IokFeedback = AwaitFeedback(false);
    state.IokInputs = 0;
    state.SquareWavePhase = !state.SquareWavePhase;
    const int outputs = state.SquareWavePhase ? state.IokOutputs : 0;
    SendNibbles(outputs);
    SendNibbles(outputs);
    ShowInputs();
}

void TIokPage::Exit() {
    if (!CheckBoxIOKTest->isChecked())
        return;
    ButtonIOKVersturen->setText("Testen");
    StopTimer();
}

void TIokPage::SendNibbles(int outputs) {
    for (int nibble = 3; nibble >= 0; --nibble) {
        Bus().SendBusWord(NibbleWord(nibble, outputs));
        State().IokFeedback = AwaitFeedback(false);
        TakeInReply(State().IokFeedback);
    }
}

} // namespace cards
