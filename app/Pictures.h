#pragma once

#include <QIcon>
#include <QPixmap>

namespace app {

enum class TSpeedIcon { Open, Save, Print, PrinterSetup, FontSetup, Help };
enum class TIntroPicture { Rack, Locomotive };

// The program's pictures, drawn at run time so that they are crisp at every size.
QIcon SpeedBarIcon(TSpeedIcon which);
QPixmap IntroPicture(TIntroPicture which);

} // namespace app
