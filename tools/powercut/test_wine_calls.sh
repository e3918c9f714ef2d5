#!/bin/bash
# What a Windows program's calls do on a powercutfs mount under Wine: with --refuse-replace no
# rename takes a name that is there, whichever call asks; without it only the calls that may
# replace do. The desktop's CeFsIoControlW with FSCTL_FLUSH_BUFFERS on the mount's root
# commits a file made in a folder below under every FAT-like loss, as a volume's flush does;
# without it the file is lost under some. Its other answers: ERROR_NOT_SUPPORTED for another
# code, ERROR_INVALID_PARAMETER for no folder or an OVERLAPPED.
#   test_wine_calls.sh BUILD
set -u
build=$(cd "$1" && pwd -P)
bin=$build/tools
tools=$(cd "$(dirname "$0")/.." && pwd -P)
failures=0
fail() { echo "test_wine_calls: $*" >&2; exit 1; }
check() { # check WHAT COMMAND...: a failed check is printed, and the test goes on
    local what=$1
    shift
    if ! "$@"; then echo "FAIL $what"; failures=$((failures + 1)); fi
}

[ "$(id -u)" = 0 ] || fail "mounting needs root (running as uid $(id -u))"
[ -c /dev/fuse ] || fail "no /dev/fuse on this machine"
[ -x "$bin/powercutfs" ] || fail "powercutfs is not built in $bin"
[ -f "$build/fs_calls.exe" ] || fail "fs_calls.exe is not built in $build"

tmp=$(mktemp -d /tmp/powercut_wine.pc$$.XXXXXX)
root=$tmp/root flash=$tmp/root/ResidentFlash
mkdir -p "$flash" "$tmp/template/sub"
printf a >"$tmp/template/a"
printf b >"$tmp/template/b"
source "$(dirname "$0")/mounts.sh"
trap mounts_cleanup EXIT

ctl() { "$bin/powercutfs" --ctl "$tmp/flash.sock" "$@" >/dev/null || fail "powercutfs: $* refused"; }
stat_of() { "$bin/powercutfs" --ctl "$tmp/flash.sock" stats | tr ' ' '\n' | sed -n "s/^$1=//p"; }
# mount_flash [OPTION...]: the flash store mounted anew with the template laid out.
mount_flash() {
    stop flash
    start flash "$flash" "$@"
    ctl load "$tmp/template"
    ctl reset
}
# calls COMMAND...: fs_calls in the device root; its lines, without Wine's carriage returns.
calls() {
    "$tools/wine-run.sh" --build "$build" --root "$root" "$build/fs_calls.exe" "$@" | tr -d '\r' >"$tmp/said" ||
        fail "fs_calls did not run: $(cat "$tmp/said")"
}
said() { grep -qxF "$1" "$tmp/said" || { echo "  fs_calls said: $(tr '\n' ';' <"$tmp/said")"; return 1; }; }
holds() { [ "$(cat "$flash/$1" 2>/dev/null)" = "$2" ]; }
absent() { [ ! -e "$flash/$1" ]; }

# --- renames onto a name that is there ---
# Wine's MoveFileW looks for the target itself: the file system never hears of it.
mount_flash --refuse-replace
calls 'move|\ResidentFlash\a|\ResidentFlash\b' 'rename-over|\ResidentFlash\a|\ResidentFlash\b' \
      'move-replace|\ResidentFlash\a|\ResidentFlash\b' 'move|\ResidentFlash\a|\ResidentFlash\c'
check "refused: MoveFileW onto a name that is there fails with ERROR_ALREADY_EXISTS" \
    said 'move|\ResidentFlash\a|\ResidentFlash\b: error 183'
check "refused: SetFileInformationByHandle with ReplaceIfExists fails" \
    said 'rename-over|\ResidentFlash\a|\ResidentFlash\b: error 183'
check "refused: MoveFileExW with MOVEFILE_REPLACE_EXISTING fails" \
    said 'move-replace|\ResidentFlash\a|\ResidentFlash\b: error 183'
check "refused: MoveFileW onto a new name still works" said 'move|\ResidentFlash\a|\ResidentFlash\c: ok'
check "refused: both files as they were, the moved one under its new name" \
    eval 'holds b b && holds c a && absent a'
check "refused: the two calls that may replace reached the file system and were refused there ($(stat_of refused))" \
    [ "$(stat_of refused)" = 2 ]

mount_flash
calls 'move|\ResidentFlash\a|\ResidentFlash\b' 'rename-over|\ResidentFlash\a|\ResidentFlash\b'
check "replacing: MoveFileW onto a name that is there fails all the same" \
    said 'move|\ResidentFlash\a|\ResidentFlash\b: error 183'
check "replacing: ReplaceIfExists replaces" said 'rename-over|\ResidentFlash\a|\ResidentFlash\b: ok'
check "replacing: b holds a's content" eval 'holds b a && absent a'
check "replacing: nothing refused" [ "$(stat_of refused)" = 0 ]

# --- the volume's flush ---
# made_below [flush|'']: a folder and a file in it made, a file made in a folder of the
# template, and (with flush) the volume flushed; then in how many of 16 FAT-like losses
# both files came back whole: kept.
made_below() {
    mount_flash --volume-flush
    calls 'mkdir|\ResidentFlash\new' 'write|\ResidentFlash\new\f|made' 'write|\ResidentFlash\sub\g|g' \
          ${1:+'flush|\ResidentFlash'}
    local seed verb=cut
    kept=0
    for seed in $(seq 0 15); do
        ctl $verb mixed "$seed"
        verb=recut
        holds new/f made && holds sub/g g && kept=$((kept + 1))
    done
}
made_below flush
check "flush: CeFsIoControlW(FSCTL_FLUSH_BUFFERS) answers TRUE and 0 bytes returned" \
    said 'flush|\ResidentFlash: ok returned=0'
check "flush: files made below the root came back under all 16 FAT-like losses ($kept)" [ "$kept" = 16 ]
made_below
check "no flush: the same files did not come back under every FAT-like loss ($kept of 16)" [ "$kept" -lt 16 ]

mount_flash
calls 'ioctl|\ResidentFlash|0x90088' 'flush-null' 'flush-overlapped|\ResidentFlash' 'flush|\NoSuchFolder'
check "another control code: ERROR_NOT_SUPPORTED" said 'ioctl|\ResidentFlash|0x90088: error 50'
check "no folder: ERROR_INVALID_PARAMETER" said 'flush-null: error 87'
check "an OVERLAPPED: ERROR_INVALID_PARAMETER" said 'flush-overlapped|\ResidentFlash: error 87'
check "a folder that is not there: the platform's error" grep -q '^flush|\\NoSuchFolder: error [1-9]' "$tmp/said"
check "none of them reached the file system as a flush" [ "$(stat_of fsyncdir)" = 0 ]

echo "test_wine_calls: $failures failed"
[ "$failures" = 0 ]
