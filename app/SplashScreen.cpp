#include "app/SplashScreen.h"

#include "app/Pictures.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace app {

TSplashScreen* SplashScreen = nullptr;

TSplashScreen::TSplashScreen()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("SplashScreen");
    setFixedSize(285, 217);
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(3);
    panel->setGeometry(0, 0, 285, 217);
    auto* picture = new QLabel(panel);
    picture->setGeometry(3, 3, 279, 211);
    picture->setScaledContents(true);
    picture->setObjectName("ImageSplash");
    picture->setPixmap(SplashPicture());
    auto* name = new QLabel("Morvelplint", panel);
    name->setObjectName("LabelAppName");
    QFont font = name->font();
    font.setPixelSize(19);
    name->setFont(font);
    name->setStyleSheet("color: yellow; background: green; padding: 2px 6px;");
    name->adjustSize();
    name->move(285 - 8 - name->width(), 217 - 8 - name->height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

} // namespace app
