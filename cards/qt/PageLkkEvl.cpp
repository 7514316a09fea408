#include "cards/qt/PageLkkEvl.h"

#include "cards/qt/Controls.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace cards {

TLkkEvlPage::TLkkEvlPage(QObject* owner, QWidget* sheet, TLkkEvlModel& model)
    : TCardPage(owner, sheet, model), mModel(model) {
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
        connect(ButtonLKK_EVL[i], &QPushButton::clicked, this,
                [this, i] { mModel.ClickPin(i + 1); });
    }

    connect(SpinEditLKK_EVLadr, &QSpinBox::valueChanged, this,
            [this](int address) { mModel.SetAddress(address); });
    connect(RadioGroupEVLSelect, &TRadioGroup::Click, this,
            [this] { mModel.ChooseEvl(RadioGroupEVLSelect->ItemIndex()); });
    connect(CheckBoxLKK_EVLTest, &QCheckBox::clicked, this,
            [this](bool ticked) { mModel.SetTester(ticked); });
    connect(ButtonLKK_EVLversturen, &QPushButton::clicked, this,
            [this] { ButtonLKK_EVLversturenClick(); });
    Follow();
}

void TLkkEvlPage::ButtonLKK_EVLversturenClick() {
    mModel.Click();
}

void TLkkEvlPage::Show() {
    const TLkkEvlView& view = mModel.View();
    {
        const QSignalBlocker quiet(SpinEditLKK_EVLadr);
        SpinEditLKK_EVLadr->setValue(view.Address);
    }
    RadioGroupEVLSelect->SetItemIndex(view.Evl);
    RadioGroupEVLSelect->setEnabled(view.EvlEnabled);
    CheckBoxLKK_EVLTest->setChecked(view.Tester);
    ButtonLKK_EVLversturen->setText(view.Caption);
    ButtonLKK_EVLversturen->setEnabled(view.ButtonEnabled);
    for (int pin = 1; pin <= 64; ++pin)
        ShowBit(ButtonLKK_EVL[static_cast<std::size_t>(pin - 1)], mModel.Pin(pin));
}

} // namespace cards
