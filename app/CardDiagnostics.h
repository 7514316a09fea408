#pragma once

#include "diag/Run.h"

#include <QWidget>
#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;

namespace bus {
class TBus;
}

namespace app {

// "Kaartdiagnose": the card diagnostics in a window. The user picks a test (the IO card through
// its test plug, or a scan of the rack), the card's address, the patterns, and when to stop;
// the run goes a cycle at a time between the window's other events, as one exchange with the
// rack each, and shows its counters and a map of the 16 inputs. It changes no settings.
class TCardDiagnostics : public QWidget {
    Q_OBJECT
public:
    TCardDiagnostics(bus::TBus& bus, QWidget* parent = nullptr);
    ~TCardDiagnostics() override;

    QRadioButton* RadioButtonIo = nullptr;
    QRadioButton* RadioButtonScan = nullptr;
    QSpinBox* SpinEditAdres = nullptr;
    std::array<QCheckBox*, 5> CheckBoxPatroon{}; // walk1, walk0, checker, count, random
    QSpinBox* SpinEditZaad = nullptr;
    QComboBox* ComboBoxPlug = nullptr;
    QComboBox* ComboBoxEinde = nullptr; // cycles, duration, until Stop
    QSpinBox* SpinEditAantal = nullptr;
    QComboBox* ComboBoxFouten = nullptr; // go on, stop at the first, stop after N
    QSpinBox* SpinEditMaxFouten = nullptr;
    QPushButton* ButtonStart = nullptr;
    QPushButton* ButtonNul = nullptr;
    QPushButton* ButtonBewaar = nullptr;
    QLabel* LabelTellers = nullptr;
    QLabel* LabelOordeel = nullptr;
    std::array<QLabel*, 16> LabelIngang{}; // input n at index n - 1
    QTimer* TimerDiagnose = nullptr;

    void ButtonStartClick();
    void ButtonNulClick();
    void ButtonBewaarClick();
    // One cycle of the run, unless another exchange with the rack is under way.
    void TimerDiagnoseTimer();
    bool Running() const;
    const diag::TRun* Run() const { return mRun.get(); }

private:
    void Start();
    void Finish();
    void ShowCounts();

    bus::TBus& mBus;
    std::unique_ptr<diag::TRun> mRun;
    std::int64_t mStartedWallNs = 0;
};

} // namespace app
