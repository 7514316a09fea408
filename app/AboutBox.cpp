#include "app/AboutBox.h"

#include "app/Pictures.h"
#include "platform/AboutTexts.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <limits>

namespace app {

TAboutBox* AboutBox = nullptr;

namespace {

constexpr int ClientWidth = 428;
constexpr int ClientHeight = 337;

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, const QRect& place) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(place);
    return label;
}

} // namespace

std::optional<TFileVersion> ParseFileVersion(const std::string& text) {
    const QStringList parts = QString::fromStdString(text).split('.');
    if (parts.size() > 4)
        return std::nullopt;
    std::uint16_t values[4] = {0, 0, 0, 0};
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const uint value = parts[i].toUInt(&ok);
        // A part must be plain digits; toUInt alone would take blanks and a sign.
        const bool digits = !parts[i].isEmpty() && std::all_of(parts[i].begin(), parts[i].end(),
                                                               [](QChar c) { return c.isDigit(); });
        if (!ok || !digits || value > std::numeric_limits<std::uint16_t>::max())
            return std::nullopt;
        values[i] = static_cast<std::uint16_t>(value);
    }
    return TFileVersion{values[0], values[1], values[2], values[3]};
}

std::optional<TFileVersion> ProgramFileVersion() {
#ifdef MORVELPLINT_VERSION
    return ParseFileVersion(MORVELPLINT_VERSION);
#else
    return std::nullopt;
#endif
}

QString VersionText(const std::optional<TFileVersion>& version) {
    if (!version || (version->Major == 0 && version->Minor == 0 && version->Release == 0 &&
                     version->Build == 0))
        return QString();
    return QString("%1.%2.%3.%4")
        .arg(version->Major)
        .arg(version->Minor)
        .arg(version->Release)
        .arg(version->Build);
}

TAboutBox::TAboutBox(QWidget* parent) : TAboutBox(ProgramFileVersion(), parent) {}

TAboutBox::TAboutBox(const std::optional<TFileVersion>& version, QWidget* parent)
    : QDialog(parent) {
    AboutBox = this;
    setObjectName("AboutBox");
    setWindowTitle("About morvelplint");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);
    setModal(true);
    QFont font = this->font();
    font.setPixelSize(13);
    setFont(font);

    PanelAbout = new QFrame(this);
    PanelAbout->setObjectName("PanelAbout");
    PanelAbout->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PanelAbout->setGeometry(10, 10, 407, 252);

    LabelName = AddLabel(PanelAbout, "LabelName", platform::about::Name, QRect(12, 10, 260, 32));
    QFont nameFont = font;
    nameFont.setPixelSize(23);
    nameFont.setBold(true);
    LabelName->setFont(nameFont);
    LabelVersion = AddLabel(PanelAbout, "LabelVersion", QString(), QRect(12, 46, 270, 20));
    ImageZELM = AddLabel(PanelAbout, "ImageZELM", QString(), QRect(288, 10, 109, 77));
    ImageZELM->setPixmap(AboutPicture());

    LabelRechten = AddLabel(PanelAbout, "LabelRechten", platform::about::Copyright,
                            QRect(12, 96, 385, 20));
    DisclaimerA = AddLabel(PanelAbout, "DisclaimerA", platform::about::DisclaimerA,
                           QRect(12, 120, 385, 50));
    DisclaimerB = AddLabel(PanelAbout, "DisclaimerB", platform::about::DisclaimerB,
                           QRect(12, 172, 385, 34));
    for (QLabel* paragraph : {DisclaimerA, DisclaimerB}) {
        paragraph->setWordWrap(true);
        paragraph->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    LabelAuteur1 = AddLabel(PanelAbout, "LabelAuteur1", platform::about::Author1,
                            QRect(12, 208, 385, 18));
    LabelAuteur2 = AddLabel(PanelAbout, "LabelAuteur2", platform::about::Author2,
                            QRect(12, 227, 385, 18));

    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry((ClientWidth - 75) / 2, 302, 75, 27);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    TimerAbout = new QTimer(this);
    TimerAbout->setObjectName("TimerAbout");
    TimerAbout->setInterval(50);
    connect(TimerAbout, &QTimer::timeout, this, &TAboutBox::TimerAboutTimer);

    ImageListAbout = {AnimationPicture(0), AnimationPicture(1)};

    LayOutFrame();
    FormCreate(version);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TAboutBox::~TAboutBox() {
    if (AboutBox == this)
        AboutBox = nullptr;
}

void TAboutBox::LayOutFrame() {
    // Each line keeps its drawn place unless the font the system gave needs more room: then
    // it grows and the lines below it move down, and the frame, the animation's row, the OK
    // button and the window grow by what the last line needs beyond the frame.
    constexpr int RoomBelowLines = 7;
    int below = 0;
    for (QLabel* label : {LabelName, LabelVersion, LabelRechten, DisclaimerA, DisclaimerB,
                          LabelAuteur1, LabelAuteur2}) {
        QRect place = label->geometry();
        const int needed = label->wordWrap() ? label->heightForWidth(place.width())
                                             : label->sizeHint().height();
        place.moveTop(std::max(place.top(), below));
        place.setHeight(std::max(place.height(), needed));
        label->setGeometry(place);
        below = place.bottom() + 1;
    }
    const int grow = std::max(0, below + RoomBelowLines - PanelAbout->height());
    PanelAbout->resize(PanelAbout->width(), PanelAbout->height() + grow);
    mAnimationTop += grow;
    OKButton->move(OKButton->x(), OKButton->y() + grow);
    setFixedSize(ClientWidth, ClientHeight + grow);
}

void TAboutBox::FormCreate(const std::optional<TFileVersion>& version) {
    LabelVersion->setText("Version " + VersionText(version) + ", dd: 20 maart 2009");
    mX = frameGeometry().width();
}

void TAboutBox::FormActivate() {
    TimerAbout->start();
}

void TAboutBox::FormDeactivate() {
    TimerAbout->stop();
}

void TAboutBox::TimerAboutTimer() {
    TimerAbout->setInterval(50);
    update(QRect(mX, mAnimationTop, 32, 32)); // the last picture goes
    // The direction at the start of the tick decides the step; the turn shows from the next
    // tick on.
    if (mMovingLeft) {
        mX -= 4;
        if (mX < -32)
            mMovingLeft = false;
        mPicture = 1;
    } else {
        mX += 4;
        if (mX > frameGeometry().width())
            mMovingLeft = true;
        mPicture = 0;
    }
    update(QRect(mX, mAnimationTop, 32, 32));
}

void TAboutBox::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            FormActivate();
        else
            FormDeactivate();
    }
}

void TAboutBox::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (mPicture < 0)
        return;
    QPainter painter(this);
    painter.drawPixmap(mX, mAnimationTop, ImageListAbout[mPicture]);
}

} // namespace app
