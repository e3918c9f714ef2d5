#!/bin/bash
# Runs one Win32 program of the build under Wine, the way the device would run it.
#
#   wine-run.sh --build DIR [--screen] [--root DIR] PROGRAM.exe [ARGS...]
#   wine-run.sh --build DIR [--screen] [--root DIR] 'C:\windows\system32\cmd.exe' [ARGS...]
#   wine-run.sh --build DIR [--screen] --start-server | --stop-server
#
# This wrapper owns everything about Wine for the build tree DIR:
#  - the private prefix DIR/wine/prefix, made once: null graphics driver (no X server),
#    no crash dialog, and no z: drive, so that "/ResidentFlash" is a path on the current
#    drive and never a path of the Linux machine;
#  - drive T: mapped to DIR, so that programs run by a drive path and can start siblings;
#  - a device root per run: a fresh folder DIR/wine/roots/<program> (or the folder given
#    with --root, kept as it is), mapped to a drive letter of its own and made the current
#    directory, so that "/SDMMC" lies inside it and programs can run side by side;
#  - the persistent wineserver of a whole test run (--start-server / --stop-server);
#  - with --screen, a second prefix DIR/wine/screen-prefix that draws on the X display in
#    $DISPLAY (the x11 graphics driver), for pictures of the screen; otherwise the same.
# The program's exit code is this script's exit code.
set -u

build="" root="" screen=""
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --screen) screen=1; shift ;;
        --root) root=$2; shift 2 ;;
        *) break ;;
    esac
done
[ -n "$build" ] || { echo "wine-run.sh: --build DIR is required" >&2; exit 2; }
build=$(cd "$build" && pwd -P)

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -n "$screen" ]; then
    [ -n "${DISPLAY:-}" ] || { echo "wine-run.sh: --screen needs an X display in DISPLAY" >&2; exit 2; }
    export WINEPREFIX="$build/wine/screen-prefix"
    driver=x11 prefix_lock=screen-prefix
else
    export WINEPREFIX="$build/wine/prefix"
    driver=null prefix_lock=prefix
    unset DISPLAY
fi
unset WAYLAND_DISPLAY
mkdir -p "$build/wine/locks" "$build/wine/roots"

make_prefix() {
    exec {lock}>"$build/wine/locks/$prefix_lock"
    flock "$lock"
    if [ ! -f "$WINEPREFIX/.ready" ]; then
        rm -rf "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d $driver /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        wineserver -w
        rm -f "$WINEPREFIX/dosdevices/z:"
        touch "$WINEPREFIX/.ready"
    fi
    ln -sfn "$build" "$WINEPREFIX/dosdevices/t:"
    exec {lock}>&-
}

make_prefix

case "${1:-}" in
    --start-server) wineserver -p >/dev/null 2>&1 </dev/null & exit 0 ;;
    --stop-server) wineserver -k >/dev/null 2>&1; exit 0 ;;
    "") echo "wine-run.sh: no program given" >&2; exit 2 ;;
esac

# A program is a file of the Linux machine, or one of Wine's own given by its Windows path.
case "$1" in
    [A-Za-z]:\\*)
        winpath=$1 name=${1##*\\} name=${name%.[eE][xX][eE]} ;;
    *)
        program=$(readlink -f "$1") name=$(basename "$program" .exe)
        case "$program" in
            "$build"/*) winpath="T:$(printf '%s' "${program#"$build"}" | tr / '\\')" ;;
            *) winpath="$program" ;;
        esac ;;
esac
shift

# A drive letter of our own for the device root, held by a lock for as long as we run.
letter=""
for l in d e f g h i j k l m n o p q r s u v w x y; do
    exec {held}>"$build/wine/locks/drive-$l"
    if flock -n "$held"; then letter=$l; break; fi
    exec {held}>&-
done
[ -n "$letter" ] || { echo "wine-run.sh: no free drive letter" >&2; exit 2; }

if [ -z "$root" ]; then
    root="$build/wine/roots/$name.$letter"
    rm -rf "$root"
fi
mkdir -p "$root"
root=$(cd "$root" && pwd -P)
ln -sfn "$root" "$WINEPREFIX/dosdevices/$letter:"

# Wine's own helper processes (services, explorer) live as long as the wineserver and keep
# whatever output they inherited open: the program writes to a file, shown when it ends, so
# that no caller waits for a pipe that never closes.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
cd "$root" || exit 2
timeout --kill-after=5 "${TESSIVARD_TIMEOUT:-1800}" wine "$winpath" "$@" >"$out" 2>&1 </dev/null {held}>&-
status=$?
cat "$out"
exit $status
