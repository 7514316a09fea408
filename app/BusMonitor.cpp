#include "app/BusMonitor.h"

#include "bus/BusWord.h"
#include "bus/qt/Dialogs.h"
#include "capture/CaptureFiles.h"
#include "capture/CaptureText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace app {

namespace {

// The view takes in the capture at most this often.
constexpr int UpdateMs = 100;

const QColor NoReplyColour(255, 224, 160);
const QColor FailureColour(255, 190, 190);

} // namespace

// ---- the table ----

TCaptureTableModel::TCaptureTableModel(const bus::TCapture& capture, QObject* parent)
    : QAbstractTableModel(parent), mCapture(capture) {}

void TCaptureTableModel::Update() {
    const bus::TCaptureRows::TChange change = mRows.Update(mCapture);
    const int count = static_cast<int>(mRows.Rows().size());
    if (change.Remade) {
        beginResetModel();
        mShown = count;
        endResetModel();
        return;
    }
    // The rows are in place already; the views hear of them in the order they changed.
    if (change.Dropped > 0) {
        beginRemoveRows({}, 0, static_cast<int>(change.Dropped) - 1);
        mShown -= static_cast<int>(change.Dropped);
        endRemoveRows();
    }
    if (change.FirstUpdated != bus::TCaptureRows::TChange::NoRow)
        emit dataChanged(index(static_cast<int>(change.FirstUpdated), 0),
                         index(static_cast<int>(change.LastUpdated), ColumnCount - 1));
    if (change.Appended > 0) {
        beginInsertRows({}, mShown, count - 1);
        mShown = count;
        endInsertRows();
    }
}

void TCaptureTableModel::SetFilter(const bus::TCaptureFilter& filter) {
    beginResetModel();
    mRows.SetFilter(mCapture, filter);
    mShown = static_cast<int>(mRows.Rows().size());
    endResetModel();
}

void TCaptureTableModel::SetTimeMode(TTimeMode mode) {
    mTimeMode = mode;
    if (mShown > 0)
        emit dataChanged(index(0, Time), index(mShown - 1, Time));
}

int TCaptureTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : mShown;
}

int TCaptureTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TCaptureTableModel::headerData(int section, Qt::Orientation orientation,
                                        int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Time:
        return bus::Tr("Tijd");
    case Direction:
        return bus::Tr("Richting");
    case Word:
        return bus::Tr("Woord");
    case Bits:
        return bus::Tr("Bits");
    case Strobe:
        return bus::Tr("Strobe");
    case AddressOrData:
        return bus::Tr("Adres/data");
    case Reply:
        return bus::Tr("Antwoord");
    case Meaning:
        return bus::Tr("Betekenis");
    case Latency:
        return bus::Tr("Latentie (ms)");
    case Status:
        return bus::Tr("Status");
    default:
        return {};
    }
}

QVariant TCaptureTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= mShown)
        return {};
    const bus::TCaptureRow& row = mRows.Rows()[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return Text(index.row(), index.column());
    if (role == Qt::BackgroundRole) {
        switch (bus::RowMark(mCapture, row)) {
        case bus::TRowMark::NoReply:
            return NoReplyColour;
        case bus::TRowMark::Failure:
            return FailureColour;
        case bus::TRowMark::None:
            break;
        }
    }
    return {};
}

QString TCaptureTableModel::Text(int index, int column) const {
    const bus::TCaptureRow& row = mRows.Rows()[static_cast<std::size_t>(index)];
    const bus::TCaptureEvent& event = mCapture.At(row.Event);
    if (column == Time) {
        if (mTimeMode == TTimeMode::Clock)
            return QDateTime::fromMSecsSinceEpoch(mCapture.WallNs(event) / 1000000)
                .toString("HH:mm:ss.zzz");
        if (mTimeMode == TTimeMode::SincePrevious) {
            if (index == 0)
                return QString();
            const auto& previous = mRows.Rows()[static_cast<std::size_t>(index - 1)];
            const double ms =
                static_cast<double>(event.TimeNs - mCapture.At(previous.Event).TimeNs) / 1e6;
            return QString("+%1").arg(ms, 0, 'f', 3);
        }
        return QString::number(static_cast<double>(event.TimeNs) / 1e9, 'f', 6);
    }
    const bus::TRowCells cells = bus::RowCells(mCapture, row);
    const std::string* texts[] = {nullptr,          &cells.Direction, &cells.Word,
                                  &cells.Bits,      &cells.Strobe,    &cells.AddressOrData,
                                  &cells.Reply,     &cells.Meaning,   &cells.Latency,
                                  &cells.Status};
    return column > Time && column < ColumnCount ? QString::fromStdString(*texts[column])
                                                 : QString();
}

// ---- the window ----

TBusMonitor::TBusMonitor(bus::TCapture& capture, QWidget* parent)
    : QWidget(parent, Qt::Window), mCapture(capture),
      mModel(new TCaptureTableModel(capture, this)) {
    setObjectName("BusMonitor");
    setWindowTitle(bus::Tr("Busmonitor"));
    // Beside the pages: showing it takes the activation from no one.
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(1000, 480);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    layout->addLayout(top);
    const auto named = [](auto* control, const char* name) {
        control->setObjectName(name);
        return control;
    };
    CheckBoxBevriezen = named(new QCheckBox(bus::Tr("Bevriezen"), this), "CheckBoxBevriezen");
    ButtonWissen = named(new QPushButton(bus::Tr("Wissen"), this), "ButtonWissen");
    ComboBoxTijd = named(new QComboBox(this), "ComboBoxTijd");
    ComboBoxTijd->addItems({bus::Tr("Tijd vanaf de start"), bus::Tr("Tijd na de vorige rij"),
                            bus::Tr("Kloktijd")});
    ButtonBewaar = named(new QPushButton(bus::Tr("Bewaar..."), this), "ButtonBewaar");
    CheckBoxGefilterd =
        named(new QCheckBox(bus::Tr("Alleen de getoonde rijen"), this), "CheckBoxGefilterd");
    for (QWidget* control : std::initializer_list<QWidget*>{CheckBoxBevriezen, ButtonWissen,
                                                            ComboBoxTijd})
        top->addWidget(control);
    top->addStretch();
    top->addWidget(CheckBoxGefilterd);
    top->addWidget(ButtonBewaar);

    auto* filter = new QHBoxLayout;
    layout->addLayout(filter);
    filter->addWidget(new QLabel(bus::Tr("Tonen:"), this));
    CheckBoxAdres = named(new QCheckBox(bus::Tr("Adres"), this), "CheckBoxAdres");
    CheckBoxData = named(new QCheckBox(bus::Tr("Data"), this), "CheckBoxData");
    CheckBoxLatchadres = named(new QCheckBox(bus::Tr("Latchadres"), this), "CheckBoxLatchadres");
    CheckBoxLatchdata = named(new QCheckBox(bus::Tr("Latchdata"), this), "CheckBoxLatchdata");
    CheckBoxOverig = named(new QCheckBox(bus::Tr("Overig"), this), "CheckBoxOverig");
    for (QCheckBox* box :
         {CheckBoxAdres, CheckBoxData, CheckBoxLatchadres, CheckBoxLatchdata, CheckBoxOverig}) {
        box->setChecked(true);
        filter->addWidget(box);
        connect(box, &QCheckBox::toggled, this, [this] { FilterChanged(); });
    }
    auto* placeLabel = new QLabel(bus::Tr("Plaats:"), this);
    filter->addWidget(placeLabel);
    SpinEditPlaats = named(new QSpinBox(this), "SpinEditPlaats");
    SpinEditPlaats->setRange(-1, 63);
    SpinEditPlaats->setValue(-1);
    SpinEditPlaats->setSpecialValueText(bus::Tr("alle"));
    placeLabel->setBuddy(SpinEditPlaats);
    filter->addWidget(SpinEditPlaats);
    CheckBoxProblemen =
        named(new QCheckBox(bus::Tr("Alleen problemen"), this), "CheckBoxProblemen");
    filter->addWidget(CheckBoxProblemen);
    filter->addStretch();
    connect(SpinEditPlaats, &QSpinBox::valueChanged, this, [this] { FilterChanged(); });
    connect(CheckBoxProblemen, &QCheckBox::toggled, this, [this] { FilterChanged(); });

    TableEvents = named(new QTableView(this), "TableEvents");
    TableEvents->setModel(mModel);
    TableEvents->setFocusPolicy(Qt::NoFocus);
    TableEvents->setSelectionMode(QAbstractItemView::NoSelection);
    TableEvents->verticalHeader()->hide();
    TableEvents->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    TableEvents->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    TableEvents->horizontalHeader()->setStretchLastSection(true);
    // Each column as wide as what it shows, in the font the system gives.
    const std::pair<int, const char*> widest[] = {
        {TCaptureTableModel::Time, "00:00:00.000 "},     {TCaptureTableModel::Direction, "← rek"},
        {TCaptureTableModel::Word, "0x00"},              {TCaptureTableModel::Bits, "0000 0000"},
        {TCaptureTableModel::Strobe, "latchadres"},      {TCaptureTableModel::AddressOrData, "00"},
        {TCaptureTableModel::Reply, "0x00"},
        {TCaptureTableModel::Meaning, "data 00; terugmelding 0000, kortsluiting"},
        {TCaptureTableModel::Latency, "0000.000"}};
    for (const auto& [column, text] : widest) {
        const QString header = mModel->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        TableEvents->horizontalHeader()->resizeSection(
            column, std::max(fontMetrics().horizontalAdvance(QString::fromUtf8(text)),
                             fontMetrics().horizontalAdvance(header)) +
                        16);
    }
    layout->addWidget(TableEvents, 1);

    auto* notes = new QHBoxLayout;
    layout->addLayout(notes);
    EditNotitie = named(new QLineEdit(this), "EditNotitie");
    EditNotitie->setPlaceholderText(bus::Tr("Notitie bij dit moment"));
    ButtonNotitie = named(new QPushButton(bus::Tr("Notitie"), this), "ButtonNotitie");
    notes->addWidget(EditNotitie, 1);
    notes->addWidget(ButtonNotitie);
    LabelTellers = named(new QLabel(this), "LabelTellers");
    layout->addWidget(LabelTellers);

    TimerMonitor = new QTimer(this);
    TimerMonitor->setObjectName("TimerMonitor");
    TimerMonitor->setInterval(UpdateMs);
    connect(TimerMonitor, &QTimer::timeout, this, [this] { TimerMonitorTimer(); });
    TimerMonitor->start();

    connect(ButtonWissen, &QPushButton::clicked, this, [this] { ButtonWissenClick(); });
    connect(ButtonNotitie, &QPushButton::clicked, this, [this] { ButtonNotitieClick(); });
    connect(EditNotitie, &QLineEdit::returnPressed, this, [this] { ButtonNotitieClick(); });
    connect(ButtonBewaar, &QPushButton::clicked, this,
            [this] { bus::Guarded([this] { ButtonBewaarClick(); }); });
    connect(ComboBoxTijd, &QComboBox::currentIndexChanged, this, [this](int mode) {
        mModel->SetTimeMode(static_cast<TCaptureTableModel::TTimeMode>(mode));
    });
    connect(CheckBoxBevriezen, &QCheckBox::toggled, this, [this] { TimerMonitorTimer(); });
    TimerMonitorTimer();
}

void TBusMonitor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Newly shown, the view follows the newest rows.
    QTimer::singleShot(0, this, [this] { TableEvents->scrollToBottom(); });
}

void TBusMonitor::TimerMonitorTimer() {
    if (!CheckBoxBevriezen->isChecked()) {
        // The view follows the newest rows unless the user scrolled back to older ones.
        QScrollBar* scroll = TableEvents->verticalScrollBar();
        const bool atEnd = scroll->value() == scroll->maximum();
        mModel->Update();
        if (atEnd)
            TableEvents->scrollToBottom();
    }
    UpdateCounters();
}

void TBusMonitor::UpdateCounters() {
    LabelTellers->setText(
        QString::fromStdString(bus::CountersText(mCapture, mWordRate.Take(mCapture))));
}

void TBusMonitor::FilterChanged() {
    bus::TCaptureFilter filter;
    filter.Address = CheckBoxAdres->isChecked();
    filter.Data = CheckBoxData->isChecked();
    filter.LatchAddress = CheckBoxLatchadres->isChecked();
    filter.LatchData = CheckBoxLatchdata->isChecked();
    filter.Other = CheckBoxOverig->isChecked();
    filter.Place = SpinEditPlaats->value();
    filter.ProblemsOnly = CheckBoxProblemen->isChecked();
    mModel->SetFilter(filter);
}

void TBusMonitor::ButtonWissenClick() {
    mCapture.Clear();
    mModel->Update();
    UpdateCounters();
}

void TBusMonitor::ButtonNotitieClick() {
    if (EditNotitie->text().trimmed().isEmpty())
        return;
    mCapture.AddNote(EditNotitie->text().trimmed().toStdString());
    EditNotitie->clear();
}

void TBusMonitor::ButtonBewaarClick() {
    const auto chosen = bus::Dialogs().SaveDataFileName(
        this, "morvelplint.pcapng", QStringLiteral("pcapng (*.pcapng);;CSV (*.csv)"));
    if (!chosen)
        return;
    bus::TCaptureSelection selection;
    if (CheckBoxGefilterd->isChecked()) {
        // Every row the filter lets through, also those a frozen view does not show yet.
        bus::TCaptureRows rows;
        rows.SetFilter(mCapture, mModel->Rows().Filter());
        selection.All = false;
        for (const bus::TCaptureRow& row : rows.Rows())
            selection.Events.push_back(row.Event);
    }
    std::string error;
    if (!bus::WriteCapture(mCapture, selection, chosen->toStdString(), error))
        bus::Dialogs().Message(this, bus::TDialogs::TIcon::Error, bus::ProgramTitle,
                               bus::Tr("De opname kon niet worden bewaard in \"%1\".").arg(*chosen),
                               QString::fromLocal8Bit(error.c_str()));
}

} // namespace app
