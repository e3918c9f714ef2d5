#!/bin/bash
# Cards with a manifest, made by `make` and applied by the real program: a whole card goes
# in exactly as the same card without one; a card that is not whole, or whose replaced
# folder holds a file other than it was made, changes nothing at all, and the follow-on
# program still starts; `check` names each fault.
#   manifest.sh BUILD
. "$(dirname "$0")/lib.sh"

d="$work/set"
with_follow_on "$d/now" "$d/new"
put "$d/now/maps/seoul.map" "seoul 2025"
put "$d/now/maps/old.map" "old"
put "$d/now/voice/guide.wav" "voice 2025"
put "$d/now/poi/fuel.poi" "fuel"
mkdir -p "$d/new/poi"
cp -p "$d/now/poi/fuel.poi" "$d/new/poi/"
put "$d/new/maps/seoul.map" "seoul 2026" 1700000100
put "$d/new/maps/busan.map" "busan 2026" 1700000200
put "$d/new/maps/sub/a.map" "a 2026" 1700000300
put "$d/new/voice/guide.wav" "voice 2026" 1700000400
put "$d/new/config.ini" "volume=7" 1700000500

# flip FILE [OFFSET]: its byte at OFFSET (0) with one bit flipped, its size as before.
flip() {
    local at=${2:-0} byte
    byte=$(od -An -tu1 -j "$at" -N1 "$1" | tr -d ' ')
    printf "\\$(printf %o $((byte ^ 1)))" | dd of="$1" bs=1 seek="$at" count=1 conv=notrunc status=none
}

# The card made once with a manifest and once without.
for kind in with without; do
    option=""
    [ $kind = without ] && option=--no-manifest
    out=$(card make --from "$d/now" --to "$d/new" --card "$d/card-$kind" $option 2>&1) ||
        { fail "make $kind a manifest: $out"; finish; }
done
manifest="$d/card-with/ResidentFlash/~tessivard-manifest"
if [ -f "$manifest" ] && [ ! -e "$d/card-without/ResidentFlash/~tessivard-manifest" ] &&
    [ "$(head -1 "$manifest")" = "tessivard-manifest 1" ] && grep -q "^file 10 [0-9a-f]\{64\} maps/seoul.map$" "$manifest" &&
    grep -q "^folder - - maps/sub$" "$manifest" && grep -q "^file 0 [0-9a-f]\{64\} delete_maps$" "$manifest"; then
    pass "make writes the manifest by default, --no-manifest none"
else fail "the manifest: $(cat "$manifest" 2>&1 | head -5)"; fi

echo "Whole cards:"
for kind in with without; do
    run_on "whole-$kind" "$d/card-$kind" "$d/now" || continue
    if same_tree "$dev/ResidentFlash" "$d/new" && [ -z "$(ls -A "$dev/SDMMC/ResidentFlash")" ]; then
        pass "a whole card $kind a manifest leaves exactly NEW and an empty card folder"
    else fail "whole-$kind: $(diff <(listing "$dev/ResidentFlash") <(listing "$d/new") | head -5)"; fi
done

# A card that lost its "update" marker to an earlier, interrupted run.
cp -a "$d/card-with" "$d/card-consumed" && rm "$d/card-consumed/ResidentFlash/update"
if run_on consumed "$d/card-consumed" "$d/now"; then
    same_tree "$dev/ResidentFlash" "$d/new" && pass "a card whose update marker an earlier run consumed still goes in" ||
        fail "consumed: the flash store is not NEW"
fi

echo "Cards that are not whole change nothing:"
# fault NAME FINDING COMMAND...: the card with the manifest, changed by COMMAND (run in its
# card folder); the program changes nothing on it, and check reports FINDING.
fault() {
    local name=$1 finding=$2 faulty="$work/card-$1" out
    shift 2
    cp -a "$d/card-with" "$faulty" && (cd "$faulty/ResidentFlash" && "$@") || { fail "$name: cannot make the card"; return; }
    out=$(card check --card "$faulty" 2>&1)
    if [ $? -ne 1 ] || ! grep -qF -- "$finding" <<<"$out"; then fail "$name: check does not tell \"$finding\": $out"; fi
    cp -a "$faulty" "$faulty.before"
    run_on "$name" "$faulty" "$d/now" || return
    if ! same_tree "$dev/ResidentFlash" "$d/now"; then fail "$name: the flash store changed"
    elif ! same_tree "$dev/SDMMC" "$faulty.before"; then fail "$name: the card changed"
    elif [ "$(result_of "$dev/SDMMC/tessivard-result.txt")" != refused ]; then fail "$name: the card's result record does not say refused"
    else pass "$name"; fi
}
fault "a file cut short" "voice/guide.wav: short: 9 bytes of the 10 bytes listed" truncate -s 9 voice/guide.wav
fault "a file missing" "config.ini: missing: the manifest lists it" rm config.ini
fault "a file extra" "voice/extra.wav: extra: the manifest does not list it" put voice/extra.wav "extra"
fault "a folder extra" "notes: extra" mkdir notes
fault "a flipped byte in a replaced folder" "maps/sub/a.map: changed: its SHA-256 is not the one listed" flip maps/sub/a.map
fault "the manifest cut short" "the manifest is not intact (cut short or changed" truncate -s -30 "~tessivard-manifest"
fault "a flipped byte in the manifest" "the manifest is not intact (cut short or changed" flip "~tessivard-manifest" 40
fault "the image files stay on a card not whole" "config.ini: missing" bash -c 'rm config.ini && put() { printf %s "$2" > "$1"; } && put ../nk.rom kernel'

# Every listed file is read before any change, outside a replaced folder too.
fault "a flipped byte outside a replaced folder" "voice/guide.wav: changed: its SHA-256 is not the one listed" flip voice/guide.wav

echo "Without a manifest, as always:"
cp -a "$d/card-without" "$work/card-short-plain" && truncate -s 9 "$work/card-short-plain/ResidentFlash/voice/guide.wav"
out=$(card check --card "$work/card-short-plain" 2>&1)
grep -qF "no manifest: the device applies the card as it finds it, unchecked" <<<"$out" && pass "check tells the card has no manifest" ||
    fail "check without a manifest: $out"
if run_on short-plain "$work/card-short-plain" "$d/now"; then
    [ "$(cat "$dev/ResidentFlash/voice/guide.wav")" = "voice 202" ] && [ -z "$(ls -A "$dev/SDMMC/ResidentFlash")" ] &&
        pass "a card without a manifest is applied as it is, cut short or not" || fail "short-plain: not applied as always"
fi
out=$(card check --card "$d/card-with" 2>&1)
[ $? -eq 0 ] && grep -qF "the card is whole" <<<"$out" && pass "check finds a card as made whole" || fail "check of a whole card: $out"

finish
