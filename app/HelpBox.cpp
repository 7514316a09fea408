#include "app/HelpBox.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QtMath>
#include <algorithm>

namespace app {

THelpBox* HelpBox = nullptr;

namespace {

constexpr int ClientHeight = 349;
constexpr int PanelLeft = 4;
constexpr int PanelHeight = 305;
constexpr int MinPanelWidth = 475;
constexpr int ScrollBarWidth = 17;

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

    PanelHelp = new QFrame(this);
    PanelHelp->setObjectName("PanelHelp");
    PanelHelp->setFrameStyle(QFrame::Box | QFrame::Plain);
    PanelHelp->setLineWidth(1);
    // The memo is far taller than the panel; this inner area clips it inside the border.
    mClip = new QWidget(PanelHelp);

    MemoHelp = new QTextEdit(mClip);
    MemoHelp->setObjectName("MemoHelp");
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

    ScrollBarVertHelp = new QScrollBar(Qt::Vertical, this);
    ScrollBarVertHelp->setObjectName("ScrollBarVertHelp");
    ScrollBarVertHelp->setSingleStep(8);
    ScrollBarVertHelp->setPageStep(300);
    connect(ScrollBarVertHelp, &QScrollBar::valueChanged, this, &THelpBox::ScrollBarVertHelpChange);

    OKBtn = new QPushButton("OK", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &THelpBox::OKBtnClick);

    LoadHelpText();
    LayOut();

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

void THelpBox::LayOut() {
    // One pitch for every line, plain or bold, from the font the system gave: the headings
    // then stand where the text's line count puts them.
    QFont boldFont = MemoHelp->font();
    boldFont.setBold(true);
    mLinePitch = std::max(QFontMetrics(MemoHelp->font()).lineSpacing(),
                          QFontMetrics(boldFont).lineSpacing());
    QTextDocument* document = MemoHelp->document();
    QTextCursor cursor(document);
    cursor.select(QTextCursor::Document);
    QTextBlockFormat lines;
    lines.setLineHeight(mLinePitch, QTextBlockFormat::FixedHeight);
    cursor.mergeBlockFormat(lines);

    // As wide as the widest line needs, and never narrower than the window was drawn.
    int widest = 0;
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        layout->blockBoundingRect(block); // lays the block out
        if (block.layout()->lineCount() > 0)
            widest = std::max(widest, qCeil(block.layout()->lineAt(0).naturalTextWidth()));
    }
    const int panelWidth = std::max(MinPanelWidth, widest + 2 * TextMargin + 2);
    const int clientWidth = PanelLeft + panelWidth + ScrollBarWidth;
    setFixedSize(clientWidth, ClientHeight);
    PanelHelp->setGeometry(PanelLeft, PanelLeft, panelWidth, PanelHeight);
    mClip->setGeometry(PanelHelp->contentsRect());

    mTopics.clear();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        if (IsHeading(block.text()))
            mTopics.push_back(qRound(layout->blockBoundingRect(block).top()) - TextMargin);
    const int shown = mClip->height();
    const int textHeight = qCeil(document->size().height());
    // Far enough down for the end of the text at the bottom and for the last heading at the
    // top.
    const int last = std::max(textHeight - shown, mTopics.empty() ? 0 : mTopics.back());
    MemoHelp->setGeometry(0, 0, panelWidth, std::max(textHeight, last + shown));
    ScrollBarVertHelp->setRange(0, last);
    ScrollBarVertHelp->setGeometry(clientWidth - ScrollBarWidth, PanelLeft + 1, ScrollBarWidth,
                                   PanelHeight - 2);
    OKBtn->setGeometry((clientWidth - 75) / 2, 316, 75, 27);
}

int THelpBox::TopicPosition(int topic, int current) const {
    // The sections in the text's order: "Algemeen", "Init", then the pages "SCK" to "IOK".
    if (topic == -1)
        return 0; // the top: the title line, then "Algemeen"
    const std::size_t section = static_cast<std::size_t>(topic) + 1;
    if (topic < 1 || topic > 7 || section >= mTopics.size())
        return current;
    return mTopics[section];
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
