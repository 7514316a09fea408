#pragma once

#include "cards/qt/CardPage.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace cards {

// The "SLK" page: select one card place, or sweep the 16 places of one rack every 400 ms.
class TSlkPage : public TCardPage {
    Q_OBJECT
public:
    TSlkPage(TCardContext& context, QWidget* sheet);

    QRadioButton* rbtKaart = nullptr;
    QRadioButton* rbtRektesten = nullptr;
    QLabel* LabelSLK = nullptr;
    QSpinBox* SpinEditSLKAdr = nullptr;
    QPushButton* ButtonSLKVersturen = nullptr;

    void rbtKaartClick();
    void rbtRektestenClick();
    // The value changed, or the focus left the button.
    void Reset();
    void ButtonSLKVersturenClick();

    int TickInterval() const override { return 400; }
    void Tick() override;

private:
    bool RackMode() const;
};

} // namespace cards
