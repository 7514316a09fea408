#include "bus/UnitStatus.h"

#include "bus/Dialogs.h"
#include "bus/UnitThread_PAR_IO.h"
#include "link/TavoComm.h"
#include "platform/EventPump.h"
#include "platform/Tick.h"
#include "serial/CPortCtl.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <stdexcept>
#include <thread>

namespace bus {

TStatusForm* StatusForm = nullptr;

namespace {

// A card that stops answering in the middle of the initialisation sequence: after this many
// reads in a row without an answer (a second each) the set-up gives up.
constexpr int SilentReadsBeforeGivingUp = 3;

constexpr const char* InitFailedText = platform::TrMark(
    "De seriele kaart kon niet worden geinitialiseerd. \r\nStaat het rek wel aan en is de "
    "verbindingskabel juist aangesloten?");

} // namespace

void ShowHourglass() {
    if (!QApplication::overrideCursor())
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void RestoreCursor() {
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void ShowGeneralError(const QString& message) {
    Dialogs().Message(QApplication::activeWindow(), TDialogs::TIcon::Error, ProgramTitle, message,
                      QString());
}

static QString PortErrorText(const serial::EComPort& error) {
    QString reason = QString::fromLocal8Bit(error.what());
    const std::string explanation = serial::UserExplanation(error);
    if (!explanation.empty())
        reason += "\n" + QString::fromStdString(explanation);
    return reason;
}

void Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const serial::EComPort& error) {
        ShowGeneralError(PortErrorText(error));
    } catch (const std::exception& error) {
        ShowGeneralError(QString::fromLocal8Bit(error.what()));
    }
}

TStatusForm::TStatusForm(TMainWindowLink& mainWindow, QWidget* parent)
    : QDialog(parent), mMainWindow(mainWindow) {
    StatusForm = this;
    BuildControls();

    // The serial link for the serial card, with the settings window's start values.
    TavoCom1 = std::make_unique<tavo::TTavoCom>();
    TavoCom1->SetDigitaalSysteem(tavo::SerieleKaart);
    TavoCom1->SetPort("COM2");
    TavoCom1->KortsluitStop = false;
    TavoCom1->TimeOut = true;
    TavoCom1->KortsluitMelding = false;
    TavoCom1->TestBedrijf = false;
    TavoCom1->SetBaudRate(serial::br9600);
    FormDeactivate(); // the check boxes from the applied values

    // Armed from creation on: the set-up runs once the message loop runs.
    TimerStatus->start();
}

TStatusForm::~TStatusForm() {
    // Destroying the link closes an open port with its DTR pulse.
    TavoCom1.reset();
    if (StatusForm == this)
        StatusForm = nullptr;
}

void TStatusForm::BuildControls() {
    setObjectName("StatusForm");
    setWindowTitle("Status");
    setFixedSize(339, 253);
    setModal(true);

    GroupBoxMethode = new QGroupBox("Methode", this);
    GroupBoxMethode->setObjectName("GroupBoxMethode");
    GroupBoxMethode->setGeometry(8, 8, 161, 153);
    RadioButtonSerieel = new QRadioButton("Serieel", GroupBoxMethode);
    RadioButtonSerieel->setObjectName("RadioButtonSerieel");
    RadioButtonSerieel->setGeometry(12, 22, 140, 20);
    ComComboBoxPoort = new serial::TComComboBox(GroupBoxMethode);
    ComComboBoxPoort->setObjectName("ComComboBoxPoort");
    ComComboBoxPoort->setGeometry(12, 46, 138, 24);
    RadioButtonParallel = new QRadioButton("Parallel", GroupBoxMethode);
    RadioButtonParallel->setObjectName("RadioButtonParallel");
    RadioButtonParallel->setGeometry(12, 86, 140, 20);
    ComboBoxSpeed = new QComboBox(GroupBoxMethode);
    ComboBoxSpeed->setObjectName("ComboBoxSpeed");
    ComboBoxSpeed->setGeometry(12, 110, 138, 24);
    for (const std::string& clock : ClockEntries)
        ComboBoxSpeed->addItem(QString::fromStdString(clock));

    GroupBoxStatus = new QGroupBox("Status", this);
    GroupBoxStatus->setObjectName("GroupBoxStatus");
    GroupBoxStatus->setGeometry(178, 8, 153, 153);
    auto addCheck = [this](const char* name, const QString& caption, int y) {
        auto* box = new QCheckBox(caption, GroupBoxStatus);
        box->setObjectName(name);
        box->setGeometry(12, y, 134, 20);
        return box;
    };
    CheckBoxKortsluitStop = addCheck("CheckBoxKortsluitStop", "Kortsluit Stop", 22);
    CheckBoxTimeOut = addCheck("CheckBoxTimeOut", "Time Out", 47);
    CheckBoxKorsluitmelding = addCheck("CheckBoxKorsluitmelding", "Korsluitmelding", 72);
    CheckBoxBaudrate = addCheck("CheckBoxBaudrate", "Baudrate", 97);
    CheckBoxTesten = addCheck("CheckBoxTesten", "Testen", 122);

    LabelTestTijd = new QLabel("Test tijd:", this);
    LabelTestTijd->setObjectName("LabelTestTijd");
    LabelTestTijd->setGeometry(20, 174, 70, 22);
    SpinEditTestTijd = new QSpinBox(this);
    SpinEditTestTijd->setObjectName("SpinEditTestTijd");
    SpinEditTestTijd->setGeometry(96, 172, 90, 24);
    SpinEditTestTijd->setRange(TestTijdMin, TestTijdMax);
    SpinEditTestTijd->setSingleStep(50);
    SpinEditTestTijd->setValue(400);
    LabelTestTijd->setBuddy(SpinEditTestTijd);

    OKBtn = new QPushButton("OK", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setGeometry(40, 212, 100, 30);
    OKBtn->setDefault(true);
    ButtonCancel = new QPushButton("Cancel", this);
    ButtonCancel->setObjectName("ButtonCancel");
    ButtonCancel->setGeometry(199, 212, 100, 30);

    TimerStatus = new QTimer(this);
    TimerStatus->setObjectName("TimerStatus");
    TimerStatus->setInterval(400);

    // The port list as the window description leaves it, then the window's own choice.
    ComComboBoxPoort->SetComProperty(serial::cpPort);
    ComComboBoxPoort->SetText("COM1");
    ComComboBoxPoort->SetItemIndex(0);
    ComComboBoxPoort->SetItemIndex(1);
    ComboBoxSpeed->setCurrentIndex(1);
    RadioButtonSerieel->setChecked(true);
    RadioButtonSerieelClick();

    connect(OKBtn, &QPushButton::clicked, this, [this] { Guarded([this] { OKBtnClick(); }); });
    connect(ButtonCancel, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtonCancelClick(); }); });
    connect(RadioButtonSerieel, &QRadioButton::clicked, this,
            [this] { RadioButtonSerieelClick(); });
    connect(RadioButtonParallel, &QRadioButton::clicked, this,
            [this] { RadioButtonParallelClick(); });
    connect(TimerStatus, &QTimer::timeout, this,
            [this] { Guarded([this] { TimerStatusTimer(); }); });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

// ---- controls and settings ----

void TStatusForm::RadioButtonSerieelClick() {
    CheckBoxKortsluitStop->setEnabled(true);
    CheckBoxTimeOut->setEnabled(true);
    CheckBoxBaudrate->setEnabled(true);
    ComComboBoxPoort->setEnabled(true);
    ComboBoxSpeed->setEnabled(false);
}

void TStatusForm::RadioButtonParallelClick() {
    CheckBoxKortsluitStop->setEnabled(false);
    CheckBoxTimeOut->setEnabled(false);
    CheckBoxBaudrate->setEnabled(false);
    ComComboBoxPoort->setEnabled(false);
    ComboBoxSpeed->setEnabled(true);
}

void TStatusForm::CheckParallel(bool parallel) {
    QRadioButton* button = parallel ? RadioButtonParallel : RadioButtonSerieel;
    if (button->isChecked())
        return;
    button->setChecked(true);
    if (parallel)
        RadioButtonParallelClick();
    else
        RadioButtonSerieelClick();
}

std::vector<std::string> TStatusForm::PortEntries() const {
    std::vector<std::string> ports;
    for (int i = 0; i < ComComboBoxPoort->count(); ++i)
        ports.push_back(ComComboBoxPoort->itemText(i).toStdString());
    return ports;
}

void TStatusForm::SelectPort(const std::string& name) {
    const QString text = QString::fromStdString(name);
    if (ComComboBoxPoort->findText(text) < 0)
        ComComboBoxPoort->addItem(text);
    ComComboBoxPoort->SetItemIndex(ComComboBoxPoort->findText(text));
}

TSettings TStatusForm::CurrentSettings() const {
    TSettings s;
    s.Parallel = RadioButtonParallel->isChecked();
    s.PortIndex = ComComboBoxPoort->ItemIndex();
    s.ClockIndex = ComboBoxSpeed->currentIndex();
    s.KortsluitStop = CheckBoxKortsluitStop->isChecked();
    s.TimeOut = CheckBoxTimeOut->isChecked();
    s.KorsluitMelding = CheckBoxKorsluitmelding->isChecked();
    s.Baudrate19200 = CheckBoxBaudrate->isChecked();
    s.Testen = CheckBoxTesten->isChecked();
    s.TestTijd = SpinEditTestTijd->value();
    return s;
}

void TStatusForm::ApplySettings(const TSettings& s, const std::vector<std::string>& ports) {
    for (std::size_t i = static_cast<std::size_t>(ComComboBoxPoort->count()); i < ports.size(); ++i)
        ComComboBoxPoort->addItem(QString::fromStdString(ports[i]));
    CheckParallel(s.Parallel);
    ComComboBoxPoort->SetItemIndex(s.PortIndex);
    ComboBoxSpeed->setCurrentIndex(s.ClockIndex);
    CheckBoxKortsluitStop->setChecked(s.KortsluitStop);
    CheckBoxTimeOut->setChecked(s.TimeOut);
    CheckBoxKorsluitmelding->setChecked(s.KorsluitMelding);
    CheckBoxBaudrate->setChecked(s.Baudrate19200);
    CheckBoxTesten->setChecked(s.Testen);
    SpinEditTestTijd->setValue(s.TestTijd);
}

void TStatusForm::LoadSettings(const QString& fileName) {
    std::string text;
    // A file that cannot be opened is skipped without a word; the set-up is armed all the same.
    if (ReadFileText(fileName.toStdString(), text)) {
        const TSettingsLoad load =
            ReadSettings(text, CurrentSettings(), PortEntries(), IsTerminalDevice);
        ApplySettings(load.Settings, load.Ports);
        if (!load.Ok)
            throw std::runtime_error(load.Error);
    }
    ArmSetUp();
}

bool TStatusForm::SaveSettings(const QString& fileName) {
    std::string error;
    if (ReplaceFile(fileName.toStdString(), WriteSettings(CurrentSettings(), PortEntries()), error))
        return true;
    Dialogs().Message(this, TDialogs::TIcon::Error, ProgramTitle,
                      Tr("De instellingen konden niet worden bewaard in \"%1\".").arg(fileName),
                      QString::fromLocal8Bit(error.c_str()));
    return false;
}

// ---- window events ----

void TStatusForm::OKBtnClick() {
    ArmSetUp();
}

void TStatusForm::ArmSetUp() {
    if (!TimerStatus->isActive())
        TimerStatus->start();
    ShowHourglass();
}

void TStatusForm::ButtonCancelClick() {
    mMainWindow.SetLedUitEnabled(false);
    reject();
}

void TStatusForm::FormActivate() {
    OKBtn->setFocus();
}

void TStatusForm::FormDeactivate() {
    CheckBoxKortsluitStop->setChecked(TavoCom1->KortsluitStop);
    CheckBoxTimeOut->setChecked(TavoCom1->TimeOut);
    CheckBoxKorsluitmelding->setChecked(TavoCom1->KortsluitMelding);
    CheckBoxTesten->setChecked(TavoCom1->TestBedrijf);
    CheckBoxBaudrate->setChecked(Baud19200);
}

void TStatusForm::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            FormActivate();
        else if (isVisible())
            FormDeactivate();
    }
}

void TStatusForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

void TStatusForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    FormDeactivate();
}

// ---- the bus ----

int TStatusForm::SendBusWord(int word) {
    if (RadioButtonParallel->isChecked())
        return PutWord(word);
    if (!BusReady && !DebugMode) {
        mMainWindow.StopTestTimer();
        return word + 1024;
    }
    if (DebugMode)
        return word;
    try {
        TavoCom1->PurgeQueues(true, true);
        const std::int32_t written =
            TavoCom1->WriteText(std::string(1, static_cast<char>(word & 0xFF)));
        return written == 1 ? word : word + 256;
    } catch (const serial::EComPort& error) {
        LineLost(error);
        throw;
    }
}

int TStatusForm::ReadBusFeedback() {
    if (RadioButtonParallel->isChecked())
        return GetFeedback();
    if (!BusReady && !DebugMode) {
        mMainWindow.StopTestTimer();
        return NotConnected;
    }
    if (DebugMode)
        return 72;
    const std::uint32_t start = platform::GetTickCount();
    try {
        for (;;) {
            std::string text;
            TavoCom1->ReadText(text, 1);
            if (text.size() == 1)
                return static_cast<std::uint8_t>(text[0]);
            if (platform::TicksPassed(start, 1000))
                return NoDataYet;
        }
    } catch (const serial::EComPort& error) {
        LineLost(error);
        throw;
    }
}

void TStatusForm::LineLost(const serial::EComPort& error) {
    // The device failed (an adapter pulled out, a hang-up): the error goes to the user once, as
    // the caller's handler shows it; the bus counts as not connected until OK connects again,
    // so the running test stops instead of raising the same error at every tick. A port the
    // program closed itself ("LED uit") is no device failure and keeps its errors.
    if (!TavoCom1->Connected() || error.SystemCode == 0)
        return;
    BusReady = false;
    mMainWindow.StopTestTimer();
    mMainWindow.SetLedUitEnabled(false);
}

void TStatusForm::CloseSerialLink() {
    TavoCom1->ClosePort();
}

// ---- the connection set-up ----

void TStatusForm::TimerStatusTimer() {
    TimerStatus->stop();
    if (mSetUpRunning) {
        // Armed again while a set-up waits for the card: run it once this one is done.
        mSetUpPending = true;
        return;
    }
    mSetUpRunning = true;
    mMainWindow.SetLedUitEnabled(false);
    BusReady = false;
    const bool parallel = RadioButtonParallel->isChecked();
    if (parallel)
        RunParallelSetUp();
    else
        RunSerialSetUp();

    RestoreCursor();
    mMainWindow.Instellingen(BusReady, parallel);
    mSetUpRunning = false;
    if (isVisible())
        done(QDialog::Accepted);
    if (std::exchange(mSetUpPending, false))
        ArmSetUp();
}

void TStatusForm::RunParallelSetUp() {
    if (!ParallelAccess.Granted) {
        Dialogs().Message(this, TDialogs::TIcon::Error, ProgramTitle,
                          Tr("De parallelle kaart kan niet worden gebruikt."),
                          QString::fromStdString(platform::AccessReasonText(ParallelAccess)));
        return;
    }
    ResetTransport(ComboBoxSpeed->currentText().toInt());
    BusReady = true;
    SendInitialisationSequence(false);
    mMainWindow.ShowSetUpPage(true);
}

void TStatusForm::RunSerialSetUp() {
    try {
        TavoCom1->ClosePort();
        Baud19200 = CheckBoxBaudrate->isChecked();
        TavoCom1->SetBaudRate(Baud19200 ? serial::br19200 : serial::br9600);
        TavoCom1->SetPort(ComComboBoxPoort->Text().toStdString());
        TavoCom1->KortsluitStop = CheckBoxKortsluitStop->isChecked();
        TavoCom1->TimeOut = CheckBoxTimeOut->isChecked();
        TavoCom1->KortsluitMelding = CheckBoxKorsluitmelding->isChecked();
        TavoCom1->TestBedrijf = CheckBoxTesten->isChecked();
        TavoCom1->OpenPort();
        TavoCom1->SetDtrLine(true);
        platform::WaitWithEvents(1000);
        if (TavoCom1->CheckVerbinding() || DebugMode) {
            BusReady = true;
            if (!SendInitialisationSequence(true)) {
                BusReady = false;
                Dialogs().Message(this, TDialogs::TIcon::Error, ProgramTitle, Tr(InitFailedText),
                                  QString());
                return;
            }
            mMainWindow.SetLedUitEnabled(true);
            mMainWindow.ShowSetUpPage(false);
        } else {
            Dialogs().Message(this, TDialogs::TIcon::Error, ProgramTitle, Tr(InitFailedText),
                              QString());
        }
    } catch (const serial::EComPort& error) {
        BusReady = false; // a line lost in the middle of the initialisation sequence
        ShowPortError(PortErrorText(error));
    } catch (const std::exception& error) {
        BusReady = false;
        ShowPortError(QString::fromLocal8Bit(error.what()));
    }
}

void TStatusForm::ShowPortError(const QString& reason) {
    Dialogs().Message(
        this, TDialogs::TIcon::Error, ProgramTitle,
        Tr("Kan \"%1\" niet gebruiken.").arg(QString::fromStdString(TavoCom1->Port())), reason);
}

bool TStatusForm::SendInitialisationSequence(bool serial) {
    for (int place = 0; place < 64; ++place) {
        for (const int word : {128 + place, 96, 64}) {
            SendBusWord(word);
            int silentReads = 0;
            const std::uint32_t start = platform::GetTickCount();
            for (;;) {
                if (serial)
                    platform::ProcessMessages();
                const int result = ReadBusFeedback();
                if (result < NoDataYet || result == NotConnected)
                    break;
                if (serial) {
                    if (++silentReads >= SilentReadsBeforeGivingUp)
                        return false;
                } else if (platform::TicksPassed(start, 3000)) {
                    return false; // a worker that never answers; cannot happen with a card
                } else {
                    std::this_thread::yield();
                }
            }
        }
    }
    return true;
}

} // namespace bus
