#!/bin/bash
# The Wine wrapper's own promises (tools/wine-run.sh):
#  - Wine's process killed by a Unix signal is told apart from the program's exit code, and
#    with --rerun-on-signal the program runs once more, saying so; a Windows exception in the
#    program is its exit code, never run again;
#  - the program's drive is the letter mapped for it, even while another run still holds a
#    letter on the same root; no letter maps the root once the run is over;
#  - a process the program started keeps the drive until it ends;
#  - what the persistent wineserver prints goes to BUILD/wine/wineserver.log, after a mark;
#  - TESSIVARD_SCREEN=1 in the environment takes the screen's prefix, for every run.
#   wine_run_checks.sh BUILD
set -u
build=$(cd "$1" && pwd -P)
wrapper="$(dirname "$0")/../tools/wine-run.sh"
dosdevices="$build/wine/prefix/dosdevices"
passed=0 failed=0
check() {   # check NAME CONDITION...
    local name=$1; shift
    if eval "$*"; then echo "  ok    $name"; passed=$((passed + 1)); else echo "  FAIL  $name"; failed=$((failed + 1)); return 1; fi
}
fresh() { root="$build/wine/roots/wine_run_checks.$1"; rm -rf "$root"; mkdir -p "$root"; root=$(cd "$root" && pwd -P); }
maps_root() { local l; for l in "$dosdevices"/?:; do [ "$(readlink "$l")" = "$root" ] && return 0; done; return 1; }
# The hold_open processes that work in this run's root (never another run's, on this machine).
holders() {
    local p
    for p in $(pgrep -f "^T:.hold_open\.exe $1 "); do
        [ "$(readlink "/proc/$p/cwd" 2>/dev/null)" = "$root" ] && echo "$p"
    done
}
# The Unix process of the hold_open run on FILE, once it holds FILE.
holder_pid() {
    local i p
    for i in $(seq 200); do
        p=$(holders "$1" | head -1)
        [ -n "$p" ] && [ -f "$root/$1.held" ] && { echo "$p"; return 0; }
        sleep 0.1
    done
    return 1
}

echo "Deaths inside Wine and the program's own exit codes:"
fresh signal
echo data > "$root/held.txt"
"$wrapper" --build "$build" --root "$root" "$build/hold_open.exe" held.txt 60 >/dev/null 2>"$root.err" &
run=$!
# SIGHUP: Wine handles a SIGSEGV sent from outside as an exception of the program (or not
# at all), but leaves SIGHUP's default action, a death by that signal, like a crash of its own.
pid=$(holder_pid held.txt) && kill -HUP "$pid"
wait $run
status=$?
check "Wine's process killed by a Unix signal: the status stays 128 + the signal" '[ $status = 129 ]'
check "and a line names the signal and Wine, not the program" \
    'grep -q "^wine-run.sh: Wine.s process died of SIGHUP (Unix signal 1, exit status 129).*not an exit code of the program$" "$root.err"'

fresh rerun
echo data > "$root/held.txt"
"$wrapper" --build "$build" --root "$root" --rerun-on-signal "$build/hold_open.exe" held.txt 60 >/dev/null 2>"$root.err" &
run=$!
pid=$(holder_pid held.txt) && rm -f "$root/held.txt.held" && kill -HUP "$pid"
second=$(holder_pid held.txt)
: > "$root/release"
wait $run
status=$?
check "with --rerun-on-signal the program runs once more, and that run's status counts" \
    '[ -n "$second" ] && [ "$second" != "$pid" ] && [ $status = 0 ]'
check "and the output says so" \
    'grep -q "SIGHUP.*running it once more$" "$root.err" && grep -q "the second run of hold_open ended with exit code 0" "$root.err"'

fresh exception
"$wrapper" --build "$build" --root "$root" --rerun-on-signal "$build/tests/test_harness.exe" --fault >/dev/null 2>"$root.err"
status=$?
# Wine's own exit code for it is now and then 0 (its debugger ends the process).
check "an access violation in the program is its exit code 5, not run again (exit code $status)" \
    '[ $status = 5 ] && ! grep -q "once more" "$root.err"'

echo "The program's drive:"
fresh drive
# Another run's letter on this root: held, and re-pointed a second later, as a run that
# takes a letter does. The program's drive must be the wrapper's own letter all along.
for l in d e f g h i j k l m n o p q r s u v w x y; do
    exec {other}>"$build/wine/locks/drive-$l"
    if flock -n "$other"; then taken=$l; break; fi
    exec {other}>&-
done
ln -sfn "$root" "$dosdevices/$taken:"
(sleep 1; ln -sfn "$build/wine/roots" "$dosdevices/$taken:") &
drive=$("$wrapper" --build "$build" --root "$root" 'C:\windows\system32\cmd.exe' /c cd | tr -d '\r')
wait
rm -f "$dosdevices/$taken:"
exec {other}>&-
check "a letter another run holds on the same root is not the program's drive ($drive)" \
    '[ -n "$drive" ] && [ "${drive,,}" != "$taken:\\" ]'
check "no letter maps the root once the run is over" '! maps_root'

fresh linger
echo data > "$root/child.txt"
# The child lets go once it holds its file and cmd, which started it, has ended.
cmd_ended() { for p in $(pgrep -f '^C:.windows.system32.cmd.exe /c start'); do [ "$(readlink /proc/$p/cwd)" != "$root" ] || return 1; done; }
(until [ -f "$root/child.txt.held" ] && cmd_ended; do sleep 0.1; done; : > "$root/release") & releaser=$!
"$wrapper" --build "$build" --root "$root" 'C:\windows\system32\cmd.exe' /c start 'T:\hold_open.exe' child.txt 60 >/dev/null 2>"$root.err"
kill $releaser 2>/dev/null
check "a program the run started ran (it marked its file held)" '[ -f "$root/child.txt.held" ]' || cat "$root.err"
check "and ended before the wrapper did" '[ -z "$(holders child.txt)" ]' || cat "$root.err"

echo "The persistent wineserver's log:"
# A stand-in wineserver first on PATH, which prints a line on each output and ends, in
# place of the real one (a second real server would only find the first one running).
fresh serverlog
log="$build/wine/wineserver.log"
mkdir -p "$root/bin"
printf '#!/bin/sh\necho "stand-in server $$ says $*"\necho "stand-in server $$ complains" >&2\n' >"$root/bin/wineserver"
chmod +x "$root/bin/wineserver"
from=$(stat -c %s "$log" 2>/dev/null || echo 0)
said=$(PATH="$root/bin:$PATH" "$wrapper" --build "$build" --start-server 2>&1)
for _ in $(seq 50); do tail -c +$((from + 1)) "$log" 2>/dev/null | grep -q "complains" && break; sleep 0.1; done
added=$(tail -c +$((from + 1)) "$log" 2>/dev/null)
check "--start-server marks the log and prints nothing itself" \
    '[ -z "$said" ] && grep -q "^wine-run.sh: --start-server .* for $build/wine/prefix$" <<<"$added"'
check "the server's stdout and stderr both go to the log, after the mark" \
    'grep -A2 "^wine-run.sh: --start-server" <<<"$added" | grep -q "^stand-in server [0-9]* says -p$" &&
     grep -q "^stand-in server [0-9]* complains$" <<<"$added"'

echo "The screen's prefix by the environment (make demo runs every run there, under one server):"
# No display is given, so a run meant for the screen's prefix stops before Wine starts.
fresh screen
mkdir -p "$root/card/ResidentFlash"
env -u DISPLAY TESSIVARD_SCREEN=1 "$wrapper" --build "$build" --root "$root" "$build/follow_on.exe" >/dev/null 2>"$root.err"
status=$?
check "TESSIVARD_SCREEN=1 takes the screen's prefix, as --screen does (exit status $status)" \
    '[ $status = 2 ] && grep -q "^wine-run.sh: --screen needs an X display" "$root.err"'
env -u DISPLAY TESSIVARD_SCREEN=1 TESSIVARD_BUILD="$build" "$(dirname "$0")/../tools/tessivard-card" check \
    --card "$root/card" >/dev/null 2>"$root.err"
status=$?
check "and so do the card maker's runs (exit status $status)" \
    '[ $status = 2 ] && grep -q "^wine-run.sh: --screen needs an X display" "$root.err"'

echo "$passed passed, $failed failed"
[ $failed = 0 ]
