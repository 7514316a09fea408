#include "cards/qt/PageBlock.h"

#include "bus/BusWord.h"
#include "bus/qt/Dialogs.h"
#include "platform/Tick.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

namespace cards {

namespace {

void TooFewSections(QWidget* parent) {
    bus::Dialogs().Message(parent, bus::TDialogs::TIcon::Error, bus::ProgramTitle,
                           bus::Tr("Onvoldoende secties geselecteerd"), QString());
}

QSpinBox* MakeAddress(QWidget* parent, const QString& name, int maximum, int x, int y) {
    auto* label = MakeLabel(parent, name + "Label", "Adres", x, y + 3, 44, 18);
    auto* spin = Placed(new QSpinBox(parent), name, {x + 46, y, 64, 24});
    spin->setRange(0, maximum);
    label->setBuddy(spin);
    return spin;
}

QPushButton* MakeControlButton(QWidget* parent, const QString& name) {
    auto* button = Placed(new QPushButton("Go", parent), name, {16, 252, 94, 30});
    button->setEnabled(false);
    return button;
}

} // namespace

int TBlockPage::DriveCard(int a, int s) {
    TCardTestState& state = State();
    Bus().SendBusWord(bus::AddressWord(a));
    state.TickFeedback = AwaitFeedback(false);
    const std::uint32_t elapsed = platform::GetTickCount() - state.LastReversal;
    const std::int32_t threshold = state.LegDuration / 3 * 2;
    // Compared as 64-bit numbers: a run timed at more than 2^31 ms is negative as a 32-bit
    // number, and then the whole next run counts as its last third.
    const bool slowed = static_cast<std::int64_t>(elapsed) > static_cast<std::int64_t>(threshold);
    const int speed = state.Direction + (slowed ? SlowedSpeed(s) : s);
    Bus().SendBusWord(a > 63 ? bus::LatchDataWord(speed) : bus::DataWord(speed));
    return AwaitFeedback(false);
}

void TBlockPage::ReverseAtEnd(int occupancy) {
    TCardTestState& state = State();
    const bool up = state.Direction == 0;
    const int target = up ? state.LastSection : state.FirstSection;
    if ((occupancy & target) != target)
        return;
    const std::uint32_t now = platform::GetTickCount();
    state.Direction = up ? 16 : 0;
    state.LegDuration = static_cast<std::int32_t>(now - state.LastReversal);
    state.LastReversal = now;
}

template <std::size_t N> void TBlockPage::ChooseEnds(const std::array<QCheckBox*, N>& boxes) {
    TCardTestState& state = State();
    state.FirstSection = 0;
    state.LastSection = 0;
    for (QCheckBox* box : boxes) {
        if (!box->isChecked())
            continue;
        if (state.FirstSection == 0)
            state.FirstSection = Tag(box);
        else
            state.LastSection = Tag(box);
    }
}

void TBlockPage::EndTest(QPushButton* button) {
    button->setText("Go");
    StopTimer();
    TCardTestState& state = State();
    state.Direction = 0;
    state.FirstSection = 0;
    state.LastSection = 0;
    Bus().SendBusWord(bus::DataWord(0));
    AwaitFeedback(true);
}

void TBlockPage::StopOnExit() {
    if (!TimerRunning())
        return;
    StopTimer();
    Bus().SendBusWord(bus::DataWord(0));
    AwaitFeedback(true);
}

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

TXbkPage::TXbkPage(TCardContext& context, QWidget* sheet) : TBlockPage(context, sheet) {
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
            box->setChecked(true);
            SetTag(box, 1 << n);
            CheckBoxBKSectie[n] = box;
            ShapeBKS[n] = new TShape(group, QString("ShapeBKS%1").arg(n + 1), LampWhite, 44, y + 1);
            MakeLabel(group, QString("LabelBKS%1").arg(n + 1), QString("Sectie %1").arg(k + 1), 72,
                      y, 70);
            connect(box, &QCheckBox::toggled, this, [this, n] { CheckBoxBKSectieClick(n); });
        }
        ShapeBKKort[g] =
            new TShape(group, QString("ShapeBK%1Kort").arg(g + 1), LampYellow, 66, 218);
        MakeLabel(group, QString("LabelBK%1Kort").arg(g + 1), "Kortsluitmelding", 10, 240, 130)
            ->setAlignment(Qt::AlignHCenter);
    }

    connect(Button2BKControl, &QPushButton::clicked, this,
            [this] { Action([this] { Button2BKControlClick(); }); });
}

void TXbkPage::CheckBoxBKSectieClick(int n) {
    ShapeBKS[n]->SetBrushColor(CheckBoxBKSectie[n]->isChecked() ? LampWhite : LampGrey);
}

void TXbkPage::SetControlsEnabled(bool enabled) {
    for (QCheckBox* box : CheckBoxBKSectie)
        box->setEnabled(enabled);
    for (QSpinBox* spin : SpinEditBKadr)
        spin->setEnabled(enabled);
}

void TXbkPage::Button2BKControlClick() {
    if (TimerRunning())
        Stop();
    else
        Go();
}

void TXbkPage::Go() {
    TCardTestState& state = State();
    state.GroupActive = {};
    for (int n = 0; n < 12; ++n)
        if (CheckBoxBKSectie[n]->isChecked())
            state.GroupActive[n / 4] = true;
    ChooseEnds(CheckBoxBKSectie);
    if (state.LastSection == 0) {
        TooFewSections(Sheet);
        return;
    }
    Button2BKControl->setText("Stop");
    SetControlsEnabled(false);
    state.Direction = 0;
    StartTimer();
    mContext.TickNow();
}

void TXbkPage::Stop() {
    SetControlsEnabled(true);
    EndTest(Button2BKControl);
}

void TXbkPage::Tick() {
    TCardTestState& state = State();
    int occupancy = 0;
    for (int g = 2; g >= 0; --g) {
        if (!state.GroupActive[g])
            continue;
        state.TickFeedback = DriveCard(SpinEditBKadr[g]->value(), 15 - TrackBar2BKSpeed->value());
        if (g == 0)
            Label9->setText(QString::number(state.TickFeedback));
        occupancy |= bus::TReply(state.TickFeedback).Lines() << (4 * g);
        ShowReply(g, state.TickFeedback);
    }
    ReverseAtEnd(occupancy);
}

void TXbkPage::ShowReply(int group, int value) {
    const bus::TReply reply(value);
    if (!reply.IsByte()) {
        ShapeBKKort[group]->SetBrushColor(LampYellow);
        return;
    }
    if (!reply.IsBlockFeedback())
        return;
    for (int k = 0; k < 4; ++k) {
        const int n = 4 * group + k;
        if (!CheckBoxBKSectie[n]->isChecked())
            ShapeBKS[n]->SetBrushColor(LampGrey);
        else
            ShapeBKS[n]->SetBrushColor(reply.Line(k) ? LampYellow : LampWhite);
    }
    if (!reply.ShortCircuit()) {
        ShapeBKKort[group]->SetBrushColor(LampGreen);
        return;
    }
    ShapeBKKort[group]->SetBrushColor(LampRed);
    if (ShortCircuitReporting())
        Stop();
}

void TXbkPage::Exit() {
    for (QSpinBox* spin : SpinEditBKadr)
        spin->setEnabled(true);
    Button2BKControl->setText("Go");
    StopOnExit();
}

T3bkPage::T3bkPage(TCardContext& context, QWidget* sheet) : TBlockPage(context, sheet) {
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
        box->setChecked(true);
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

    connect(Button3BKControl, &QPushButton::clicked, this,
            [this] { Action([this] { Button3BKControlClick(); }); });
}

void T3bkPage::Button3BKControlClick() {
    if (TimerRunning())
        Stop();
    else
        Go();
}

void T3bkPage::Go() {
    ChooseEnds(CheckBox3BKSectie);
    if (State().LastSection == 0) {
        TooFewSections(Sheet);
        return;
    }
    Button3BKControl->setText("Stop");
    SpinEdit3BKadr->setEnabled(false);
    State().Direction = 0;
    StartTimer();
    mContext.TickNow();
}

void T3bkPage::Stop() {
    SpinEdit3BKadr->setEnabled(true);
    EndTest(Button3BKControl);
}

void T3bkPage::Tick() {
    TCardTestState& state = State();
    state.TickFeedback = DriveCard(SpinEdit3BKadr->value(), 15 - TrackBar3BKSpeed->value());
    const bus::TReply reply(state.TickFeedback);
    if (!reply.IsByte()) {
        Shape3BKkort->SetBrushColor(LampYellow);
    } else if (reply.IsBlockFeedback()) {
        for (int k = 0; k < 4; ++k)
            Shape3BKS[k]->SetBrushColor(reply.Line(k) ? LampYellow : LampWhite);
        Shape3BKkort->SetBrushColor(reply.ShortCircuit() ? LampRed : LampGreen);
        if (reply.ShortCircuit() && ShortCircuitReporting())
            Stop();
    }
    ReverseAtEnd(reply.Lines());
}

void T3bkPage::Exit() {
    SpinEdit3BKadr->setEnabled(true);
    Button3BKControl->setText("Go");
    StopOnExit();
}

} // namespace cards
