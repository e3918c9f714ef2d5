#!/bin/bash
# Measures Tessivard.exe's whole run on data sets made once under BUILD/bench/data, against
# the same work done by Wine's own tools and by the Linux machine's, and counts what
# reaches the progress bar in a run of set (a). Or compares two builds of the program on
# the same data.
#
#   bench/run.sh BUILD [--runs N] [--set NAME]... [--no-count] [--no-parts] [--no-manifest]
#   bench/run.sh BUILD --compare A.exe B.exe [--set NAME]... [--runs N] [--no-count] [--manifest]
#   bench/run.sh BUILD --manifest [--set NAME]... [--runs N]
#   bench/run.sh BUILD --again [--set NAME]... [--runs N]
#
# The cost of checking a card (--manifest, and in the full bench for (a), (b) and (c)): the
# set made into a card by the card maker, with its manifest and without, the two runs
# alternating. With --compare, --manifest runs both programs on the card with its manifest.
# A card applied again (--again, and in the full bench for small2000): each run from a fresh
# device root, then the set's card laid again beside the flash store that run made, and run.
# Each figure is the median of a program's runs and, beside it, the fastest of them: noise
# from the rest of the machine only ever slows a run, so the minimum is the figure nearest
# the program's own cost, and the speed targets are judged on the minimums. A set whose runs
# of one program spread over more than a third of their median is named as noisy.
# Every timed run starts from a fresh copy of the set's device root (made and synced
# before the clock starts) and ends with `sync`, so that all variants pay for putting their
# writes on the disk. The runs of the variants alternate, so that the load of anything
# else on the machine falls on all of them alike. Sets: see bench/lib.sh and bench/README.md.
# A wineserver already up for the build (make test's, a soak's) is left alone; otherwise the
# bench starts one for itself and stops it at the end.
set -euo pipefail
bench=$(cd "$(dirname "$0")" && pwd -P)
# shellcheck source=bench/lib.sh
. "$bench/lib.sh"

usage() { sed -n '7,10s/^#   /usage: /p' "$0" >&2; exit 2; }
[ $# -ge 1 ] || usage
build=$(cd "$1" && pwd -P); shift
runs=5 sets="" count=1 parts=1 program_a="" program_b="" manifest_cost=1 manifest_only="" again_only=""
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) runs=$2; shift 2 ;;
        --set) set_title "$2" >/dev/null || { echo "bench: no data set '$2' (sets: $BENCH_SETS)" >&2; exit 2; }
               sets="$sets $2"; shift 2 ;;
        --no-count) count=""; shift ;;
        --no-parts) parts=""; shift ;;
        --no-manifest) manifest_cost=""; shift ;;
        --manifest) manifest_only=1; shift ;;
        --again) again_only=1; shift ;;
        --compare) [ $# -ge 3 ] || usage
                   program_a=$(readlink -f "$2") program_b=$(readlink -f "$3"); shift 3 ;;
        *) usage ;;
    esac
done
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || usage

data="$build/bench/data"
work="$build/bench/work.$$"
export TESSIVARD_TIMEOUT=1800
wine_run() { "$bench/../tools/wine-run.sh" --build "$build" "$@"; }
cmd='C:\windows\system32\cmd.exe'
mkdir -p "$data"

# --- the variants: each does one update of the device root in $work -------------------

variant_command() {
    case "$1" in
        tessivard) echo "tools/wine-run.sh --build BUILD --root DEVICE ${2#"$build"/}" ;;
        winetools) echo "tools/wine-run.sh --build BUILD --root DEVICE '$cmd' /c xcopy '\\SDMMC\\ResidentFlash' '\\ResidentFlash' /E /I /Y;" \
                        "tools/wine-run.sh --build BUILD --root DEVICE '$cmd' /c rd /s /q '\\SDMMC\\ResidentFlash'" ;;
        native)    echo "cd DEVICE && cp -r SDMMC/ResidentFlash/. ResidentFlash && rm -rf SDMMC/ResidentFlash" ;;
    esac
}

run_variant() {
    case "$1" in
        tessivard) wine_run --root "$work" "$2" >/dev/null ;;
        winetools) wine_run --root "$work" "$cmd" /c xcopy '\SDMMC\ResidentFlash' '\ResidentFlash' /E /I /Y >/dev/null &&
                   wine_run --root "$work" "$cmd" /c rd /s /q '\SDMMC\ResidentFlash' >/dev/null ;;
        native)    (cd "$work" && cp -r SDMMC/ResidentFlash/. ResidentFlash && rm -rf SDMMC/ResidentFlash) ;;
    esac
}

# A fresh device root of set NAME in $work, its writes already on the disk.
prepare() {
    rm -rf "$work"
    cp -a "$data/$1/root" "$work"
    sync
}

# Seconds one update of set NAME by VARIANT takes, with the closing sync; the result is
# checked (untimed) and a wrong one ends the bench.
timed_run() {
    prepare "$2"
    timed_on_work "$@"
    rm -rf "$work"
}

# The same on the device root as it stands, which stays.
timed_on_work() {
    local variant=$1 set=$2 program=${3:-} start end problem
    start=$(now)
    if ! run_variant "$variant" "$program"; then
        echo "bench: $variant failed on set $set" >&2
        exit 1
    fi
    sync
    end=$(now)
    if ! problem=$(check_update "$work" "$data/$set/expected"); then
        echo "bench: $variant left a wrong result on set $set: $problem" >&2
        exit 1
    fi
    elapsed "$start" "$end"
}

# --- counting and the parts of a run ---------------------------------------------------

# The value of KEY in "name value" lines.
field() { awk -v k="$2" '$1 == k { print $2 }' <<<"$1"; }

# "name value" lines of one counted run of PROGRAM on set NAME.
counted_run() {
    local set=$1 program=$2 winpath problem
    winpath="T:$(printf '%s' "${program#"$build"}" | tr / '\\')"
    prepare "$set"
    wine_run --root "$work" "$build/bench/count_messages.exe" "$winpath" | tr -d '\r' || { echo "bench: the counted run failed" >&2; exit 1; }
    if ! problem=$(check_update "$work" "$data/$set/expected"); then
        echo "bench: the counted run left a wrong result: $problem" >&2
        exit 1
    fi
}

# The parts of a run of set NAME measured apart: the program's walks without a window, the
# copy done by a read/write loop instead, and STEPS progress steps without file work, or
# as many sends the bar ignores. Then what the parts of the program's own run add up to,
# next to the whole run of Wine's tools on the same set, when the table measured both.
print_parts() {
    local set=$1 steps=$2 out copy_ms delete_ms steps_ms
    echo "Parts of a run of $(set_title "$set"), each measured apart in one process (run_parts):"
    prepare "$set"
    out=$(wine_run --root "$work" "$build/bench/run_parts.exe" walks | tr -d '\r')
    awk '{ v[$1] = $2 } END {
        printf "  count walks, for the copy and the deletion (%d steps): %.2f s\n", v["counted_steps"], v["count_ms"] / 1000
        printf "  copy walk (each file written to a temporary, flushed, renamed over its target): %.2f s\n", v["copy_ms"] / 1000
        printf "  delete walk: %.2f s\n", v["delete_ms"] / 1000
        printf "  its %d steps, sent to no window: %.3f s\n", v["steps"], v["steps_without_window_ms"] / 1000 }' <<<"$out"
    copy_ms=$(field "$out" copy_ms) delete_ms=$(field "$out" delete_ms)
    local kib
    for kib in 64 1024; do
        prepare "$set"
        out=$(wine_run --root "$work" "$build/bench/run_parts.exe" rawcopy $kib | tr -d '\r')
        awk -v kib=$kib '{ v[$1] = $2 } END {
            printf "  copy by a read/write loop, %d KiB buffer, no flush, no temporary: %.2f s (its delete walk %.2f s)\n", kib, v["copy_ms"] / 1000, v["delete_ms"] / 1000 }' <<<"$out"
    done
    rm -rf "$work"
    out=$(wine_run --root "$work" "$build/bench/run_parts.exe" steps "$steps" | tr -d '\r')
    awk '{ v[$1] = $2 } END {
        printf "  %d progress steps of the update dialog, no file work: %.2f s, %.0f us per step\n", v["steps"], v["steps_ms"] / 1000, v["step_us"] }' <<<"$out"
    steps_ms=$(field "$out" steps_ms)
    out=$(wine_run --root "$work" "$build/bench/run_parts.exe" sends "$steps" | tr -d '\r')
    awk '{ v[$1] = $2 } END {
        printf "  as many sends of a message the bar ignores (WM_NULL): %.2f s, %.0f us per send\n", v["steps_ms"] / 1000, v["step_us"] }' <<<"$out"
    rm -rf "$work"
    if [ -n "${medians[tessivard.empty]:-}" ] && [ -n "${medians[winetools.$set]:-}" ]; then
        awk -v fixed="${medians[tessivard.empty]}" -v c="$copy_ms" -v d="$delete_ms" -v s="$steps_ms" \
            -v whole="${medians[tessivard.$set]}" -v tools="${medians[winetools.$set]}" 'BEGIN {
            sum = fixed + (c + d + s) / 1000
            printf "  fixed cost (empty run) + copy walk + delete walk + steps: %.2f s; the whole run %.2f s; Wine tools %.2f s\n", sum, whole, tools }'
    fi
}

# --- the report -----------------------------------------------------------------------

describe_machine() {
    echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(free -h | awk '/^Mem:/ { print $2 }') memory;" \
         "$(wine --version 2>/dev/null); data on $(df -T "$data" | awk 'NR == 2 { print $2 }'); load average $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "Program: $(git -C "$bench" rev-parse --short HEAD 2>/dev/null || echo '?')$(git -C "$bench" diff --quiet 2>/dev/null || echo ' (with changes)'); $runs runs of each, median and minimum"
}

make_sets() {
    local set
    for set in "$@"; do
        if [ "$(cat "$data/$set/complete" 2>/dev/null)" != "$BENCH_SETS_VERSION" ]; then
            echo "Making data set $set once ($(set_title "$set")) under ${data#"$build"/}..."
            make_set "$set" "$data/$set"
        fi
        add_expected_folders "$data/$set"
    done
}

# Runs every variant RUNS times on SET, alternating; prints one table row.
measure_set() {
    local set=$1 r variant size
    declare -A times=()
    for ((r = 1; r <= runs; r++)); do
        for variant in tessivard winetools native; do
            times[$variant]+=" $(timed_run $variant "$set" "$build/Tessivard.exe")"
        done
    done
    local t w n tmin wmin nmin note
    t=$(median <<<"${times[tessivard]}") tmin=$(minimum <<<"${times[tessivard]}")
    w=$(median <<<"${times[winetools]}") wmin=$(minimum <<<"${times[winetools]}")
    n=$(median <<<"${times[native]}") nmin=$(minimum <<<"${times[native]}")
    medians[tessivard.$set]=$t medians[winetools.$set]=$w
    minimums[tessivard.$set]=$tmin minimums[winetools.$set]=$wmin
    read -r files mib < <(set_size "$data/$set")
    printf '| %s | %d | %.1f | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n' "$(set_title "$set")" "$files" "$mib" \
        "$t" "$tmin" "$w" "$wmin" "$n" "$nmin" "$(ratio "$t" "$w")" "$(ratio "$tmin" "$wmin")" "$(ratio "$t" "$n")"
    all_runs+=$(printf '  %s: Tessivard%s; Wine tools%s; native%s' "$set" "${times[tessivard]}" "${times[winetools]}" "${times[native]}")$'\n'
    note=$(spread_note "$set: Tessivard" "${times[tessivard]}"; spread_note "$set: Wine tools" "${times[winetools]}"
           spread_note "$set: native" "${times[native]}")
    [ -z "$note" ] || noisy+=$note$'\n'
}

# The sets with a manifest against the same without: one table, the runs alternating.
measure_manifest_cost() {
    local set r kind plain with
    for set in "$@"; do make_card_sets "$set" "$data" "$bench/../tools" "$build" || exit 1; done
    echo "The cost of checking a card: the set as a card of the card maker, without and with its manifest"
    echo "(wall time of one update, as above, median and minimum of $runs):"
    echo
    echo "| set | files | MiB | without a manifest | without, min | with a manifest | with, min | with / without |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|"
    local runs_seen="" noisy="" note
    for set in "$@"; do
        declare -A cost=()
        for ((r = 1; r <= runs; r++)); do
            for kind in plain manifest; do cost[$kind]+=" $(timed_run tessivard "$set.$kind" "$build/Tessivard.exe")"; done
        done
        plain=$(median <<<"${cost[plain]}") with=$(median <<<"${cost[manifest]}")
        read -r files mib < <(set_size "$data/$set.plain")
        printf '| %s | %d | %.1f | %s | %s | %s | %s | %s |\n' "$(set_title "$set")" "$files" "$mib" "$plain" \
            "$(minimum <<<"${cost[plain]}")" "$with" "$(minimum <<<"${cost[manifest]}")" "$(ratio "$with" "$plain")"
        runs_seen+=$(printf '  %s: without%s; with%s' "$set" "${cost[plain]}" "${cost[manifest]}")$'\n'
        note=$(spread_note "$set: without a manifest" "${cost[plain]}"; spread_note "$set: with a manifest" "${cost[manifest]}")
        [ -z "$note" ] || noisy+=$note$'\n'
    done
    printf '%s' "$noisy"
    echo
    echo "Every run (s), in the order they ran:"
    printf '%s' "$runs_seen"
}

# The card applied a second time over the flash store its first run made: every file already
# its new version, nothing to write.
measure_again() {
    local set r first again
    echo "A card applied again over the flash store it made (wall time of one update, as above,"
    echo "median and minimum of $runs):"
    echo
    echo "| set | files | MiB | first run | first, min | again | again, min | again / first |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|"
    for set in "$@"; do
        first="" again=""
        for ((r = 1; r <= runs; r++)); do
            prepare "$set"
            first+=" $(timed_on_work tessivard "$set" "$build/Tessivard.exe")"
            rm -rf "$work/SDMMC" && cp -a "$data/$set/root/SDMMC" "$work/" && sync
            again+=" $(timed_on_work tessivard "$set" "$build/Tessivard.exe")"
        done
        read -r files mib < <(set_size "$data/$set")
        printf '| %s | %d | %.1f | %s | %s | %s | %s | %s |\n' "$(set_title "$set")" "$files" "$mib" "$(median <<<"$first")" \
            "$(minimum <<<"$first")" "$(median <<<"$again")" "$(minimum <<<"$again")" \
            "$(ratio "$(median <<<"$again")" "$(median <<<"$first")")"
    done
    rm -rf "$work"
}

if wine_run --server-running; then
    trap 'rm -rf "$work"' EXIT
else
    trap 'rm -rf "$work"; wine_run --stop-server' EXIT
    wine_run --start-server
fi

if [ -n "$program_a" ]; then
    [ -f "$program_a" ] && [ -f "$program_b" ] || { echo "bench: no program $program_a or $program_b" >&2; exit 2; }
    sets=${sets:- small2000}
    # Both programs run from the build tree, where the drive T: lets them start as the
    # device starts programs.
    rm -rf "$build/bench/programs"
    mkdir -p "$build/bench/programs/A" "$build/bench/programs/B"
    cp "$program_a" "$build/bench/programs/A/Tessivard.exe"
    cp "$program_b" "$build/bench/programs/B/Tessivard.exe"
    # shellcheck disable=SC2086
    make_sets empty $sets
    card=""
    if [ -n "$manifest_only" ]; then
        for set in $sets; do make_card_sets "$set" "$data" "$bench/../tools" "$build" || exit 1; done
        card=.manifest
    fi
    timed_run tessivard empty "$build/bench/programs/A/Tessivard.exe" >/dev/null   # warm-up, not counted
    describe_machine
    echo "A = $program_a"
    echo "B = $program_b"
    [ -z "$card" ] || echo "Each set as a card of the card maker, with its manifest."
    for set in $sets; do
        declare -A times=()
        for ((r = 1; r <= runs; r++)); do
            for p in A B; do times[$p]+=" $(timed_run tessivard "$set$card" "$build/bench/programs/$p/Tessivard.exe")"; done
        done
        a=$(median <<<"${times[A]}") amin=$(minimum <<<"${times[A]}")
        b=$(median <<<"${times[B]}") bmin=$(minimum <<<"${times[B]}")
        echo
        echo "$(set_title "$set"): whole run, process start to end, then sync (median, minimum)"
        printf '  A  %s s  min %s s   (runs: %s)\n' "$a" "$amin" "${times[A]# }"
        printf '  B  %s s  min %s s   (runs: %s)\n' "$b" "$bmin" "${times[B]# }"
        echo "  B / A  $(ratio "$b" "$a")  of the minimums $(ratio "$bmin" "$amin")"
        spread_note "$set: A" "${times[A]}"
        spread_note "$set: B" "${times[B]}"
        if [ -n "$count" ]; then
            for p in A B; do counted_run "$set$card" "$build/bench/programs/$p/Tessivard.exe" | print_counts "counts of $p:" | sed "s/^/  /"; done
        fi
    done
    echo
    echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
    exit 0
fi

if [ -n "$again_only" ]; then
    sets=${sets:- small2000 mixed}
    # shellcheck disable=SC2086
    make_sets empty $sets
    timed_run tessivard empty "$build/Tessivard.exe" >/dev/null   # warm-up, not counted
    describe_machine
    echo
    # shellcheck disable=SC2086
    measure_again $sets
    echo
    echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
    exit 0
fi

if [ -n "$manifest_only" ]; then
    sets=${sets:- small10k large20 mixed}
    # shellcheck disable=SC2086
    make_sets empty $sets
    timed_run tessivard empty "$build/Tessivard.exe" >/dev/null   # warm-up, not counted
    describe_machine
    echo
    # shellcheck disable=SC2086
    measure_manifest_cost $sets
    echo
    echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
    exit 0
fi

sets=${sets:- $BENCH_SETS}
# shellcheck disable=SC2086
make_sets empty $sets
timed_run tessivard empty "$build/Tessivard.exe" >/dev/null   # warm-up, not counted
describe_machine
echo
echo "Wall time of one update, fresh device root, ending with sync (seconds, median and minimum of $runs;"
echo "the ratios of the medians, and of the minimums: the fastest Tessivard run over the fastest of Wine's tools):"
echo
echo "| set | files | MiB | Tessivard | Tessivard min | Wine tools | Wine tools min | native | native min | Tessivard / Wine tools | of the minimums | Tessivard / native |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
all_runs="" noisy=""
declare -A medians=() minimums=()   # variant.set -> the table's figures, for the parts' sums and the targets
for set in $sets; do measure_set "$set"; done
printf '%s' "$noisy"
echo
# The speed targets: the fastest Tessivard run over the fastest run of Wine's tools on the
# same set, at most.
targets=""
# emptyruns takes (c)'s: a tree of many small files with some large ones.
for target in small10k:0.70 large20:1.00 mixed:0.85 small2000:0.85 onefolder:0.45 emptyruns:0.85; do
    set=${target%%:*} limit=${target#*:}
    [ -n "${minimums[tessivard.$set]:-}" ] || continue
    r=$(ratio "${minimums[tessivard.$set]}" "${minimums[winetools.$set]}")
    targets+=$(printf '  %s: %s (at most %s): %s' "$(set_title "$set")" "$r" "$limit" \
        "$(awk -v r="$r" -v l="$limit" 'BEGIN { print (r == "-" ? "-" : (r + 0 <= l + 0 ? "met" : "missed")) }')")$'\n'
done
if [ -n "$targets" ]; then
    echo "Targets, Tessivard / Wine tools, of the minimums:"
    printf '%s' "$targets"
    echo
fi
echo "Every run (s), in the order they ran:"
printf '%s' "$all_runs"
echo
echo "Each figure is the time of (DEVICE: a fresh copy of the set's device root, whose /ResidentFlash"
echo "is absent except in small2000), followed by sync:"
for variant in tessivard winetools native; do
    printf '  %-10s %s\n' "$variant" "$(variant_command $variant "$build/Tessivard.exe")"
done

if [ -n "$count" ] && [[ " $sets " == *" small10k "* ]]; then
    echo
    counted_run small10k "$build/Tessivard.exe" | print_counts \
        "Counts in one run of $(set_title small10k) (count_messages, the shipped program hooked):"
fi
for set in small10k large20 mixed; do
    if [ -n "$parts" ] && [[ " $sets " == *" $set "* ]]; then
        # A step per entry of the card folder in the copy and in the deletion, one per image file.
        entries=$(find "$data/$set/root/SDMMC/ResidentFlash" -mindepth 1 | wc -l)
        echo
        print_parts $set $((2 * entries + 3))
    fi
done
if [[ " $sets " == *" small2000 "* ]]; then
    echo
    measure_again small2000
fi
if [ -n "$manifest_cost" ]; then
    checked=""
    for set in small10k large20 mixed; do [[ " $sets " == *" $set "* ]] && checked+=" $set"; done
    if [ -n "$checked" ]; then
        echo
        # shellcheck disable=SC2086
        measure_manifest_cost $checked
    fi
fi
echo
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
