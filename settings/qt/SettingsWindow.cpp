#include "settings/qt/SettingsWindow.h"

#include "bus/qt/Dialogs.h"
#include "serial/PortNotes.h"
#include "serial/SerialCardLink.h"
#include "serial/qt/ComComboBox.h"
#include "settings/ConnectionSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <stdexcept>

namespace bus {

TStatusForm* StatusForm = nullptr;

namespace {

constexpr int BaseWidth = 339;
constexpr int BaseHeight = 253;

} // namespace

void ShowHourglass() {
    if (!QApplication::overrideCursor())
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void RestoreCursor() {
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

TStatusForm::TStatusForm(TBus& bus, TMainWindowLink& mainWindow, QWidget* parent)
    : QDialog(parent), TavoCom1(&bus.Link()), mBus(bus), mMainWindow(mainWindow) {
    StatusForm = this;
    BuildControls();
    mBus.AddListener(*this);
    FormDeactivate(); // the check boxes from the applied values
    mMainWindow.SettingsChanged(CurrentSettings());

    // Armed from creation on: the set-up runs once the message loop runs.
    TimerStatus->start();
}

TStatusForm::~TStatusForm() {
    mBus.RemoveListener(*this);
    if (StatusForm == this)
        StatusForm = nullptr;
}

void TStatusForm::BuildControls() {
    setObjectName("StatusForm");
    setWindowTitle("Status");
    setFixedSize(BaseWidth, BaseHeight);
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

    LabelAanwijzingen = new QLabel(this);
    LabelAanwijzingen->setObjectName("LabelAanwijzingen");
    LabelAanwijzingen->setWordWrap(true);
    LabelAanwijzingen->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The commands in the notes are there to be copied.
    LabelAanwijzingen->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelAanwijzingen->setFrameShape(QFrame::StyledPanel);
    LabelAanwijzingen->setMargin(6);
    LabelAanwijzingen->hide();

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
    connect(ComComboBoxPoort, &QComboBox::currentIndexChanged, this, [this] { UpdateNotes(); });
    connect(RadioButtonSerieel, &QRadioButton::toggled, this, [this] { UpdateNotes(); });
    // The settings as a value for whoever reads them (the card tests), after every change.
    const auto changed = [this] { mMainWindow.SettingsChanged(CurrentSettings()); };
    connect(RadioButtonParallel, &QRadioButton::toggled, this, changed);
    connect(ComComboBoxPoort, &QComboBox::currentIndexChanged, this, changed);
    connect(ComboBoxSpeed, &QComboBox::currentIndexChanged, this, changed);
    for (QCheckBox* box : {CheckBoxKortsluitStop, CheckBoxTimeOut, CheckBoxKorsluitmelding,
                           CheckBoxBaudrate, CheckBoxTesten})
        connect(box, &QCheckBox::toggled, this, changed);
    connect(SpinEditTestTijd, &QSpinBox::valueChanged, this, changed);

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
    const serial::TComSelect& select = ComComboBoxPoort->ComSelect();
    const std::vector<serial::TPortInfo>& listed = select.Ports();
    std::vector<std::string> ports;
    for (int i = 0; i < ComComboBoxPoort->count(); ++i) {
        const auto entry = static_cast<std::size_t>(i);
        ports.push_back(entry < listed.size() ? serial::StablePortName(listed[entry], listed)
                                              : select.Value(i));
    }
    return ports;
}

void TStatusForm::SelectPort(const std::string& name) {
    const serial::TComSelect& select = ComComboBoxPoort->ComSelect();
    int index = select.FindValue(name);
    for (std::size_t i = 0; index < 0 && i < select.Ports().size(); ++i)
        if (select.Ports()[i].ById == name)
            index = static_cast<int>(i);
    if (index < 0) {
        ComComboBoxPoort->AddPort(name);
        index = ComComboBoxPoort->count() - 1;
    }
    ComComboBoxPoort->SetItemIndex(index);
}

void TStatusForm::RefreshPorts() {
    const std::string chosen = ComComboBoxPoort->Text().toStdString();
    {
        const QSignalBlocker quiet(ComComboBoxPoort);
        try {
            ComComboBoxPoort->SetComProperty(serial::cpPort);
        } catch (const serial::EComPort&) {
            // The system's list cannot be read now: the chosen port stays, alone.
        }
        if (chosen.empty())
            ComComboBoxPoort->SetItemIndex(-1);
        else
            SelectPort(chosen);
    }
    UpdateNotes();
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
        ComComboBoxPoort->AddPort(ports[i]);
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
    if (SaveFile(fileName.toStdString(), WriteSettings(CurrentSettings(), PortEntries()), error))
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
    CheckBoxBaudrate->setChecked(mBus.Baud19200());
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
    // Adapters come and go while the program runs: the list is the system's of this moment.
    RefreshPorts();
    QDialog::showEvent(event);
    FormActivate();
}

void TStatusForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    FormDeactivate();
}

// ---- the connection set-up ----

TSetUpChoice TStatusForm::SetUpChoice() const {
    return SetUpChoiceOf(CurrentSettings(), ComComboBoxPoort->Text().toStdString());
}

void TStatusForm::TimerStatusTimer() {
    TimerStatus->stop();
    if (mBus.Busy()) {
        // Asked for while a page, a tick or another set-up waits for the rack: the set-up is
        // armed again once that exchange has ended, never run inside it.
        mBus.WhenIdle([this] { ArmSetUp(); });
        return;
    }
    TBus::TExchange exchange(mBus);
    const TSetUpResult result = mBus.SetUp(SetUpChoice());
    ShowSetUpMessage(result);
    RestoreCursor();
    if (isVisible())
        done(QDialog::Accepted);
}

void TStatusForm::SetUpFinished(const TSetUpResult& result) {
    const bool refused = result.Transport == TTransport::Serial && TavoCom1->LowLatencyRefused();
    mLatencyRefusedPort = refused ? serial::DeviceName(result.Port) : std::string();
    if (result.Automatic && result.Ready) {
        RefreshPorts();
        SelectPort(result.Port);
    }
    UpdateNotes();
}

void TStatusForm::UpdateNotes() {
    std::vector<std::string> notes;
    const std::string port = ComComboBoxPoort->Text().toStdString();
    if (RadioButtonSerieel->isChecked() && !port.empty()) {
        const std::string device = serial::DeviceName(port);
        notes = serial::PortNotes(
            device, serial::GatherPortFacts(device, ComComboBoxPoort->ComSelect().Ports(),
                                            device == mLatencyRefusedPort, mBus.Baud19200()));
    }
    QString text;
    for (const std::string& note : notes)
        text += (text.isEmpty() ? "" : "\n\n") + QString::fromStdString(note);
    LabelAanwijzingen->setText(text);
    LabelAanwijzingen->setVisible(!text.isEmpty());
    if (text.isEmpty()) {
        setFixedSize(BaseWidth, BaseHeight);
        return;
    }
    const int width = BaseWidth - 16;
    const int height = LabelAanwijzingen->heightForWidth(width);
    LabelAanwijzingen->setGeometry(8, BaseHeight, width, height);
    setFixedSize(BaseWidth, BaseHeight + height + 8);
}

void TStatusForm::ShowSetUpMessage(const TSetUpResult& result) {
    const TSetUpMessage message = SetUpMessage(result);
    if (message.Shown)
        Dialogs().Message(this, TDialogs::TIcon::Error, ProgramTitle,
                          QString::fromUtf8(message.Text.c_str()),
                          QString::fromLocal8Bit(message.Informative.c_str()));
}

} // namespace bus
