#include "settings/qt/SettingsWindow.h"

#include "bus/qt/Dialogs.h"
#include "serial/SerialCardLink.h"
#include "serial/qt/ComComboBox.h"

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

TStatusForm::TStatusForm(TSettingsSession& session, QTimer* timerStatus, QWidget* parent)
    : QDialog(parent), TimerStatus(timerStatus), TavoCom1(&session.Bus().Link()),
      mSession(session) {
    StatusForm = this;
    BuildControls();
    mListener = mSession.Changed.Listen([this] { Show(); });
    Show();
}

TStatusForm::~TStatusForm() {
    mSession.Changed.Unlisten(mListener);
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

    ComComboBoxPoort->SetComProperty(serial::cpNone);
    connect(OKBtn, &QPushButton::clicked, this, [this] { Guarded([this] { OKBtnClick(); }); });
    connect(ButtonCancel, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtonCancelClick(); }); });
    // Every control as the user changes it (or a test sets it): the settings take the change.
    connect(RadioButtonSerieel, &QRadioButton::toggled, this, [this] { Edited(); });
    connect(RadioButtonParallel, &QRadioButton::toggled, this, [this] { Edited(); });
    connect(ComComboBoxPoort, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!mShowing)
            mSession.PickPort(ComComboBoxPoort->ComSelect().Value(index));
    });
    connect(ComboBoxSpeed, &QComboBox::currentIndexChanged, this, [this] { Edited(); });
    for (QCheckBox* box : {CheckBoxKortsluitStop, CheckBoxTimeOut, CheckBoxKorsluitmelding,
                           CheckBoxBaudrate, CheckBoxTesten})
        connect(box, &QCheckBox::toggled, this, [this] { Edited(); });
    connect(SpinEditTestTijd, &QSpinBox::valueChanged, this, [this] { Edited(); });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

// ---- the view ----

void TStatusForm::Edited() {
    if (mShowing)
        return;
    TSettings s = mSession.Settings().Settings();
    s.Parallel = RadioButtonParallel->isChecked();
    s.ClockIndex = ComboBoxSpeed->currentIndex();
    s.KortsluitStop = CheckBoxKortsluitStop->isChecked();
    s.TimeOut = CheckBoxTimeOut->isChecked();
    s.KorsluitMelding = CheckBoxKorsluitmelding->isChecked();
    s.Baudrate19200 = CheckBoxBaudrate->isChecked();
    s.Testen = CheckBoxTesten->isChecked();
    s.TestTijd = SpinEditTestTijd->value();
    mSession.EditSettings(s);
}

void TStatusForm::Show() {
    mShowing = true;
    const TConnectionSettings& model = mSession.Settings();
    const TSettings& s = model.Settings();
    const TSettingsView view = mSession.SettingsView();

    std::vector<serial::TComSelect::TEntry> entries;
    for (const TConnectionSettings::TPort& port : model.Ports())
        entries.push_back({port.Value, port.Line});
    bool same = static_cast<int>(entries.size()) == ComComboBoxPoort->count();
    for (int i = 0; same && i < ComComboBoxPoort->count(); ++i)
        same = ComComboBoxPoort->ComSelect().Value(i) == entries[static_cast<std::size_t>(i)].Value &&
               ComComboBoxPoort->itemText(i).toStdString() ==
                   entries[static_cast<std::size_t>(i)].Line;
    if (!same)
        ComComboBoxPoort->ComSelect().ShowPorts(entries, model.Listed());
    ComComboBoxPoort->SetItemIndex(s.PortIndex);

    (s.Parallel ? RadioButtonParallel : RadioButtonSerieel)->setChecked(true);
    ComboBoxSpeed->setCurrentIndex(s.ClockIndex);
    CheckBoxKortsluitStop->setChecked(s.KortsluitStop);
    CheckBoxTimeOut->setChecked(s.TimeOut);
    CheckBoxKorsluitmelding->setChecked(s.KorsluitMelding);
    CheckBoxBaudrate->setChecked(s.Baudrate19200);
    CheckBoxTesten->setChecked(s.Testen);
    SpinEditTestTijd->setRange(view.TestTijdMinimum, view.TestTijdMaximum);
    SpinEditTestTijd->setSingleStep(view.TestTijdStep);
    SpinEditTestTijd->setValue(s.TestTijd);

    ComComboBoxPoort->setEnabled(view.Enabled.Port);
    ComboBoxSpeed->setEnabled(view.Enabled.Clock);
    CheckBoxKortsluitStop->setEnabled(view.Enabled.KortsluitStop);
    CheckBoxTimeOut->setEnabled(view.Enabled.TimeOut);
    CheckBoxBaudrate->setEnabled(view.Enabled.Baudrate);

    QString text;
    for (const std::string& note : view.Notes)
        text += (text.isEmpty() ? "" : "\n\n") + QString::fromStdString(note);
    if (text != LabelAanwijzingen->text() || LabelAanwijzingen->isHidden() != text.isEmpty()) {
        LabelAanwijzingen->setText(text);
        LabelAanwijzingen->setVisible(!text.isEmpty());
        if (text.isEmpty()) {
            setFixedSize(BaseWidth, BaseHeight);
        } else {
            const int width = BaseWidth - 16;
            const int height = LabelAanwijzingen->heightForWidth(width);
            LabelAanwijzingen->setGeometry(8, BaseHeight, width, height);
            setFixedSize(BaseWidth, BaseHeight + height + 8);
        }
    }
    mShowing = false;
}

void TStatusForm::LoadSettings(const QString& fileName) {
    const std::string error = mSession.Open(fileName.toStdString());
    if (!error.empty())
        throw std::runtime_error(error);
}

bool TStatusForm::SaveSettings(const QString& fileName) {
    const auto failure = mSession.Save(fileName.toStdString());
    if (!failure)
        return true;
    Dialogs().Message(this, TDialogs::TIcon::Error, ProgramTitle,
                      QString::fromStdString(failure->Text),
                      QString::fromLocal8Bit(failure->Reason.c_str()));
    return false;
}

// ---- window events ----

void TStatusForm::OKBtnClick() {
    mSession.Ok();
}

void TStatusForm::ButtonCancelClick() {
    mSession.Cancel();
    reject();
}

void TStatusForm::FormActivate() {
    OKBtn->setFocus();
}

void TStatusForm::FormDeactivate() {
    mSession.SettingsLeft();
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

void TStatusForm::TimerStatusTimer() {
    mSession.RunArmedSetUp();
}

} // namespace bus
