#pragma once

#include "cards/IokModel.h"
#include "cards/qt/CardPage.h"

#include <array>

class QCheckBox;
class QPushButton;
class QSpinBox;

namespace cards {

class TShape;

// The "IOK" page's view.
class TIokPage : public TCardPage {
    Q_OBJECT
public:
    TIokPage(QObject* owner, QWidget* sheet, TIokModel& model);

    QSpinBox* SpinEditIOKadr = nullptr;
    QPushButton* ButtonIOKVersturen = nullptr;
    QCheckBox* CheckBoxIOKTest = nullptr;
    std::array<QPushButton*, 16> ButtonIOK{}; // pin n at index n - 1
    std::array<TShape*, 16> ShapeIOK{};

    void ButtonIOKVersturenClick();

private:
    void Show() override;

    TIokModel& mModel;
};

} // namespace cards
