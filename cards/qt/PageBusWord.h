#pragma once

#include "cards/BusWordModel.h"
#include "cards/qt/CardPage.h"
#include "cards/qt/Controls.h"

#include <array>

class QLabel;
class QPushButton;

namespace cards {

// The "SCK/ MCK" and "PCK" pages' view.
class TBusWordPage : public TCardPage {
    Q_OBJECT
public:
    TBusWordPage(QObject* owner, QWidget* sheet, TBusWordModel& model);

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

private:
    void Show() override;

    TBusWordModel& mModel;
};

} // namespace cards
