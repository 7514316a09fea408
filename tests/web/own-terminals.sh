#!/usr/bin/env bash
# Runs a command with pseudo-terminals of its own: a mount namespace with a new devpts
# instance on /dev/pts, whose numbers no other program on the machine is given.
#
# The replug test hangs a card up and lays a new one under the same terminal number, while the
# program under test looks at the port's link all the time. Tests beside it take and free
# numbers as well: one that took the freed number for a moment had its card opened by the
# replugged program, and that open cost it its connection (its set-up failed without an echo).
# With terminals of its own the test takes from nobody and nobody takes from it.
#
# As root a mount namespace is enough; otherwise a user namespace that maps the user to root.
# Where neither may be made the command runs as it is, and says so.
set -euo pipefail
if [ "${MORVELPLINT_OWN_TERMINALS:-}" = inside ]; then
    mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts /dev/pts
    mount --bind /dev/pts/ptmx /dev/ptmx
    exec "$@"
fi
export MORVELPLINT_OWN_TERMINALS=inside
for namespace in "--mount" "--user --map-root-user --mount"; do
    # shellcheck disable=SC2086 # the options are words
    if unshare $namespace --propagation private sh -c \
        'mount -t devpts -o newinstance devpts /dev/pts' 2>/dev/null; then
        # shellcheck disable=SC2086
        exec unshare $namespace --propagation private "$0" "$@"
    fi
done
echo "own-terminals.sh: no mount namespace may be made here; the terminals are the machine's" >&2
unset MORVELPLINT_OWN_TERMINALS
exec "$@"
