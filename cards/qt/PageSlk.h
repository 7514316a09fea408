#pragma once

#include "cards/SlkModel.h"
#include "cards/qt/CardPage.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace cards {

// The "SLK" page's view.
class TSlkPage : public TCardPage {
    Q_OBJECT
public:
    TSlkPage(QObject* owner, QWidget* sheet, TSlkModel& model);

    QRadioButton* rbtKaart = nullptr;
    QRadioButton* rbtRektesten = nullptr;
    QLabel* LabelSLK = nullptr;
    QSpinBox* SpinEditSLKAdr = nullptr;
    QPushButton* ButtonSLKVersturen = nullptr;

    void ButtonSLKVersturenClick();

private:
    void Show() override;

    TSlkModel& mModel;
};

} // namespace cards
