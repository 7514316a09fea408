#!/usr/bin/env bash
# Starts morvelplint-web as its systemd unit starts it, without systemd (which need not be the
# machine's init): with the unit's arguments, as a user that has no account (as DynamicUser=
# makes one) with the unit's SupplementaryGroups, without capabilities and with no_new_privs,
# in a clean environment, in a folder of its own that stands in for /var/lib/morvelplint, its
# standard output in a file as the journal takes it. Two changes: --sim, so that no hardware
# is needed, and the port 0 for the unit's (a free one, chosen by the system). Checks that the
# first line is out while the program runs (flushed, not waiting for the buffer to fill) and
# holds an address with a key of 32 hex digits, that the page answers 401 without the key and
# 200 with it, and that SIGTERM, systemd's way to stop a service, ends it with 0.
# Usage: service-test.sh <unit file> <morvelplint-web> [<emulator>]
# (the emulator that runs the programs of a cross build, e.g. qemu-aarch64; none natively)
set -euo pipefail
unit=$1
program=$2
emulator=(${3:+"$3"})
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: starting the program as another user takes root"
    exit 77
fi
work=$(mktemp -d /tmp/morvelplint-service-XXXXXX)
pid=
cleanup() {
    if [ -n "$pid" ]; then
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [ ! -s "$work/err" ] || sed 's/^/stderr: /' "$work/err" >&2
    exit 1
}

# The last value of a key in the unit's [Service] section.
service_value() {
    sed -n '/^\[Service\]$/,/^\[/ s/^'"$1"'=//p' "$unit" | tail -n 1
}
read -r -a command <<<"$(service_value ExecStart)"
[ "${#command[@]}" -ge 1 ] || fail "the unit has no ExecStart"
[ "$(service_value DynamicUser)" = yes ] || fail "the unit does not run as a dynamic user"
arguments=()
for ((i = 1; i < ${#command[@]}; ++i)); do
    argument=${command[i]}
    if [ "${command[i - 1]}" = --listen ]; then
        argument=${argument%:*}:0
    fi
    arguments+=("$argument")
done
groups=()
for name in $(service_value SupplementaryGroups); do
    gid=$(getent group "$name" | cut -d: -f3) || fail "no group $name on this machine"
    groups+=("$gid")
done
[ "${#groups[@]}" -gt 0 ] || fail "the unit names no SupplementaryGroups"
# A user and group id from systemd's range for dynamic users that no account holds.
id=
for candidate in $(seq 61184 65519); do
    if ! getent passwd "$candidate" >/dev/null && ! getent group "$candidate" >/dev/null; then
        id=$candidate
        break
    fi
done
[ -n "$id" ] || fail "no free id among the dynamic users'"

# The program is copied where that user may reach it: the build folder may be below a home
# folder that others cannot enter. Without its catalogues beside it the texts stay Dutch, as
# they do in a service without LANG; --sim has its rack built in.
chmod 0755 "$work"
cp "$program" "$work/morvelplint-web"
chmod 0755 "$work/morvelplint-web"
state=$work/morvelplint
mkdir "$state"
chown "$id:$id" "$state"
chmod 0700 "$state"

# The sanitizers' settings pass, as in the rest of the suite.
environment=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin)
for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
    [ -z "${!name:-}" ] || environment+=("$name=${!name}")
done
(cd "$state" && exec setpriv --reuid="$id" --regid="$id" --groups="$(IFS=,; echo "${groups[*]}")" \
    --inh-caps=-all --bounding-set=-all --no-new-privs \
    env -i "${environment[@]}" "${emulator[@]}" "$work/morvelplint-web" --sim "${arguments[@]}" \
    >"$work/out" 2>"$work/err" </dev/null) &
pid=$!

# The whole first line, while the program runs.
for _ in $(seq 400); do
    [ "$(wc -l <"$work/out")" -ge 1 ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended: $(cat "$work/out")"
    sleep 0.05
done
first=$(head -n 1 "$work/out")
[ "$(wc -l <"$work/out")" -ge 1 ] || fail "no line on standard output while the program runs"
echo "first line: $first"
[[ $first =~ (http://[^/ ]+:([0-9]+)/)\?token=([0-9a-f]+)$ ]] ||
    fail "the first line holds no address with a key: $first"
base=${BASH_REMATCH[1]}
port=${BASH_REMATCH[2]}
token=${BASH_REMATCH[3]}
[ "${#token}" -eq 32 ] || fail "the key has ${#token} hex digits, not 32: $token"
[ "$port" != 0 ] || fail "the address names the port 0, not the one it listens on"

code() { curl -s --noproxy '*' -o /dev/null -w '%{http_code}' --max-time 5 "$1"; }
[ "$(code "$base")" = 401 ] || fail "without the key: $(code "$base"), not 401"
[ "$(code "$base?token=$token")" = 200 ] || fail "with the key: $(code "$base?token=$token"), not 200"

kill -TERM "$pid"
result=0
wait "$pid" || result=$?
pid=
[ "$result" -eq 0 ] || fail "SIGTERM ended it with $result, not 0"
echo "service test passed (as user $id in groups ${groups[*]}, on port $port; the unit's is" \
    "$(grep -o -- '--listen [^ ]*' <<<"$(service_value ExecStart)"))"
