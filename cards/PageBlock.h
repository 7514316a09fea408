#pragma once

#include "cards/CardPage.h"
#include "cards/Controls.h"

#include <array>

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;

namespace cards {

// The shuttle shared by the block-card pages.
//
// Sends the speed word of the card addressed last: the data strobe (hi = 0) or, for a card
// at address 64 to 127, the latch-data strobe (hi = 32), the direction and the speed `s`,
// halved (rounded up) in the last third of the run as judged by the run before. Returns the
// reply.
int SendSpeedWord(int s, int hi);
// The speed of a run's last third: half of `s`, rounded up.
constexpr int SlowedSpeed(int s) {
    return s / 2 + s % 2;
}
// At the end of every shuttle tick: reverses when the locomotive occupies every section of
// the end it runs to, and times the run that ended.
void ReverseAtEnd(int occupancy);

// A vertical speed track bar, 0 at the top to 15 at the bottom, with its group box and
// labels; speed is 15 minus the position.
QSlider* MakeSpeedTrackBar(QWidget* sheet, const QString& name, const QRect& groupGeometry);

// The "(?)BK" page: up to three two-rail block cards (2BK, ABK, DBK) with four sections each;
// a locomotive shuttles between the lowest and the highest ticked section.
class TXbkPage : public TCardPage {
    Q_OBJECT
public:
    TXbkPage(TCardContext& context, QWidget* sheet);

    QPushButton* Button2BKControl = nullptr;
    QSlider* TrackBar2BKSpeed = nullptr;
    QLabel* Label9 = nullptr;
    std::array<QSpinBox*, 3> SpinEditBKadr{};
    std::array<QCheckBox*, 12> CheckBoxBKSectie{};
    std::array<TShape*, 12> ShapeBKS{};
    std::array<TShape*, 3> ShapeBKKort{};

    void CheckBoxBKSectieClick(QCheckBox* box);
    void Button2BKControlClick();
    // The end of a test, by "Stop" or by a short circuit.
    void Stop();
    // Card `group`'s lamps (0 to 2) for reply r; a short circuit stops the test when the
    // settings ask for it.
    void ShowReply(int group, int reply);

    int TickInterval() const override { return 100; }
    void Tick() override;
    void Exit() override;

private:
    void Go();
    void SetControlsEnabled(bool enabled);
};

// The "3BK" page: one three-rail block card with four sections.
class T3bkPage : public TCardPage {
    Q_OBJECT
public:
    T3bkPage(TCardContext& context, QWidget* sheet);

    QSpinBox* SpinEdit3BKadr = nullptr;
    QPushButton* Button3BKControl = nullptr;
    QSlider* TrackBar3BKSpeed = nullptr;
    std::array<QCheckBox*, 4> CheckBox3BKSectie{};
    std::array<TShape*, 4> Shape3BKS{};
    TShape* Shape3BKkort = nullptr;

    void Button3BKControlClick();
    void Stop();

    int TickInterval() const override { return 100; }
    void Tick() override;
    void Exit() override;

private:
    void Go();
};

} // namespace cards
