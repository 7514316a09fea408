// Systems without Linux capabilities: there is nothing to give up.
#include "platform/Privileges.h"

namespace platform {

int DropPrivileges() {
    return 0;
}

} // namespace platform
