#!/bin/bash
# Agreement: `check` and a whole run of the real program read a card alike. Every card entry
# that check reports skipped (or inside a folder whose content it reports skipped) is not in
# the flash store after the run, every other one is; a marker that plans nothing removes
# nothing, and what check reports a deletion leaves stays. The names are made on the Linux
# side: a Win32 program cannot make most of them.
#   agreement.sh BUILD
. "$(dirname "$0")/lib.sh"

device="$work/device" card="$work/card" now="$work/now"
c="$card/ResidentFlash"
put "$c/plain.txt" "plain"
put "$c/maps/ok.map" "ok"
put "$c/maps/.dotfile" "a dot file is copied"
put "$c/maps/~tessivard-partial.tmp" "the program's temporary name"
for name in "dot." "space " CON con.txt 'a\b' 'a*b' 'a?b' 'a<b' 'a>b' 'a|b' 'a"b' 'a:b' $'a\001b'; do put "$c/maps/$name" "odd"; done
put "$c/maps/.hidden/inside" "in a dot folder"
put "$c/dir. /inner" "in a folder of a trailing dot and space"
levels="long/$(name_of 200)"
put "$c/$levels/$(name_of $((260 - 21 - ${#levels} - 1)))" "a path past the limit"
put "$c/$levels/$(name_of $((256 - 21 - ${#levels} - 1)))/a" "in a folder that lists nothing"
for marker in update delete_a.b delete_ delete_Fine; do put "$c/$marker" ""; done
put "$now/a.b/x" "kept: its marker plans nothing"
put "$now/Fine/x" "removed"
put "$now/Fine/.git/config" "left by the deletion"
put "$now/precious.dat" "kept"

echo "Agreement of check with a run of the program:"
report=$(card check --card "$card" --flash "$now" 2>&1)
status=$?
[ $status -eq 1 ] && pass "check finds the skipped entries (exit status 1)" || fail "check: exit status $status: $report"
skipped=$(sed -n 's/^  \(.*\): skipped: .*/\1/p' <<<"$report")
emptied=$(sed -n 's/^  \(.*\): content skipped: .*/\1/p' <<<"$report")
before=$(cd "$c" && find . -mindepth 1 -printf '%P\n' | grep -v -x -e update -e 'delete_.*')
apply "$card" "$now" "$device"

# skipped_by_check REL: check reports REL or a folder above it skipped, or the content of a
# folder above it skipped.
skipped_by_check() {
    local path=$1
    grep -qxF -- "$path" <<<"$skipped" && return 0
    while [[ "$path" == */* ]]; do
        path=${path%/*}
        printf '%s\n' "$skipped" "$emptied" | grep -qxF -- "$path" && return 0
    done
    return 1
}
disagree=0 nskipped=0
while IFS= read -r rel; do
    if skipped_by_check "$rel"; then
        nskipped=$((nskipped + 1))
        [ -e "$device/ResidentFlash/$rel" ] && { echo "    check skips, the run copies: $rel"; disagree=1; }
    else
        [ -e "$device/ResidentFlash/$rel" ] || { echo "    check copies, the run skips: $rel"; disagree=1; }
    fi
done <<<"$before"
[ $disagree -eq 0 ] && pass "every entry: $nskipped skipped, the rest copied, alike" || fail "check and the run disagree"
[ "$nskipped" -eq 20 ] || fail "$nskipped entries were skipped, not the card's 20 odd ones"

grep -qF "delete_a.b: a delete marker that plans nothing (the folder name holds '.'" <<<"$report" &&
    [ -f "$device/ResidentFlash/a.b/x" ] && pass "a marker that plans nothing removes nothing" ||
    fail "delete_a.b: $(grep delete_a.b <<<"$report")"
grep -qF "delete_: a delete marker that plans nothing (it names no folder)" <<<"$report" &&
    pass "a marker of no folder name plans nothing" || fail "delete_: $(grep 'delete_:' <<<"$report")"
grep -qF "left in the flash store: Fine/.git" <<<"$report" && [ -f "$device/ResidentFlash/Fine/.git/config" ] &&
    [ ! -e "$device/ResidentFlash/Fine/x" ] && pass "what check says a deletion leaves, the run leaves" ||
    fail "delete_Fine: $(grep -A1 delete_Fine <<<"$report")"
finish
