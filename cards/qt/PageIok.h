#pragma once

#include "cards/qt/CardPage.h"
#include "bus/CardWords.h"

#include <array>

class QCheckBox;
class QPushButton;
class QSpinBox;

namespace cards {

class TShape;

// The "IOK" page: 16 outputs of the input/output card set and sent four at a time, its 16
// inputs on lamps, or a square wave on every output set to "1".
class TIokPage : public TCardPage {
    Q_OBJECT
public:
    TIokPage(TCardContext& context, QWidget* sheet);

    // The bit of pin n (1 to 16) in the outputs and inputs, at index n - 1.
    static constexpr std::array<int, 16> PinBit = bus::IoPinBit;
    // The interval of the first tick after a start.
    static constexpr int FirstTickMs = 250;

    QSpinBox* SpinEditIOKadr = nullptr;
    QPushButton* ButtonIOKVersturen = nullptr;
    QCheckBox* CheckBoxIOKTest = nullptr;
    std::array<QPushButton*, 16> ButtonIOK{}; // pin n at index n - 1
    std::array<TShape*, 16> ShapeIOK{};

    void ButtonIOKVersturenClick();
    void CheckBoxIOKTestClick();
    // Shifts the reply's four input levels into IokInputs from below; a reply that is no card
    // feedback adds nothing.
    void TakeInReply(int reply);
    void ShowInputs();

    int TickInterval() const override;
    void Tick() override;
    void Exit() override;

    // The data-strobe word that carries nibble `nibble` (3 to 0) of `outputs`.
    static int NibbleWord(int nibble, int outputs);

private:
    void SendNibbles(int outputs);
};

} // namespace cards
