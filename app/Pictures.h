#pragma once

#include <QIcon>
#include <QPixmap>

namespace app {

enum class TSpeedIcon { Open, Save, Print, PrinterSetup, FontSetup, Monitor, Help };
enum class TIntroPicture { Rack, Locomotive };

// The program's own icon, the one the desktop shows for it, at every size the build draws;
// compiled into the program, so that a program that is not installed shows it too.
QIcon ProgramIcon();

// The program's pictures, drawn at run time so that they are crisp at every size.
QIcon SpeedBarIcon(TSpeedIcon which);
QPixmap IntroPicture(TIntroPicture which);

// The splash window's picture, 279 x 211.
QPixmap SplashPicture();
// The about window's picture, 109 x 77.
QPixmap AboutPicture();
// The about window's animation, 32 x 32: picture 0 a locomotive running to the right,
// picture 1 the same running to the left.
QPixmap AnimationPicture(int index);

} // namespace app
