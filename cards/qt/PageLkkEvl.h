#pragma once

#include "cards/qt/CardPage.h"

#include <array>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace cards {

class TRadioGroup;

// The "LKK_EVL" page: the 64 pins of one simple latch card (EVL A to D) behind the latch
// selection card, loaded as a whole, or a square wave on every pin set to "1".
class TLkkEvlPage : public TCardPage {
    Q_OBJECT
public:
    TLkkEvlPage(TCardContext& context, QWidget* sheet);

    QSpinBox* SpinEditLKK_EVLadr = nullptr;
    TRadioGroup* RadioGroupEVLSelect = nullptr;
    QPushButton* ButtonLKK_EVLversturen = nullptr;
    QCheckBox* CheckBoxLKK_EVLTest = nullptr;
    std::array<QPushButton*, 64> ButtonLKK_EVL{}; // pin n at index n - 1
    std::array<QLabel*, 64> LabelLKK_EVLPen{};

    void PinClick(QPushButton* button);
    void CheckBoxLKK_EVLTestClick();
    void ButtonLKK_EVLversturenClick();
    // Drains the replies, addresses the LKK and loads all 64 pins of the chosen EVL.
    void Load();

    int TickInterval() const override;
    void Tick() override;
    void Exit() override;

    // The two words of load step `step` (0 to 15) for EVL `evl` (0 = A to 3 = D), with the
    // step's pin levels in `nibble`.
    static int LatchAddressWord(int evl, int step);
    static int LatchDataWord(int step, int nibble);

private:
    // The address word and the 16 steps; every pin at the level of a "0" caption unless
    // `pattern`.
    void SendSteps(bool pattern);
};

} // namespace cards
