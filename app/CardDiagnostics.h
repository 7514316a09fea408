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

namespace session {
class TDiagnostics;
}

namespace app {

// "Kaartdiagnose": the card diagnostics in a window, a view of the session's. The user picks a
// test (the IO card through its test plug, or a scan of the rack), the card's address, the
// patterns, and when to stop; the run goes a cycle at a time between the window's other
// events, as one exchange with the rack each, and shows its counters and a map of the 16
// inputs. It changes no settings.
class TCardDiagnostics : public QWidget {
    Q_OBJECT
public:
    TCardDiagnostics(session::TDiagnostics& diagnostics, QWidget* parent = nullptr);
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

    void ButtonStartClick();
    void ButtonNulClick();
    void ButtonBewaarClick();
    bool Running() const;
    const diag::TRun* Run() const;

private:
    // A control changed: the session's choice takes it.
    void Edited();
    // The controls, the counters and the verdict as the session has them.
    void Show();

    session::TDiagnostics& mDiagnostics;
    int mListener = 0;
    bool mShowing = false;
};

} // namespace app
