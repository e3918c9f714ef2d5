#!/bin/bash
# The device loads a program's imports by ordinal: one call its coredll lacks and the program does
# not start at all. This reads every name that the objects of the shipped program's own code
# (app/, update/, ui/, platform/; platform/desktop/, which supplies device calls the desktop lacks
# and the card maker's calls of the PC alone, stands aside) take from outside that code, and fails
# naming each one that Windows Embedded CE 6.0's coredll and commctrl do not export, with the
# files that use it. Beside it, a look at the sources for arguments the device refuses.
#   tools/device_calls/check.sh BUILD
set -u
here=$(cd "$(dirname "$0")" && pwd -P)
source_root=$(cd "$here/../.." && pwd -P)
build=$(cd "${1:?usage: check.sh BUILD}" && pwd -P)
nm=x86_64-w64-mingw32-nm
command -v "$nm" >/dev/null || { echo "device_calls: $nm not found (tools/install-deps.sh installs it)" >&2; exit 1; }

# The shipped program's objects: its code, its seams as the program links them, its entry.
mapfile -t objects < <(find "$build/CMakeFiles/tessivard_common.dir" "$build/CMakeFiles/tessivard_core.dir" \
    "$build/CMakeFiles/Tessivard.dir" -name '*.obj' 2>/dev/null | sort)
[ "${#objects[@]}" -gt 20 ] || { echo "device_calls: the program's objects are not in $build (build it first)" >&2; exit 1; }
own=() desktop=()
for o in "${objects[@]}"; do
    case "$o" in */platform/desktop/*) desktop+=("$o") ;; *) own+=("$o") ;; esac
done

# name<TAB>file for each undefined name, and the names the program's objects define.
undefined=$("$nm" -A -u "${own[@]}" | awk '{ n = $NF; f = $1; sub(/:.*/, "", f); print n "\t" f }')
defined=$("$nm" --defined-only "${objects[@]}" | awk 'NF == 3 { print $3 }' | sort -u)

awk -F'\t' -v build="$build/" '
    FILENAME == ARGV[1] { if ($0 !~ /^#/) coredll[$0] = 1; next }
    FILENAME == ARGV[2] { if ($0 !~ /^#/) commctrl[$0] = 1; next }
    FILENAME == ARGV[3] { if ($0 !~ /^#/ && NF >= 3) { kind[$1] = $2; means[$1] = $3 } next }
    FILENAME == ARGV[4] { if ($0 !~ /^#/ && NF >= 2) why[$1] = $2; next }
    FILENAME == ARGV[5] { defined[$0] = 1; next }
    {
        name = $1; file = $2
        sub(/^__imp_/, "", name)
        if (name in defined || $1 in defined) next
        sub(".*/CMakeFiles/[^/]*\\.dir/", "", file); sub(/\.obj$/, "", file)
        if (!(name in files)) order[++count] = name
        if (index(" " files[name] " ", " " file " ") == 0) files[name] = files[name] (files[name] == "" ? "" : " ") file
    }
    END {
        for (i = 1; i <= count; ++i) {
            name = order[i]; c = name; how = ""
            if (name ~ /^_Z/) { ++toolchain; continue }
            if (kind[name] == "toolchain") { ++toolchain; continue }
            if (kind[name] == "crt") { c = means[name] }
            if (kind[name] == "header") { ++headers; continue }
            n = split(c, parts, ", ")
            ok = 1
            for (k = 1; k <= n; ++k) if (!(parts[k] in coredll) && !(parts[k] in commctrl)) ok = 0
            if (ok) { ++exports; continue }
            if (name in why) { excepted[++nexc] = name; continue }
            bad[++nbad] = name
        }
        printf "device_calls: %d names from the system and the C runtime: %d exports of CE 6.0, %d defined by its headers over an export, %d the toolchain'"'"'s\n", exports + headers + nexc + nbad + toolchain, exports, headers, toolchain
        for (i = 1; i <= nexc; ++i) printf "device_calls: still taken, until %s: %s (%s)\n", why[excepted[i]], excepted[i], files[excepted[i]]
        for (i = 1; i <= nbad; ++i) {
            name = bad[i]
            shown = name; if (kind[name] == "crt") shown = name " (" means[name] ")"
            printf "device_calls: NOT ON THE DEVICE: %s, in %s\n", shown, files[name]
        }
        exit nbad > 0
    }' "$here/coredll_ce6_arm.txt" "$here/commctrl.txt" "$here/names.tsv" "$here/exceptions.tsv" \
    <(printf '%s\n' "$defined") <(printf '%s\n' "$undefined")
status=$?

# Arguments the device refuses, which no name shows: a wait for all of several objects, load flags
# to LoadImageW, which takes none (a bitmap file is SHLoadDIBitmap's), and folders opened as
# files.
cd "$source_root"
sources=$(git ls-files -- app update ui platform ':!platform/desktop' 2>/dev/null || find app update ui platform -path platform/desktop -prune -o -type f -print)
while IFS=: read -r file line text; do
    echo "device_calls: NOT ON THE DEVICE: $file:$line: $text"
    status=1
done < <(printf '%s\n' $sources | grep -E '\.(cpp|h)$' | xargs grep -nE \
    'WaitForMultipleObjects\([^;]*,[^;]*,[[:space:]]*TRUE|\<LR_[A-Z]+|FILE_FLAG_BACKUP_SEMANTICS' /dev/null)
[ "$status" = 0 ] && echo "device_calls: passed" || echo "device_calls: failed"
exit "$status"
