#!/bin/bash
# Runs one Win32 program of the build under Wine, the way the device would run it.
#
#   wine-run.sh --build DIR [--screen] [--root DIR] [--rerun-on-signal] PROGRAM.exe [ARGS...]
#   wine-run.sh --build DIR [--screen] [--root DIR] [--rerun-on-signal] 'C:\windows\system32\cmd.exe' [ARGS...]
#   wine-run.sh --build DIR [--screen] --start-server | --stop-server | --server-running
#
# This wrapper owns everything about Wine for the build tree DIR:
#  - the private prefix DIR/wine/prefix, made once: null graphics driver (no X server),
#    no crash dialog, and no z: drive, so that "/ResidentFlash" is a path on the current
#    drive and never a path of the Linux machine;
#  - drive T: mapped to DIR, so that programs run by a drive path and can start siblings;
#  - a device root per run: a fresh folder DIR/wine/roots/<program> (or the folder given
#    with --root, kept as it is), mapped to a drive letter of its own and made the current
#    directory, so that "/SDMMC" lies inside it and programs can run side by side;
#  - the persistent wineserver of a whole test run (--start-server / --stop-server), whose
#    messages go to DIR/wine/wineserver.log; --server-running answers 0 when one is up for
#    the prefix (started by anyone), so that a script stops only the server it started;
#  - with --screen, a second prefix DIR/wine/screen-prefix that draws on the X display in
#    $DISPLAY (the x11 graphics driver), for pictures of the screen; otherwise the same.
#    TESSIVARD_SCREEN=1 in the environment does the same for every run a script makes, its
#    helpers' included (tools/tessivard-card): the demo runs all of them on its screen, in
#    one prefix under one server.
# The program's exit code is this script's exit code. When Wine's own Unix process dies of a
# Unix signal (SIGSEGV...: exit status 128 + the signal), that is a crash inside Wine, not an
# exit code of the program: a line on stderr says so, and with --rerun-on-signal the program
# runs once more (in a fresh root, unless --root gave one) and that run's status counts; the
# line says that too. A Windows exception in the program (status 5 for an access violation,
# 253 for a stack overflow...) and any other exit code stand as they are.
set -u

build="" root="" screen=${TESSIVARD_SCREEN:+1} rerun=""
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --screen) screen=1; shift ;;
        --root) root=$2; shift 2 ;;
        --rerun-on-signal) rerun=1; shift ;;
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
# Every run passes here: each command that is not bash's own costs a process start, as long
# as Wine's start of a small program; the common path takes few of them.
[ -d "$build/wine/roots" ] || mkdir -p "$build/wine/locks" "$build/wine/roots"

make_prefix() {
    [ -f "$WINEPREFIX/.ready" ] && [ "$(readlink "$WINEPREFIX/dosdevices/t:")" = "$build" ] && return
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
    # Left as it is when right: a run beside this one may be opening a file through T:.
    [ "$(readlink "$WINEPREFIX/dosdevices/t:")" = "$build" ] || ln -sfn "$build" "$WINEPREFIX/dosdevices/t:"
    exec {lock}>&-
}

make_prefix

# The persistent wineserver's own messages go to a log beside the prefix, never away: a run
# that ends oddly is read against what the server said meanwhile (the power-loss harness
# shows the lines a run's life added). Each start is marked; a start that finds a server
# running leaves it and only its mark.
server_log="$build/wine/wineserver${screen:+-screen}.log"
case "${1:-}" in
    --start-server) echo "wine-run.sh: --start-server $(date '+%F %T') for $WINEPREFIX" >>"$server_log"
                    wineserver -p >>"$server_log" 2>&1 </dev/null & exit 0 ;;
    --stop-server) echo "wine-run.sh: --stop-server $(date '+%F %T')" >>"$server_log"
                   wineserver -k >>"$server_log" 2>&1; exit 0 ;;
    --server-running)
        # A prefix's wineserver works in a folder named for the prefix's device and inode.
        dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
        for pid in $(pgrep wineserver); do
            case "$(readlink "/proc/$pid/cwd" 2>/dev/null)" in */"$dir") exit 0 ;; esac
        done
        exit 1 ;;
    "") echo "wine-run.sh: no program given" >&2; exit 2 ;;
esac

# A program is a file of the Linux machine, or one of Wine's own given by its Windows path.
case "$1" in
    [A-Za-z]:\\*)
        winpath=$1 name=${1##*\\} name=${name%.[eE][xX][eE]} ;;
    *)
        program=$(readlink -f "$1") name=${program##*/} name=${name%.exe}
        case "$program" in
            "$build"/*) winpath=${program#"$build"} winpath="T:${winpath//\//\\}" ;;
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

fresh_root=""
if [ -z "$root" ]; then
    root="$build/wine/roots/$name.$letter" fresh_root=1
    rm -rf "$root"
fi
mkdir -p "$root"
root=$(cd "$root" && pwd -P)

# Wine gives a program the first drive letter that maps its Unix working directory, not
# the one mapped for it: another letter left on this root would be the program's drive,
# and the run that holds it, or takes it next, re-points it under the program. Every run
# removes its letter when it ends; a letter left by a run that was killed is removed here,
# and one that another run holds is waited for until that run re-points or frees it.
for l in d e f g h i j k l m n o p q r s u v w x y; do
    [ "$l" = "$letter" ] && continue
    link="$WINEPREFIX/dosdevices/$l:"
    [ -L "$link" ] && [ "$(readlink "$link" 2>/dev/null)" = "$root" ] || continue
    exec {other}>"$build/wine/locks/drive-$l"
    for _ in $(seq 600); do
        [ "$(readlink "$link" 2>/dev/null)" = "$root" ] || break
        if flock -n "$other"; then
            [ "$(readlink "$link" 2>/dev/null)" = "$root" ] && rm -f "$link"
            break
        fi
        sleep 0.1
    done
    exec {other}>&-
done
ln -sfn "$root" "$WINEPREFIX/dosdevices/$letter:"
# The letter's link as made: one that another hand re-points while the program runs (a new
# link, a new inode) moves the program's drive under it, and its paths with it; the run says so.
drive_link=$(stat -c %i "$WINEPREFIX/dosdevices/$letter:")

# A program the run started (the follow-on program) may outlive it, and finds its files
# through the same letter: the letter stays ours until no process works in the root, or
# for at most TESSIVARD_LINGER seconds.
lingering() {
    ls -l /proc/[0-9]*/cwd 2>/dev/null |
        awk -v root="$root" '{ t = substr($0, index($0, " -> ") + 4) }
                             t == root || index(t, root "/") == 1 { found = 1 } END { exit !found }'
}
wait_for_lingering() {
    local waited=0
    while lingering; do
        if [ $waited -ge $((${TESSIVARD_LINGER:-30} * 10)) ]; then
            echo "wine-run.sh: a process still works in $root after ${TESSIVARD_LINGER:-30} s; drive $letter: released" >&2
            return
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
}

# Wine's own helper processes (services, explorer) live as long as the wineserver and keep
# whatever output they inherited open: the program writes to a file, shown when it ends, so
# that no caller waits for a pipe that never closes.
out="$build/wine/locks/output-$letter"   # the letter's lock is ours: so is this file, until the end
run_once() {
    cd "$root" || exit 2
    local t0=${EPOCHREALTIME/./}
    timeout --kill-after=5 "${TESSIVARD_TIMEOUT:-1800}" wine "$winpath" "$@" >"$out" 2>&1 </dev/null {held}>&-
    status=$?
    local t=$(((${EPOCHREALTIME/./} - t0) / 100000))
    seconds=$((t / 10)).$((t % 10))
    cd / || exit 2
    [ "$(stat -c %i "$WINEPREFIX/dosdevices/$letter:" 2>/dev/null)" = "$drive_link" ] ||
        echo "wine-run.sh: drive $letter: was re-pointed while $name ran (it maps $(readlink "$WINEPREFIX/dosdevices/$letter:" || echo nothing) now, not $root): its paths may have named other folders" >&2
    wait_for_lingering
    [ -s "$out" ] && cat "$out"
    # Wine reports an exception nobody handled ("wine: Unhandled page fault ...") and starts
    # its debugger, which ends the process; now and then the exit code is then 0. The
    # exception's own code stands instead: 5 for an access violation, 253 for a stack overflow.
    if [ "$status" = 0 ] && [ -s "$out" ] && grep -q '^wine: Unhandled ' "$out"; then
        case "$(grep -m1 '^wine: Unhandled ' "$out")" in
            *"page fault"*) status=5 ;;
            *"stack overflow"*) status=253 ;;
            *) status=1 ;;
        esac
        echo "wine-run.sh: $name ended in an exception nobody handled, though Wine gave exit code 0: exit code $status" >&2
    fi
}

# A status of 128 + N is Wine's Unix process killed by signal N: timeout reports its own
# kill as 124 (or 137 after --kill-after), and Wine turns the program's exceptions into
# exit codes below 128.
died_of_signal() { [ "$status" -gt 128 ] && [ "$status" -lt 160 ] && [ "$status" -ne 137 ]; }
signal_line() {
    echo "wine-run.sh: Wine's process died of SIG$(kill -l $((status - 128))) (Unix signal $((status - 128)), exit status $status) after $seconds s running $name: a crash inside Wine, not an exit code of the program$1" >&2
}

run_once "$@"
if died_of_signal; then
    if [ -n "$rerun" ]; then
        signal_line "; running it once more"
        if [ -n "$fresh_root" ]; then rm -rf "$root" && mkdir -p "$root"; fi
        run_once "$@"
        if died_of_signal; then signal_line " (again)"; else echo "wine-run.sh: the second run of $name ended with exit code $status" >&2; fi
    else
        signal_line ""
    fi
fi
# The output file goes too: a child that outlived the wait writes on into it, never into the
# next run's.
rm -f "$WINEPREFIX/dosdevices/$letter:" "$out"
exit $status
