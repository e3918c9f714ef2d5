#!/bin/bash
# The program in the device's memory, by the build that counts the C++ heap
# (tests/variants/counting_heap.cpp):
#  - a run of a card with a manifest, a delete marker, folders and files: its allocations
#    counted; then the same run once for every one of them, that allocation failed. Each
#    run ends by itself (exit code 0, the follow-on program started) and leaves the device
#    either as the whole update leaves it or exactly as it was: nothing in between;
#  - manifests at the bounds of a manifest, one of the longest paths and one of the most
#    entries (the card lacks what they list, so nothing is applied): the heap's peak stays
#    under 16 MiB, copy buffers included;
#  - a card of more delete markers than a plan can hold: refused whole, nothing changed.
# Three runs at once, in roots of their own; the follow-on program's record is there when
# the wrapper returns (it waits for every process working in the root).
#   heap_runs.sh BUILD
set -u
build=$(cd "$1" && pwd -P)
tools=$(cd "$(dirname "$0")/../tools" && pwd -P)
exe="$build/tests/Tessivard_heap.exe"
fail_setup() { echo "heap_runs: $*" >&2; exit 1; }
[ -f "$exe" ] || fail_setup "no $exe"
[ -f "$build/follow_on.exe" ] || fail_setup "no follow_on.exe in $build"
command -v sha256sum >/dev/null || fail_setup "no sha256sum"

roots="$build/wine/roots/heap_runs.$$"
work=$(mktemp -d "${TMPDIR:-/tmp}/heap_runs.XXXXXX") || fail_setup "cannot make a scratch folder"
trap 'wait; rm -rf "$roots".* "$work"' EXIT
# The run NAME's device root, its card and flash store, and $out.* for what it leaves.
at() { root="$roots.$1" card="$roots.$1/SDMMC/ResidentFlash" flash="$roots.$1/ResidentFlash" out="$work/$1"; }
# FUNCTION ARGS... at NAME in the background, three at most at once; its lines in NAME.case.
start() {   # start NAME FUNCTION ARGS...
    while [ "$(jobs -rp | wc -l)" -ge 3 ]; do wait -n; done
    (at "$1"; shift; "$@") >"$work/$1.case" 2>&1 &
}
limit=$((16 * 1024 * 1024))
empty_digest=$(sha256sum < /dev/null | cut -d' ' -f1)

# The seal: the SHA-256 of every byte before it.
seal() { echo "seal $(sha256sum < "$1" | cut -d' ' -f1)" >> "$1"; }
# A manifest of the tree DIR (plain ASCII names), written to FILE.
manifest_of() {   # manifest_of DIR FILE
    echo "tessivard-manifest 1" > "$2"
    (cd "$1" && find . -mindepth 1 -type d | sort | sed 's|^\./|folder - - |') >> "$2"
    (cd "$1" && find . -type f | sort | while read -r f; do
        echo "file $(stat -c %s "$f") $(sha256sum < "$f" | cut -d' ' -f1) ${f#./}"
    done) >> "$2"
    seal "$2"
}

# The device before every run: the flash store, and the card with its manifest.
before="$work/before"
mkdir -p "$before/flash/qormane" "$before/flash/old/inner" "$before/flash/maps" "$before/card/maps/asia" \
         "$before/card/empty" || fail_setup "cannot lay out $before"
cp "$build/follow_on.exe" "$before/flash/qormane/Lindvaret.exe" || fail_setup "cannot copy the follow-on program"
echo "old map" > "$before/flash/maps/seoul.map"
echo "old file" > "$before/flash/old/inner/x.bin"
echo "new map" > "$before/card/maps/seoul.map"
head -c 300000 /dev/urandom > "$before/card/maps/asia/big.map"
echo "readme" > "$before/card/readme.txt"
: > "$before/card/delete_old"
manifest_of "$before/card" "$work/manifest" && mv "$work/manifest" "$before/card/~tessivard-manifest" ||
    fail_setup "cannot write the card's manifest"
# The flash store after the whole update.
after="$work/after"
mkdir -p "$after" && cp -a "$before/flash" "$after/flash" && rm -rf "$after/flash/old" &&
    (cd "$before/card" && tar --exclude=./~tessivard-manifest --exclude=./delete_old -cf - .) | tar -C "$after/flash" -xf - ||
    fail_setup "cannot lay out $after"

lay_out() { rm -rf "$root" && mkdir -p "$root/SDMMC" && cp -a "$before/flash" "$flash" && cp -a "$before/card" "$card"; }
# Runs the heap build on the device in $root; FAIL=k fails the k-th allocation. Sets status.
run() {
    rm -f "$out.heap"
    TESSIVARD_TIMEOUT=60 TESSIVARD_FAIL_ALLOCATION=${FAIL:-0} TESSIVARD_HEAP_REPORT='\heap.txt' \
        "$tools/wine-run.sh" --build "$build" --root "$root" --rerun-on-signal "$exe" >/dev/null 2>"$out.stderr"
    status=$?
    [ -f "$root/heap.txt" ] && mv "$root/heap.txt" "$out.heap"
    grep '^wine-run.sh:' "$out.stderr" | sed 's/^/  note  /'
}
report() { tr -d '\r' < "$out.heap" 2>/dev/null | sed -n "s/^$1 //p"; }
started() { [ -s "$flash/qormane/started.txt" ]; }
# The same tree, the follow-on program's note of its start and the run's result record aside
# (the device's account of the run, which no card writes at any depth).
same_tree() { diff -r -x started.txt -x '~tessivard-result' "$1" "$2" >/dev/null 2>&1; }
# Whole, or untouched, or a fault: how the device was left.
outcome() {
    if same_tree "$flash" "$after/flash" && [ -d "$card" ] && [ -z "$(ls -A "$card")" ]; then echo whole
    elif same_tree "$flash" "$before/flash" && same_tree "$card" "$before/card"; then echo untouched
    else echo "neither whole nor untouched"; fi
}

fail() { echo "  FAIL  $*"; }

echo "Every allocation of a run failed in turn:"
at 0 && lay_out || fail_setup "cannot lay out the device in $root"
run
n=$(report allocations)
[ "$status" = 0 ] && [ -n "$n" ] && [ "$(outcome)" = whole ] ||
    fail_setup "the run with memory enough did not apply the card whole (exit $status, $(outcome), report: ${n:-none})"
echo "  a run with memory enough: $n allocations, peak $(report peak) bytes"
sweep() {   # sweep K: whole, untouched, or what went wrong with the K-th allocation failed
    lay_out || fail_setup "cannot lay out the device in $root"
    FAIL=$1 run; found=$(outcome)
    if [ "$status" != 0 ]; then fail "allocation $1 failed: exit code $status"
    elif [ "$(report failed)" != "$1" ]; then fail "allocation $1 failed: the run made fewer allocations"
    elif ! started; then fail "allocation $1 failed: the follow-on program did not start"
    elif [ "$found" = whole ] || [ "$found" = untouched ]; then echo "$found"
    else fail "allocation $1 failed: the device left $found"; fi
}
for k in $(seq "$n"); do start "sweep$k" sweep "$k"; done

# Lines of LEN-character paths until the next would pass 4 MiB with the seal.
bound_manifest() {   # bound_manifest FILE KIND PATH_LENGTH MAX_LINES
    awk -v kind="$2" -v len="$3" -v most="$4" -v digest="$empty_digest" 'BEGIN {
        print "tessivard-manifest 1"; bytes = 21; room = 4 * 1024 * 1024 - 70
        for (i = 0; i < most; ++i) {
            name = sprintf("%08d", i); path = name
            while (length(path) < len) path = path "/" substr("abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz", 1, (len - length(path) - 1 < 200 ? len - length(path) - 1 : 200))
            line = (kind == "file" ? "file 0 " digest " " : "folder - - ") path
            if (bytes + length(line) + 1 > room) break
            print line; bytes += length(line) + 1
        }
    }' > "$1" && seal "$1"
}
bound() {   # bound KIND PATH_LENGTH MAX_LINES NAME...
    lay_out || fail_setup "cannot lay out the device in $root"
    rm -rf "$card"/* && bound_manifest "$card/~tessivard-manifest" "$1" "$2" "$3" || fail_setup "cannot write a manifest"
    cp -a "$card" "$out.card" && lines=$(($(wc -l < "$card/~tessivard-manifest") - 2)) size=$(stat -c %s "$card/~tessivard-manifest")
    run; peak=$(report peak)
    if [ "$status" != 0 ] || ! started; then fail "${*:4}: exit code $status, or no follow-on program"
    elif ! same_tree "$flash" "$before/flash" || ! same_tree "$card" "$out.card"; then fail "${*:4}: the device changed"
    elif [ -z "$peak" ] || [ "$peak" -ge "$limit" ]; then fail "${*:4}: peak heap ${peak:-unknown} bytes, not under $limit"
    else echo "  ok    ${*:4}: $lines entries, $size bytes: peak heap $peak bytes"; fi
}
# The longest paths: 238 characters below the card folder, 259 on the device (MAX_PATH).
start bound1 bound file 238 50000 the longest paths
start bound2 bound folder 70 50000 the most entries

markers() {
    lay_out || fail_setup "cannot lay out the device in $root"
    rm -f "$card/~tessivard-manifest" && for i in $(seq 1 1025); do : > "$card/delete_m$i"; done && cp -a "$card" "$out.card"
    run
    if [ "$status" != 0 ] || ! started; then fail "1,025 markers: exit code $status, or no follow-on program"
    elif ! same_tree "$flash" "$before/flash" || ! same_tree "$card" "$out.card"; then fail "1,025 markers: the device changed"
    else echo "  ok    1,025 markers: refused, nothing changed, peak heap $(report peak) bytes"; fi
}
start markers markers
wait
whole=$(cat "$work"/sweep*.case | grep -cx whole) untouched=$(cat "$work"/sweep*.case | grep -cx untouched)
grep -h -v -x 'whole\|untouched' "$work"/sweep*.case
echo "  $n runs: $whole applied the card whole, $untouched left the device untouched"
echo "Manifests at their bounds (4 MiB, 50,000 entries), on a card without what they list:"
cat "$work/bound1.case" "$work/bound2.case"
echo "A card of more delete markers than a plan holds:"
cat "$work/markers.case"
[ $((whole + untouched)) = "$n" ] && [ "$(cat "$work"/bound?.case "$work/markers.case" | grep -c '^  ok ')" = 3 ]
