#pragma once

#include "bus/Bus.h"
#include "bus/MainWindowLink.h"
#include "bus/qt/Dialogs.h"
#include "platform/PortIo.h"
#include "settings/SettingsFile.h"

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

// The settings window: the single store of the connection settings and the settings file.
// It starts the connection set-up on the bus for its choices and says how it went; its bus
// operations and flags are the bus's.
class TStatusForm : public QDialog, private TBusListener {
    Q_OBJECT
public:
    TStatusForm(TBus& bus, TMainWindowLink& mainWindow, QWidget* parent = nullptr);
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
    QTimer* TimerStatus = nullptr;

    // The bus's serial link and flags under the settings window's names.
    tavo::TTavoCom* const TavoCom1;
    bool BusReady() const { return mBus.Ready(); }
    bool Baud19200() const { return mBus.Baud19200(); }
    bool DebugMode() const { return mBus.DebugMode(); }

    TBus& Bus() { return mBus; }

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

    // The bus's operations.
    int SendBusWord(int word) { return mBus.SendBusWord(word); }
    int ReadBusFeedback() { return mBus.ReadBusFeedback(); }
    void CloseSerialLink() { mBus.CloseSerialLink(); }

    // The connection set-up, run by the single tick of TimerStatus.
    void TimerStatusTimer();
    bool SetUpRunning() const { return mBus.SetUpRunning(); }
    // The set-up the controls ask for.
    TSetUpChoice SetUpChoice() const;

    // The controls as settings, and back.
    TSettings CurrentSettings() const;
    void ApplySettings(const TSettings& settings, const std::vector<std::string>& ports);
    // The port list as a settings file names its entries: a port by its by-id name where it
    // has one that tells it apart, else by its path.
    std::vector<std::string> PortEntries() const;
    // Selects a port by its path or by-id name, adding it to the list when it is not there.
    void SelectPort(const std::string& name);
    // Fills the port list anew from the system's, keeping the chosen port.
    void RefreshPorts();
    // The notes for the chosen port, as the system is now.
    void UpdateNotes();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // A set-up the program ran by itself may have found the port under another path.
    void SetUpFinished(const TSetUpResult& result) override;
    void BuildControls();
    void ArmSetUp();
    void CheckParallel(bool parallel);
    void ShowSetUpMessage(const TSetUpResult& result);

    TBus& mBus;
    TMainWindowLink& mMainWindow;
    // The device whose driver refused low latency when the last set-up opened it.
    std::string mLatencyRefusedPort;
};

// The settings window, valid for the life of the program.
extern TStatusForm* StatusForm;

// The hourglass while the set-up is armed or runs; at most one is ever pending.
void ShowHourglass();
void RestoreCursor();

} // namespace bus
