#!/bin/bash
# The file calls the program makes for each file of a kind, as a table: a new file (no flash
# file of its name), a replaced one (a flash file of its name holds other bytes), an unchanged
# one (the flash store holds its bytes already) and one in a marker's folder (a delete marker
# removes the flash folder, and the card brings it anew). For each kind, two runs of the build
# without I/O threads (its calls do not depend on threads' timing) on a card of that kind in
# one folder, of 1 and of 1 + N files: Wine's relay trace gives every call the program makes
# into KERNEL32 (those whose return address lies in the program), and the difference of the
# two runs, divided by N, is the calls a file costs. The volume's flush and the card's and the
# run's fixed work cancel out.
#   bench/calls_per_file.sh BUILD [N] [PROGRAM]
# N: 50 unless given; PROGRAM: BUILD/tests/Tessivard_noio.exe unless given.
set -u
build=$(cd "$1" && pwd -P)
n=${2:-50}
program=${3:-$build/tests/Tessivard_noio.exe}
tools=$(cd "$(dirname "$0")/../tools" && pwd -P)
[[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "calls_per_file: N must be a positive number, not '$n'" >&2; exit 2; }
[ -f "$program" ] || { echo "calls_per_file: no $program: run make build" >&2; exit 2; }
work=$(mktemp -d "$build/wine/roots/calls_per_file.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

# device KIND FILES: a device root of that kind with FILES files in the card's folder maps.
device() {
    local root="$work/$1.$2" i
    rm -rf "$root" && mkdir -p "$root/SDMMC/ResidentFlash/maps" "$root/ResidentFlash/maps"
    for ((i = 0; i < $2; i++)); do
        printf 'new version %04d' $i >"$root/SDMMC/ResidentFlash/maps/f$i.map"
        case "$1" in
            replaced|marker) printf 'old version %04d' $i >"$root/ResidentFlash/maps/f$i.map" ;;
            unchanged) cp -p "$root/SDMMC/ResidentFlash/maps/f$i.map" "$root/ResidentFlash/maps/" ;;
        esac
    done
    [ "$1" = marker ] && : >"$root/SDMMC/ResidentFlash/delete_maps"
    echo "$root"
}

# calls KIND FILES: "NAME COUNT" for each KERNEL32 call of the program's run on that device.
calls() {
    local root
    root=$(device "$1" "$2")
    WINEDEBUG=+relay TESSIVARD_TIMEOUT=300 "$tools/wine-run.sh" --build "$build" --root "$root" "$program" 2>&1 |
        sed -nE 's/^[0-9a-f]+:Call KERNEL32\.([A-Za-z0-9_]+)\(.*\) ret=0*14[0-9a-f]{7}$/\1/p' | sort | uniq -c |
        awk '{print $2, $1}'
    # Nothing of the card may be left: a run that failed would count other calls.
    [ -z "$(ls -A "$root/SDMMC/ResidentFlash")" ] || { echo "calls_per_file: the $1 run left its card" >&2; exit 1; }
}

kinds="new replaced unchanged marker"
declare -A per
for kind in $kinds; do
    calls "$kind" 1 >"$work/$kind.one" || exit 1
    calls "$kind" $((n + 1)) >"$work/$kind.many" || exit 1
    while read -r name count; do
        per[$name,$kind]=$(awk -v m="$count" -v o="$(awk -v c="$name" '$1 == c {print $2}' "$work/$kind.one")" -v n="$n" \
            'BEGIN {printf "%.2f", (m - o) / n}')
    done <"$work/$kind.many"
done
# The calls on files, folders and volumes; the clock, the errors and the threads aside.
names=$(cat "$work"/*.many | awk '{print $1}' | grep -E 'File|Directory|Find|Disk|Volume|CloseHandle|IoControl' | sort -u)
echo "Calls a file costs ($(basename "$program"), $n files of each kind in one folder, per file):"
echo "| call | new | replaced | unchanged | in a marker's folder |"
echo "|---|---|---|---|---|"
declare -A total
for name in $names; do
    line="| $name" shown=""
    for kind in $kinds; do
        v=${per[$name,$kind]:-0.00}
        line+=" | $v"
        [ "$v" = 0.00 ] || [ "$v" = -0.00 ] || shown=1
        total[$kind]=$(awk -v a="${total[$kind]:-0}" -v b="$v" 'BEGIN {printf "%.2f", a + b}')
    done
    [ -n "$shown" ] && echo "$line |"
done
echo "| all | ${total[new]} | ${total[replaced]} | ${total[unchanged]} | ${total[marker]} |"
