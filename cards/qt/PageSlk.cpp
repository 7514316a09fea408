#include "cards/qt/PageSlk.h"

#include "bus/BusWord.h"
#include "cards/qt/Controls.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

namespace cards {

TSlkPage::TSlkPage(TCardContext& context, QWidget* sheet) : TCardPage(context, sheet) {
    auto* mode = Placed(new QGroupBox("Test", sheet), "GroupBoxSLK", {8, 8, 240, 84});
    rbtKaart = Placed(new QRadioButton("Kaart selecteren", mode), "rbtKaart", {14, 24, 200, 22});
    rbtKaart->setChecked(true);
    rbtRektesten = Placed(new QRadioButton("Rek testen", mode), "rbtRektesten", {14, 50, 200, 22});

    LabelSLK = MakeLabel(sheet, "LabelSLK", "Adres", 270, 24, 60, 22);
    SpinEditSLKAdr = Placed(new QSpinBox(sheet), "SpinEditSLKAdr", {330, 22, 70, 26});
    SpinEditSLKAdr->setRange(0, 63);
    LabelSLK->setBuddy(SpinEditSLKAdr);

    ButtonSLKVersturen =
        Placed(new QPushButton("Versturen", sheet), "ButtonSLKVersturen", {270, 62, 130, 30});
    ButtonSLKVersturen->setEnabled(false);

    auto* help = MakeLabel(sheet, "LabelSLKUitleg",
                           "Kaart selecteren: het selectiesignaal van de plaats met dit adres "
                           "wordt \"0\".\nRek testen: de 16 plaatsen van het rek worden om "
                           "de beurt geselecteerd, elke 400 ms opnieuw.",
                           8, 110, 590, 60);
    help->setWordWrap(true);

    connect(rbtKaart, &QRadioButton::clicked, this, [this] { rbtKaartClick(); });
    connect(rbtRektesten, &QRadioButton::clicked, this, [this] { rbtRektestenClick(); });
    connect(SpinEditSLKAdr, &QSpinBox::valueChanged, this, [this] { Reset(); });
    connect(ButtonSLKVersturen, &QPushButton::clicked, this,
            [this] { Action([this] { ButtonSLKVersturenClick(); }); });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (old == ButtonSLKVersturen && FocusMovedWithinWindow(old, now))
            Reset();
    });
}

bool TSlkPage::RackMode() const {
    return rbtRektesten->isChecked();
}

void TSlkPage::rbtKaartClick() {
    SpinEditSLKAdr->setRange(0, 63);
    SpinEditSLKAdr->setValue(0);
    LabelSLK->setText("Adres");
    ButtonSLKVersturen->setText("Versturen");
    StopTimer();
}

void TSlkPage::rbtRektestenClick() {
    SpinEditSLKAdr->setRange(1, 4);
    SpinEditSLKAdr->setValue(1);
    LabelSLK->setText("Rek");
    ButtonSLKVersturen->setText("Testen");
    StopTimer();
}

void TSlkPage::Reset() {
    ButtonSLKVersturen->setText(RackMode() ? "Testen" : "Versturen");
    StopTimer();
}

void TSlkPage::ButtonSLKVersturenClick() {
    if (!RackMode()) {
        Bus().SendBusWord(bus::AddressWord(SpinEditSLKAdr->value()));
        AwaitFeedback(true);
        return;
    }
    if (ButtonSLKVersturen->text() == "Testen") {
        ButtonSLKVersturen->setText("Stop");
        StartTimer();
        mContext.TickNow();
    } else {
        ButtonSLKVersturen->setText("Testen");
        StopTimer();
    }
}

void TSlkPage::Tick() {
    // In card mode the spin edit holds an address, not a rack: sweeping "rack 0" would put
    // data-strobe words (0x70 to 0x7F) on the bus. A tick that finds the page so does nothing.
    if (!RackMode())
        return;
    const int rack = SpinEditSLKAdr->value();
    for (int i = 0; i < 16; ++i) {
        Bus().SendBusWord(bus::AddressWord((rack - 1) * 16 + i));
        State().TickFeedback = AwaitFeedback(true);
    }
}

} // namespace cards
