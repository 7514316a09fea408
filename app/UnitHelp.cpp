#include "app/UnitHelp.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFrame>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

namespace app {

THelpBox* HelpBox = nullptr;

namespace {

constexpr int ClientWidth = 496;
constexpr int ClientHeight = 349;

// Section headings stand on lines of their own; they are set in bold.
bool IsHeading(const QString& line) {
    static const QStringList headings{"Algemeen", "Init", "SCK",     "PCK", "SLK",
                                      "(?)BK",    "3BK",  "LKK_EVL", "IOK"};
    return headings.contains(line);
}

} // namespace

THelpBox::THelpBox(QWidget* parent) : QDialog(parent) {
    HelpBox = this;
    setObjectName("HelpBox");
    setWindowTitle("Help");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);

    PanelHelp = new QFrame(this);
    PanelHelp->setObjectName("PanelHelp");
    PanelHelp->setFrameStyle(QFrame::Box | QFrame::Plain);
    PanelHelp->setLineWidth(1);
    PanelHelp->setGeometry(4, 4, 475, 305);
    // The memo is far taller than the panel; this inner area clips it inside the border.
    auto* clip = new QWidget(PanelHelp);
    clip->setGeometry(PanelHelp->contentsRect());

    MemoHelp = new QTextEdit(clip);
    MemoHelp->setObjectName("MemoHelp");
    MemoHelp->setGeometry(0, 0, 475, 4500);
    MemoHelp->setFrameStyle(QFrame::NoFrame);
    MemoHelp->setReadOnly(true);
    MemoHelp->setLineWrapMode(QTextEdit::NoWrap);
    MemoHelp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoHelp->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoHelp->setTextInteractionFlags(Qt::TextSelectableByMouse);
    MemoHelp->setFocusPolicy(Qt::NoFocus);
    // Fixed pitch, so that the help text's columns line up as written.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(11);
    MemoHelp->setFont(font);
    MemoHelp->viewport()->installEventFilter(this);
    LoadHelpText();

    ScrollBarVertHelp = new QScrollBar(Qt::Vertical, this);
    ScrollBarVertHelp->setObjectName("ScrollBarVertHelp");
    ScrollBarVertHelp->setGeometry(ClientWidth - 17, 5, 17, 303);
    ScrollBarVertHelp->setRange(0, 3322);
    ScrollBarVertHelp->setSingleStep(8);
    ScrollBarVertHelp->setPageStep(300);
    connect(ScrollBarVertHelp, &QScrollBar::valueChanged, this, &THelpBox::ScrollBarVertHelpChange);

    OKBtn = new QPushButton("OK", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setGeometry((ClientWidth - 75) / 2, 316, 75, 27);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &THelpBox::OKBtnClick);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

THelpBox::~THelpBox() {
    if (HelpBox == this)
        HelpBox = nullptr;
}

void THelpBox::LoadHelpText() {
    QFile file(":/help/morvelplint-help.txt");
    file.open(QIODevice::ReadOnly);
    MemoHelp->setPlainText(QString::fromUtf8(file.readAll()));

    QTextDocument* document = MemoHelp->document();
    document->setDocumentMargin(TextMargin);
    QTextCursor cursor(document);
    cursor.select(QTextCursor::Document);
    QTextBlockFormat lines;
    lines.setLineHeight(LineHeight, QTextBlockFormat::FixedHeight);
    cursor.mergeBlockFormat(lines);

    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block != document->begin() && !IsHeading(block.text()))
            continue;
        QTextCursor heading(block);
        heading.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        heading.mergeCharFormat(bold);
    }
}

int THelpBox::TopicPosition(int topic, int current) {
    switch (topic) {
    case -1:
        return 0; // the top: "Algemeen"
    case 1:
        return 665; // "SCK"
    case 2:
        return 1327; // "PCK"
    case 3:
        return 1991; // "SLK"
    case 4:
        return 2250; // "(?)BK"
    case 5:
        return 2535; // "3BK"
    case 6:
        return 2755; // "LKK_EVL"
    case 7:
        return 3020; // "IOK"
    default:
        return current;
    }
}

void THelpBox::FormShow() {
    ScrollBarVertHelp->setValue(TopicPosition(HelpTopic, ScrollBarVertHelp->value()));
}

void THelpBox::ScrollBarVertHelpChange() {
    MemoHelp->move(0, -ScrollBarVertHelp->value());
}

void THelpBox::OKBtnClick() {
    hide();
}

void THelpBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Only a change from hidden to shown; a window restored by the system keeps its place.
    if (!event->spontaneous())
        FormShow();
}

bool THelpBox::eventFilter(QObject* watched, QEvent* event) {
    // The memo never scrolls itself: the wheel over it moves the scroll bar.
    if (watched == MemoHelp->viewport() && event->type() == QEvent::Wheel) {
        QCoreApplication::sendEvent(ScrollBarVertHelp, event);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace app
