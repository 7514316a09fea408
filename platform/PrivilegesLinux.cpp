// Capabilities on Linux, through libcap.
#include "platform/Privileges.h"

#include <cerrno>
#include <memory>
#include <sys/capability.h>
#include <sys/prctl.h>
#include <type_traits>
#include <unistd.h>

namespace platform {

namespace {

struct TCapFree {
    void operator()(cap_t caps) const { cap_free(caps); }
};
using TCaps = std::unique_ptr<std::remove_pointer_t<cap_t>, TCapFree>;

bool Kept(cap_value_t cap, bool root) {
    if (cap == CAP_SYS_RAWIO)
        return false;
    // Root holds every capability as root, whatever the file says. Anyone else holds without
    // the file only what the ambient set hands on, and the system empties that set when it
    // starts a file that has capabilities of its own.
    return root || (CAP_AMBIENT_SUPPORTED() && cap_get_ambient(cap) == 1);
}

} // namespace

int DropPrivileges() {
    const TCaps caps(cap_get_proc());
    if (!caps)
        return errno;
    const bool root = getuid() == 0;
    const auto bits = static_cast<cap_value_t>(cap_max_bits());
    for (cap_value_t cap = 0; cap < bits; ++cap) {
        if (Kept(cap, root))
            continue;
        for (const cap_flag_t set : {CAP_EFFECTIVE, CAP_PERMITTED, CAP_INHERITABLE})
            if (cap_set_flag(caps.get(), set, 1, &cap, CAP_CLEAR) != 0)
                return errno;
    }
    if (cap_set_proc(caps.get()) != 0)
        return errno;

    // The bounding set takes CAP_SETPCAP to change, which only root has here; for anyone else
    // no_new_privs keeps a started program from gaining CAP_SYS_RAWIO back all the same.
    cap_flag_value_t setpcap = CAP_CLEAR;
    if (cap_get_flag(caps.get(), CAP_SETPCAP, CAP_EFFECTIVE, &setpcap) == 0 && setpcap == CAP_SET &&
        cap_get_bound(CAP_SYS_RAWIO) == 1 && cap_drop_bound(CAP_SYS_RAWIO) != 0)
        return errno;
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 ? 0 : errno;
}

} // namespace platform
