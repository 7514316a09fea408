// The window tests run in one QApplication on the offscreen platform, with Qt's event loop
// behind the program's event pump.
#include "app/QtEventPump.h"

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gmock/gmock.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>

namespace {

// Pseudo-terminals of its own, where the system allows it (as root): a mount namespace with a
// new devpts instance. A window whose card hung up looks at the lost terminal's path until it
// is back; a test beside it that was given the freed number for its own card would have that
// card opened, and lose its connection. Elsewhere the terminals are the machine's.
void OwnTerminals() {
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0)
        return;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("devpts", "/dev/pts", "devpts", 0, "newinstance,ptmxmode=0666,mode=0620") != 0)
        return;
    // New terminals come from the instance's own ptmx; without it, none at all.
    if (::mount("/dev/pts/ptmx", "/dev/ptmx", nullptr, MS_BIND, nullptr) != 0)
        ::umount("/dev/pts");
}

// A window test that still runs after 100 s hangs (ctest stops it at 120 s): before that, the
// stacks of its threads go to the standard error, so that the log shows where it waits.
void WatchForAHang() {
    prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(100));
        std::fprintf(stderr, "still running after 100 s; the threads' stacks:\n");
        const std::string command = "gdb -p " + std::to_string(::getpid()) +
                                    " -batch -ex 'thread apply all bt' 1>&2 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "(gdb could not show them)\n");
    }).detach();
}

} // namespace

int main(int argc, char* argv[]) {
    OwnTerminals(); // before any thread: the namespace is the calling thread's
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    app::InstallQtEventPump();
    ::testing::InitGoogleMock(&argc, argv);
    WatchForAHang();
    return RUN_ALL_TESTS();
}
