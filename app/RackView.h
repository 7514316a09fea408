#pragma once

#include "sim/RackFaults.h"
#include "sim/RackState.h"

#include <QWidget>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

namespace session {
class TRackSession;
}
namespace sim {
class TSimRack;
}

namespace app {

// The picture of the rack in the "Rek" window: the 64 places in four racks of 16 (card kind,
// selection LED, feedback lines and short circuit), the block lines with their locomotives,
// the latch card's EVL pins and the IO card's outputs and inputs. It draws a state it is
// given; a lamp that changed lately is drawn with a ring around it.
class TRackPicture : public QWidget {
    Q_OBJECT
public:
    explicit TRackPicture(QWidget* parent);

    void Show(const sim::TRackState& state, const sim::TRackFlashes& flashes, std::uint32_t now);
    // The place marked as the one the fault controls act on.
    void SetChosenPlace(int place);

    static constexpr int Width = 820;
    int Height() const;

signals:
    void PlaceClicked(int place);
    void InputClicked(int pin); // 1 to 16

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QRect PlaceRect(int place) const;
    int LinesTop() const;
    int LatchTop() const;
    int IoTop() const;
    QRect InputRect(int pin) const; // pin 1 to 16
    void Lamp(QPainter& painter, const QPointF& centre, double radius, bool lit,
              const QColor& colour, sim::TLampId lamp) const;

    sim::TRackState mState;
    const sim::TRackFlashes* mFlashes = nullptr;
    std::uint32_t mNow = 0;
    int mChosen = 0;
    bool mSized = false;
};

// The "Rek" window (Instellingen > Rek..., Ctrl+R, only with /sim): the simulated rack as it
// is, polled at most 20 times a second while the window shows, and the faults the user may
// give it while a test runs. A window of its own beside the main window: using it moves no
// focus inside the main window, so a running test goes on.
class TFormRek : public QWidget {
    Q_OBJECT
public:
    // The session's simulated rack, with its faults.
    TFormRek(session::TRackSession& session, QWidget* parent);
    ~TFormRek() override;

    static constexpr int PollMs = 50;

    TRackPicture* Picture = nullptr;
    QGroupBox* GroupBoxKaart = nullptr;
    QSpinBox* SpinEditPlaats = nullptr;
    QLabel* LabelSoort = nullptr;
    QCheckBox* CheckBoxStil = nullptr;
    QCheckBox* CheckBoxKortsluiting = nullptr;
    QSpinBox* SpinEditIngang = nullptr;
    QComboBox* ComboBoxIngang = nullptr;
    QGroupBox* GroupBoxSerieel = nullptr;
    QLabel* LabelSerieel = nullptr;
    QCheckBox* CheckBoxSerieelStil = nullptr;
    QCheckBox* CheckBoxOnzin = nullptr;
    QPushButton* ButtonOphangen = nullptr;
    QPushButton* ButtonNieuweKaart = nullptr;
    QTimer* TimerRek = nullptr;

    // One poll: the rack's state, the flashes, the picture and the controls.
    void TimerRekTimer();

    void SpinEditPlaatsChange();
    void CheckBoxStilClick();
    void CheckBoxKortsluitingClick();
    void ComboBoxIngangChange();
    void CheckBoxSerieelClick();
    void ButtonOphangenClick();
    // A new simulated serial card on a new pseudo-terminal, chosen in the settings window; OK
    // there connects to it.
    void ButtonNieuweKaartClick();

    const sim::TRackState& State() const { return mState; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildControls(int top);
    // The controls as the state has them, for the chosen place and input.
    void ShowControls();

    // Gives a fault; nothing more to do when the rack refuses it (the control was disabled).
    void Give(const sim::TFault& fault);

    session::TRackSession& mSession;
    sim::TSimRack& mRack;
    sim::TRackState mState;
    sim::TRackFlashes mFlashes;
};

} // namespace app
