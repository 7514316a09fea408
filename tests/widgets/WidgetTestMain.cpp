// The window tests run in one QApplication on the offscreen platform, with Qt's event loop
// behind the program's event pump.
#include "app/QtEventPump.h"

#include <QApplication>
#include <gmock/gmock.h>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    app::InstallQtEventPump();
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
