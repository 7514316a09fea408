#include "app/CardDiagnostics.h"

#include "bus/Bus.h"
#include "bus/CaptureFiles.h"
#include "bus/qt/Dialogs.h"
#include "bus/SettingsFile.h"
#include "bus/CardWords.h"
#include "link/TavoComm.h"
#include "serial/ComError.h"

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

const char* const PatternNames[] = {"walk1", "walk0", "checker", "count", "random"};

std::int64_t WallNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

QString FaultText(diag::TFault fault) {
    switch (fault) {
    case diag::TFault::Stuck0:
        return bus::Tr("vast op 0");
    case diag::TFault::Stuck1:
        return bus::Tr("vast op 1");
    case diag::TFault::Shorted:
        return bus::Tr("kortgesloten");
    case diag::TFault::Intermittent:
        return bus::Tr("soms fout");
    case diag::TFault::None:
        break;
    }
    return {};
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
        CheckBoxPatroon[i] = new QCheckBox(PatternNames[i], patterns);
        CheckBoxPatroon[i]->setObjectName(QString("CheckBoxPatroon_%1").arg(PatternNames[i]));
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
    std::vector<std::unique_ptr<diag::TCardTest>> tests;
    if (RadioButtonScan->isChecked()) {
        tests.push_back(std::make_unique<diag::TScanTest>(mBus));
    } else {
        diag::TIoTest::TOptions options;
        options.Place = SpinEditAdres->value();
        options.Inverted = ComboBoxPlug->currentIndex() == 1;
        for (std::size_t i = 0; i < CheckBoxPatroon.size(); ++i)
            if (CheckBoxPatroon[i]->isChecked())
                options.Patterns.push_back({static_cast<diag::TPatternKind>(i),
                                            static_cast<std::uint32_t>(SpinEditZaad->value())});
        tests.push_back(std::make_unique<diag::TIoTest>(mBus, options));
    }
    diag::TRunLimits limits;
    switch (ComboBoxEinde->currentIndex()) {
    case 0:
        limits.Cycles = static_cast<std::uint64_t>(SpinEditAantal->value());
        break;
    case 1:
        limits.Seconds = SpinEditAantal->value();
        break;
    default:
        limits.Cycles = UINT64_MAX;
        break;
    }
    limits.StopOnError = ComboBoxFouten->currentIndex() == 1;
    if (ComboBoxFouten->currentIndex() == 2)
        limits.MaxErrors = static_cast<std::uint64_t>(SpinEditMaxFouten->value());
    mRun = std::make_unique<diag::TRun>(std::move(tests), limits);
    mRun->Begin();
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
    static const char* const verdicts[] = {platform::TrMark("Geslaagd"),
                                           platform::TrMark("Kaartfout gevonden"),
                                           platform::TrMark("Het rek is niet bereikbaar")};
    QString verdict = bus::Tr(verdicts[static_cast<int>(mRun->Verdict())]);
    if (!mRun->UnreachableReason().empty())
        verdict += ": " + QString::fromLocal8Bit(mRun->UnreachableReason().c_str());
    LabelOordeel->setText(verdict);
}

void TCardDiagnostics::TimerDiagnoseTimer() {
    // A page or a tick waiting for the rack goes first.
    if (!mRun || mBus.Busy())
        return;
    bool more = false;
    {
        bus::TBus::TExchange exchange(mBus);
        try {
            more = mRun->Step();
        } catch (const serial::EComPort& error) {
            mRun->SetUnreachable(serial::ExplainedMessage(error));
        }
    }
    if (!more || mRun->Verdict() == diag::TVerdict::Unreachable) {
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
    const diag::TCardTest* test =
        mRun && !mRun->Tests().empty()
            ? mRun->Tests()[std::min(mRun->Current(), mRun->Tests().size() - 1)].get()
            : nullptr;
    const diag::TTestCounts counts = test ? test->Counts() : diag::TTestCounts{};
    QString text = bus::Tr("Cycli: %1   Woorden: %2   Fouten: %3   Zonder antwoord: %4   "
                           "Foutfractie: %5")
                       .arg(counts.Cycles)
                       .arg(counts.Words)
                       .arg(counts.Errors)
                       .arg(counts.NoReply)
                       .arg(counts.Cycles ? static_cast<double>(counts.Errors) /
                                                static_cast<double>(counts.Cycles)
                                          : 0.0,
                            0, 'f', 4);
    if (counts.FirstErrorNs != 0)
        text += "\n" + bus::Tr("Eerste fout: %1   Laatste fout: %2")
                           .arg(QString::fromStdString(bus::IsoTime(counts.FirstErrorNs)),
                                QString::fromStdString(bus::IsoTime(counts.LastErrorNs)));
    const auto* io = dynamic_cast<const diag::TIoTest*>(test);
    if (io && io->Evidence().Silent())
        text += "\n" + bus::Tr("De kaart meldt niets op haar terugmeldlijnen (stil, geen kaart "
                               "in de plaats, of een ander adres).");
    LabelTellers->setText(text);

    for (int pin = 1; pin <= 16; ++pin) {
        QLabel* label = LabelIngang[static_cast<std::size_t>(pin - 1)];
        QString caption = QString::number(pin);
        QColor colour = palette().color(QPalette::Window);
        if (io && io->Counts().Cycles > 0) {
            const int bit = bus::IoPinBit[static_cast<std::size_t>(pin - 1)];
            const std::uint64_t errors = io->Evidence().Count(bit).Errors();
            const diag::TInputDiagnosis diagnosis = io->Evidence().Diagnose(bit);
            caption += "\n" + QString::number(errors);
            if (diagnosis.Fault != diag::TFault::None)
                caption += "\n" + FaultText(diagnosis.Fault);
            if (diagnosis.Partner >= 0)
                caption += QString(" %1").arg(bus::IoPinOfBit(diagnosis.Partner));
            colour = errors == 0 ? QColor(170, 230, 170) : QColor(255, 150, 150);
        }
        label->setText(caption);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, colour);
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
