#pragma once

#include "capture/CaptureRows.h"
#include "capture/CaptureText.h"

#include <QAbstractTableModel>
#include <QWidget>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;

namespace app {

// The rows of the monitor's table, taken from the capture in batches.
class TCaptureTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { Time, Direction, Word, Bits, Strobe, AddressOrData, Reply, Meaning, Latency,
                   Status, ColumnCount };
    enum class TTimeMode { SinceStart, SincePrevious, Clock };

    explicit TCaptureTableModel(const bus::TCapture& capture, QObject* parent = nullptr);

    // Takes in what the capture recorded since the last call.
    void Update();
    void SetFilter(const bus::TCaptureFilter& filter);
    void SetTimeMode(TTimeMode mode);
    const bus::TCaptureRows& Rows() const { return mRows; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString Text(int row, int column) const;

    const bus::TCapture& mCapture;
    bus::TCaptureRows mRows;
    int mShown = 0; // the rows the views know of
    TTimeMode mTimeMode = TTimeMode::SinceStart;
};

// "Busmonitor": every word and reply on the bus as it happens, with a filter, a freeze that
// lets the capture go on underneath, notes, counters, and saving as pcapng or CSV. It stays
// open beside the pages and takes the activation from no one.
class TBusMonitor : public QWidget {
    Q_OBJECT
public:
    TBusMonitor(bus::TCapture& capture, QWidget* parent = nullptr);

    QCheckBox* CheckBoxBevriezen = nullptr;
    QPushButton* ButtonWissen = nullptr;
    QComboBox* ComboBoxTijd = nullptr;
    QCheckBox* CheckBoxAdres = nullptr;
    QCheckBox* CheckBoxData = nullptr;
    QCheckBox* CheckBoxLatchadres = nullptr;
    QCheckBox* CheckBoxLatchdata = nullptr;
    QCheckBox* CheckBoxOverig = nullptr;
    QSpinBox* SpinEditPlaats = nullptr;
    QCheckBox* CheckBoxProblemen = nullptr;
    QLineEdit* EditNotitie = nullptr;
    QPushButton* ButtonNotitie = nullptr;
    QPushButton* ButtonBewaar = nullptr;
    QCheckBox* CheckBoxGefilterd = nullptr;
    QTableView* TableEvents = nullptr;
    QLabel* LabelTellers = nullptr;
    QTimer* TimerMonitor = nullptr;

    TCaptureTableModel& Model() { return *mModel; }

    // At most ten times a second: new rows (unless frozen) and the counters.
    void TimerMonitorTimer();
    void FilterChanged();
    void ButtonWissenClick();
    void ButtonNotitieClick();
    void ButtonBewaarClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdateCounters();

    bus::TCapture& mCapture;
    TCaptureTableModel* mModel;
    bus::TWordRate mWordRate;
};

} // namespace app
