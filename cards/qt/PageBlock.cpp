#include "cards/qt/PageBlock.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <type_traits>

namespace cards {

namespace {

QSpinBox* MakeAddress(QWidget* parent, const QString& name, int maximum, int x, int y) {
    auto* label = MakeLabel(parent, name + "Label", "Adres", x, y + 3, 44, 18);
    auto* spin = Placed(new QSpinBox(parent), name, {x + 46, y, 64, 24});
    spin->setRange(0, maximum);
    label->setBuddy(spin);
    return spin;
}

QPushButton* MakeControlButton(QWidget* parent, const QString& name) {
    return Placed(new QPushButton("Go", parent), name, {16, 252, 94, 30});
}

// A value the model holds, shown without telling the model again.
template <class TControl, class TValue> void ShowValue(TControl* control, TValue value) {
    const QSignalBlocker quiet(control);
    if constexpr (std::is_same_v<TValue, bool>)
        control->setChecked(value);
    else
        control->setValue(value);
}

} // namespace

QSlider* MakeSpeedTrackBar(QWidget* sheet, const QString& name, const QRect& groupGeometry) {
    auto* group = Placed(new QGroupBox("Snelheid", sheet), name + "Group", groupGeometry);
    const int top = 24;
    const int height = groupGeometry.height() - top - 10;
    auto* slider = Placed(new QSlider(Qt::Vertical, group), name,
                          {groupGeometry.width() / 2 - 15, top, 30, height});
    slider->setRange(0, 15);
    slider->setValue(15);
    slider->setInvertedAppearance(true); // position 0, full speed, at the top
    slider->setTickPosition(QSlider::TicksBothSides);
    slider->setTickInterval(5);
    for (int speed : {15, 10, 5, 0}) {
        const int y = top + (15 - speed) * (height - 18) / 15;
        const QString text = QString::number(speed);
        MakeLabel(group, QString("%1Left%2").arg(name).arg(speed), text, 6, y, 22)
            ->setAlignment(Qt::AlignRight);
        MakeLabel(group, QString("%1Right%2").arg(name).arg(speed), text,
                  groupGeometry.width() - 28, y, 22);
    }
    return slider;
}

TXbkPage::TXbkPage(QObject* owner, QWidget* sheet, TBlockModel& model)
    : TCardPage(owner, sheet, model), mModel(model) {
    TrackBar2BKSpeed = MakeSpeedTrackBar(sheet, "TrackBar2BKSpeed", QRect(8, 8, 110, 236));
    Button2BKControl = MakeControlButton(sheet, "Button2BKControl");
    Label9 = MakeLabel(sheet, "Label9", "Label9", 16, 288, 94, 18);
    Label9->setAlignment(Qt::AlignHCenter);

    for (int g = 0; g < 3; ++g) {
        auto* group = Placed(new QGroupBox("Terugmelding", sheet),
                             QString("GroupBoxBK%1").arg(g + 1), {128 + g * 158, 8, 150, 298});
        SpinEditBKadr[g] = MakeAddress(group, QString("SpinEditBK%1adr").arg(g + 1), 127, 12, 24);
        for (int k = 0; k < 4; ++k) {
            const int n = 4 * g + k;
            const int y = 66 + k * 36;
            auto* box = Placed(new QCheckBox(group), QString("CheckBoxBKSectie%1").arg(n + 1),
                               {14, y, 22, 20});
            SetTag(box, 1 << n);
            CheckBoxBKSectie[n] = box;
            ShapeBKS[n] = new TShape(group, QString("ShapeBKS%1").arg(n + 1), LampWhite, 44, y + 1);
            MakeLabel(group, QString("LabelBKS%1").arg(n + 1), QString("Sectie %1").arg(k + 1), 72,
                      y, 70);
            connect(box, &QCheckBox::toggled, this,
                    [this, n](bool ticked) { mModel.SetSection(n, ticked); });
        }
        ShapeBKKort[g] =
            new TShape(group, QString("ShapeBK%1Kort").arg(g + 1), LampYellow, 66, 218);
        MakeLabel(group, QString("LabelBK%1Kort").arg(g + 1), "Kortsluitmelding", 10, 240, 130)
            ->setAlignment(Qt::AlignHCenter);
    }

    for (int g = 0; g < 3; ++g)
        connect(SpinEditBKadr[g], &QSpinBox::valueChanged, this,
                [this, g](int address) { mModel.SetAddress(g, address); });
    connect(TrackBar2BKSpeed, &QSlider::valueChanged, this,
            [this](int position) { mModel.SetSpeedPosition(position); });
    connect(Button2BKControl, &QPushButton::clicked, this, [this] { Button2BKControlClick(); });
    Follow();
}

void TXbkPage::Button2BKControlClick() {
    mModel.Click();
}

void TXbkPage::Show() {
    const TBlockView& view = mModel.View();
    for (std::size_t g = 0; g < 3; ++g) {
        ShowValue(SpinEditBKadr[g], view.Address[g]);
        SpinEditBKadr[g]->setEnabled(view.AddressesEnabled);
        ShapeBKKort[g]->SetBrushColor(LampColor(view.Kort[g]));
    }
    for (std::size_t n = 0; n < 12; ++n) {
        ShowValue(CheckBoxBKSectie[n], view.Section[n]);
        CheckBoxBKSectie[n]->setEnabled(view.SectionsEnabled);
        ShapeBKS[n]->SetBrushColor(LampColor(view.S[n]));
    }
    ShowValue(TrackBar2BKSpeed, view.SpeedPosition);
    Button2BKControl->setText(view.Caption);
    Button2BKControl->setEnabled(view.ButtonEnabled);
    Label9->setText(QString::fromStdString(view.Label9));
}

T3bkPage::T3bkPage(QObject* owner, QWidget* sheet, TBlockModel& model)
    : TCardPage(owner, sheet, model), mModel(model) {
    TrackBar3BKSpeed = MakeSpeedTrackBar(sheet, "TrackBar3BKSpeed", QRect(8, 8, 110, 236));
    Button3BKControl = MakeControlButton(sheet, "Button3BKControl");
    SpinEdit3BKadr = MakeAddress(sheet, "SpinEdit3BKadr", 63, 140, 16);

    auto* sections =
        Placed(new QGroupBox("Secties", sheet), "GroupBox3BKSecties", {140, 52, 150, 182});
    auto* feedback = Placed(new QGroupBox("Terugmelding", sheet), "GroupBox3BKTerugmelding",
                            {302, 52, 250, 182});
    for (int k = 0; k < 4; ++k) {
        const int y = 28 + k * 36;
        auto* box = Placed(new QCheckBox(QString("Sectie %1").arg(k + 1), sections),
                           QString("CheckBox3BKSectie%1").arg(k + 1), {14, y, 120, 20});
        SetTag(box, 1 << k);
        CheckBox3BKSectie[k] = box;
        Shape3BKS[k] =
            new TShape(feedback, QString("Shape3BKS%1").arg(k + 1), LampWhite, 16, y + 1);
        MakeLabel(feedback, QString("Label3BKS%1").arg(k + 1), QString("Sectie %1").arg(k + 1), 42,
                  y, 70);
    }
    Shape3BKkort = new TShape(feedback, "Shape3BKkort", LampYellow, 180, 64);
    MakeLabel(feedback, "Label3BKkort", "Kortsluitmelding", 130, 86, 116)
        ->setAlignment(Qt::AlignHCenter);

    for (int k = 0; k < 4; ++k)
        connect(CheckBox3BKSectie[k], &QCheckBox::toggled, this,
                [this, k](bool ticked) { mModel.SetSection(k, ticked); });
    connect(SpinEdit3BKadr, &QSpinBox::valueChanged, this,
            [this](int address) { mModel.SetAddress(0, address); });
    connect(TrackBar3BKSpeed, &QSlider::valueChanged, this,
            [this](int position) { mModel.SetSpeedPosition(position); });
    connect(Button3BKControl, &QPushButton::clicked, this, [this] { Button3BKControlClick(); });
    Follow();
}

void T3bkPage::Button3BKControlClick() {
    mModel.Click();
}

void T3bkPage::Show() {
    const TBlockView& view = mModel.View();
    ShowValue(SpinEdit3BKadr, view.Address[0]);
    SpinEdit3BKadr->setEnabled(view.AddressesEnabled);
    for (std::size_t k = 0; k < 4; ++k) {
        ShowValue(CheckBox3BKSectie[k], view.Section[k]);
        Shape3BKS[k]->SetBrushColor(LampColor(view.S[k]));
    }
    Shape3BKkort->SetBrushColor(LampColor(view.Kort[0]));
    ShowValue(TrackBar3BKSpeed, view.SpeedPosition);
    Button3BKControl->setText(view.Caption);
    Button3BKControl->setEnabled(view.ButtonEnabled);
}

} // namespace cards
