#!/bin/bash
# TessivardProbe.exe under Wine, in a device root with a flash store and a card: its report
# holds every question once, and the answers of the device's calls that the desktop's
# stand-ins give (platform/desktop/) are theirs; nothing it made is left.
#   probe_report.sh BUILD
set -u
build=$(cd "$1" && pwd -P)
tools=$(cd "$(dirname "$0")/../tools" && pwd -P)
root="$build/wine/roots/probe_report.$$"
trap 'rm -rf "$root"' EXIT
fail=0
mkdir -p "$root/ResidentFlash" "$root/SDMMC" "$root/Probe" || { echo "probe_report: cannot make $root" >&2; exit 1; }
cp "$build/TessivardProbe.exe" "$root/Probe/" || { echo "probe_report: no $build/TessivardProbe.exe" >&2; exit 1; }
TESSIVARD_TIMEOUT=120 "$tools/wine-run.sh" --build "$build" --root "$root" --rerun-on-signal "$root/Probe/TessivardProbe.exe"
status=$?
report="$root/Probe/tessivard-probe.txt"
[ "$status" = 0 ] || { echo "probe_report: the probe ended with $status"; fail=1; }
[ -f "$report" ] || { echo "probe_report: no report beside the probe"; exit 1; }
tr -d '\r' < "$report" > "$root/report"
cat "$root/report"

answer() { awk -F' [|] ' -v k="$1" '$1 == k { print $3 }' "$root/report"; }
expect() {   # expect KEY ANSWER: the line's answer, exactly
    local got; got=$(answer "$1")
    [ "$got" = "$2" ] || { echo "probe_report: $1 answered '$got', the stand-ins '$2'"; fail=1; }
}

keys="probe move-onto-existing separators listing-order letter-case long-path delete-and-rename"
for volume in flash card; do for spelling in backslash slash trailing; do keys="$keys flush-$volume-$spelling"; done; done
for volume in flash card; do for spelling in backslash slash trailing; do keys="$keys volume-info-$volume-$spelling"; done; done
keys="$keys flush-times conversion-flag startup-record thread-stack cleanup"
[ "$(cut -d'|' -f1 "$root/report" | sed 's/ *$//' | tr '\n' ' ')" = "$keys " ] ||
    { echo "probe_report: the questions are not one line each, in order: $keys"; fail=1; }

# The stand-ins of the storage manager take the documented root alone ("\ResidentFlash").
block=$(stat -f -c %S "$root")
for volume in flash card; do
    expect "flush-$volume-backslash" "TRUE"
    expect "volume-info-$volume-backslash" "TRUE, attributes 0x0, flags 0x0, block $block, store \"\", partition \"\""
    for spelling in slash trailing; do
        expect "flush-$volume-$spelling" "FALSE, error 87"
        expect "volume-info-$volume-$spelling" "FALSE, error 87"
    done
done
# A desktop without DeleteAndRenameFile (ERROR_CALL_NOT_IMPLEMENTED): nothing moved.
expect delete-and-rename "FALSE, error 120; the name then holds 10 bytes (10 before, 20 moved)"
# The desktop's own calls, as the program takes them: no rename onto a name, both separators.
expect move-onto-existing "FALSE, error 183; the name then holds 10 bytes (10 before, 20 moved)"
expect separators "made with '\\': yes; found with '/': yes"
expect startup-record "TRUE"
expect cleanup "removed"
answer flush-times | grep -Eq '^file flush of 64 KiB written: [0-9]+ ms \(TRUE\); volume flush after it: [0-9]+ ms \(TRUE\)$' ||
    { echo "probe_report: flush-times answered '$(answer flush-times)'"; fail=1; }
answer thread-stack | grep -Eq '^[0-9]+ KiB below' || { echo "probe_report: no stack measured"; fail=1; }
left=$(cd "$root" && find ResidentFlash SDMMC -mindepth 1 | head -5)
[ -z "$left" ] || { echo "probe_report: the probe left $left"; fail=1; }
[ "$fail" = 0 ] && echo "probe_report: passed" || echo "probe_report: failed"
exit "$fail"
