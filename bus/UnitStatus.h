#pragma once

#include "bus/SettingsFile.h"
#include "platform/PortIo.h"

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
class EComPort;
} // namespace serial

namespace bus {

// Results of the bus operations beside the reply bytes and the word itself.
inline constexpr int NotConnected = 1024;

// What the settings window needs of the main window.
class TMainWindowLink {
public:
    virtual ~TMainWindowLink() = default;
    virtual void SetLedUitEnabled(bool enabled) = 0; // the menu item "&LED uit"
    virtual void ShowSetUpPage(bool parallel) = 0;   // "PCK" or "SCK/ MCK"
    virtual void Instellingen(bool connected, bool parallel) = 0;
    virtual void StopTestTimer() = 0; // TimerSpeed off
};

// The settings window: the single store of the connection settings, the settings file, the
// two bus operations and the connection set-up.
class TStatusForm : public QDialog {
    Q_OBJECT
public:
    TStatusForm(TMainWindowLink& mainWindow, QWidget* parent = nullptr);
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
    QTimer* TimerStatus = nullptr;

    std::unique_ptr<tavo::TTavoCom> TavoCom1;

    bool BusReady = false;
    bool Baud19200 = false;
    bool DebugMode = false;

    // The parallel card's ports: granted, or why not (shown when the parallel set-up runs).
    platform::TPortAccess ParallelAccess{true, 0, {}};

    // Reads a settings file into the controls, then arms the connection set-up. A missing
    // file is skipped silently. A "Tijd" that is not a whole number throws
    // std::runtime_error with "'%s' is not a valid integer value" after applying what came
    // before it; the set-up is then not armed.
    void LoadSettings(const QString& fileName);
    // Writes the controls to a settings file; false (with the system's reason, already
    // shown to the user) when the file could not be written.
    bool SaveSettings(const QString& fileName);

    void OKBtnClick();
    void ButtonCancelClick();
    void FormActivate();
    void FormDeactivate();
    void RadioButtonSerieelClick();
    void RadioButtonParallelClick();

    // The bus.
    int SendBusWord(int word);
    int ReadBusFeedback();
    void CloseSerialLink();

    // The connection set-up, run by the single tick of TimerStatus.
    void TimerStatusTimer();
    bool SetUpRunning() const { return mSetUpRunning; }

    // The controls as settings, and back.
    TSettings CurrentSettings() const;
    void ApplySettings(const TSettings& settings, const std::vector<std::string>& ports);
    std::vector<std::string> PortEntries() const;
    // Selects a port by its name, adding it to the list when it is not there.
    void SelectPort(const std::string& name);

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildControls();
    void ArmSetUp();
    void CheckParallel(bool parallel);
    void RunParallelSetUp();
    void RunSerialSetUp();
    bool SendInitialisationSequence(bool serial);
    void ShowPortError(const QString& reason);
    void LineLost(const serial::EComPort& error);

    TMainWindowLink& mMainWindow;
    bool mSetUpRunning = false;
    bool mSetUpPending = false;
};

// The settings window, valid for the life of the program.
extern TStatusForm* StatusForm;

// The hourglass while the set-up is armed or runs; at most one is ever pending.
void ShowHourglass();
void RestoreCursor();

// Runs a window handler; an error it raises ends the handler and is shown in the general
// error message box, and the program goes on.
void Guarded(const std::function<void()>& handler);
void ShowGeneralError(const QString& message);

} // namespace bus
