#!/bin/bash
# Mounts powercutfs in a temporary folder, runs the probe on it, and always unmounts and stops
# the daemon, whatever happens.
#   test_powercut.sh BUILD
set -u
bin=$1/tools
fail() { echo "test_powercut: $*" >&2; exit 1; }

# A test that cannot mount fails and says why: a skipped check proves nothing.
[ "$(id -u)" = 0 ] || fail "mounting needs root (running as uid $(id -u))"
[ -c /dev/fuse ] || fail "no /dev/fuse on this machine"
[ -x "$bin/powercutfs" ] && [ -x "$bin/powercut_probe" ] || fail "powercutfs and powercut_probe are not built in $bin"

tmp=$(mktemp -d)
mnt=$tmp/root/ResidentFlash sock=$tmp/ctl.sock pid=""
mkdir -p "$mnt"
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        "$bin/powercutfs" --ctl "$sock" quit >/dev/null 2>&1 || kill "$pid"
        wait "$pid"
    fi
    mountpoint -q "$mnt" && umount -l "$mnt"
    mountpoint -q "$mnt" || rm -rf "$tmp"
}
trap cleanup EXIT

"$bin/powercutfs" "$mnt" "$sock" >"$tmp/out" 2>"$tmp/err" &
pid=$!
for _ in $(seq 50); do
    grep -qx ready "$tmp/out" && break
    kill -0 "$pid" 2>/dev/null || fail "powercutfs did not start: $(cat "$tmp/err")"
    sleep 0.1
done
grep -qx ready "$tmp/out" || fail "powercutfs was not ready within 5 s"
"$bin/powercut_probe" "$bin/powercutfs" "$sock" "$mnt" "$tmp/template"
