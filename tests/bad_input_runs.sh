#!/bin/bash
# Cards no device should carry, and flash stores in odd states: each run must end by
# itself (exit code 0, no crash, no hang) and lose nothing: every file that was on the card
# is afterwards, byte for byte, still on the card or in the flash store at the same place.
#   bad_input_runs.sh BUILD [PROGRAM]
# PROGRAM runs the card whose folders lead back into themselves: the build whose walks stop
# after a few thousand entries (tests/Tessivard_fewentries.exe) unless given; the soak gives
# the shipped program, whose bound the largest card sets.
set -u
build=$(cd "$1" && pwd -P)
looping_program=${2:-$build/tests/Tessivard_fewentries.exe}
run() { TESSIVARD_TIMEOUT=${limit:-60} "$(dirname "$0")/../tools/wine-run.sh" --build "$build" --root "$root" --rerun-on-signal "$@"; }
passed=0 failed=0

# The card's files, as "path<TAB>checksum" lines, relative to the card folder.
card_files() { (cd "$1" 2>/dev/null && find . -type f -print0 | sort -z | xargs -0 -r sha1sum | sed 's/^\([0-9a-f]*\)  \.\//\1\t/'); }

check() {   # check NAME: runs the program on $root and judges the outcome
    local name=$1 before status lost
    before=$(card_files "$root/SDMMC/ResidentFlash")
    run "${program:-$build/Tessivard.exe}" 2>"$root.stderr" >/dev/null
    status=$?
    grep '^wine-run.sh:' "$root.stderr" | sed 's/^/  note  /'   # a death inside Wine, the run once more
    # Each card file is, by the same path and checksum, on the card or in the flash store
    # (markers are consumed, not content): one listing of each side.
    lost=$(awk -F'\t' 'NR == FNR { have[$0]; next }
                       $2 != "" && $2 != "update" && $2 !~ /^delete_/ && !($0 in have) { print "    lost: " $2 }' \
               <(card_files "$root/SDMMC/ResidentFlash"; card_files "$root/ResidentFlash") <(echo "$before"))
    [ -n "$lost" ] && echo "$lost"
    if [ $status -eq 0 ] && [ -z "$lost" ]; then
        echo "  ok    $name"; passed=$((passed + 1))
    else
        echo "  FAIL  $name (exit code $status)"; failed=$((failed + 1))
    fi
}

fresh() {   # fresh NAME: an empty device with a card folder and a flash store
    root="$build/wine/roots/bad_input.${looping_program##*/}.$1"   # apart from the other entry's
    chmod -R u+w "$root" 2>/dev/null
    rm -rf "$root"
    mkdir -p "$root/SDMMC/ResidentFlash" "$root/ResidentFlash"
    card="$root/SDMMC/ResidentFlash" flash="$root/ResidentFlash"
}

echo "Bad-input runs:"

fresh every-character
for code in $(seq 1 126); do
    [ $code -eq 47 ] && continue   # '/' can be in no name
    c=$(printf "\\$(printf '%03o' $code)")
    [ -z "$c" ] && continue
    printf 'file %d\n' $code > "$card/file_${c}_x"
    mkdir -p "$card/dir_${c}_x" && printf 'in folder %d\n' $code > "$card/dir_${c}_x/inside"
    : > "$card/delete_a${c}b"
done
printf 'plain\n' > "$card/plain.txt"
check "names with every character the file system allows, in files, folders and markers"

fresh long-names
long=$(printf 'n%.0s' $(seq 255))
hangul=$(printf '\xea\xb0\x80%.0s' $(seq 85))
printf 'ascii\n' > "$card/$long"
printf 'hangul\n' > "$card/$hangul"
mkdir -p "$card/${long:0:250}" && printf 'deep\n' > "$card/${long:0:250}/$long"
: > "$card/delete_${long:0:240}"
check "names at the file system's length limit (those past the device's 259-character paths stay on the card)"

fresh non-ascii
mkdir -p "$card/지도/서울" "$card/café" "$card/Ωmega"
printf 'seoul\n' > "$card/지도/서울/중구.map"
printf 'menu\n' > "$card/café/menu ☕.txt"
printf 'emoji\n' > "$card/Ωmega/🗺️.bin"
mkdir -p "$flash/지도" && printf 'old\n' > "$flash/지도/old.map" && : > "$card/delete_지도"
check "non-ASCII names"

fresh read-only
printf 'new\n' > "$card/locked.dat"
printf 'other\n' > "$card/other.dat"
printf 'old\n' > "$flash/locked.dat" && chmod a-w "$flash/locked.dat"
check "a read-only flash file that the card overwrites"

fresh folder-in-the-way
printf 'file\n' > "$card/blocked.dat"
printf 'other\n' > "$card/other.dat"
mkdir -p "$flash/blocked.dat" && printf 'inner\n' > "$flash/blocked.dat/inner"
check "a flash folder where the card has a file of the same name"

fresh held-open
printf 'held\n' > "$card/held.dat"
printf 'free\n' > "$card/free.dat"
# The holder, in a root of its own that the run's wrapper does not wait for, reaches the card by T:.
mkdir -p "$root.holder" && "$(dirname "$0")/../tools/wine-run.sh" --build "$build" --root "$root.holder" \
    "$build/hold_open.exe" "T:$(echo "${card#"$build"}" | tr / '\\')\held.dat" 60 >/dev/null 2>&1 &
holder=$!
while [ ! -f "$card/held.dat.held" ] && kill -0 $holder 2>/dev/null; do sleep 0.1; done
rm "$card/held.dat.held" && check "a card file held open without sharing by another program" ||
    { echo "  FAIL  hold_open did not hold the card's file"; failed=$((failed + 1)); }
mkdir -p "$card" && : > "$card/release" && wait $holder

# Two flash files whose names differ only in letter case (a PC's file system holds them, FAT
# cannot): the old A.TXT moves aside and no version takes the name back. The record keeps it:
# the next start, the twin gone, puts it back, and the card goes in, nothing left aside.
fresh case-twins
printf 'new\n' > "$card/A.TXT" && printf 'old\n' > "$flash/A.TXT" && printf 'twin\n' > "$flash/a.txt"
check "two flash files whose names differ only in letter case"
rm "$flash/a.txt" && check "and the next start, the twin gone"
[ "$(cat "$flash/A.TXT")" = new ] && [ "$(ls -A "$flash" | grep -vx '~tessivard-result')" = A.TXT ] &&
    { echo "  ok    the old version set aside came back, then the card went in"; passed=$((passed + 1)); } ||
    { echo "  FAIL  left in the flash store: $(ls -A "$flash" | paste -sd' ')"; failed=$((failed + 1)); }

fresh empty-card
check "an empty card folder"

fresh card-folder-is-a-file
rmdir "$card" && printf 'not a folder\n' > "$card"
check "a card \"folder\" that is a file"
[ -f "$card" ] || { echo "  FAIL  the card file is gone"; failed=$((failed + 1)); }

# Two links from a folder to the card folder above it: every walk of the card would go down
# a tree of 2^depth entries to the paths' limit. The count stops at the most entries a walk
# may list, and the card is not taken: both sides as they were, the follow-on program started.
fresh folders-lead-back
mkdir -p "$card/a" "$flash/maps" "$flash/qormane" && printf 'new\n' > "$card/a/new.map" && : > "$card/update" && : > "$card/delete_maps"
ln -s .. "$card/a/up1" && ln -s .. "$card/a/up2" && printf 'old\n' > "$flash/maps/old.map"
cp "$build/follow_on.exe" "$flash/qormane/Lindvaret.exe" && rm -rf "$root.flash" && cp -a "$flash" "$root.flash"
program=$looping_program limit=240 check "a card whose folders lead back into themselves, twice in each, ends within 240 s"
for i in $(seq 200); do [ -s "$flash/qormane/started.txt" ] && break; sleep 0.1; done
if diff -r -x started.txt -x "~tessivard-result" "$root.flash" "$flash" >/dev/null && [ -f "$card/update" ] && [ -f "$card/delete_maps" ] &&
    [ -L "$card/a/up2" ] && [ -s "$flash/qormane/started.txt" ]; then
    echo "  ok    and it changes nothing on either side and starts the follow-on program"; passed=$((passed + 1))
else
    echo "  FAIL  the flash store changed, the card lost its markers or links, or the follow-on program did not start"
    failed=$((failed + 1))
fi

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
