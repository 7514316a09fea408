#include "serial/CPortCtl.h"

#include "serial/PortNames.h"

#include <QStringList>

namespace serial {

namespace {

QStringList Texts(TComProperty kind) {
    switch (kind) {
    case cpBaudRate: {
        QStringList speeds;
        for (int rate = br110; rate <= br256000; ++rate)
            speeds << QString::number(BaudRateSpeed(static_cast<TBaudRate>(rate)));
        return speeds;
    }
    case cpDataBits:
        return {"5", "6", "7", "8"};
    case cpStopBits:
        return {"1", "1.5", "2"};
    case cpParity:
        return {"None", "Odd", "Even", "Mark", "Space"};
    case cpFlowControl:
        return {"Hardware", "Software", "None", "Custom"};
    case cpNone:
    case cpPort:
        break;
    }
    return {};
}

} // namespace

void TComSelect::FillList() {
    mItems.clear();
    if (Kind != cpPort) {
        mItems.addItems(Texts(Kind));
        return;
    }
    for (const std::string& name : EnumPortNames())
        mItems.addItem(QString::fromStdString(name));
}

void TComSelect::StoreChoice(int index) {
    if (index < 0 || index >= mItems.count())
        return;
    switch (Kind) {
    case cpPort:
        ChosenPort = mItems.itemText(index).toStdString();
        break;
    case cpBaudRate:
        ChosenBaudRate = static_cast<TBaudRate>(br110 + index);
        break;
    case cpDataBits:
        ChosenDataBits = static_cast<TDataBits>(index);
        break;
    case cpStopBits:
        ChosenStopBits = static_cast<TStopBits>(index);
        break;
    case cpParity:
        ChosenParity = static_cast<TParityBits>(index);
        break;
    case cpFlowControl:
        ChosenFlowControl = static_cast<TFlowControl>(index);
        break;
    case cpNone:
        break;
    }
    if (!AutoApply || !ComPort)
        return;
    switch (Kind) {
    case cpPort:
        ComPort->SetPort(ChosenPort);
        break;
    case cpBaudRate:
        ComPort->SetBaudRate(ChosenBaudRate);
        break;
    case cpDataBits:
        ComPort->SetDataBits(ChosenDataBits);
        break;
    case cpStopBits:
        ComPort->SetStopBits(ChosenStopBits);
        break;
    case cpParity:
        ComPort->Parity().SetBits(ChosenParity);
        break;
    case cpFlowControl:
        ComPort->FlowControl().SetFlowControl(ChosenFlowControl);
        break;
    case cpNone:
        break;
    }
}

int TComSelect::BoundEntry() const {
    if (!ComPort)
        return -1;
    switch (Kind) {
    case cpPort:
        return mItems.findText(QString::fromStdString(ComPort->Port()), Qt::MatchFixedString);
    case cpBaudRate:
        return ComPort->BaudRate() == brCustom ? -1 : ComPort->BaudRate() - br110;
    case cpDataBits:
        return ComPort->DataBits();
    case cpStopBits:
        return ComPort->StopBits();
    case cpParity:
        return ComPort->Parity().Bits();
    case cpFlowControl:
        return ComPort->FlowControl().FlowControl();
    case cpNone:
        break;
    }
    return -1;
}

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent), mComSelect(*this) {
    setEditable(false);
    connect(this, &QComboBox::activated, this, &TComComboBox::Picked);
}

void TComComboBox::SetComPort(TCustomComPort* port) {
    mComSelect.ComPort = port;
    if (port)
        setCurrentIndex(mComSelect.BoundEntry());
}

void TComComboBox::SetComProperty(TComProperty kind) {
    mComSelect.Kind = kind;
    mComSelect.FillList();
    if (mComSelect.ComPort)
        setCurrentIndex(mComSelect.BoundEntry());
    else if (count() > 0)
        setCurrentIndex(0);
}

QString TComComboBox::Text() const {
    return currentIndex() < 0 ? QString() : currentText();
}

void TComComboBox::SetText(const QString& value) {
    // MatchFixedString compares whole texts without regard to case.
    const int index = findText(value, Qt::MatchFixedString);
    if (index >= 0)
        setCurrentIndex(index);
}

void TComComboBox::SetItemIndex(int index) {
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

void TComComboBox::Picked(int index) {
    mComSelect.StoreChoice(index);
    emit Change();
}

} // namespace serial
