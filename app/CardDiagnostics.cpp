#include "app/CardDiagnostics.h"

#include "bus/Bus.h"
#include "bus/CardWords.h"
#include "bus/qt/Dialogs.h"
#include "capture/CaptureFiles.h"
#include "diag/RunView.h"
#include "serial/SerialCardLink.h"
#include "settings/SettingsFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>

namespace app {

namespace {

std::int64_t WallNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

TCardDiagnostics::TCardDiagnostics(bus::TBus& bus, QWidget* parent)
    : QWidget(parent, Qt::Window), mBus(bus) {
    setObjectName("Kaartdiagnose");
    setWindowTitle(bus::Tr("Kaartdiagnose"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    const auto named = [](auto* control, const char* name) {
        control->setObjectName(name);
        return control;
    };
    auto* layout = new QVBoxLayout(this);

    auto* test = new QGroupBox(bus::Tr("Test"), this);
    auto* testLayout = new QGridLayout(test);
    RadioButtonIo = named(new QRadioButton(bus::Tr("IO-kaart via de testplug"), test),
                          "RadioButtonIo");
    RadioButtonScan = named(new QRadioButton(bus::Tr("Rek scannen (plaatsen 0 tot 63)"), test),
                            "RadioButtonScan");
    RadioButtonIo->setChecked(true);
    testLayout->addWidget(RadioButtonIo, 0, 0);
    testLayout->addWidget(RadioButtonScan, 1, 0);
    auto* adresLabel = new QLabel(bus::Tr("Adres"), test);
    SpinEditAdres = named(new QSpinBox(test), "SpinEditAdres");
    SpinEditAdres->setRange(0, 63);
    SpinEditAdres->setValue(9);
    adresLabel->setBuddy(SpinEditAdres);
    testLayout->addWidget(adresLabel, 0, 1);
    testLayout->addWidget(SpinEditAdres, 0, 2);
    auto* plugLabel = new QLabel(bus::Tr("Testplug"), test);
    ComboBoxPlug = named(new QComboBox(test), "ComboBoxPlug");
    ComboBoxPlug->addItems({bus::Tr("gelijk"), bus::Tr("omgekeerd")});
    plugLabel->setBuddy(ComboBoxPlug);
    testLayout->addWidget(plugLabel, 1, 1);
    testLayout->addWidget(ComboBoxPlug, 1, 2);
    layout->addWidget(test);

    auto* patterns = new QGroupBox(bus::Tr("Patronen"), this);
    auto* patternLayout = new QHBoxLayout(patterns);
    for (std::size_t i = 0; i < CheckBoxPatroon.size(); ++i) {
        CheckBoxPatroon[i] = new QCheckBox(diag::PatternKeys[i], patterns);
        CheckBoxPatroon[i]->setObjectName(QString("CheckBoxPatroon_%1").arg(diag::PatternKeys[i]));
        CheckBoxPatroon[i]->setChecked(i < 3);
        patternLayout->addWidget(CheckBoxPatroon[i]);
    }
    SpinEditZaad = named(new QSpinBox(patterns), "SpinEditZaad");
    SpinEditZaad->setRange(0, 1'000'000'000);
    SpinEditZaad->setValue(1);
    SpinEditZaad->setPrefix(bus::Tr("zaad "));
    patternLayout->addWidget(SpinEditZaad);
    patternLayout->addStretch();
    layout->addWidget(patterns);

    auto* end = new QHBoxLayout;
    ComboBoxEinde = named(new QComboBox(this), "ComboBoxEinde");
    ComboBoxEinde->addItems({bus::Tr("Cycli"), bus::Tr("Seconden"), bus::Tr("Tot Stop")});
    SpinEditAantal = named(new QSpinBox(this), "SpinEditAantal");
    SpinEditAantal->setRange(1, 1'000'000'000);
    SpinEditAantal->setValue(1000);
    ComboBoxFouten = named(new QComboBox(this), "ComboBoxFouten");
    ComboBoxFouten->addItems({bus::Tr("Fouten tellen en doorgaan"),
                              bus::Tr("Stoppen bij de eerste fout"), bus::Tr("Stoppen na")});
    SpinEditMaxFouten = named(new QSpinBox(this), "SpinEditMaxFouten");
    SpinEditMaxFouten->setRange(1, 1'000'000);
    SpinEditMaxFouten->setValue(10);
    SpinEditMaxFouten->setSuffix(bus::Tr(" fouten"));
    for (QWidget* control : std::initializer_list<QWidget*>{ComboBoxEinde, SpinEditAantal,
                                                            ComboBoxFouten, SpinEditMaxFouten})
        end->addWidget(control);
    end->addStretch();
    layout->addLayout(end);

    auto* inputs = new QGroupBox(bus::Tr("Ingangen"), this);
    auto* inputLayout = new QGridLayout(inputs);
    for (int i = 0; i < 16; ++i) {
        auto* label = new QLabel(QString::number(i + 1), inputs);
        label->setObjectName(QString("LabelIngang%1").arg(i + 1));
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumSize(fontMetrics().horizontalAdvance("00000") + 8,
                              3 * fontMetrics().height());
        label->setAutoFillBackground(true);
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
        inputLayout->addWidget(label, 0, i);
        LabelIngang[static_cast<std::size_t>(i)] = label;
    }
    layout->addWidget(inputs);

    LabelTellers = named(new QLabel(this), "LabelTellers");
    LabelTellers->setWordWrap(true);
    layout->addWidget(LabelTellers);
    LabelOordeel = named(new QLabel(this), "LabelOordeel");
    layout->addWidget(LabelOordeel);

    auto* buttons = new QHBoxLayout;
    ButtonStart = named(new QPushButton(bus::Tr("Start"), this), "ButtonStart");
    ButtonNul = named(new QPushButton(bus::Tr("Tellers op nul"), this), "ButtonNul");
    ButtonBewaar = named(new QPushButton(bus::Tr("Rapport bewaren..."), this), "ButtonBewaar");
    buttons->addWidget(ButtonStart);
    buttons->addWidget(ButtonNul);
    buttons->addStretch();
    buttons->addWidget(ButtonBewaar);
    layout->addLayout(buttons);

    TimerDiagnose = new QTimer(this);
    TimerDiagnose->setObjectName("TimerDiagnose");
    TimerDiagnose->setInterval(0); // a cycle whenever the window has nothing else to do
    connect(TimerDiagnose, &QTimer::timeout, this, [this] { TimerDiagnoseTimer(); });
    connect(ButtonStart, &QPushButton::clicked, this, [this] { ButtonStartClick(); });
    connect(ButtonNul, &QPushButton::clicked, this, [this] { ButtonNulClick(); });
    connect(ButtonBewaar, &QPushButton::clicked, this,
            [this] { bus::Guarded([this] { ButtonBewaarClick(); }); });
    ShowCounts();
}

TCardDiagnostics::~TCardDiagnostics() = default;

bool TCardDiagnostics::Running() const {
    return TimerDiagnose->isActive();
}

void TCardDiagnostics::ButtonStartClick() {
    if (Running())
        Finish();
    else
        Start();
}

void TCardDiagnostics::Start() {
    diag::TRunChoice choice;
    choice.Scan = RadioButtonScan->isChecked();
    choice.Place = SpinEditAdres->value();
    choice.Inverted = ComboBoxPlug->currentIndex() == 1;
    for (std::size_t i = 0; i < CheckBoxPatroon.size(); ++i)
        choice.Patterns[i] = CheckBoxPatroon[i]->isChecked();
    choice.Seed = static_cast<std::uint32_t>(SpinEditZaad->value());
    choice.End = static_cast<diag::TRunChoice::TEnd>(ComboBoxEinde->currentIndex());
    choice.Count = static_cast<std::uint64_t>(SpinEditAantal->value());
    choice.OnError = static_cast<diag::TRunChoice::TOnError>(ComboBoxFouten->currentIndex());
    choice.MaxErrors = static_cast<std::uint64_t>(SpinEditMaxFouten->value());
    mRun = diag::MakeRun(mBus, choice);
    mStartedWallNs = WallNs();
    ButtonStart->setText(bus::Tr("Stop"));
    LabelOordeel->clear();
    TimerDiagnose->start();
}

void TCardDiagnostics::Finish() {
    TimerDiagnose->stop();
    ButtonStart->setText(bus::Tr("Start"));
    ShowCounts();
    if (!mRun)
        return;
    LabelOordeel->setText(QString::fromStdString(diag::VerdictText(*mRun)));
}

void TCardDiagnostics::TimerDiagnoseTimer() {
    // A page or a tick waiting for the rack goes first.
    if (!mRun || mBus.Busy())
        return;
    if (!diag::StepRun(mBus, *mRun)) {
        Finish();
        return;
    }
    ShowCounts();
}

void TCardDiagnostics::ButtonNulClick() {
    if (!mRun)
        return;
    for (const auto& test : mRun->Tests())
        test->ResetCounts();
    ShowCounts();
}

void TCardDiagnostics::ShowCounts() {
    const diag::TRunView view = diag::ViewOf(mRun.get());
    LabelTellers->setText(QString::fromStdString(view.Counts));
    for (std::size_t i = 0; i < view.Inputs.size(); ++i) {
        const diag::TInputView& input = view.Inputs[i];
        QLabel* label = LabelIngang[i];
        label->setText(QString::fromStdString(input.Caption));
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, !input.Tested     ? this->palette().color(QPalette::Window)
                                           : input.Errors == 0 ? QColor(170, 230, 170)
                                                               : QColor(255, 150, 150));
        label->setPalette(palette);
    }
}

void TCardDiagnostics::ButtonBewaarClick() {
    if (!mRun)
        return;
    const auto chosen = bus::Dialogs().SaveDataFileName(this, "kaartdiagnose.json",
                                                        QStringLiteral("JSON (*.json)"));
    if (!chosen)
        return;
    diag::TReportHeader header;
    header.Transport = mBus.Transport() == bus::TTransport::Parallel ? "parallel" : "serial";
    header.Port = header.Transport == "parallel" ? "0x314" : mBus.Link().Port();
    header.StartedWallNs = mStartedWallNs;
    header.Seconds = static_cast<double>(WallNs() - mStartedWallNs) / 1e9;
    std::string error;
    if (!bus::SaveFile(chosen->toStdString(), diag::ReportJson(*mRun, header), error))
        bus::Dialogs().Message(this, bus::TDialogs::TIcon::Error, bus::ProgramTitle,
                               bus::Tr("Het rapport kon niet worden bewaard in \"%1\".").arg(*chosen),
                               QString::fromLocal8Bit(error.c_str()));
}

} // namespace app
