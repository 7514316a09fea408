#include "cards/qt/PageBusWord.h"

#include <QLabel>
#include <QPushButton>
#include <bit>
#include <initializer_list>

namespace cards {

TBusWordPage::TBusWordPage(QObject* owner, QWidget* sheet, TBusWordModel& model)
    : TCardPage(owner, sheet, model), mModel(model) {
    const bool sck = model.Page() == TPage::Sck;
    const QString p = sck ? "SCK" : "PCK";

    auto* control = Placed(new QGroupBox("Bus besturing", sheet), "GroupBox" + p + "Besturing",
                           {8, 8, 392, 96});
    // The lines from bit 7 on the left to bit 0 on the right, as the word is written.
    const int x0 = 14;
    const int step = 47;
    ButtonAdr = MakeBitButton(control, "Button" + p + "Adr", 128, x0, 58, 32, 26);
    LabelAdr =
        MakeLabel(control, sck ? "LabelSCKAdr" : "LabelPCKadr", "Adres Strobe", x0 - 6, 22, 46, 34);
    ButtonData = MakeBitButton(control, "Button" + p + "Data", 64, x0 + step, 58, 32, 26);
    LabelData = MakeLabel(control, "Label" + p + "Data", "Data Strobe", x0 + step - 6, 22, 46, 34);
    for (int bit = 5; bit >= 0; --bit) {
        const int x = x0 + (7 - bit) * step;
        ButtonD[bit] =
            MakeBitButton(control, QString("Button%1D%2").arg(p).arg(bit), 1 << bit, x, 58, 32, 26);
        LabelD[bit] = MakeLabel(control, QString("Label%1D%2").arg(p).arg(bit),
                                QString("D%1").arg(bit), x - 6, 22, 46, 34);
    }
    for (QLabel* label : {LabelAdr, LabelData})
        label->setWordWrap(true);
    for (QLabel* label : LabelD)
        label->setWordWrap(true);
    for (QLabel* label : control->findChildren<QLabel*>())
        label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);

    QStringList items;
    for (const char* item : TBusWordModel::StrobeItems)
        items << item;
    RadioGroupStrobe = new TRadioGroup(sheet, "RadioGroup" + p + "Strobe", "Select Strobe", items,
                                       QRect(412, 8, 182, 110));

    ButtonVersturen = Placed(new QPushButton("Versturen", sheet), "Button" + p + "Versturen",
                             {452, 150, 100, 30});

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
    connect(ButtonVersturen, &QPushButton::clicked, this, [this] { VersturenClick(); });
    Follow();
}

void TBusWordPage::BitButtonClick(QPushButton* button) {
    mModel.ClickBit(std::countr_zero(static_cast<unsigned>(Tag(button))));
}

void TBusWordPage::StrobeClick() {
    mModel.ChooseStrobe(RadioGroupStrobe->ItemIndex());
}

void TBusWordPage::VersturenClick() {
    mModel.Send();
}

void TBusWordPage::Show() {
    const TBusWordView& view = mModel.View();
    for (int bit = 0; bit < 6; ++bit)
        ShowBit(ButtonD[static_cast<std::size_t>(bit)], view.Bits[static_cast<std::size_t>(bit)]);
    ShowBit(ButtonData, view.Bits[6]);
    ShowBit(ButtonAdr, view.Bits[7]);
    ButtonD[5]->setEnabled(view.D5Enabled);
    LabelD[5]->setEnabled(view.D5Enabled);
    LabelD[5]->setText(view.D5Caption);
    for (QWidget* control :
         std::initializer_list<QWidget*>{ButtonData, ButtonAdr, LabelData, LabelAdr})
        control->setEnabled(view.StrobeButtonsEnabled);
    RadioGroupStrobe->setEnabled(view.StrobeGroupEnabled);
    RadioGroupStrobe->SetItemIndex(view.Strobe);
    ButtonVersturen->setEnabled(view.VersturenEnabled);
    for (std::size_t k = 0; k < 4; ++k)
        ShapeS[k]->SetBrushColor(LampColor(view.S[k]));
    ShapeKort->SetBrushColor(LampColor(view.Kort));
}

} // namespace cards
