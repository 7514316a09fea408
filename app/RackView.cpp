#include "app/RackView.h"

#include "bus/CardWords.h"
#include "bus/qt/Dialogs.h"
#include "cards/qt/Controls.h"
#include "platform/Tick.h"
#include "session/RackSession.h"
#include "sim/RackFaults.h"
#include "sim/SimRack.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>

namespace app {

namespace {

using bus::Tr;
using platform::TrMark;

// The picture's measures, in pixels.
constexpr int Margin = 6;
constexpr int RackLabel = 44;
constexpr int PlaceWidth = 48;
constexpr int PlaceHeight = 50;
constexpr int RackGap = 4;
constexpr int LineHeight = 30;
constexpr int PinPitch = 10;
constexpr int TitleHeight = 16;
constexpr int GroupHeight = 134;

const QColor Lit(0xFF, 0xE0, 0x00);
const QColor Dark(0x50, 0x50, 0x50);
const QColor Red(0xE0, 0x00, 0x00);
const QColor Selected(0x00, 0xC0, 0x00);
const QColor Chosen(0x20, 0x60, 0xE0);
const QColor Flash(0xFF, 0x80, 0x00);

// The short name of a kind, as the pages that test it are named.
QString KindLabel(sim::TCardKind kind) {
    switch (kind) {
    case sim::TCardKind::Test:
        return Tr("test");
    case sim::TCardKind::Selection:
        return "SLK";
    case sim::TCardKind::TwoRail:
        return "(?)BK";
    case sim::TCardKind::ThreeRail:
        return "3BK";
    case sim::TCardKind::Latch:
        return "LKK";
    case sim::TCardKind::Io:
        return "IOK";
    }
    return {};
}

QString Places(const std::vector<int>& places) {
    QStringList text;
    for (int place : places)
        text << QString::number(place);
    return text.join(", ");
}

} // namespace

TRackPicture::TRackPicture(QWidget* parent) : QWidget(parent) {
    setObjectName("Rek");
    setFocusPolicy(Qt::NoFocus);
    QFont small = font();
    small.setPointSizeF(std::min(font().pointSizeF(), 8.0));
    setFont(small);
}

int TRackPicture::LinesTop() const {
    return Margin + 4 * (PlaceHeight + RackGap) + RackGap;
}

int TRackPicture::LatchTop() const {
    return LinesTop() + static_cast<int>(mState.Lines.size()) * LineHeight + RackGap;
}

int TRackPicture::IoTop() const {
    return LatchTop() + (mState.Latch.Place >= 0 ? TitleHeight + 4 * PinPitch + RackGap : 0);
}

int TRackPicture::Height() const {
    return IoTop() + (mState.Io.Place >= 0 ? TitleHeight + 2 * 16 : 0) + Margin;
}

QRect TRackPicture::PlaceRect(int place) const {
    return {Margin + RackLabel + (place % 16) * PlaceWidth,
            Margin + (place / 16) * (PlaceHeight + RackGap), PlaceWidth - 2, PlaceHeight};
}

QRect TRackPicture::InputRect(int pin) const {
    return {Margin + RackLabel + (pin - 1) * 2 * PinPitch, IoTop() + TitleHeight + 16, 2 * PinPitch,
            16};
}

void TRackPicture::Show(const sim::TRackState& state, const sim::TRackFlashes& flashes,
                        std::uint32_t now) {
    const bool resize = !mSized || state.Lines.size() != mState.Lines.size() ||
                        state.Latch.Place != mState.Latch.Place ||
                        state.Io.Place != mState.Io.Place;
    mSized = true;
    mState = state;
    mFlashes = &flashes;
    mNow = now;
    if (resize)
        setFixedSize(Width, Height());
    update();
}

void TRackPicture::SetChosenPlace(int place) {
    mChosen = place;
    update();
}

void TRackPicture::Lamp(QPainter& painter, const QPointF& centre, double radius, bool lit,
                        const QColor& colour, sim::TLampId lamp) const {
    const bool flashing = mFlashes && mFlashes->Flashing(lamp, mNow);
    painter.setPen(flashing ? QPen(Flash, 2) : QPen(Qt::black, 1));
    painter.setBrush(lit ? colour : Dark);
    painter.drawEllipse(centre, radius, radius);
}

void TRackPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), palette().color(QPalette::Window));

    for (int rack = 0; rack < 4; ++rack) {
        const QRect first = PlaceRect(16 * rack);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(Margin, first.top(), RackLabel - 4, PlaceHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, Tr("Rek %1").arg(rack + 1));
    }
    for (int place = 0; place < sim::TTrainBus::Places; ++place) {
        const sim::TPlaceState& at = mState.Places[static_cast<std::size_t>(place)];
        const QRect box = PlaceRect(place);
        painter.setPen(place == mChosen ? QPen(Chosen, 2) : QPen(Qt::gray, 1));
        painter.setBrush(at.Kind ? (at.Silent ? QColor(0xC8, 0xC8, 0xC8) : QColor(Qt::white))
                                 : QColor(0xE8, 0xE8, 0xE8));
        painter.drawRoundedRect(box, 3, 3);
        painter.setPen(Qt::black);
        painter.drawText(box.adjusted(3, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                         QString::number(place));
        if (at.Kind)
            painter.drawText(box.adjusted(3, 14, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                             at.Silent ? Tr("stil") : KindLabel(*at.Kind));
        Lamp(painter, QPointF(box.right() - 7, box.top() + 8), 4, mState.Selected == place,
             Selected, sim::PlaceLamp(place, 5));
        for (int line = 0; line < 4; ++line)
            Lamp(painter, QPointF(box.left() + 6 + line * 9, box.bottom() - 7), 3.5,
                 (at.Lines >> line) & 1, Lit, sim::PlaceLamp(place, line));
        Lamp(painter, QPointF(box.right() - 6, box.bottom() - 7), 3.5, at.Short, Red,
             sim::PlaceLamp(place, 4));
    }

    int top = LinesTop();
    for (std::size_t index = 0; index < mState.Lines.size(); ++index, top += LineHeight) {
        const sim::TLineState& line = mState.Lines[index];
        painter.setPen(palette().color(QPalette::WindowText));
        const QString label = KindLabel(line.Kind) + " " + Places(line.Places);
        painter.drawText(QRect(Margin, top, 118, LineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(label, Qt::ElideRight, 118));
        const int left = Margin + 124;
        const double pitch = std::min(40.0, (Width - left - 90.0) / line.Sections);
        const int trackTop = top + 12;
        for (int section = 0; section < line.Sections; ++section) {
            const bool shorted = line.Shorts[static_cast<std::size_t>(section / 4)];
            const QRectF box(left + section * pitch, trackTop, pitch - 2, 10);
            const bool flashing =
                mFlashes &&
                mFlashes->Flashing(sim::SectionLamp(static_cast<int>(index), section), mNow);
            painter.setPen(flashing ? QPen(Flash, 2)
                                    : QPen(shorted ? Red : Qt::black, shorted ? 2 : 1));
            painter.setBrush((line.Occupied >> section) & 1 ? Lit : QColor(0xA0, 0xA0, 0xA0));
            painter.drawRect(box);
            if (section % 4 == 0)
                painter.drawText(
                    QRectF(box.left(), top, pitch * 4, 12), Qt::AlignLeft | Qt::AlignTop,
                    QString::number(line.Places[static_cast<std::size_t>(section / 4)]));
        }
        // The locomotive on the track, its front pointing the way it runs.
        const double x = left + line.Position * pitch;
        const double length = std::max(sim::TSimBlockLine::LocomotiveLength * pitch, 6.0);
        painter.setPen(Qt::black);
        painter.setBrush(QColor(0x20, 0x20, 0x80));
        painter.drawRect(QRectF(x, trackTop + 2, length, 6));
        const double base = line.Down ? x : x + length;
        const double tip = line.Down ? x - 6 : x + length + 6;
        painter.drawPolygon(QPolygonF(
            {QPointF(base, trackTop), QPointF(tip, trackTop + 5), QPointF(base, trackTop + 10)}));
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRectF(left + line.Sections * pitch + 8, top, 90, LineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, Tr("snelheid %1").arg(line.Speed));
    }

    if (mState.Latch.Place >= 0) {
        const int latchTop = LatchTop();
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(Margin, latchTop, Width, TitleHeight), Qt::AlignLeft,
                         Tr("LKK %1: pennen 1 tot 64 van EVL A tot D").arg(mState.Latch.Place));
        for (int evl = 0; evl < 4; ++evl) {
            const int y = latchTop + TitleHeight + evl * PinPitch;
            painter.drawText(QRect(Margin, y - 2, RackLabel, PinPitch + 2), Qt::AlignLeft,
                             QString("EVL %1").arg(QChar('A' + evl)));
            for (int pin = 1; pin <= 64; ++pin)
                Lamp(painter, QPointF(Margin + RackLabel + (pin - 1) * PinPitch + 4, y + 4), 3.5,
                     (mState.Latch.Pins[static_cast<std::size_t>(evl)] >> (pin - 1)) & 1, Lit,
                     sim::PinLamp(evl, pin));
        }
    }

    if (mState.Io.Place >= 0) {
        const int ioTop = IoTop();
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(Margin, ioTop, Width, TitleHeight), Qt::AlignLeft,
                         mState.Io.Plug
                             ? Tr("IOK %1: pennen 1 tot 16, testplug erin").arg(mState.Io.Place)
                             : Tr("IOK %1: pennen 1 tot 16, zonder testplug (klik op een ingang)")
                                   .arg(mState.Io.Place));
        for (int row = 0; row < 2; ++row) {
            const bool input = row == 1;
            const int y = ioTop + TitleHeight + row * 16;
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawText(QRect(Margin, y, RackLabel, 16), Qt::AlignLeft | Qt::AlignVCenter,
                             input ? Tr("in") : Tr("uit"));
            // Pins 1 to 16 from left to right, as the IOK page shows them.
            for (int pin = 1; pin <= 16; ++pin) {
                const int bit = bus::IoPinBit[static_cast<std::size_t>(pin - 1)];
                const std::uint16_t levels = input ? mState.Io.Inputs : mState.Io.Outputs;
                const QPointF centre(Margin + RackLabel + (pin - 1) * 2 * PinPitch + PinPitch,
                                     y + 8);
                Lamp(painter, centre, 5, (levels >> bit) & 1, Lit, sim::IoLamp(input, bit));
                if (input && ((mState.Io.StuckMask >> bit) & 1)) {
                    // A stuck input: its level in red beside it.
                    painter.setPen(Red);
                    painter.drawText(QRectF(centre.x() + 5, y - 2, 10, 10), Qt::AlignLeft,
                                     QString::number((mState.Io.StuckLevels >> bit) & 1));
                }
            }
        }
    }
}

void TRackPicture::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    for (int place = 0; place < sim::TTrainBus::Places; ++place)
        if (PlaceRect(place).contains(at)) {
            emit PlaceClicked(place);
            return;
        }
    if (mState.Io.Place >= 0 && !mState.Io.Plug)
        for (int pin = 1; pin <= 16; ++pin)
            if (InputRect(pin).contains(at)) {
                emit InputClicked(pin);
                return;
            }
}

TFormRek::TFormRek(session::TRackSession& session, QWidget* parent)
    : QWidget(parent, Qt::Window), mSession(session), mRack(*session.Rack()) {
    setObjectName("FormRek");
    setWindowTitle(Tr("Rek"));
    // Shown beside the main window without taking the keyboard from the page under test.
    setAttribute(Qt::WA_ShowWithoutActivating);

    Picture = new TRackPicture(this);
    mState = mRack.State();
    Picture->Show(mState, mFlashes, platform::GetTickCount());
    Picture->move(0, 0);
    BuildControls(Picture->Height());
    connect(Picture, &TRackPicture::PlaceClicked, this,
            [this](int place) { SpinEditPlaats->setValue(place); });
    connect(Picture, &TRackPicture::InputClicked, this, [this](int pin) {
        bus::Guarded([this, pin] {
            sim::TFault fault;
            fault.Kind = sim::TFault::TKind::Input;
            fault.Pin = pin;
            Give(fault);
        });
    });

    TimerRek = new QTimer(this);
    TimerRek->setObjectName("TimerRek");
    TimerRek->setInterval(PollMs);
    connect(TimerRek, &QTimer::timeout, this,
            [this] { bus::Guarded([this] { TimerRekTimer(); }); });
    ShowControls();
}

TFormRek::~TFormRek() = default;

void TFormRek::BuildControls(int top) {
    const auto guarded = [this](void (TFormRek::*handler)()) {
        return [this, handler] { bus::Guarded([this, handler] { (this->*handler)(); }); };
    };

    GroupBoxKaart = cards::Placed(new QGroupBox(Tr("Storing op een kaart"), this), "GroupBoxKaart",
                                  {Margin, top, 400, GroupHeight});
    auto* labelPlaats = new QLabel(Tr("Plaats"), GroupBoxKaart);
    labelPlaats->setGeometry(10, 24, 50, 22);
    SpinEditPlaats = cards::Placed(new QSpinBox(GroupBoxKaart), "SpinEditPlaats", {64, 22, 60, 24});
    SpinEditPlaats->setRange(0, sim::TTrainBus::Places - 1);
    LabelSoort = cards::Placed(new QLabel(GroupBoxKaart), "LabelSoort", {132, 24, 260, 22});
    CheckBoxStil = cards::Placed(new QCheckBox(Tr("Stil (meldt niets)"), GroupBoxKaart),
                                 "CheckBoxStil", {10, 52, 180, 22});
    CheckBoxKortsluiting = cards::Placed(new QCheckBox(Tr("Kortsluiting"), GroupBoxKaart),
                                         "CheckBoxKortsluiting", {200, 52, 190, 22});
    auto* labelIngang = new QLabel(Tr("Ingang"), GroupBoxKaart);
    labelIngang->setGeometry(10, 82, 50, 22);
    SpinEditIngang = cards::Placed(new QSpinBox(GroupBoxKaart), "SpinEditIngang", {64, 80, 60, 24});
    SpinEditIngang->setRange(1, 16);
    ComboBoxIngang =
        cards::Placed(new QComboBox(GroupBoxKaart), "ComboBoxIngang", {132, 80, 160, 24});
    ComboBoxIngang->addItems({Tr("werkt"), Tr("zit vast op 0"), Tr("zit vast op 1")});

    GroupBoxSerieel = new QGroupBox(Tr("Seriele kaart"), this);
    GroupBoxSerieel->setObjectName("GroupBoxSerieel");
    GroupBoxSerieel->setGeometry(Margin + 408, top, TRackPicture::Width - 2 * Margin - 408,
                                 GroupHeight);
    LabelSerieel = cards::Placed(new QLabel(GroupBoxSerieel), "LabelSerieel", {10, 18, 380, 50});
    LabelSerieel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelSerieel->setWordWrap(true);
    CheckBoxSerieelStil = cards::Placed(new QCheckBox(Tr("Stil"), GroupBoxSerieel),
                                        "CheckBoxSerieelStil", {10, 72, 90, 22});
    CheckBoxOnzin = cards::Placed(new QCheckBox(Tr("Onzin na elk antwoord"), GroupBoxSerieel),
                                  "CheckBoxOnzin", {104, 72, 260, 22});
    ButtonOphangen = cards::Placed(new QPushButton(Tr("Ophangen"), GroupBoxSerieel),
                                   "ButtonOphangen", {10, 98, 120, 26});
    ButtonNieuweKaart = cards::Placed(new QPushButton(Tr("Nieuwe kaart"), GroupBoxSerieel),
                                      "ButtonNieuweKaart", {138, 98, 120, 26});

    connect(SpinEditPlaats, &QSpinBox::valueChanged, this,
            guarded(&TFormRek::SpinEditPlaatsChange));
    connect(SpinEditIngang, &QSpinBox::valueChanged, this, [this] { ShowControls(); });
    connect(CheckBoxStil, &QCheckBox::clicked, this, guarded(&TFormRek::CheckBoxStilClick));
    connect(CheckBoxKortsluiting, &QCheckBox::clicked, this,
            guarded(&TFormRek::CheckBoxKortsluitingClick));
    connect(ComboBoxIngang, &QComboBox::activated, this, guarded(&TFormRek::ComboBoxIngangChange));
    connect(CheckBoxSerieelStil, &QCheckBox::clicked, this,
            guarded(&TFormRek::CheckBoxSerieelClick));
    connect(CheckBoxOnzin, &QCheckBox::clicked, this, guarded(&TFormRek::CheckBoxSerieelClick));
    connect(ButtonOphangen, &QPushButton::clicked, this, guarded(&TFormRek::ButtonOphangenClick));
    connect(ButtonNieuweKaart, &QPushButton::clicked, this,
            guarded(&TFormRek::ButtonNieuweKaartClick));

    setFixedSize(TRackPicture::Width, top + GroupHeight + Margin);
}

void TFormRek::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    TimerRekTimer();
    TimerRek->start();
}

void TFormRek::hideEvent(QHideEvent* event) {
    TimerRek->stop();
    QWidget::hideEvent(event);
}

void TFormRek::TimerRekTimer() {
    const std::uint32_t now = platform::GetTickCount();
    mState = mRack.State();
    mFlashes.Take(mState, now);
    Picture->Show(mState, mFlashes, now);
    ShowControls();
}

void TFormRek::ShowControls() {
    const int place = SpinEditPlaats->value();
    Picture->SetChosenPlace(place);
    const sim::TPlaceState& at = mState.Places[static_cast<std::size_t>(place)];
    LabelSoort->setText(at.Kind ? QString::fromUtf8(sim::KindName(*at.Kind)) : Tr("lege plaats"));
    const sim::TFaultsView faults = sim::FaultsOf(mState);
    const sim::TPlaceFaults& there = faults.Places[static_cast<std::size_t>(place)];

    const QSignalBlocker blockSilent(CheckBoxStil);
    CheckBoxStil->setEnabled(there.SilentEnabled);
    CheckBoxStil->setChecked(there.Silent);

    const QSignalBlocker blockShort(CheckBoxKortsluiting);
    CheckBoxKortsluiting->setEnabled(there.ShortEnabled);
    CheckBoxKortsluiting->setChecked(there.Short);

    // The input controls act on the rack's IO card: the chosen place when it is one.
    const QSignalBlocker blockInput(ComboBoxIngang);
    SpinEditIngang->setEnabled(there.StuckEnabled);
    ComboBoxIngang->setEnabled(there.StuckEnabled);
    const int stuck = faults.Stuck[static_cast<std::size_t>(SpinEditIngang->value() - 1)];
    ComboBoxIngang->setCurrentIndex(!there.StuckEnabled ? 0 : 1 + stuck);

    const sim::TSerialState& serial = mState.Serial;
    const QSignalBlocker blockSerialSilent(CheckBoxSerieelStil);
    const QSignalBlocker blockGarbage(CheckBoxOnzin);
    CheckBoxSerieelStil->setChecked(faults.SerialSilent);
    CheckBoxOnzin->setChecked(faults.SerialGarbage);
    CheckBoxSerieelStil->setEnabled(faults.SerialFaultsEnabled);
    CheckBoxOnzin->setEnabled(faults.SerialFaultsEnabled);
    ButtonOphangen->setEnabled(faults.SerialFaultsEnabled);
    ButtonNieuweKaart->setEnabled(faults.NewCardEnabled);
    LabelSerieel->setText(
        !serial.Present ? Tr("Geen seriele kaart: het systeem gaf geen pseudo-terminal.")
        : serial.HungUp
            ? Tr("%1 is opgehangen. \"Nieuwe kaart\" zet een kaart op een nieuwe poort; kies "
                 "die in Instellingen > Status... en druk op OK.")
                  .arg(QString::fromStdString(serial.Path))
        : serial.Connected
            ? Tr("Op %1.").arg(QString::fromStdString(serial.Path))
            : Tr("Op %1, niet verbonden: kies die poort in Instellingen > Status... en druk "
                 "op OK.")
                  .arg(QString::fromStdString(serial.Path)));
}

void TFormRek::Give(const sim::TFault& fault) {
    mSession.GiveFault(fault);
    TimerRekTimer();
}

void TFormRek::SpinEditPlaatsChange() {
    ShowControls();
}

void TFormRek::CheckBoxStilClick() {
    Give({sim::TFault::TKind::Silent, SpinEditPlaats->value(), 1, -1, CheckBoxStil->isChecked()});
}

void TFormRek::CheckBoxKortsluitingClick() {
    Give({sim::TFault::TKind::Short, SpinEditPlaats->value(), 1, -1,
          CheckBoxKortsluiting->isChecked()});
}

void TFormRek::ComboBoxIngangChange() {
    Give({sim::TFault::TKind::Stuck, SpinEditPlaats->value(), SpinEditIngang->value(),
          ComboBoxIngang->currentIndex() - 1, false});
}

void TFormRek::CheckBoxSerieelClick() {
    mSession.GiveFault(
        {sim::TFault::TKind::SerialSilent, 0, 1, -1, CheckBoxSerieelStil->isChecked()});
    Give({sim::TFault::TKind::SerialGarbage, 0, 1, -1, CheckBoxOnzin->isChecked()});
}

void TFormRek::ButtonOphangenClick() {
    Give({sim::TFault::TKind::HangUp, 0, 1, -1, false});
}

void TFormRek::ButtonNieuweKaartClick() {
    Give({sim::TFault::TKind::NewCard, 0, 1, -1, false});
}

} // namespace app
