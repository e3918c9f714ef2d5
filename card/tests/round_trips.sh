#!/bin/bash
# Round trips: for generated pairs NOW and NEW, the card that `make` writes, applied by the
# real program to a device whose flash store is NOW, leaves exactly NEW (every folder, every
# file's bytes and time of last change) and the card folder empty; in keep-source mode the
# card stays as it was.
#   round_trips.sh BUILD
. "$(dirname "$0")/lib.sh"

# round_trip NAME [make options...]: makes the card from $work/NAME/now and .../new, applies it.
round_trip() {
    local name=$1 dir="$work/$1" out status before
    shift
    out=$(card make --from "$dir/now" --to "$dir/new" --card "$dir/card" "$@" 2>&1)
    status=$?
    [ $status -eq 0 ] || { fail "$name: make ended with $status: $out"; return; }
    before=$(listing "$dir/card")
    local code_page=949
    [ "${1:-}" = --code-page ] && code_page=$2
    apply "$dir/card" "$dir/now" "$dir/device" "$code_page"
    status=$?
    if [ $status -ne 0 ]; then fail "$name: the program ended with $status"
    elif ! same_tree "$dir/device/ResidentFlash" "$dir/new"; then
        fail "$name: the flash store is not NEW"
        diff <(listing "$dir/device/ResidentFlash") <(listing "$dir/new") | head -20
    elif [ "$(result_of "$dir/device/ResidentFlash/~tessivard-result")" != applied ] ||
        ! cmp -s "$dir/device/ResidentFlash/~tessivard-result" "$dir/device/SDMMC/tessivard-result.txt"; then
        fail "$name: the result record does not say applied, or the card's copy differs"
    elif [[ " $* " == *" --keep-source "* ]]; then
        [ "$(listing "$dir/device/SDMMC")" = "$before" ] && pass "$name" || fail "$name: the kept card changed"
    elif [ -n "$(ls -A "$dir/device/SDMMC/ResidentFlash")" ]; then fail "$name: the card folder is not empty"
    else pass "$name"; fi
}

echo "Round trips:"

# Every kind of change, and names at the walks' limits.
d="$work/changes"
put "$d/now/maps/seoul.map" "seoul 2025"
put "$d/now/maps/busan.map" "busan"
put "$d/now/maps/old/deep/gone.map" "gone"
put "$d/now/poi/fuel.poi" "fuel"
put "$d/now/poi/sub/a.poi" "a"
put "$d/now/voice/ko/guide.wav" "voice"
put "$d/now/x/thing" "a file that becomes a folder"
put "$d/now/y/inner" "a folder that becomes a file"
put "$d/now/settings.ini" "volume=7"
put "$d/now/update" ""   # a marker copy, which the end of a run removes
put "$d/now/config.ini" "old config"
mkdir -p "$d/now/maps/emptysub" "$d/now/poi/emptykept"
put "$d/now/지도/서울/중구.map" "jung-gu 2025"
put "$d/now/지도/부산.map" "busan"
cp -a "$d/now" "$d/new"
put "$d/new/maps/seoul.map" "seoul 2026" 1700000100
rm -r "$d/new/update" "$d/new/maps/old/deep/gone.map" "$d/new/voice" "$d/new/x/thing" "$d/new/y" "$d/new/maps/emptysub" "$d/new/지도/부산.map"
put "$d/new/maps/regions/gangwon.map" "gangwon" 1700000200
mkdir -p "$d/new/maps/empty" "$d/new/poi/emptynew" "$d/new/emptytop"
put "$d/new/poi/new.poi" "new poi" 1700000300
put "$d/new/x/thing/inner.txt" "now a folder" 1700000400
put "$d/new/y" "now a file" 1700000500
put "$d/new/config.ini" "new config" 1700000600
put "$d/new/지도/서울/중구.map" "jung-gu 2026" 1700000700
put "$d/new/지도/제주.map" "jeju" 1700000800
put "$d/new/한글/$(printf '가%.0s' $(seq 80)).txt" "a long Korean name"
# The card's paths "/SDMMC/ResidentFlash\long\..." at the device's limit of 259 characters
# (MAX_PATH with its zero): a file of 259, one of 258, and an empty folder whose listing
# pattern "\*.*" reaches it.
levels="long/$(name_of 200)"
put "$d/new/$levels/$(name_of $((259 - 21 - ${#levels} - 1)))" "at the limit"
put "$d/new/$levels/$(name_of $((258 - 21 - ${#levels} - 1)))" "one short of it"
mkdir -p "$d/new/$levels/$(name_of $((259 - 4 - 21 - ${#levels} - 1)))"
round_trip changes
# The device's record of that run, as the card maker reads it: the files it wrote.
out=$(card result "$work/changes/device/SDMMC/tessivard-result.txt") &&
    grep -q "^  files written into the flash store: [1-9]" <<<"$out" && pass "result reads the device's record: $(head -1 <<<"$out" | sed 's/.*: //')" ||
    fail "result on the device's record: $out"
if [ -e "$d/card/ResidentFlash/settings.ini" ] || [ -e "$d/card/ResidentFlash/poi/fuel.poi" ] ||
    [ -e "$d/card/ResidentFlash/poi/emptykept" ]; then fail "changes: the card carries what NOW holds already"
else pass "changes: the card leaves out what NOW holds already"; fi

# The preview tells the same changes from a run on copies, and leaves its inputs as they were.
inputs=$(listing "$d/card"; listing "$d/now")
preview=$(card preview --card "$d/card" --flash "$d/now" 2>&1)
if [ "$(listing "$d/card"; listing "$d/now")" != "$inputs" ]; then fail "preview: its inputs changed"
elif ! grep -qF "deleted from flash:  ResidentFlash/maps/old/deep/gone.map" <<<"$preview" ||
     ! grep -qF "copied into flash:   ResidentFlash/y  =  10 bytes" <<<"$preview" ||
     ! grep -qF "the card folder SDMMC/ResidentFlash is there again, empty" <<<"$preview"; then fail "preview: $(head -c 2000 <<<"$preview")"
else pass "preview: the changes of a run on copies; the inputs untouched"; fi

# Nothing changes: the card holds the update marker only.
d="$work/unchanged"
put "$d/now/maps/seoul.map" "seoul"
mkdir -p "$d/now/empty"
cp -a "$d/now" "$d/new"
round_trip unchanged
[ "$(ls -A "$d/card/ResidentFlash" | LC_ALL=C sort | tr '\n' ' ')" = "update ~tessivard-manifest " ] &&
    pass "unchanged: the card holds the update marker and its manifest only" ||
    fail "unchanged: the card holds $(ls -A "$d/card/ResidentFlash" | tr '\n' ' ')"

# Keep-source mode: new and changed files only; the card stays.
d="$work/keep-source"
put "$d/now/maps/seoul.map" "seoul 2025"
put "$d/now/top.txt" "top"
cp -a "$d/now" "$d/new"
put "$d/new/maps/seoul.map" "seoul 2026" 1700000100
put "$d/new/maps/new/busan.map" "busan" 1700000200
mkdir -p "$d/new/emptytop"
round_trip keep-source --keep-source

# Left-over temporaries of an interrupted run inside a folder a marker replaces: the deletion
# removes them with the folder, as it removes everything else there.
d="$work/left-over-temporary"
put "$d/now/maps/seoul.map" "seoul 2025"
put "$d/now/maps/old.map" "old"
put "$d/now/maps/~tessivard-partial.tmp" "half a map"
put "$d/now/maps/sub/~Tessivard-Partial-1.tmp" "half another"
mkdir -p "$d/new/maps"
put "$d/new/maps/seoul.map" "seoul 2026" 1700000100
round_trip left-over-temporary
report=$(card check --card "$d/card" --flash "$d/now" 2>&1)
if [ $? -ne 0 ] || grep -qF "left in the flash store" <<<"$report"; then fail "left-over-temporary: check: $report"
else pass "left-over-temporary: check finds the deletion removes them"; fi

# The device's code page 1252: a folder of a Latin name replaced.
d="$work/code-page-1252"
put "$d/now/café/menu.txt" "menu"
put "$d/now/café/old.txt" "old"
cp -a "$d/now" "$d/new"
rm "$d/new/café/old.txt"
put "$d/new/café/crème.txt" "crème" 1700000100
round_trip code-page-1252 --code-page 1252

finish
