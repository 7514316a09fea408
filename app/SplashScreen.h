#pragma once

#include <QWidget>

namespace app {

// The splash window shown while the program starts: no border, always on top, centred.
class TSplashScreen : public QWidget {
    Q_OBJECT
public:
    TSplashScreen();
};

// Set at start and cleared when the main window releases the splash window.
extern TSplashScreen* SplashScreen;

} // namespace app
