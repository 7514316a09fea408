#include "app/CardDiagnostics.h"

#include "bus/qt/Dialogs.h"
#include "diag/RunView.h"
#include "session/Diagnostics.h"
#include "settings/OutputFile.h"

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

TCardDiagnostics::TCardDiagnostics(session::TDiagnostics& diagnostics, QWidget* parent)
    : QWidget(parent, Qt::Window), mDiagnostics(diagnostics) {
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
    SpinEditAdres->setRange(diag::TRunChoiceRanges::PlaceMinimum,
                            diag::TRunChoiceRanges::PlaceMaximum);
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
        patternLayout->addWidget(CheckBoxPatroon[i]);
    }
    SpinEditZaad = named(new QSpinBox(patterns), "SpinEditZaad");
    SpinEditZaad->setRange(0, static_cast<int>(diag::TRunChoiceRanges::SeedMaximum));
    SpinEditZaad->setPrefix(bus::Tr("zaad "));
    patternLayout->addWidget(SpinEditZaad);
    patternLayout->addStretch();
    layout->addWidget(patterns);

    auto* end = new QHBoxLayout;
    ComboBoxEinde = named(new QComboBox(this), "ComboBoxEinde");
    ComboBoxEinde->addItems({bus::Tr("Cycli"), bus::Tr("Seconden"), bus::Tr("Tot Stop")});
    SpinEditAantal = named(new QSpinBox(this), "SpinEditAantal");
    SpinEditAantal->setRange(static_cast<int>(diag::TRunChoiceRanges::CountMinimum),
                             static_cast<int>(diag::TRunChoiceRanges::CountMaximum));
    ComboBoxFouten = named(new QComboBox(this), "ComboBoxFouten");
    ComboBoxFouten->addItems({bus::Tr("Fouten tellen en doorgaan"),
                              bus::Tr("Stoppen bij de eerste fout"), bus::Tr("Stoppen na")});
    SpinEditMaxFouten = named(new QSpinBox(this), "SpinEditMaxFouten");
    SpinEditMaxFouten->setRange(static_cast<int>(diag::TRunChoiceRanges::MaxErrorsMinimum),
                                static_cast<int>(diag::TRunChoiceRanges::MaxErrorsMaximum));
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

    connect(ButtonStart, &QPushButton::clicked, this, [this] { ButtonStartClick(); });
    connect(ButtonNul, &QPushButton::clicked, this, [this] { ButtonNulClick(); });
    connect(ButtonBewaar, &QPushButton::clicked, this,
            [this] { bus::Guarded([this] { ButtonBewaarClick(); }); });
    // Every control of the choice as the user changes it: the session's choice takes it.
    connect(RadioButtonIo, &QRadioButton::toggled, this, [this] { Edited(); });
    for (QSpinBox* box : {SpinEditAdres, SpinEditZaad, SpinEditAantal, SpinEditMaxFouten})
        connect(box, &QSpinBox::valueChanged, this, [this] { Edited(); });
    for (QComboBox* box : {ComboBoxPlug, ComboBoxEinde, ComboBoxFouten})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { Edited(); });
    for (QCheckBox* box : CheckBoxPatroon)
        connect(box, &QCheckBox::toggled, this, [this] { Edited(); });
    mListener = mDiagnostics.Changed.Listen([this] { Show(); });
    Show();
}

TCardDiagnostics::~TCardDiagnostics() {
    mDiagnostics.Changed.Unlisten(mListener);
}

bool TCardDiagnostics::Running() const {
    return mDiagnostics.Running();
}

const diag::TRun* TCardDiagnostics::Run() const {
    return mDiagnostics.Run();
}

void TCardDiagnostics::Edited() {
    if (mShowing)
        return;
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
    mDiagnostics.SetChoice(choice);
}

void TCardDiagnostics::ButtonStartClick() {
    if (Running()) {
        mDiagnostics.Stop();
        return;
    }
    if (const std::string refused = mDiagnostics.Start(); !refused.empty())
        bus::Dialogs().Message(this, bus::TDialogs::TIcon::Error, bus::ProgramTitle,
                               QString::fromStdString(refused), QString());
}

void TCardDiagnostics::ButtonNulClick() {
    mDiagnostics.Reset();
}

void TCardDiagnostics::Show() {
    mShowing = true;
    const diag::TRunChoice& choice = mDiagnostics.Choice();
    const diag::TRunFormView form = mDiagnostics.FormView();
    (choice.Scan ? RadioButtonScan : RadioButtonIo)->setChecked(true);
    SpinEditAdres->setValue(choice.Place);
    ComboBoxPlug->setCurrentIndex(choice.Inverted ? 1 : 0);
    for (std::size_t i = 0; i < CheckBoxPatroon.size(); ++i)
        CheckBoxPatroon[i]->setChecked(choice.Patterns[i]);
    SpinEditZaad->setValue(static_cast<int>(choice.Seed));
    ComboBoxEinde->setCurrentIndex(static_cast<int>(choice.End));
    SpinEditAantal->setValue(static_cast<int>(choice.Count));
    ComboBoxFouten->setCurrentIndex(static_cast<int>(choice.OnError));
    SpinEditMaxFouten->setValue(static_cast<int>(choice.MaxErrors));
    RadioButtonIo->setEnabled(form.KindEnabled);
    RadioButtonScan->setEnabled(form.KindEnabled);
    SpinEditAdres->setEnabled(form.PlaceEnabled);
    ComboBoxPlug->setEnabled(form.PlugEnabled);
    for (QCheckBox* box : CheckBoxPatroon)
        box->setEnabled(form.PatternsEnabled);
    SpinEditZaad->setEnabled(form.SeedEnabled);
    ComboBoxEinde->setEnabled(form.EndEnabled);
    SpinEditAantal->setEnabled(form.CountEnabled);
    ComboBoxFouten->setEnabled(form.OnErrorEnabled);
    SpinEditMaxFouten->setEnabled(form.MaxErrorsEnabled);
    ButtonNul->setEnabled(form.ResetEnabled);
    ButtonBewaar->setEnabled(form.ReportEnabled);
    ButtonStart->setText(bus::Tr(form.StartCaption));
    LabelOordeel->setText(QString::fromStdString(mDiagnostics.Verdict()));

    const diag::TRunView view = mDiagnostics.View();
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
    mShowing = false;
}

void TCardDiagnostics::ButtonBewaarClick() {
    const std::string report = mDiagnostics.ReportJson();
    if (report.empty())
        return;
    const auto chosen = bus::Dialogs().SaveDataFileName(this, "kaartdiagnose.json",
                                                        QStringLiteral("JSON (*.json)"));
    if (!chosen)
        return;
    std::string error;
    if (!bus::SaveFile(chosen->toStdString(), report, error))
        bus::Dialogs().Message(this, bus::TDialogs::TIcon::Error, bus::ProgramTitle,
                               bus::Tr("Het rapport kon niet worden bewaard in \"%1\".").arg(*chosen),
                               QString::fromLocal8Bit(error.c_str()));
}

} // namespace app
