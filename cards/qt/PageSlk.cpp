#include "cards/qt/PageSlk.h"

#include "cards/qt/Controls.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace cards {

TSlkPage::TSlkPage(QObject* owner, QWidget* sheet, TSlkModel& model)
    : TCardPage(owner, sheet, model), mModel(model) {
    auto* mode = Placed(new QGroupBox("Test", sheet), "GroupBoxSLK", {8, 8, 240, 84});
    rbtKaart = Placed(new QRadioButton("Kaart selecteren", mode), "rbtKaart", {14, 24, 200, 22});
    rbtRektesten = Placed(new QRadioButton("Rek testen", mode), "rbtRektesten", {14, 50, 200, 22});

    LabelSLK = MakeLabel(sheet, "LabelSLK", "Adres", 270, 24, 60, 22);
    SpinEditSLKAdr = Placed(new QSpinBox(sheet), "SpinEditSLKAdr", {330, 22, 70, 26});
    LabelSLK->setBuddy(SpinEditSLKAdr);

    ButtonSLKVersturen =
        Placed(new QPushButton("Versturen", sheet), "ButtonSLKVersturen", {270, 62, 130, 30});

    auto* help = MakeLabel(sheet, "LabelSLKUitleg",
                           "Kaart selecteren: het selectiesignaal van de plaats met dit adres "
                           "wordt \"0\".\nRek testen: de 16 plaatsen van het rek worden om "
                           "de beurt geselecteerd, elke 400 ms opnieuw.",
                           8, 110, 590, 60);
    help->setWordWrap(true);

    connect(rbtKaart, &QRadioButton::clicked, this, [this] { mModel.ChooseCardMode(); });
    connect(rbtRektesten, &QRadioButton::clicked, this, [this] { mModel.ChooseRackMode(); });
    connect(SpinEditSLKAdr, &QSpinBox::valueChanged, this,
            [this](int value) { mModel.SetValue(value); });
    connect(ButtonSLKVersturen, &QPushButton::clicked, this, [this] { ButtonSLKVersturenClick(); });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (old == ButtonSLKVersturen && FocusMovedWithinWindow(old, now))
            mModel.LeaveButton();
    });
    Follow();
}

void TSlkPage::ButtonSLKVersturenClick() {
    mModel.Click();
}

void TSlkPage::Show() {
    const TSlkView& view = mModel.View();
    (view.RackMode ? rbtRektesten : rbtKaart)->setChecked(true);
    LabelSLK->setText(view.Label);
    {
        // The model knows the value already: shown, not told again.
        const QSignalBlocker quiet(SpinEditSLKAdr);
        SpinEditSLKAdr->setRange(view.Minimum, view.Maximum);
        SpinEditSLKAdr->setValue(view.Value);
    }
    ButtonSLKVersturen->setText(view.Caption);
    ButtonSLKVersturen->setEnabled(view.ButtonEnabled);
}

} // namespace cards
