#!/bin/bash
# What a person can act on: wrong usage (exit status 2, with the usage text), and a missing
# folder, a card folder that is not empty, a file that cannot be read, a full disk (exit
# status 3, one line naming the path; a half-written card is removed).
#   errors.sh BUILD
. "$(dirname "$0")/lib.sh"

# expect NAME STATUS LINE COMMAND...: the command ends with STATUS and tells LINE.
expect() {
    local name=$1 want=$2 line=$3 out status
    shift 3
    out=$("$@" 2>&1)
    status=$?
    if [ $status -ne "$want" ]; then fail "$name: exit status $status, not $want: $out"
    elif ! grep -qF -- "$line" <<<"$out"; then fail "$name: no line \"$line\" in: $out"
    else pass "$name"; fi
}

now="$work/now" new="$work/new"
put "$now/maps/a" "a"
put "$new/maps/a" "a"
put "$new/maps/b" "b"

echo "Wrong usage:"
expect "no command" 2 "usage:" card
expect "an unknown option" 2 "usage: TessivardCard make" card make --from "$now" --to "$new" --card "$work/c" --bogus 1
expect "no card" 2 "a folder is missing" card make --from "$now" --to "$new"
expect "a card inside NEW" 2 "must lie outside NOW and NEW" card make --from "$now" --to "$new" --card "$new/card"
expect "a unit without a size" 2 "--cluster needs --flash-size" card make --from "$now" --to "$new" --card "$work/c" --cluster 512
expect "preview without the flash store" 2 "preview needs --card CARD and --flash NOW" card preview --card "$work/c"
expect "another code page than the platform's" 3 "the platform's ANSI code page is 1252, the device's 949" \
    env LC_ALL=C.UTF-8 "$tools/wine-run.sh" --build "$build" "$build/TessivardCard.exe" check --card 'T:\'

echo "Folders and files:"
expect "a missing folder" 3 "missing folder: $work/missing" card make --from "$work/missing" --to "$new" --card "$work/c"
expect "a missing card folder" 3 "missing folder: $now/ResidentFlash" card check --card "$now"
put "$work/full/keep.txt" "mine"
expect "a card folder that is not empty" 3 "the card folder is not empty (nothing is ever overwritten): $work/full" \
    card make --from "$now" --to "$new" --card "$work/full"
[ "$(ls -A "$work/full")" = keep.txt ] || fail "the card folder that is not empty was changed"

echo "A device's result record:"
# A card the device ran: its root holds the record of that run, which make removes.
put "$work/ran/tessivard-result.txt" $'tessivard-result 1\noutcome applied\n'
expect "a card root holding only the result record" 0 "removed $work/ran/tessivard-result.txt" \
    card make --from "$now" --to "$new" --card "$work/ran"
[ "$(ls -A "$work/ran")" = ResidentFlash ] || fail "the result record was not removed, or no card written: $(ls -A "$work/ran")"
put "$work/ran2/tessivard-result.txt" $'tessivard-result 1\noutcome applied\n'
put "$work/ran2/notes.txt" "mine"
expect "the result record beside another file" 3 "the card folder is not empty" card make --from "$now" --to "$new" --card "$work/ran2"
[ -f "$work/ran2/tessivard-result.txt" ] || fail "the result record beside another file was removed"
put "$work/refused.txt" $'tessivard-result 1\noutcome refused\nreason the card is not whole: missing: maps\\a\nsequence 4\n'
expect "result: a refused run" 1 "why: the card is not whole: missing: maps\\a" card result "$work/refused.txt"
expect "result: its sequence" 1 "the card's sequence: 4" card result "$work/refused.txt"
put "$work/incomplete.txt" $'tessivard-result 1\noutcome incomplete\n'
expect "result: an incomplete run" 1 "incomplete: some work could not be done" card result "$work/incomplete.txt"
put "$work/nothing.txt" $'tessivard-result 1\noutcome nothing\nclock-start 2026-01-02T03:04:05Z\n'
expect "result: a run with nothing to do" 0 "started (the device's clock, UTC): 2026-01-02T03:04:05Z" card result "$work/nothing.txt"
put "$work/newer.txt" $'tessivard-result 2\noutcome applied\n'
expect "result: a newer format" 2 "not a result record this program reads" card result "$work/newer.txt"
put "$work/unknown.txt" $'tessivard-result 1\noutcome applied\nweather fine\n'
expect "result: a line it does not know" 2 "not a result record this program reads" card result "$work/unknown.txt"
expect "result: no file" 2 "not a result record this program reads" card result "$work/none.txt"

# A file another program holds open without sharing (tools/hold_open.cpp, in a device root
# whose "/new" is NEW).
mkdir -p "$work/held-device" && ln -sfn "$new" "$work/held-device/new"
"$tools/wine-run.sh" --build "$build" --root "$work/held-device" "$build/hold_open.exe" '\new\maps\b' 60 >/dev/null 2>&1 &
holder=$!
for _ in $(seq 100); do [ -f "$new/maps/b.held" ] && break; sleep 0.1; done
if [ -f "$new/maps/b.held" ]; then
    rm -f "$new/maps/b.held"
    # With a manifest every file is read before the card is written; without, as it is copied.
    expect "a file that cannot be read" 3 "cannot read $new/maps/b: in use by another program; nothing was written" \
        card make --from "$now" --to "$new" --card "$work/held-card"
    [ -e "$work/held-card" ] && fail "a card of the unreadable file was written"
    expect "a file that cannot be read, no manifest" 3 "cannot read $new/maps/b: in use by another program; the card was removed" \
        card make --from "$now" --to "$new" --card "$work/held-card" --no-manifest
    [ -e "$work/held-card" ] && fail "the card of the unreadable file is left"
else
    fail "a file that cannot be read: hold_open did not hold $new/maps/b"
fi
: > "$new/maps/release"
wait $holder
rm -f "$new/maps/release"

# A full disk: a small file system of its own (tmpfs, which needs root).
small="$work/small"
mkdir -p "$small"
if mount -t tmpfs -o size=64k tmpfs "$small" 2>"$work/mount.txt"; then
    put "$new/maps/big.bin" "$(head -c 200000 /dev/zero | tr '\0' b)"
    expect "a full disk" 3 "cannot write $small/card/ResidentFlash/maps/big.bin: the disk is full; the card was removed" \
        card make --from "$now" --to "$new" --card "$small/card"
    [ -e "$small/card" ] && fail "the half-written card is left on the full disk"
    umount "$small"
else
    fail "a full disk: cannot mount a small tmpfs at $small (root is needed): $(cat "$work/mount.txt")"
fi

finish
