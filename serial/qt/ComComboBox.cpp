#include "serial/qt/ComComboBox.h"

#include "serial/PortNames.h"

#include <QAbstractItemView>
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
    mPorts.clear();
    if (Kind != cpPort) {
        mItems.addItems(Texts(Kind));
        return;
    }
    mPorts = EnumPorts();
    for (const TPortInfo& port : mPorts)
        mItems.addItem(QString::fromStdString(PortLine(port)), QString::fromStdString(port.Path));
}

void TComSelect::ShowPorts(const std::vector<TEntry>& entries, std::vector<TPortInfo> listed) {
    Kind = cpPort;
    mItems.clear();
    for (const TEntry& entry : entries)
        mItems.addItem(QString::fromStdString(entry.Line), QString::fromStdString(entry.Value));
    mPorts = std::move(listed);
}

std::string TComSelect::Value(int index) const {
    if (index < 0 || index >= mItems.count())
        return {};
    const QVariant value = mItems.itemData(index);
    return (value.isValid() ? value.toString() : mItems.itemText(index)).toStdString();
}

int TComSelect::FindValue(const std::string& value) const {
    const QString wanted = QString::fromStdString(value);
    for (int i = 0; i < mItems.count(); ++i)
        if (QString::fromStdString(Value(i)).compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void TComSelect::StoreChoice(int index) {
    if (index < 0 || index >= mItems.count())
        return;
    switch (Kind) {
    case cpPort:
        ChosenPort = Value(index);
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
        return FindValue(ComPort->Port());
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
    connect(this, &QComboBox::currentIndexChanged, this,
            [this](int index) { setToolTip(index < 0 ? QString() : itemText(index)); });
}

void TComComboBox::SetComPort(TCustomComPort* port) {
    mComSelect.ComPort = port;
    if (port)
        setCurrentIndex(mComSelect.BoundEntry());
}

void TComComboBox::SetComProperty(TComProperty kind) {
    mComSelect.Kind = kind;
    mComSelect.FillList();
    // A port's line is wider than the closed box: the open list shows it whole.
    view()->setMinimumWidth(view()->sizeHintForColumn(0) + 2 * view()->frameWidth());
    if (mComSelect.ComPort)
        setCurrentIndex(mComSelect.BoundEntry());
    else if (count() > 0)
        setCurrentIndex(0);
}

QString TComComboBox::Text() const {
    return QString::fromStdString(mComSelect.Value(currentIndex()));
}

void TComComboBox::SetText(const QString& value) {
    const int index = mComSelect.FindValue(value.toStdString());
    if (index >= 0)
        setCurrentIndex(index);
}

void TComComboBox::AddPort(const std::string& path) {
    addItem(QString::fromStdString(path), QString::fromStdString(path));
}

void TComComboBox::SetItemIndex(int index) {
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

void TComComboBox::Picked(int index) {
    mComSelect.StoreChoice(index);
    emit Change();
}

} // namespace serial
