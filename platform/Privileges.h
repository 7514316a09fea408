#pragma once

namespace platform {

// Gives up what only the request for the parallel card's ports needed, so that nothing the
// program loads afterwards (the toolkit, its plugins and whatever they load) runs with it.
// CAP_SYS_RAWIO leaves the effective, permitted and inheritable sets, and with it every
// capability the process holds only through its program file: a process started by root
// keeps root's others, anyone else keeps only what its ambient set hands on. Where the process
// may (root), CAP_SYS_RAWIO also leaves the bounding set. Then no_new_privs is set, so that
// no program it starts gains anything back. Capabilities belong to each thread and a new
// thread copies its creator's, so call it on the main thread before any other thread exists.
// Returns 0, or the errno of the system's refusal.
int DropPrivileges();

} // namespace platform
