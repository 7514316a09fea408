#!/bin/sh
# Debian's chromium for the tests, kept off the first processor and at the priority it is
# given. Run as root, chromium raises its own processes' priority (its main process to
# nice -8), and where it runs a thread that wakes waits for up to hundreds of milliseconds
# (measured on two processors beside three browsers: 770 ms; with the browsers on one of
# them, 22 ms on the other): past the serial card's 100 ms for an echo, which the programs
# under test and the kernel's workers that carry a pseudo-terminal's bytes must keep.
browser=${MORVELPLINT_CHROMIUM:-/usr/bin/chromium}
set -- "$browser" "$@"
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    set -- setpriv --bounding-set -sys_nice "$@"
fi
# MORVELPLINT_BROWSER_ANYWHERE=1 lets it run on every processor: for a browser test that runs
# alone and whose page works for seconds at a time (the accessibility check's axe, in a page
# whose heartbeat must not stop for 3 s).
last=$(($(nproc) - 1))
if [ -n "${MORVELPLINT_BROWSER_NICE:-}" ]; then
    set -- nice -n "$MORVELPLINT_BROWSER_NICE" "$@"
elif [ -z "${MORVELPLINT_BROWSER_ANYWHERE:-}" ] && [ "$last" -gt 0 ] && command -v taskset >/dev/null; then
    set -- taskset -c "$last" "$@"
fi
exec "$@"
