#include "cards/qt/PageIok.h"

#include "bus/CardWords.h"
#include "cards/qt/Controls.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace cards {

TIokPage::TIokPage(QObject* owner, QWidget* sheet, TIokModel& model)
    : TCardPage(owner, sheet, model), mModel(model) {
    auto* labelAdr = MakeLabel(sheet, "LabelIOKadr", "Adres", 8, 14, 48, 22);
    SpinEditIOKadr = Placed(new QSpinBox(sheet), "SpinEditIOKadr", {58, 12, 70, 26});
    SpinEditIOKadr->setRange(0, 63);
    labelAdr->setBuddy(SpinEditIOKadr);

    CheckBoxIOKTest = Placed(new QCheckBox("Testen", sheet), "CheckBoxIOKTest", {160, 14, 110, 22});
    ButtonIOKVersturen =
        Placed(new QPushButton("Versturen", sheet), "ButtonIOKVersturen", {290, 10, 110, 30});

    auto* outputs =
        Placed(new QGroupBox("Uitgangen", sheet), "GroupBoxIOKUitgangen", {8, 60, 590, 76});
    auto* inputs =
        Placed(new QGroupBox("Ingangen", sheet), "GroupBoxIOKIngangen", {8, 150, 590, 76});
    for (int i = 0; i < 16; ++i) {
        const int x = 10 + i * 36;
        const QString n = QString::number(i + 1);
        const int weight = 1 << bus::IoPinBit[static_cast<std::size_t>(i)];
        MakeLabel(outputs, "LabelIOKUit" + n, n, x, 22, 30, 15)->setAlignment(Qt::AlignCenter);
        ButtonIOK[i] = MakeBitButton(outputs, "ButtonIOK" + n, weight, x, 38, 30, 24);
        MakeLabel(inputs, "LabelIOKIn" + n, n, x, 22, 30, 15)->setAlignment(Qt::AlignCenter);
        ShapeIOK[i] = new TShape(inputs, "ShapeIOK" + n, LampWhite, x + 7, 42);
        SetTag(ShapeIOK[i], weight);
        connect(ButtonIOK[i], &QPushButton::clicked, this,
                [this, i] { mModel.ClickOutput(i + 1); });
    }

    connect(SpinEditIOKadr, &QSpinBox::valueChanged, this,
            [this](int address) { mModel.SetAddress(address); });
    connect(CheckBoxIOKTest, &QCheckBox::clicked, this,
            [this](bool ticked) { mModel.SetTesten(ticked); });
    connect(ButtonIOKVersturen, &QPushButton::clicked, this, [this] { ButtonIOKVersturenClick(); });
    Follow();
}

void TIokPage::ButtonIOKVersturenClick() {
    mModel.Click();
}

void TIokPage::Show() {
    const TIokView& view = mModel.View();
    {
        const QSignalBlocker quiet(SpinEditIOKadr);
        SpinEditIOKadr->setValue(view.Address);
    }
    CheckBoxIOKTest->setChecked(view.Testen);
    ButtonIOKVersturen->setText(view.Caption);
    ButtonIOKVersturen->setEnabled(view.ButtonEnabled);
    for (std::size_t i = 0; i < 16; ++i) {
        ShowBit(ButtonIOK[i], mModel.Output(static_cast<int>(i) + 1));
        ShapeIOK[i]->SetBrushColor(LampColor(view.Inputs[i]));
    }
}

} // namespace cards
