#!/bin/bash
# Mounts powercutfs twice in a temporary folder, as the flash store and as the card's root
# (--uncached, as the card is mounted), runs the probe on both, and always unmounts and stops
# the daemons, whatever happens.
#   test_powercut.sh BUILD
set -u
bin=$1/tools
fail() { echo "test_powercut: $*" >&2; exit 1; }

# A test that cannot mount fails and says why: a skipped check proves nothing.
[ "$(id -u)" = 0 ] || fail "mounting needs root (running as uid $(id -u))"
[ -c /dev/fuse ] || fail "no /dev/fuse on this machine"
[ -x "$bin/powercutfs" ] && [ -x "$bin/powercut_probe" ] || fail "powercutfs and powercut_probe are not built in $bin"

tmp=$(mktemp -d /tmp/powercut_fs.pc$$.XXXXXX)
flash=$tmp/root/ResidentFlash card=$tmp/root/SDMMC
mkdir -p "$flash" "$card"
cleanup() {
    for name in flash card; do
        [ -f "$tmp/$name.pid" ] || continue
        pid=$(cat "$tmp/$name.pid")
        if kill -0 "$pid" 2>/dev/null; then
            "$bin/powercutfs" --ctl "$tmp/$name.sock" quit >/dev/null 2>&1 || kill "$pid"
            wait "$pid"
        fi
    done
    for dir in "$flash" "$card"; do
        mountpoint -q "$dir" && fusermount3 -u -z "$dir"
    done
    mountpoint -q "$flash" || mountpoint -q "$card" || rm -rf "$tmp"
}
trap cleanup EXIT

# start NAME MOUNTPOINT [OPTION]: a daemon serving at $tmp/NAME.sock, once it says ready.
start() {
    local name=$1 dir=$2
    shift 2
    "$bin/powercutfs" "$@" "$dir" "$tmp/$name.sock" >"$tmp/$name.out" 2>"$tmp/$name.err" &
    echo $! >"$tmp/$name.pid"
    for _ in $(seq 50); do
        grep -qx ready "$tmp/$name.out" && return 0
        kill -0 "$(cat "$tmp/$name.pid")" 2>/dev/null || fail "powercutfs ($name) did not start: $(cat "$tmp/$name.err")"
        sleep 0.1
    done
    fail "powercutfs ($name) was not ready within 5 s"
}
start flash "$flash"
start card "$card" --uncached
"$bin/powercut_probe" "$bin/powercutfs" "$tmp/flash.sock" "$flash" "$tmp/template" \
    "$tmp/card.sock" "$card"
