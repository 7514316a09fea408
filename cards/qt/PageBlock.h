#pragma once

#include "cards/qt/CardPage.h"
#include "cards/qt/Controls.h"

#include <array>

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;

namespace cards {

// The speed of a run's last third: half of `s`, rounded up.
constexpr int SlowedSpeed(int s) {
    return s / 2 + s % 2;
}

// The shuttle shared by the block-card pages.
class TBlockPage : public TCardPage {
    Q_OBJECT
public:
    using TCardPage::TCardPage;

protected:
    // Addresses the block card at `a` (0 to 127; 64 to 127 sit in the places 64 down, and take
    // their speed word on the latch-data strobe) and sends its speed word: the direction and
    // the speed `s`, halved (rounded up) in the last third of the run as judged by the run
    // before. Returns the reply to the speed word.
    int DriveCard(int a, int s);
    // At the end of every shuttle tick: reverses when the locomotive occupies every section of
    // the end it runs to, and times the run that ended.
    void ReverseAtEnd(int occupancy);
    // The lowest ticked box's weight as the first section, the highest as the last (0 when
    // fewer than two are ticked).
    template <std::size_t N> void ChooseEnds(const std::array<QCheckBox*, N>& boxes);
    // The test's end: "Go" again, the timer off, the locomotive stopped.
    void EndTest(QPushButton* button);
    // The page leaves a running test: the locomotive stops.
    void StopOnExit();
    bool ShortCircuitReporting() const { return Settings().KorsluitMelding; }
};

// A vertical speed track bar, 0 at the top to 15 at the bottom, with its group box and
// labels; speed is 15 minus the position.
QSlider* MakeSpeedTrackBar(QWidget* sheet, const QString& name, const QRect& groupGeometry);

// The "(?)BK" page: up to three two-rail block cards (2BK, ABK, DBK) with four sections each;
// a locomotive shuttles between the lowest and the highest ticked section.
class TXbkPage : public TBlockPage {
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

    // Section n (0 to 11) ticked or unticked.
    void CheckBoxBKSectieClick(int n);
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
class T3bkPage : public TBlockPage {
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
