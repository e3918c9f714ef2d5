# Shared by the card maker's tests, sourced with the build folder as $1: the wrapper, a
# work folder of the test's own, trees made on the Linux side, and the real program's run.
set -u
build=$(cd "$1" && pwd -P)
tools=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../tools" && pwd -P)
# A folder of this run's own (kept when something failed, to look at).
mkdir -p "$build/card-tests" && work=$(mktemp -d "$build/card-tests/$(basename "$0" .sh).XXXXXX") || exit 1
failures=0

card() { TESSIVARD_BUILD="$build" "$tools/tessivard-card" "$@"; }
pass() { echo "  ok    $1"; }
fail() { echo "  FAIL  $1"; failures=$((failures + 1)); }
finish() { [ $failures -eq 0 ] || { echo "$failures failed (their files: $work)"; exit 1; }; rm -rf "$work"; echo "all passed"; }

# put FILE [CONTENT [TIME]]: a file with its content and its time of last change (seconds).
put() { mkdir -p "$(dirname "$1")" && printf '%s' "${2-}" > "$1" && touch -d "@${3:-1700000000}" "$1"; }

# A name of n characters ("n" repeated).
name_of() { printf "%${1}s" "" | tr ' ' n; }

# locale_of CODE_PAGE: the locale in which Wine's ANSI code page is that one.
locale_of() { case "$1" in 1252) echo C.UTF-8 ;; *) echo ko_KR.UTF-8 ;; esac; }

# apply CARD FLASH DEVICE [CODE_PAGE]: the real program (or $PROGRAM) run on a device whose
# card is a copy of CARD and whose flash store is a copy of FLASH; its exit code.
apply() {
    rm -rf "$3" && mkdir -p "$3/SDMMC" && cp -a "$1/." "$3/SDMMC/" && cp -a "$2" "$3/ResidentFlash" || return 99
    LC_ALL=$(locale_of "${4:-949}") TESSIVARD_TIMEOUT=60 \
        "$tools/wine-run.sh" --build "$build" --root "$3" --rerun-on-signal "${PROGRAM:-$build/Tessivard.exe}" >/dev/null 2>&1
}

# with_follow_on TREE...: each tree holds the follow-on program, the recorder that writes
# qormane/started.txt when the program starts it.
with_follow_on() {
    local tree
    for tree in "$@"; do
        mkdir -p "$tree/qormane" && cp -p "$build/follow_on.exe" "$tree/qormane/Lindvaret.exe" || return 1
    done
}

# run_on NAME CARD FLASH: apply on a device of copies of both, in $work/device-NAME ($dev);
# fails, saying so, unless the program ended and started the follow-on program.
run_on() {
    dev="$work/device-${1//[^A-Za-z0-9]/-}"
    apply "$2" "$3" "$dev" || { fail "$1: the program ended with $?"; return 1; }
    local record="$dev/ResidentFlash/qormane/started.txt" waited
    # The program starts it as it ends: it may write its record a moment later (20 s under load).
    for waited in $(seq 200); do [ -f "$record" ] && break; sleep 0.1; done
    [ -f "$record" ] || { fail "$1: the follow-on program was not started"; return 1; }
    rm "$record"
}

# A tree as lines: each folder, and each file with its size and time of last change. The run's
# result record (the flash store's ~tessivard-result, the card's tessivard-result.txt) is the
# device's account of the run, no content: in the tree's top level only, it is left out
# (result_of reads it).
listing() {
    (cd "$1" && find . -mindepth 1 \( -type d -printf '%P/\n' \) -o \( -type f -printf '%P\t%s\t%T@\n' \) | LC_ALL=C sort |
        grep -av $'^~tessivard-result\t\\|^tessivard-result\\.txt\t')
}
# Every file's bytes, as SHA-256 and path, the result record left out as above.
contents() {
    (cd "$1" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0r sha256sum |
        grep -av '  \./~tessivard-result$\|  \./tessivard-result\.txt$')
}

# same_tree A B: the same folders, and files of the same bytes and times.
same_tree() { [ "$(listing "$1")" = "$(listing "$2")" ] && [ "$(contents "$1")" = "$(contents "$2")" ]; }

# result_of FILE: the outcome word of a result record ("none": no record that reads as one).
result_of() { sed -n '1{/^tessivard-result 1$/!q};2s/^outcome //p' "$1" 2>/dev/null | grep . || echo none; }
