#pragma once

#include "serial/ComPort.h"
#include "serial/PortNames.h"

#include <QComboBox>
#include <QString>
#include <string>
#include <vector>

namespace serial {

// Which setting a TComComboBox offers. This program uses cpPort only.
enum TComProperty : int {
    cpNone,
    cpPort,
    cpBaudRate,
    cpDataBits,
    cpStopBits,
    cpParity,
    cpFlowControl
};

// The value side of a TComComboBox: what it offers, the last value picked, and the port it may
// pass a pick on to. The entries are the control's own.
class TComSelect {
public:
    explicit TComSelect(QComboBox& items) : mItems(items) {}

    // Clears the entries and puts in those of Kind; for cpPort the ports of EnumPorts, each
    // shown as its readable line with its path as the value, for the other settings the text
    // forms of their values. An EComPort of the port list leaves the entries empty.
    void FillList();
    // The entries as a list someone else keeps gives them: each port's readable line with its
    // value, and what the system told of the listed ones.
    struct TEntry {
        std::string Value;
        std::string Line;
    };
    void ShowPorts(const std::vector<TEntry>& entries, std::vector<TPortInfo> listed);
    // The value of entry `index`: a port's path, or a setting's text; empty outside the list.
    std::string Value(int index) const;
    // The entry whose value equals `value` without regard to letter case, -1 for none.
    int FindValue(const std::string& value) const;
    // What the port list knew of the listed ports when it was filled, in entry order; entries
    // added later (AddPort) have none.
    const std::vector<TPortInfo>& Ports() const { return mPorts; }
    // Keeps the value of entry `index` as the chosen one and, with AutoApply and a bound
    // port, gives it to the port.
    void StoreChoice(int index);
    // The entry that holds the bound port's present value, -1 when none does.
    int BoundEntry() const;

    TComProperty Kind = cpNone;
    std::string ChosenPort;
    TBaudRate ChosenBaudRate = br9600;
    TDataBits ChosenDataBits = dbEight;
    TStopBits ChosenStopBits = sbOneStopBit;
    TParityBits ChosenParity = prNone;
    TFlowControl ChosenFlowControl = fcNone;
    // Not owned; must outlive the binding.
    TCustomComPort* ComPort = nullptr;
    bool AutoApply = false;

private:
    QComboBox& mItems;
    std::vector<TPortInfo> mPorts;
};

// A drop-down list from which the user picks one value of a serial port setting; the user
// can only pick an entry, not type one.
class TComComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit TComComboBox(QWidget* parent = nullptr);

    TCustomComPort* ComPort() const { return mComSelect.ComPort; }
    void SetComPort(TCustomComPort* port);
    TComProperty ComProperty() const { return mComSelect.Kind; }
    // Refills the list; then selects the bound port's value, or without a port the first
    // entry.
    void SetComProperty(TComProperty kind);
    bool AutoApply() const { return mComSelect.AutoApply; }
    void SetAutoApply(bool value) { mComSelect.AutoApply = value; }

    // The value of the picked entry (a port's path); empty when none is selected.
    QString Text() const;
    // Selects the entry whose value equals `value` with letter case ignored; without one
    // nothing changes.
    void SetText(const QString& value);
    // Adds an entry for a port the list does not hold (a device named by its path), shown as
    // its path.
    void AddPort(const std::string& path);
    int ItemIndex() const { return currentIndex(); }
    // An index outside the entries leaves no entry selected.
    void SetItemIndex(int index);

    const TComSelect& ComSelect() const { return mComSelect; }
    TComSelect& ComSelect() { return mComSelect; }

signals:
    // A pick by the user, after the choice has been stored.
    void Change();

private:
    void Picked(int index);

    TComSelect mComSelect;
};

} // namespace serial
