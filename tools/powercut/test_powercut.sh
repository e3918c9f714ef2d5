#!/bin/bash
# Mounts powercutfs twice in a temporary folder, as the flash store (--volume-flush) and as the
# card's root (--uncached, as the card is mounted), runs the probe on both, and always unmounts
# and stops the daemons, whatever happens.
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
source "$(dirname "$0")/mounts.sh"
trap mounts_cleanup EXIT

start flash "$flash" --volume-flush
start card "$card" --uncached
"$bin/powercut_probe" "$bin/powercutfs" "$tmp/flash.sock" "$flash" "$tmp/template" \
    "$tmp/card.sock" "$card"
