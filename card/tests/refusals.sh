#!/bin/bash
# Refusals: each change the device cannot make is refused with a line naming its cause, and
# nothing is written; whether an update fits the flash store is judged by the device's
# order of work and its room rules.
#   refusals.sh BUILD
. "$(dirname "$0")/lib.sh"

# case NAME: a fresh pair $now and $new for the next expectation.
case_() { dir="$work/$1" now="$work/$1/now" new="$work/$1/new"; mkdir -p "$now" "$new"; }

# make_tells NAME STATUS LINE [make options]: make ends with STATUS and tells LINE; a card is
# written only when it ends with 0 (and removed again).
make_tells() {
    local name=$1 want=$2 line=$3 out status
    shift 3
    out=$(card make --from "$now" --to "$new" --card "$dir/card" "$@" 2>&1)
    status=$?
    if [ $status -ne "$want" ]; then fail "$name: exit status $status, not $want: $out"
    elif ! grep -qF -- "$line" <<<"$out"; then fail "$name: no line \"$line\" in: $out"
    elif [ "$want" -ne 0 ] && [ -e "$dir/card" ]; then fail "$name: the card was written"
    else pass "$name"; fi
    rm -rf "$dir/card"
}
refused() { make_tells "$1" 1 "${@:2}"; }
made() { make_tells "$1" 0 "${@:2}"; }

echo "Removals the device cannot make:"
case_ top-file; put "$now/top.txt" "top"
refused "a top-level file removed" "refused: NOW top.txt: NEW removes this top-level file"
case_ top-case; put "$now/Case.txt" "x"; put "$new/case.txt" "x"
refused "a top-level file renamed in letter case" "refused: NOW Case.txt: NEW removes this top-level file (it holds case.txt)"
case_ marker-dot; put "$now/a.b/x" "x"; mkdir -p "$new/a.b"
refused "a folder whose name a marker cannot carry" "refused: NOW a.b: NEW removes a.b/x from it, but its marker delete_a.b plans nothing: the folder name holds '.'"
long=$(name_of 240)
case_ marker-long; put "$now/$long/x" "x"; mkdir -p "$new/$long"
refused "a folder whose marker passes the scan's paths" "plans nothing: its path passes the marker scan's 255 bytes"
case_ unreachable; put "$now/maps/.git/config" "c"; put "$now/maps/x" "x"; mkdir -p "$new/maps"
refused "a folder holding what its deletion cannot reach" "refused: NOW maps/.git: the deletion of maps cannot remove it"
case_ empty-top; mkdir -p "$now/emptyold"
refused "an empty top-level folder removed" "refused: NOW emptyold: the deletion of emptyold cannot remove it: an empty folder"
case_ keep-source; put "$now/maps/x" "x"; mkdir -p "$new/maps"
refused "a removal in keep-source mode" "refused: NOW maps: NEW removes maps/x from it, and in keep-source mode nothing is removed" --keep-source

echo "Names the device skips, cuts or cannot hold:"
case_ code-page; put "$new/maps/🗺.bin" "x"
refused "a name outside code page 949" "refused: NEW maps/🗺.bin: the name has no exact form in the device's code page 949"
case_ code-page-1252; put "$new/지도.txt" "x"
refused "a Korean name under code page 1252" "refused: NEW 지도.txt: the name has no exact form in the device's code page 1252" --code-page 1252
case_ trailing; put "$new/maps/dot." "x"; put "$new/maps/space " "x"
refused "a trailing dot" "refused: NEW maps/dot.: the name ends in a dot or a space"
refused "a trailing space" "refused: NEW maps/space : the name ends in a dot or a space"
case_ devices; put "$new/CON" "x"; put "$new/maps/nul.txt" "x"
refused "a device name" "refused: NEW CON: the name is the name of a device"
refused "a device name with an extension" "refused: NEW maps/nul.txt: the name is the name of a device"
case_ separator; put "$new/a\\b" "x"
refused "a path separator" 'refused: NEW a\b: the name holds a path separator'
case_ unnameable; put "$new/a*b" "x"
refused "a character no name holds" "refused: NEW a*b: the name holds '*'"
case_ reserved; put "$new/maps/~Tessivard-Partial.tmp" "x"
refused "the program's temporary name" "refused: NEW maps/~Tessivard-Partial.tmp: the name is the program's own temporary name"
case_ manifest-name; put "$new/maps/~Tessivard-Manifest" "x"
refused "the name of the card's manifest" "refused: NEW maps/~Tessivard-Manifest: the name is the name of the card's manifest"
case_ letter-case; put "$new/a.txt" "x"; put "$new/A.txt" "y"
refused "names differing in letter case only" "differs from A.txt only in letter case"
levels="long/$(name_of 200)"
case_ path-limit; put "$new/$levels/$(name_of $((260 - 21 - ${#levels} - 1)))" "x"
refused "a path past the device's MAX_PATH" "its path (260 characters on the device) passes the 259 characters the device's file calls take"
case_ pattern-limit; mkdir -p "$new/$levels/$(name_of $((260 - 4 - 21 - ${#levels} - 1)))"
refused "a folder whose listing pattern passes the limit" "its listing pattern \"\\*.*\" (260 characters on the device) passes the 259 characters the device's file calls take"
case_ dot-folder; put "$new/maps/.hidden/x" "x"
refused "a folder whose name begins with '.'" "refused: NEW maps/.hidden: the card must carry it, but a folder whose name begins with '.'"

echo "Top-level names the device takes for markers:"
case_ markers; put "$new/Update" ""; put "$new/delete_maps" ""; put "$new/UNDELETE" ""
refused "update" "refused: NEW Update: a top-level file the device takes for the update marker"
refused "delete_..." "refused: NEW delete_maps: a top-level file the device takes for a delete marker"
refused "undelete" "refused: NEW UNDELETE: a top-level file the device takes for the keep-source marker"
case_ marker-folder; put "$new/update/x" "x"
refused "a folder of a marker's name" "refused: NEW update: a top-level folder of the name of a marker the card carries"

echo "Room, by the order of work (allocation unit 4096):"
case_ deletion-first
for i in 1 2 3 4; do put "$now/maps/old$i" "$(head -c 4096 /dev/zero | tr '\0' o)"; put "$new/maps/new$i" "$(head -c 4096 /dev/zero | tr '\0' n)"; done
made "the marker folder's room is free before the copy" "the update fits: 4096 bytes free at the tightest moment" --flash-size 24576
case_ in-place; put "$now/big.bin" "$(head -c 8192 /dev/zero | tr '\0' o)"; put "$new/big.bin" "$(head -c 12288 /dev/zero | tr '\0' n)"
made "a replacement too large to write beside its old version" "1 file replaced in place" --flash-size 16384
refused "one byte less leaves no room either way" "big.bin: needs 12288 bytes (8192 bytes of it held by the old version), 8191 bytes free" --flash-size 16383
case_ order; put "$now/b.bin" "$(head -c 12288 /dev/zero | tr '\0' o)"
put "$new/a.bin" "$(head -c 8192 /dev/zero | tr '\0' n)"; put "$new/b.bin" "$(head -c 4096 /dev/zero | tr '\0' n)"
refused "the room a later file frees comes too late" "a.bin: needs 8192 bytes, 4096 bytes free" --flash-size 16384

finish
