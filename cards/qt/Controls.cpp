#include "cards/qt/Controls.h"

#include <QButtonGroup>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QVBoxLayout>

namespace cards {

TShape::TShape(QWidget* parent, const QString& name, const QColor& color, int x, int y)
    : QWidget(parent), mColor(color) {
    setObjectName(name);
    setGeometry(x, y, 17, 17);
}

void TShape::SetBrushColor(const QColor& color) {
    if (color == mColor)
        return;
    mColor = color;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(mColor);
    painter.drawEllipse(QRectF(0.5, 0.5, 16, 16));
}

QPushButton* MakeBitButton(QWidget* parent, const QString& name, int weight, int x, int y,
                           int width, int height) {
    auto* button = Placed(new QPushButton("0", parent), name, {x, y, width, height});
    SetTag(button, weight);
    return button;
}

int Tag(const QObject* control) {
    return control->property("Tag").toInt();
}

void SetTag(QObject* control, int tag) {
    control->setProperty("Tag", tag);
}

void ShowBit(QPushButton* button, bool one) {
    button->setText(one ? "1" : "0");
}

QColor LampColor(TLamp lamp) {
    switch (lamp) {
    case TLamp::Yellow:
        return LampYellow;
    case TLamp::White:
        return LampWhite;
    case TLamp::Grey:
        return LampGrey;
    case TLamp::Green:
        return LampGreen;
    case TLamp::Red:
        return LampRed;
    }
    return LampWhite;
}

TRadioGroup::TRadioGroup(QWidget* parent, const QString& name, const QString& caption,
                         const QStringList& items, const QRect& geometry)
    : QGroupBox(caption, parent), mButtons(new QButtonGroup(this)) {
    setObjectName(name);
    setGeometry(geometry);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(2);
    for (int i = 0; i < items.size(); ++i) {
        auto* item = new QRadioButton(items[i], this);
        item->setObjectName(QString("%1Item%2").arg(name).arg(i));
        mButtons->addButton(item, i);
        layout->addWidget(item);
    }
    SetItemIndex(0);
    connect(mButtons, &QButtonGroup::idClicked, this, [this] { emit Click(); });
}

int TRadioGroup::ItemIndex() const {
    return mButtons->checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* item = mButtons->button(index))
        item->setChecked(true);
}

QAbstractButton* TRadioGroup::Item(int index) const {
    return mButtons->button(index);
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, int x, int y,
                  int width, int height) {
    return Placed(new QLabel(text, parent), name, {x, y, width, height});
}

bool FocusMovedWithinWindow(const QWidget* old, const QWidget* now) {
    return old && now && old->window() == now->window();
}

} // namespace cards
