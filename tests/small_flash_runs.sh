#!/bin/bash
# Whole runs on a small, nearly full flash store: a tmpfs mounted over the device's flash
# store folder (4 KiB pages are its allocation unit). An update goes in whenever the new
# versions fit, if need be in the room of the old ones; one that cannot fit leaves the
# flash store as it was, no temporary, the card folder whole, and the run still ends and
# starts the follow-on program.
#   small_flash_runs.sh BUILD
set -u
build=$(cd "$1" && pwd -P)
root="$build/wine/roots/small_flash"
flash="$root/ResidentFlash" card="$root/SDMMC/ResidentFlash"
passed=0 failed=0
fail_setup() { echo "small_flash_runs: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || fail_setup "mounting a tmpfs needs root (running as uid $(id -u))"
cleanup() { mountpoint -q "$flash" && umount -l "$flash"; }
trap cleanup EXIT

random() { mkdir -p "$(dirname "$1")" && head -c "$2" /dev/urandom > "$1"; }
# A device whose flash store is a tmpfs of SIZE KiB holding the follow-on program and an
# old 512 KiB map, with FREE_KIB KiB left free after FILLER (a file sized to leave it so).
device() {   # device SIZE_KIB FREE_KIB
    cleanup
    rm -rf "$root" && mkdir -p "$flash" "$card"
    mount -t tmpfs -o "size=$1k" tmpfs "$flash" || fail_setup "cannot mount a tmpfs on $flash"
    mkdir -p "$flash/qormane" "$flash/maps"
    cp "$build/follow_on.exe" "$flash/qormane/Lindvaret.exe"
    random "$flash/maps/seoul.map" $((512 * 1024))
    local used free
    used=$(df --output=used -B1 "$flash" | tail -1)
    free=$(( $1 * 1024 - used - $2 * 1024 ))
    [ "$free" -ge 0 ] || fail_setup "a flash store of $1 KiB cannot leave $2 KiB free"
    random "$flash/filler" "$free"
    cp -a "$flash" "$root/flash.before"
}
# The wrapper's own lines (a death inside Wine, the run once more) are shown.
run() {
    TESSIVARD_TIMEOUT=60 "$build/../tools/wine-run.sh" --build "$build" --root "$root" --rerun-on-signal \
        "$build/Tessivard.exe" 2>&1 >/dev/null | grep '^wine-run.sh:' | sed 's/^/  note  /'
}
check() {   # check NAME CONDITION...
    local name=$1; shift
    if eval "$*"; then echo "  ok    $name"; passed=$((passed + 1)); else echo "  FAIL  $name"; failed=$((failed + 1)); fi
}
# nor an old version set aside, nor the record; the device's own records are no temporaries
no_temporary() { ! find "$flash" -iname '~tessivard-*' ! -iname '~tessivard-sequence' ! -path "$flash/~tessivard-result" | grep -q .; }
outcome() { sed -n 's/^outcome //p' "$flash/~tessivard-result" 2>/dev/null; }   # the run's result record's
# The program does not wait for the follow-on program: give it time to write (a Wine
# process can take seconds to start while other tests load the machine).
started() {
    local i
    for i in $(seq 200); do [ -s "$flash/qormane/started.txt" ] && return 0; sleep 0.1; done
    return 1
}

echo "Small flash stores:"
device 1024 160
random "$card/maps/seoul.map" $((512 * 1024)) && cp "$card/maps/seoul.map" "$root/new.map"
run
check "a 512 KiB map replaced with 160 KiB free goes in byte for byte" 'cmp -s "$flash/maps/seoul.map" "$root/new.map"'
check "and the card folder is emptied" '[ -d "$card" ] && [ -z "$(ls -A "$card")" ]'
check "and leaves no temporary" 'no_temporary'
check "the result record says applied" '[ "$(outcome)" = applied ]'
check "the follow-on program starts" 'started'

# 160 KiB free and the old map's 512 KiB make 672 KiB: a new version of 672 KiB less 100
# bytes fits by bytes, but takes all 168 units, leaving none for the file system.
device 1024 160
random "$card/maps/seoul.map" $((672 * 1024 - 100))
random "$card/maps/small.map" 1000
run
check "a version that fits by bytes but not by units is not started: the old map stays" \
    'cmp -s "$flash/maps/seoul.map" "$root/flash.before/maps/seoul.map"'
check "the rest of the update goes in" 'cmp -s "$flash/maps/small.map" "$card/maps/small.map"'
check "the card folder stays whole for another try" '[ -f "$card/maps/seoul.map" ] && [ -f "$card/maps/small.map" ]'
check "the result record says incomplete" '[ "$(outcome)" = incomplete ]'
check "no temporary" 'no_temporary'
check "the follow-on program starts" 'started'

# A card with a manifest whose new map reads back one flipped byte: the version that must
# go in the old one's room is read and checked before the old one goes, so it stays.
device 1024 160
rm -rf "$root/new" "$root/made" && cp -a "$root/flash.before" "$root/new" && random "$root/new/maps/seoul.map" $((512 * 1024))
made=$(TESSIVARD_BUILD="$build" "$build/../tools/tessivard-card" make --from "$root/flash.before" --to "$root/new" --card "$root/made" 2>&1) ||
    fail_setup "the card maker did not make the card: $made"
rm -rf "$card" && cp -a "$root/made/ResidentFlash" "$card"
byte=$(od -An -tu1 -j 1000 -N1 "$card/maps/seoul.map" | tr -d ' ')
printf "\\$(printf %o $((byte ^ 1)))" | dd of="$card/maps/seoul.map" bs=1 seek=1000 count=1 conv=notrunc status=none
cmp -s "$card/maps/seoul.map" "$root/new/maps/seoul.map" && fail_setup "the byte did not flip"
run
check "a version for the old one's room that reads back wrong is refused before the old one goes" \
    'cmp -s "$flash/maps/seoul.map" "$root/flash.before/maps/seoul.map"'
check "the card and its manifest are kept, and no temporary is left" \
    '[ -f "$card/~tessivard-manifest" ] && [ -f "$card/maps/seoul.map" ] && no_temporary'
check "the result record says refused" '[ "$(outcome)" = refused ]'
check "the follow-on program starts" 'started'

device 1024 60
random "$card/maps/seoul.map" $((900 * 1024))
random "$card/voice.dat" $((100 * 1024))
run
check "an update that cannot fit leaves every flash file as it was" \
    'cmp -s "$flash/maps/seoul.map" "$root/flash.before/maps/seoul.map" && cmp -s "$flash/filler" "$root/flash.before/filler"'
check "keeps the card folder whole and leaves no temporary" '[ -f "$card/maps/seoul.map" ] && [ -f "$card/voice.dat" ] && no_temporary'
check "and the follow-on program still starts" 'started'

# An earlier run filled the store to its last unit with the update and was cut before the
# card went: every file of the card is in place already, and nothing is left to write with
# (not even the note of the follow-on program, which is why its start is not checked here).
device 1024 0
mkdir -p "$card/maps" && cp "$flash/maps/seoul.map" "$card/maps/seoul.map"
run
check "a card whose files a full store holds already goes, with nothing written" \
    '[ -d "$card" ] && [ -z "$(ls -A "$card")" ] && cmp -s "$flash/maps/seoul.map" "$root/flash.before/maps/seoul.map"'

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
