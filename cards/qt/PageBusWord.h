#pragma once

#include "cards/qt/CardPage.h"
#include "cards/qt/Controls.h"

#include <array>

class QLabel;
class QPushButton;

namespace cards {

// The "SCK/ MCK" and "PCK" pages: one bus word set line by line, a strobe, a send, and the
// reply on the section and short-circuit lamps. The PCK page also reaches the parallel
// card's ports directly.
class TBusWordPage : public TCardPage {
    Q_OBJECT
public:
    enum class TKind { SCK, PCK };

    TBusWordPage(TCardContext& context, QWidget* sheet, TKind kind);

    std::array<QPushButton*, 6> ButtonD{};
    QPushButton* ButtonData = nullptr;
    QPushButton* ButtonAdr = nullptr;
    std::array<QLabel*, 6> LabelD{};
    QLabel* LabelData = nullptr;
    QLabel* LabelAdr = nullptr;
    TRadioGroup* RadioGroupStrobe = nullptr;
    QPushButton* ButtonVersturen = nullptr;
    std::array<TShape*, 4> ShapeS{};
    TShape* ShapeKort = nullptr;

    void BitButtonClick(QPushButton* button);
    void StrobeClick();
    void VersturenClick();
    void ShowReply(int reply);

    // The word with the chosen strobe in place of its bits 5 to 7.
    int ApplyStrobe(int word) const;

private:
    int& Word() const;
    void SendSerial();
    void SendParallel();

    const TKind mKind;
};

} // namespace cards
