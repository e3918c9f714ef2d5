#!/bin/bash
# The device's stacks: whole updates by the stack builds, in which every thread of the
# program (the UI thread, the worker, the I/O threads) has the 64 KiB of stack the device
# gives it and ends in a stack overflow past them (tests/variants/stack_guard.cpp).
# First the guard itself, by the bite build: a run that takes 80 KiB of the worker's stack,
# in calls of 1 KiB one below the other or in one frame, ends in a stack overflow (exit
# status 253) and starts nothing; one that takes 40 KiB ends as a run does, and the worker's
# report says it went that deep. Then whole updates by the build with I/O threads and the
# one without: a card as the device meets one, and the deepest tree the walks' paths of
# 259 characters allow, the device's MAX_PATH (116 nested folders of one-letter names below a
# folder of the card, 118 in a flash folder that a delete marker removes), as it is and (by the build with I/O
# threads: the card's check runs on the worker alike in both) made with a manifest by the
# card maker. After each: exit code 0, the follow-on program started, the flash store
# exactly as expected, the card folder empty, and every thread's deepest use reported
# (printed, in bytes from the top of its stack). Three runs at once, in roots of their own.
#   stack_runs.sh BUILD
set -u
build=$(cd "$1" && pwd -P)
tools=$(cd "$(dirname "$0")/../tools" && pwd -P)
fail_setup() { echo "stack_runs: $*" >&2; exit 1; }
[ -f "$build/follow_on.exe" ] || fail_setup "no follow_on.exe in $build"
for program in Tessivard_stack Tessivard_stack_noio Tessivard_stack_bite; do
    [ -f "$build/tests/$program.exe" ] || fail_setup "no $program.exe in $build/tests"
done

roots="$build/wine/roots/stack_runs.$$"
work=$(mktemp -d "${TMPDIR:-/tmp}/stack_runs.XXXXXX") || fail_setup "cannot make a scratch folder"
trap 'wait; rm -rf "$roots".* "$work"' EXIT
pass() { echo "  ok    $1"; }
fail() { echo "  FAIL  $1"; }
# A case, FUNCTION ARGS..., in the background (three at most at once) in a root of its own.
cases=0
start() {
    while [ "$(jobs -rp | wc -l)" -ge 3 ]; do wait -n; done
    cases=$((cases + 1))
    (root="$roots.$cases" out="$work/out.$cases"; "$@") >"$work/case.$cases" 2>&1 &
}

random() { mkdir -p "$(dirname "$1")" && head -c "$2" /dev/urandom >"$1"; }

# FOLDER/a/a/... as deep as a device path of DEVICE_PATH's length allows the walks to list it
# (its listing pattern "\*.*" within the device's 259 characters), with a file f at the bottom; the
# number of levels.
deepest_chain() {   # deepest_chain FOLDER DEVICE_PATH
    local path=$1 device=$2 levels=0
    while [ $((${#device} + 2 + 4)) -le 259 ]; do
        path=$path/a device=$device/a levels=$((levels + 1))
    done
    mkdir -p "$path" && echo "the deepest file" >"$path/f" || fail_setup "cannot make $path"
    echo "$levels"
}

# A device: the flash store NOW, and the card folder CARD laid into a fresh device root.
lay_out() {   # lay_out NOW CARD
    rm -rf "$root" && mkdir -p "$root/SDMMC" && cp -a "$1" "$root/ResidentFlash" && cp -a "$2" "$root/SDMMC/ResidentFlash" ||
        fail_setup "cannot lay out the device in $root"
}

# Runs build/tests/PROGRAM.exe on the device, with the given VAR=VALUE settings: its exit
# status in $status, its threads' report in $report ("ui 16728 worker 9040 io 8272 io 8272").
run() {   # run PROGRAM [VAR=VALUE...]
    local program=$1
    shift
    rm -f "$root/stack.txt"
    env "$@" TESSIVARD_STACK_REPORT='\stack.txt' TESSIVARD_TIMEOUT=300 "$tools/wine-run.sh" --build "$build" --root "$root" \
        --rerun-on-signal "$build/tests/$program.exe" >"$out" 2>&1
    status=$?
    grep '^wine-run.sh:' "$out" | sed 's/^/  note  /'
    report=""
    [ -f "$root/stack.txt" ] && report=$(tr '\n' ' ' <"$root/stack.txt" | sed 's/ $//')
}

# The follow-on program's record of its start: the wrapper returns only once no process
# works in the root, the follow-on program (in the program's current folder) included.
started() { [ -s "$root/ResidentFlash/qormane/started.txt" ]; }

# Every thread the program ran, measured: the UI thread, the worker, and the I/O threads of
# the build that has them. Their figures, or what is wrong with the report.
measured() {   # measured PROGRAM
    local expected="ui worker" got
    [ "$1" = Tessivard_stack ] && expected="ui worker io io"
    got=$(echo "$report" | awk '{ for (i = 1; i < NF; i += 2) if ($(i + 1) ~ /^[0-9]+$/) printf "%s ", $i }' | sed 's/ $//')
    [ "$got" = "$expected" ] || { echo "threads measured: '$got' of '$expected' (report: '$report')"; return 1; }
}

# What one run left wrong, as a list of faults; empty when it left everything right.
faults() {   # faults PROGRAM EXPECTED_FLASH
    [ "$status" = 0 ] || echo "exit code $status"
    started || echo "the follow-on program did not start"
    # The run's result record is its account, no content (no card writes it at any depth).
    diff -rq -x started.txt -x '~tessivard-result' "$2" "$root/ResidentFlash" >"$out.diff" 2>&1 ||
        echo "the flash store is not as expected: $(head -3 "$out.diff" | paste -sd';')"
    if [ ! -d "$root/SDMMC/ResidentFlash" ]; then echo "no card folder"
    elif [ -n "$(ls -A "$root/SDMMC/ResidentFlash")" ]; then echo "the card folder still holds $(find "$root/SDMMC/ResidentFlash" | wc -l) entries"; fi
    measured "$1"
}

whole_run() {   # whole_run NAME PROGRAM NOW CARD EXPECTED_FLASH
    local found
    lay_out "$3" "$4"
    [ -f "$4/../nk.rom" ] && cp "$4/../nk.rom" "$root/SDMMC/nk.rom"
    local t0=$SECONDS
    run "$2"
    found=$(faults "$2" "$5")
    [ -e "$root/SDMMC/nk.rom" ] && found="$found${found:+; }the image file nk.rom is still on the card"
    if [ -z "$found" ]; then pass "$1, $2.exe ($((SECONDS - t0)) s): deepest use $report"
    else fail "$1, $2.exe: $(echo "$found" | paste -sd';' | sed 's/;/; /g')"; fi
}

echo "The device's stacks:"

# --- the guard bites -----------------------------------------------------------------
mkdir -p "$work/plain/now/qormane" "$work/plain/card"
cp "$build/follow_on.exe" "$work/plain/now/qormane/Lindvaret.exe" || fail_setup "cannot copy follow_on.exe"
bites() {   # bites BITE: 80 KiB end in a stack overflow, starting nothing; 40 KiB as a run does
    lay_out "$work/plain/now" "$work/plain/card"
    run Tessivard_stack_bite TESSIVARD_STACK_BITE=$1
    worker=$(echo "$report" | awk '{ for (i = 1; i < NF; i += 2) if ($i == "worker") print $(i + 1) }')
    if [ "$1" = calls:40960 ]; then
        if [ "$status" = 0 ] && started && [ "${worker:-0}" -ge 40960 ] 2>/dev/null; then
            pass "a worker that takes 40 KiB of stack in calls ends as a run does, and went $worker bytes deep"
        else fail "a worker that takes 40 KiB of stack: exit code $status, follow-on $(started && echo started || echo not started), report '$report'"; fi
    elif [ "$status" = 253 ] && ! started; then pass "a worker that takes 80 KiB of stack ($1) ends in a stack overflow, starting nothing"
    else fail "a worker that takes 80 KiB of stack ($1): exit code $status, the follow-on program $(started && echo started || echo not started)"; fi
}

# --- a card as the device meets one --------------------------------------------------
d="$work/normal"
mkdir -p "$d/now/qormane" && cp "$build/follow_on.exe" "$d/now/qormane/Lindvaret.exe"
random "$d/now/maps/seoul.map" 200000
random "$d/now/voice/old.ogg" 3000
random "$d/now/voice/ko/guide.wav" 3000
random "$d/card/maps/seoul.map" 300000
random "$d/card/maps/regions/gangwon.map" 70000
random "$d/card/poi/fuel.poi" 1000
random "$d/card/voice/new.ogg" 5000
: >"$d/card/update" && : >"$d/card/delete_voice" && echo kernel >"$d/nk.rom"
mkdir -p "$d/expected" && cp -a "$d/now/." "$d/expected/" && rm -r "$d/expected/voice" && cp -a "$d/card/." "$d/expected/" &&
    rm "$d/expected/update" "$d/expected/delete_voice" || fail_setup "cannot make the expected flash store"

# --- the deepest tree the walks' paths allow -----------------------------------------
# On the card below its folder d, and in the flash folder old, which the card's marker removes.
e="$work/deepest"
mkdir -p "$e/now/qormane" && cp "$build/follow_on.exe" "$e/now/qormane/Lindvaret.exe"
old_levels=$(deepest_chain "$e/now/old" "/ResidentFlash/old")
mkdir -p "$e/card" && card_levels=$(deepest_chain "$e/card/d" "/SDMMC/ResidentFlash/d")
: >"$e/card/update" && : >"$e/card/delete_old"
mkdir -p "$e/expected" && cp -a "$e/now/qormane" "$e/card/d" "$e/expected/" || fail_setup "cannot make the expected flash store"
echo "  (the deepest tree: $card_levels levels below the card's folder d, $old_levels below the flash folder old)"

# The longest runs first, the card maker's beside them.
for p in Tessivard_stack Tessivard_stack_noio; do start whole_run "the deepest tree copied in and deleted by a marker" $p "$e/now" "$e/card" "$e/expected"; done
# The same update as the card maker writes it, with its manifest.
mkdir -p "$e/new" && cp -a "$e/expected/." "$e/new/" || fail_setup "cannot make NEW"
made=$(TESSIVARD_BUILD="$build" "$tools/tessivard-card" make --from "$e/now" --to "$e/new" --card "$e/made" 2>&1) ||
    fail_setup "the card maker did not make the deepest card: $made"
[ -f "$e/made/ResidentFlash/~tessivard-manifest" ] && [ -f "$e/made/ResidentFlash/delete_old" ] ||
    fail_setup "the card maker's deepest card has no manifest or no delete marker"
start whole_run "the same with a manifest" Tessivard_stack "$e/now" "$e/made/ResidentFlash" "$e/expected"
for p in Tessivard_stack Tessivard_stack_noio; do start whole_run "a card with a delete marker and an image file" $p "$d/now" "$d/card" "$d/expected"; done
for bite in calls:81920 frame:81920 calls:40960; do start bites $bite; done
wait && cat "$work"/case.* && passed=$(cat "$work"/case.* | grep -c '^  ok ')
echo "$passed passed, $((cases - passed)) failed"
[ "$passed" = "$cases" ]
