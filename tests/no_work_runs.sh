#!/bin/bash
# Whole runs whose walks meet long runs of entries with no file work: a folder's own step,
# which follows its children's, and so every empty folder's, one after another. The walk
# steps such entries by itself, with no I/O thread woken, and the threads must still take
# each file handed out after them once, and only once (update/walks/entry_queue.h). After every
# run, by the shipped program and by the build without I/O threads: each card file is in the
# flash store byte for byte, each card folder a folder there, the marked flash folder gone,
# the card folder empty, exit code 0, and the follow-on program started.
#   no_work_runs.sh BUILD [RUNS]
# RUNS (the argument, or $RUNS; 3 when neither) runs of each program; PROGRAMS (default
# "Tessivard Tessivard_noio") chooses the programs. A summary line per program gives how many
# runs failed and the time a run took.
set -u
build=$(cd "$1" && pwd -P)
runs=${2:-${RUNS:-3}}
programs=${PROGRAMS:-Tessivard Tessivard_noio}
tools=$(cd "$(dirname "$0")/../tools" && pwd -P)
fail_setup() { echo "no_work_runs: $*" >&2; exit 1; }
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || fail_setup "RUNS must be a positive number, not '$runs'"

root="$build/wine/roots/no_work_runs.$$"
work=$(mktemp -d "${TMPDIR:-/tmp}/no_work_runs.XXXXXX") || fail_setup "cannot make a scratch folder"
trap 'rm -rf "$root" "$work"' EXIT
card="$root/SDMMC/ResidentFlash" flash="$root/ResidentFlash"

# Each process start costs milliseconds here: many files or folders take a few of them.
random() { mkdir -p "$(dirname "$1")" && head -c "$2" /dev/urandom > "$1"; }
# random_files PREFIX COUNT SIZE WIDTH: PREFIX1 .. PREFIXCOUNT, the numbers WIDTH digits wide.
random_files() {
    mkdir -p "${1%/*}" && head -c $(($2 * $3)) /dev/urandom | split -b "$3" -a "$4" --numeric-suffixes=1 - "$1"
}
empty_folders() { local names; mapfile -t names < <(seq -w 1 "$2"); mkdir -p "${names[@]/#/$1}"; }
chain() { local path=$1 i; for i in $(seq "$2"); do path=$path/n; done; mkdir -p "$path"; }

# Wine lists a folder in the order of its names, letter case folded, whatever order the file
# system keeps: a tmpfs folder whose `ls -f` lists its newest entries first (e9 e10 beta Mid
# alpha zeta) lists through FindFirstFileW as alpha beta e10 e9 Mid zeta. So the names set
# the order each walk meets the entries in; each device is also made in that order, the order
# in which a FAT folder, as on the device, lists them.
new="$work/card"
# A folder of 5 files, 40 empty folders, then 150 files.
random_files "$new/a/f" 5 2000 1
empty_folders "$new/b" 40
random_files "$new/c" 150 1500 3
# A chain of 40 nested empty folders: 41 steps without work as the walk comes back up, then
# large files, whose copies are still under way while the next ones are handed out.
chain "$new/d" 40
for i in 1 2 3; do random "$new/e$i.big" $((3 * 1024 * 1024)); done
# A folder of empty folders before and between files, large and small.
empty_folders "$new/f/g" 35
random "$new/f/h.big" $((2 * 1024 * 1024))
empty_folders "$new/f/i" 35
random_files "$new/f/j" 20 1000 2
empty_folders "$new/f/k" 35
random "$new/f/l.big" $((2 * 1024 * 1024))
random_files "$new/f/m" 5 1000 1
# The deletion walk: a marked flash folder of the same kind.
: > "$new/delete_old"
old="$work/flash"
mkdir -p "$old/qormane" && cp "$build/follow_on.exe" "$old/qormane/Lindvaret.exe" ||
    fail_setup "no follow_on.exe in $build"
empty_folders "$old/old/p" 40
random_files "$old/old/q" 60 1000 2
chain "$old/old/r" 40
random_files "$old/old/s" 5 1000 1

# A copy of the tree made entry by entry in the order of their names, a folder's entries
# before its next sibling's.
copy_in_order() { mkdir -p "$2" && tar --sort=name -C "$1" -cf - . | tar -C "$2" -xf -; }

# What one run left wrong, as a list of faults; empty when it left everything right.
faults() {   # faults STATUS
    local missing folders left
    [ "$1" = 0 ] || echo "exit code $1"
    missing=$(cd "$new" && find . -type f ! -name 'delete_*' -print0 | xargs -0 sha1sum |
              (cd "$flash" 2>/dev/null || { echo "no flash store"; exit; }; sha1sum -c --quiet 2>/dev/null) | grep -c .)
    [ "$missing" = 0 ] || echo "$missing card files not in the flash store byte for byte"
    folders=$(cd "$new" && find . -type d -print0 |
              while IFS= read -r -d '' d; do [ -d "$flash/$d" ] || echo x; done | wc -l)
    [ "$folders" = 0 ] || echo "$folders card folders not in the flash store"
    [ -e "$flash/old" ] && echo "the marked folder old is still there ($(find "$flash/old" | wc -l) entries)"
    if [ ! -d "$card" ]; then
        echo "no card folder"
    else
        left=$(find "$card" -mindepth 1 | wc -l)
        [ "$left" = 0 ] || echo "$left card entries left"
    fi
    # The wrapper waits for the processes that work in the root; a slow start still has time.
    for _ in $(seq 50); do [ -s "$flash/qormane/started.txt" ] && return; sleep 0.1; done
    echo "the follow-on program did not start"
}

echo "Runs of entries with no file work:"
failed_programs=0
for name in $programs; do
    case "$name" in
        Tessivard) exe="$build/Tessivard.exe" ;;
        *) exe="$build/tests/$name.exe" ;;
    esac
    [ -f "$exe" ] || fail_setup "no $exe"
    failed=0 t0=$SECONDS
    for run in $(seq "$runs"); do
        rm -rf "$root" && copy_in_order "$new" "$card" && copy_in_order "$old" "$flash" ||
            fail_setup "cannot lay out the device in $root"
        TESSIVARD_TIMEOUT=60 "$tools/wine-run.sh" --build "$build" --root "$root" --rerun-on-signal "$exe" \
            >/dev/null 2>"$work/stderr"
        status=$?
        grep '^wine-run.sh:' "$work/stderr" | sed 's/^/  note  /'   # a death inside Wine, the run once more
        found=$(faults "$status")
        if [ -n "$found" ]; then
            failed=$((failed + 1))
            echo "  FAIL  $name.exe, run $run: $(echo "$found" | paste -sd';' | sed 's/;/; /g')"
        fi
    done
    seconds=$((SECONDS - t0))
    tenths=$((seconds * 10 / runs))
    line="$name.exe: $failed of $runs runs failed ($seconds s, $((tenths / 10)).$((tenths % 10)) s a run)"
    if [ "$failed" = 0 ]; then
        echo "  ok    $line"
    else
        echo "  FAIL  $line"
        failed_programs=$((failed_programs + 1))
    fi
done
[ "$failed_programs" = 0 ]
