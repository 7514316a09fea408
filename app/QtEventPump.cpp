#include "app/QtEventPump.h"

#include "platform/EventPump.h"

#include <QCoreApplication>

namespace app {

void InstallQtEventPump() {
    platform::SetProcessMessages([] { QCoreApplication::processEvents(); });
}

} // namespace app
