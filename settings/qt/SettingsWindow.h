#pragma once

#include "bus/Bus.h"
#include "bus/qt/Dialogs.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsSession.h"

#include <QDialog>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;

namespace tavo {
class TTavoCom;
}
namespace serial {
class TComComboBox;
} // namespace serial

namespace bus {

// The settings window: a view of the connection settings as the session holds them (the
// controls' pending values, the applied ones the check boxes fall back to, which controls may
// be used, the notes on the port) with their actions: OK arms the set-up once, Cancel, and the
// file commands. Its bus operations and flags are the bus's.
class TStatusForm : public QDialog {
    Q_OBJECT
public:
    // `timerStatus` is the set-up's timer, for those who look at it by its name.
    TStatusForm(TSettingsSession& session, QTimer* timerStatus, QWidget* parent = nullptr);
    ~TStatusForm() override;

    QGroupBox* GroupBoxMethode = nullptr;
    QRadioButton* RadioButtonSerieel = nullptr;
    serial::TComComboBox* ComComboBoxPoort = nullptr;
    QRadioButton* RadioButtonParallel = nullptr;
    QComboBox* ComboBoxSpeed = nullptr;
    QGroupBox* GroupBoxStatus = nullptr;
    QCheckBox* CheckBoxKortsluitStop = nullptr;
    QCheckBox* CheckBoxTimeOut = nullptr;
    QCheckBox* CheckBoxKorsluitmelding = nullptr;
    QCheckBox* CheckBoxBaudrate = nullptr;
    QCheckBox* CheckBoxTesten = nullptr;
    QLabel* LabelTestTijd = nullptr;
    QSpinBox* SpinEditTestTijd = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* ButtonCancel = nullptr;
    // Notes on the chosen port (no access, a service that takes adapters, a slow latency
    // timer) below the buttons; the window grows by their height and is its own size without.
    QLabel* LabelAanwijzingen = nullptr;
    QTimer* const TimerStatus;

    // The bus's serial link and flags under the settings window's names.
    tavo::TTavoCom* const TavoCom1;
    bool BusReady() const { return mSession.Bus().Ready(); }
    bool Baud19200() const { return mSession.Bus().Baud19200(); }
    bool DebugMode() const { return mSession.Bus().DebugMode(); }

    TBus& Bus() { return mSession.Bus(); }

    // Reads a settings file into the settings, then arms the connection set-up. A missing
    // file is skipped silently. A "Tijd" that is not a whole number throws
    // std::runtime_error with "'%s' is not a valid integer value" after applying what came
    // before it; the set-up is then not armed.
    void LoadSettings(const QString& fileName);
    // Writes the settings to a settings file; false (with the system's reason, already
    // shown to the user) when the file could not be written.
    bool SaveSettings(const QString& fileName);

    void OKBtnClick();
    void ButtonCancelClick();
    void FormActivate();
    void FormDeactivate();

    // The bus's operations.
    int SendBusWord(int word) { return Bus().SendBusWord(word); }
    int ReadBusFeedback() { return Bus().ReadBusFeedback(); }
    void CloseSerialLink() { Bus().CloseSerialLink(); }

    // The connection set-up, run by the single tick of TimerStatus.
    void TimerStatusTimer();
    bool SetUpRunning() const { return mSession.Bus().SetUpRunning(); }
    // The set-up the settings ask for.
    TSetUpChoice SetUpChoice() const { return mSession.Settings().Choice(); }

    // The settings as the controls show them.
    TSettings CurrentSettings() const { return mSession.Settings().Settings(); }
    // The port list as a settings file names its entries.
    std::vector<std::string> PortEntries() const { return mSession.Settings().Entries(); }
    // Selects a port by its path or by-id name, adding it to the list when it is not there.
    void SelectPort(const std::string& name) { mSession.Settings().SelectPort(name); }
    // Fills the port list anew from the system's, keeping the chosen port.
    void RefreshPorts() { mSession.RefreshPorts(); }

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildControls();
    // The controls from the settings, as they are now.
    void Show();
    // A control changed by the user (or a test): the settings take it.
    void Edited();

    TSettingsSession& mSession;
    int mListener = 0;
    bool mShowing = false;
};

// The settings window, valid for the life of the program.
extern TStatusForm* StatusForm;

// The hourglass while the set-up is armed or runs; at most one is ever pending.
void ShowHourglass();
void RestoreCursor();

} // namespace bus
