#pragma once

#include "cards/BlockModel.h"
#include "cards/qt/CardPage.h"
#include "cards/qt/Controls.h"

#include <array>

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;

namespace cards {

// A vertical speed track bar, 0 at the top to 15 at the bottom, with its group box and
// labels; speed is 15 minus the position.
QSlider* MakeSpeedTrackBar(QWidget* sheet, const QString& name, const QRect& groupGeometry);

// The "(?)BK" page's view: three two-rail block cards with four sections each.
class TXbkPage : public TCardPage {
    Q_OBJECT
public:
    TXbkPage(QObject* owner, QWidget* sheet, TBlockModel& model);

    QPushButton* Button2BKControl = nullptr;
    QSlider* TrackBar2BKSpeed = nullptr;
    QLabel* Label9 = nullptr;
    std::array<QSpinBox*, 3> SpinEditBKadr{};
    std::array<QCheckBox*, 12> CheckBoxBKSectie{};
    std::array<TShape*, 12> ShapeBKS{};
    std::array<TShape*, 3> ShapeBKKort{};

    void Button2BKControlClick();

private:
    void Show() override;

    TBlockModel& mModel;
};

// The "3BK" page's view: one three-rail block card with four sections.
class T3bkPage : public TCardPage {
    Q_OBJECT
public:
    T3bkPage(QObject* owner, QWidget* sheet, TBlockModel& model);

    QSpinBox* SpinEdit3BKadr = nullptr;
    QPushButton* Button3BKControl = nullptr;
    QSlider* TrackBar3BKSpeed = nullptr;
    std::array<QCheckBox*, 4> CheckBox3BKSectie{};
    std::array<TShape*, 4> Shape3BKS{};
    TShape* Shape3BKkort = nullptr;

    void Button3BKControlClick();

private:
    void Show() override;

    TBlockModel& mModel;
};

} // namespace cards
