#pragma once

#include "cards/LkkEvlModel.h"
#include "cards/qt/CardPage.h"

#include <array>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace cards {

class TRadioGroup;

// The "LKK_EVL" page's view.
class TLkkEvlPage : public TCardPage {
    Q_OBJECT
public:
    TLkkEvlPage(QObject* owner, QWidget* sheet, TLkkEvlModel& model);

    QSpinBox* SpinEditLKK_EVLadr = nullptr;
    TRadioGroup* RadioGroupEVLSelect = nullptr;
    QPushButton* ButtonLKK_EVLversturen = nullptr;
    QCheckBox* CheckBoxLKK_EVLTest = nullptr;
    std::array<QPushButton*, 64> ButtonLKK_EVL{}; // pin n at index n - 1
    std::array<QLabel*, 64> LabelLKK_EVLPen{};

    void ButtonLKK_EVLversturenClick();

private:
    void Show() override;

    TLkkEvlModel& mModel;
};

} // namespace cards
