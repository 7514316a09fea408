#pragma once

#include "cards/CardModel.h"

#include <QColor>
#include <QGroupBox>
#include <QPushButton>
#include <QWidget>

class QButtonGroup;
class QLabel;

namespace cards {

// Lamp colours.
inline const QColor LampYellow(0xFF, 0xFF, 0x00);
inline const QColor LampWhite(0xFF, 0xFF, 0xFF);
inline const QColor LampGrey(0x80, 0x80, 0x80);
inline const QColor LampGreen(0x00, 0x80, 0x00);
inline const QColor LampRed(0xFF, 0x00, 0x00);
QColor LampColor(TLamp lamp);

// A lamp: a circle of 17 by 17 pixels filled with the colour of a state.
class TShape : public QWidget {
    Q_OBJECT
public:
    TShape(QWidget* parent, const QString& name, const QColor& color, int x, int y);

    QColor BrushColor() const { return mColor; }
    void SetBrushColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor mColor;
};

// A bit button: caption "0" or "1" as its model says, and a weight held as its tag.
QPushButton* MakeBitButton(QWidget* parent, const QString& name, int weight, int x, int y,
                           int width = 28, int height = 24);
int Tag(const QObject* control);
void SetTag(QObject* control, int tag);
void ShowBit(QPushButton* button, bool one);

// A group of radio buttons, one chosen by its index.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(QWidget* parent, const QString& name, const QString& caption,
                const QStringList& items, const QRect& geometry);

    int ItemIndex() const;
    void SetItemIndex(int index);
    QAbstractButton* Item(int index) const;

signals:
    // The user chose an item.
    void Click();

private:
    QButtonGroup* mButtons;
};

// A new control given its object name and its place on its parent.
template <class TControl>
TControl* Placed(TControl* control, const QString& name, const QRect& geometry) {
    control->setObjectName(name);
    control->setGeometry(geometry);
    return control;
}

// True when the input focus went from `old` to another control of the same window. Only
// such a move ends a page's running test: a window that loses the activation (to the help
// window, a message box, another program) or gets it back moves the focus between windows
// or to none, and the test goes on.
bool FocusMovedWithinWindow(const QWidget* old, const QWidget* now);

// A label at a place.
QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, int x, int y,
                  int width = 60, int height = 18);

} // namespace cards
