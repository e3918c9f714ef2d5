#!/bin/bash
# How deep each thread of the program goes into its stack in whole runs on bench sets ((c),
# the mixed tree, unless --set says otherwise): the set as it is, and as the card maker makes
# it without and with its manifest, each by the stack builds (every thread held to the
# device's 64 KiB, tests/variants/stack_guard.cpp), with I/O threads and without. Every run
# is checked as the bench checks its runs (bench/lib.sh, check_update). One line a run:
#   mixed.manifest, Tessivard_stack.exe: ui 16728 worker 9080 io 8272 io 8272
# (bytes from the top of each thread's stack at its deepest).
#
#   bench/stack_use.sh BUILD [--set NAME]...
set -euo pipefail
bench=$(cd "$(dirname "$0")" && pwd -P)
# shellcheck source=bench/lib.sh
. "$bench/lib.sh"

[ $# -ge 1 ] || { echo "usage: bench/stack_use.sh BUILD [--set NAME]..." >&2; exit 2; }
build=$(cd "$1" && pwd -P); shift
sets=""
while [ $# -gt 0 ]; do
    case "$1" in
        --set) set_title "$2" >/dev/null || { echo "stack_use: no data set '$2' (sets: $BENCH_SETS)" >&2; exit 2; }
               sets="$sets $2"; shift 2 ;;
        *) echo "usage: bench/stack_use.sh BUILD [--set NAME]..." >&2; exit 2 ;;
    esac
done
sets=${sets:- mixed}

data="$build/bench/data"
work="$build/bench/stack.$$"
export TESSIVARD_TIMEOUT=1800
wine_run() { "$bench/../tools/wine-run.sh" --build "$build" "$@"; }
trap 'rm -rf "$work"; wine_run --stop-server' EXIT
wine_run --start-server
mkdir -p "$data"

for set in $sets; do
    make_set "$set" "$data/$set"
    add_expected_folders "$data/$set"
    make_card_sets "$set" "$data" "$bench/../tools" "$build"
    for kind in "$set" "$set.plain" "$set.manifest"; do
        for program in Tessivard_stack Tessivard_stack_noio; do
            rm -rf "$work" && cp -a "$data/$kind/root" "$work"
            TESSIVARD_STACK_REPORT='\stack.txt' wine_run --root "$work" "$build/tests/$program.exe" >/dev/null 2>&1 </dev/null &&
                status=0 || status=$?
            [ "$status" = 0 ] || { echo "stack_use: $kind, $program.exe ended with exit code $status" >&2; exit 1; }
            problem=$(check_update "$work" "$data/$kind/expected") ||
                { echo "stack_use: $kind, $program.exe: $problem" >&2; exit 1; }
            echo "$kind, $program.exe: $(tr '\n' ' ' <"$work/stack.txt" | sed 's/ $//')"
        done
    done
done
