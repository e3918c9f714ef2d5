#!/bin/bash
# The bench's own checks: its statistics, its data sets and the check of a finished
# update, the counts of count_messages against runs whose steps follow from their trees,
# the parts probe, the hash's speed, and run.sh end to end on the empty set.
#   test_bench.sh BUILD [--sets]
# Run by ctest inside `make test`, whose wineserver it shares.
set -u
bench=$(cd "$(dirname "$0")/.." && pwd -P)
build=$(cd "$1" && pwd -P)
. "$bench/lib.sh"
wine_run() { "$bench/../tools/wine-run.sh" --build "$build" "$@"; }
scratch=$(mktemp -d "$build/bench-test.XXXXXX")
# The build's wineserver is up for every run.sh below, as in `make test`; one started here
# is stopped here.
started=""
wine_run --server-running || { started=1; wine_run --start-server; }
trap 'rm -rf "$scratch"; [ -z "$started" ] || wine_run --stop-server' EXIT
for _ in $(seq 50); do wine_run --server-running && break; sleep 0.1; done

failures=0
expect_eq() {
    if [ "$2" != "$3" ]; then
        echo "FAILED: $1: got '$2', expected '$3'"
        failures=$((failures + 1))
        return 1
    fi
}
expect_true() {
    if ! eval "$2"; then
        echo "FAILED: $1 ($2)"
        failures=$((failures + 1))
        return 1
    fi
}
put() { mkdir -p "$(dirname "$1")" && head -c "$2" /dev/urandom >"$1"; }
value() { tr -d '\r' <<<"$1" | awk -v k="$2" '$1 == k { print $2 }'; }

# --sets: the shapes of the two largest sets alone (5,000 files in one folder; runs of empty
# folders beside 92 MiB of files), which take most of this script's time to make, and run.sh's
# card maker options end to end: the entry bench_sets, run by make soak.
if [ "${2:-}" = --sets ]; then
    make_set onefolder "$scratch/onefolder"
    expect_eq "onefolder: 5,000 files of 1 KiB in one folder" \
        "$(tree_listing "$scratch/onefolder/root/SDMMC/ResidentFlash" | grep -c $'^1024\td000/f[0-9]*\.dat$')" "5000"
    rm -rf "$scratch/onefolder"

    # Runs of empty folders where the walks meet them before, between and right before large
    # files: the parts of a block in the order Wine lists them (sorted without regard to case).
    make_set emptyruns "$scratch/emptyruns"
    card="$scratch/emptyruns/root/SDMMC/ResidentFlash"
    expect_eq "emptyruns: 3,000 files of 4 KiB and 20 of 4 MiB" \
        "$(cut -f1 "$scratch/emptyruns/expected" | sort | uniq -c | awk '{ printf "%s:%s ", $2, $1 }')" "4096:3000 4194304:20 "
    expect_eq "emptyruns: its card's size in files and MiB" "$(set_size "$scratch/emptyruns")" "3020 91.7"
    expect_eq "emptyruns: 50 empty folders at the top, before the blocks" \
        "$(ls "$card" | LC_ALL=C sort -f | head -51 | grep -c '^0e[0-9][0-9]$') $(find "$card" -maxdepth 1 -type d -empty | wc -l)" "50 50"
    listed() { ls "$card/$1" | LC_ALL=C sort -f; }
    after() { listed "$1" | grep -A1 -x "$2" | tail -1; }
    expect_eq "emptyruns: blk00 starts with its run of 16 empty folders" "$(listed blk00 | head -17 | grep -c '^1e')" "16"
    expect_eq "emptyruns: the runs of blk09 are 52 and 16 long" "$(listed blk09 | grep -c '^1e') $(listed blk09 | grep -c '^3e')" "52 16"
    expect_eq "emptyruns: each large file is listed right after a run or the chain" \
        "$(for b in 00 05 09; do echo "$(after blk$b "$(listed blk$b | grep '^3e' | tail -1)") $(after blk$b 6c)"; done | sort -u)" "4big.bin 7big.bin"
    expect_eq "emptyruns: a chain of 40 empty folders, one inside the other" \
        "$(find "$card/blk04/6c" -type d | wc -l) $(find "$card/blk04/6c" -type d -empty | wc -l) $(find "$card/blk04/6c" -type f | wc -l)" "40 1 0"
    expect_eq "emptyruns: the expected folders count every empty one" "$(grep -c . "$scratch/emptyruns/expected_folders")" \
        "$(find "$card" -mindepth 1 -type d | wc -l)"
    rm -rf "$scratch/emptyruns"
    # run.sh's card maker options end to end on the empty set. The cost of checking: the set
    # as a card made twice by the card maker, with and without its manifest, checked and timed
    # like any set; a card applied again; two programs compared on the card with its manifest.
    report=$("$bench/run.sh" "$build" --manifest --set empty --runs 1 2>&1)
    expect_true "run.sh --manifest times the set without and with its manifest, median and minimum" \
        "grep -qE '^\| empty card folder \(fixed cost\) \| 1 \| 0\.0( \| [0-9.]+){4} \| ([0-9.]+|-) \|$' <<<\"\$report\"" || echo "$report"
    expect_true "the card with the manifest holds it, the other none" \
        "[ -f '$build/bench/data/empty.manifest/root/SDMMC/ResidentFlash/~tessivard-manifest' ] && [ ! -e '$build/bench/data/empty.plain/root/SDMMC/ResidentFlash/~tessivard-manifest' ]"

    report=$("$bench/run.sh" "$build" --again --set empty --runs 1 2>&1)
    expect_true "run.sh --again times the card's first run and the same card applied again, each checked" \
        "grep -qE '^\| empty card folder \(fixed cost\) \| 0 \| 0\.0( \| [0-9.]+){4} \| ([0-9.]+|-) \|$' <<<\"\$report\"" || echo "$report"

    report=$("$bench/run.sh" "$build" --compare "$build/Tessivard.exe" "$build/Tessivard.exe" \
        --manifest --set empty --runs 1 --no-count 2>&1)
    expect_true "run.sh --compare --manifest compares the two programs on the card with its manifest" \
        "grep -q '^Each set as a card of the card maker, with its manifest.\$' <<<\"\$report\" && grep -qE '^  B / A  ([0-9.]+|-)  of the minimums' <<<\"\$report\"" ||
        echo "$report"
    # The calls a file costs: a replaced file's two moves by name, an unchanged one's none.
    report=$("$bench/calls_per_file.sh" "$build" 2 2>&1)
    expect_eq "calls_per_file.sh: MoveFileW per new, replaced, unchanged file and one in a marker's folder" \
        "$(grep '^| MoveFileW ' <<<"$report")" "| MoveFileW | 1.00 | 2.00 | 0.00 | 1.00 |" || echo "$report"
    [ "$failures" = 0 ] && echo "all bench set checks passed"
    exit $((failures > 0))
fi

# --- statistics ------------------------------------------------------------------------

expect_eq "median of an odd count, unsorted" "$(median <<<"3.5 1.25 2")" "2.000"
expect_eq "median of an even count is the middle pair's mean" "$(printf '4\n1\n3\n2\n' | median)" "2.500"
expect_eq "median sorts numerically, not as text" "$(median <<<"10 9 100")" "10.000"
expect_eq "median skips the leading blank of a collected list" "$(median <<<" 11.078")" "11.078"
expect_eq "median of nothing is nothing" "$(median <<<"")" ""
expect_eq "ratio to two decimals" "$(ratio 44.1 10.05)" "4.39"
expect_eq "ratio without a positive denominator" "$(ratio 1 0)" "-"
# The fastest run, and the line that names a set whose runs spread too far to tell much (a
# spread of exactly a third of the median is not named).
expect_eq "the minimum of runs collected with a leading blank, numerically" "$(minimum <<<" 10.5 9.25 100")" "9.250"
expect_eq "runs spread over a third of their median at most, and a single run, are not noisy" \
    "$(spread_note "s: A" " 9 12 13"; spread_note "s: A" " 10")" ""
expect_eq "runs spread over more than a third of their median are named" "$(spread_note "small10k: Wine tools" " 29.9 16.4 32.3")" \
    "  small10k: Wine tools runs spread 16.4 to 32.3 s, more than a third of the median 29.9: noisy"
expect_eq "elapsed seconds between two clock readings" "$(elapsed 1700000000.250000 1700000002.000500)" "1.750"

# What people read of a count: each figure from its own counter, times in seconds, and
# the costs per message and per repaint.
record=$(printf '%s\n' "pbm_setpos 20000" "pbm_setrange 2" "paints 10000" "empty_paints 3" "nested_paints 9999" \
    "paint_pixels 70000000" "setpos_ui_ms 20000.0" "paint_ui_ms 5000.0" "phase_start_ms 300.0" "phase_plan_ms 250.0" \
    "phase_work_ms 42000.0" "phase_end_ms 10.0" "total_ms 42560.0")
shown=$(print_counts "Counts:" <<<"$record")
expect_true "counts: messages" 'grep -qx "  progress messages to the bar: PBM_SETPOS 20000, PBM_SETRANGE 2" <<<"$shown"'
expect_true "counts: repaints" 'grep -qx "  repaints of the bar (WM_PAINT): 10000, 9999 of them inside a PBM_SETPOS, 3 with nothing to paint" <<<"$shown"'
expect_true "counts: the area of a repaint" 'grep -q "per repaint (update rectangle): 7000 of" <<<"$shown"'
expect_true "counts: the UI thread's time" 'grep -qx "  UI thread: 20.0 s in PBM_SETPOS (repaints inside included), 5.0 s repainting the bar" <<<"$shown"'
expect_true "counts: per message and per repaint" 'grep -qx "    per PBM_SETPOS 1000 us; per repaint 500 us" <<<"$shown"'
expect_true "counts: the phases" 'grep -q "start to the worker 0.30 s, plan and count 0.25 s, copy and delete 42.00 s, end 0.01 s; whole run 42.56 s" <<<"$shown"'

# --- data sets and the check of a finished update ---------------------------------------

make_uniform_tree "$scratch/uniform" 3 12 100
expect_eq "a uniform tree holds folders x files" "$(find "$scratch/uniform" -type f | wc -l)" "36"
expect_eq "every file of a uniform tree has the size asked for" "$(find "$scratch/uniform" -type f ! -size 100c | wc -l)" "0"
expect_true "files are numbered with as many digits as the last needs" '[ -f "$scratch/uniform/d002/f11.dat" ] && [ -f "$scratch/uniform/d000/f00.dat" ]'

device="$scratch/device"
put "$device/ResidentFlash/kept.dat" 10
put "$device/ResidentFlash/maps/both.map" 20
put "$device/SDMMC/ResidentFlash/maps/both.map" 30
put "$device/SDMMC/ResidentFlash/new folder/new file.dat" 40
expect_eq "the expected flash store: kept, overwritten and new files" "$(expected_flash "$device")" \
    "$(printf '10\tkept.dat\n30\tmaps/both.map\n40\tnew folder/new file.dat')"
expected_flash "$device" >"$scratch/expected"
mkdir -p "$device/SDMMC/ResidentFlash/new folder/empty one"
expected_folders "$device" >"$scratch/expected_folders"
expect_eq "the expected folders: the flash store's and the card's, empty ones too" "$(cat "$scratch/expected_folders")" \
    "$(printf 'maps\nnew folder\nnew folder/empty one')"

# A native update, then the faults check_update must see.
after="$scratch/after"
cp -a "$device" "$after"
(cd "$after" && cp -r SDMMC/ResidentFlash/. ResidentFlash && rm -rf SDMMC/ResidentFlash)
expect_true "a correct update passes" 'check_update "$after" "$scratch/expected" >/dev/null'
mkdir -p "$after/SDMMC/ResidentFlash"
expect_true "a card folder recreated empty passes" 'check_update "$after" "$scratch/expected" >/dev/null'
put "$after/SDMMC/ResidentFlash/left.dat" 1
expect_true "a card folder that still holds files fails" '! check_update "$after" "$scratch/expected" >/dev/null'
rm -rf "$after/SDMMC/ResidentFlash"
head -c 5 /dev/urandom >"$after/ResidentFlash/maps/both.map"
expect_true "a file of the wrong size fails" '! check_update "$after" "$scratch/expected" >/dev/null'
put "$after/ResidentFlash/maps/both.map" 30
rmdir "$after/ResidentFlash/new folder/empty one"
expect_true "a missing empty folder fails" '! check_update "$after" "$scratch/expected" >/dev/null'
mkdir "$after/ResidentFlash/new folder/empty one" "$after/ResidentFlash/stray"
expect_true "an extra folder fails" '! check_update "$after" "$scratch/expected" >/dev/null'
rmdir "$after/ResidentFlash/stray"
rm "$after/ResidentFlash/new folder/new file.dat"
expect_true "a missing file fails" '! check_update "$after" "$scratch/expected" >/dev/null'
mv "$scratch/expected_folders" "$scratch/folders"
put "$after/ResidentFlash/new folder/new file.dat" 40
expect_true "no listing of the expected folders fails, saying so" \
    'check_update "$after" "$scratch/expected" | grep -q "no listing of the expected folders"'
expect_true "a listing of them given by name is used" 'check_update "$after" "$scratch/expected" "$scratch/folders" >/dev/null'

# The set the replacement's cost is measured on: an update of existing files, made where
# run.sh keeps its sets (the run below that refuses a program takes it from there).
small2000="$build/bench/data/small2000"
make_set small2000 "$small2000"
expect_eq "small2000: card files" "$(tree_listing "$small2000/root/SDMMC/ResidentFlash" | grep -c $'^4096\t')" "2000"
expect_eq "small2000: older flash files of the same names" "$(tree_listing "$small2000/root/ResidentFlash" | grep -c $'^2048\t')" "2000"
expect_eq "small2000: every file is replaced" "$(grep -c $'^4096\t' "$small2000/expected")" "2000"
expect_eq "small2000: its card's size in files and MiB" "$(set_size "$small2000")" "2000 7.8"
make_set empty "$scratch/empty"
touch "$scratch/empty/root/mark"
make_set empty "$scratch/empty"
expect_true "a complete set is kept" '[ -f "$scratch/empty/root/mark" ]'
echo 0 >"$scratch/empty/complete"
make_set empty "$scratch/empty"
expect_true "a set of another version is made again" '[ ! -f "$scratch/empty/root/mark" ]'

# --- counts of a run -------------------------------------------------------------------

# A card of 13 entries: 3 files (one empty) and 2 folders at the top, 3 files in one
# folder, 3 files and a folder in the other, 1 file of three 4 KiB buffers and a bit in
# that. The copy and the deletion take a step per entry, each image file one. The dialog
# sends a step's position only when the bar's picture changes: on the 700 px bar of 255
# bands (2.7 px each) a step of a plan this small moves the fill by 20 px or more, past a
# band edge, so every step is sent. Besides the steps, the dialog sends position 0 at its
# start and again after the new range, and the last position once the file work is over;
# it sets the range twice.
count_tree() {
    rm -rf "$device" && mkdir -p "$device/SDMMC"
    local card="$device/SDMMC/ResidentFlash"
    put "$card/a.dat" 10 && put "$card/b.dat" 10 && put "$card/empty.dat" 0
    for f in 1 2 3; do put "$card/sub/$f.dat" 100 && put "$card/Sub Two/$f.dat" 100; done
    put "$card/Sub Two/deeper/x.dat" 12500
}
count_tree
expected_flash "$device" >"$scratch/expected"
expected_folders "$device" >"$scratch/expected_folders"
counts=$(wine_run --root "$device" "$build/bench/count_messages.exe" 'T:\Tessivard.exe')
expect_eq "the counted run ends by itself, watched throughout" "$?" "0"
expect_eq "PBM_SETPOS: 13 copy steps, 13 delete steps, 3 image steps, 2 set-ups, the last position" \
    "$(value "$counts" pbm_setpos)" "32"
expect_eq "PBM_SETRANGE: at the dialog's start and after counting" "$(value "$counts" pbm_setrange)" "2"
expect_eq "the plan is the steps: the bar ends at its upper bound" "$(value "$counts" range_upper) $(value "$counts" last_pos)" "29 29"
expect_eq "no position passes the upper bound" "$(value "$counts" positions_past_upper)" "0"
expect_true "the counted program did its update" 'check_update "$device" "$scratch/expected" >/dev/null'
paints=$(value "$counts" paints)
expect_true "the bar was repainted, at most once per message and the dialog's first paint" \
    '[ "$paints" -ge 1 ] && [ "$paints" -le 33 ] && [ "$(value "$counts" nested_paints)" -le "$paints" ]'
expect_true "the phases are timed and fit in the whole run" "awk -v s=$(value "$counts" phase_start_ms) \
    -v p=$(value "$counts" phase_plan_ms) -v w=$(value "$counts" phase_work_ms) -v e=$(value "$counts" phase_end_ms) \
    -v t=$(value "$counts" total_ms) 'BEGIN { exit !(s > 0 && p >= 0 && w > 0 && e >= 0 && s + p + w + e <= t + 0.5) }'"

expect_true "an update rectangle is never larger than the 700 x 20 bar" \
    '[ "$(value "$counts" paint_pixels)" -gt 0 ] && [ "$(value "$counts" paint_pixels)" -le $((paints * 14000)) ]'

# Keep-source mode: nothing is deleted, so the deletion takes no steps; the marker itself
# is a fourteenth entry of the copy. Every step is sent, as above.
count_tree
put "$device/SDMMC/ResidentFlash/undelete" 0
counts=$(wine_run --root "$device" "$build/bench/count_messages.exe" 'T:\Tessivard.exe')
expect_eq "keep-source PBM_SETPOS: 14 copy steps, 3 image steps, 2 set-ups, the last position" "$(value "$counts" pbm_setpos)" "20"

# Counts are refused when they cannot be whole: a program with no bar to watch, and one
# that is not there.
wine_run --root "$scratch/none" "$build/bench/count_messages.exe" 'T:\follow_on.exe' >"$scratch/err" 2>&1
expect_eq "a program whose bar was never watched fails the count" "$?" "1"
expect_true "and says so" 'grep -q "never watched" "$scratch/err"'
wine_run --root "$scratch/none" "$build/bench/count_messages.exe" 'T:\no such program.exe' >/dev/null 2>&1
expect_eq "a missing program fails the count" "$?" "1"

# --- the parts of a run ------------------------------------------------------------------

count_tree
cp -a "$device/SDMMC/ResidentFlash" "$scratch/card"
parts=$(wine_run --root "$device" "$build/bench/run_parts.exe" rawcopy 4)
expect_eq "rawcopy reports no failed file" "$(value "$parts" failed_files)" "0"
expect_true "rawcopy copies the card byte for byte, through several buffers and none" 'diff -r "$scratch/card" "$device/ResidentFlash" >/dev/null'
expect_true "and the program's delete walk empties the card" '[ ! -e "$device/SDMMC/ResidentFlash" ]'
count_tree
rm -rf "$scratch/card" && cp -a "$device/SDMMC/ResidentFlash" "$scratch/card"
parts=$(wine_run --root "$device" "$build/bench/run_parts.exe" walks)
expect_eq "walks: the plan counts the copy's and the deletion's own steps" "$(value "$parts" counted_steps)" "26"
expect_eq "walks: one step per entry in the copy and in the deletion" "$(value "$parts" steps)" "26"
expect_true "walks: the program's copy arrives" 'diff -r "$scratch/card" "$device/ResidentFlash" >/dev/null'
wine_run --root "$scratch/none" "$build/bench/run_parts.exe" rawcopy 0 >/dev/null 2>&1
expect_eq "rawcopy refuses a buffer of no size" "$?" "2"
count_tree
put "$device/ResidentFlash/maps/seoul.map" 100
rm -rf "$scratch/before" && cp -a "$device" "$scratch/before"
parts=$(wine_run --root "$device" "$build/bench/run_parts.exe" recover 50)
expect_true "recover: a start with nothing to recover is timed" '[[ "$(value "$parts" recover_us)" =~ ^[0-9.]+$ ]]'
expect_true "and changes nothing" 'diff -r "$scratch/before/ResidentFlash" "$device/ResidentFlash" >/dev/null &&
    diff -r "$scratch/before/SDMMC" "$device/SDMMC" >/dev/null'
wine_run --root "$scratch/none" "$build/bench/run_parts.exe" recover 0 >/dev/null 2>&1
expect_eq "recover refuses no starts" "$?" "2"
parts=$(wine_run --root "$scratch/none" "$build/bench/run_parts.exe" steps 40)
expect_eq "steps: the dialog's worker takes the steps asked for" "$(value "$parts" steps)" "40"

# --- the hash's speed ---------------------------------------------------------------------

out=$(wine_run --root "$scratch/none" "$build/bench/hash_speed.exe" 1 1)
expect_eq "hash_speed: the program's SHA-256 and the platform's give one digest" "$(value "$out" same_digest)" "1"
expect_true "hash_speed gives both speeds" \
    '[[ "$(value "$out" own_mb_s)" =~ ^[0-9.]+$ && "$(value "$out" cng_mb_s)" =~ ^[0-9.]+$ ]]'
wine_run --root "$scratch/none" "$build/bench/hash_speed.exe" 0 >/dev/null 2>&1
expect_eq "hash_speed refuses no data" "$?" "2"

# --- the wrapper runs Wine's own programs, and run.sh runs end to end --------------------

out=$(wine_run --root "$scratch/none" 'C:\windows\system32\cmd.exe' /c echo from cmd)
expect_eq "a program given by its Windows path runs" "$(tr -d '\r' <<<"$out")" "from cmd"
wine_run --root "$scratch/none" 'C:\windows\system32\cmd.exe' /c exit 3
expect_eq "and its exit code is the wrapper's" "$?" "3"

report=$("$bench/run.sh" "$build" --set empty --runs 2 --no-count 2>&1)
expect_true "run.sh measures the three variants of a set, median and minimum" \
    "grep -qE '^\| empty card folder \(fixed cost\) \| 0 \| 0\.0( \| [0-9.]+){6}( \| ([0-9.]+|-)){3} \|$' <<<\"\$report\"" || echo "$report"
expect_true "run.sh leaves running the wineserver it found up" "wine_run --server-running"
IFS='|' read -r _ _ _ _ t tmin w wmin n _ tw twmin tn _ < <(grep '^| empty' <<<"$report")
# The runs' line, not the note a spread of them under load adds ("  empty: Tessivard runs spread ...").
IFS=';' read -r truns wruns _ < <(sed -n 's/^  empty: Tessivard\( [0-9]\)/\1/p' <<<"$report")
expect_eq "the minimums are the fastest of the runs listed" "${tmin// /} ${wmin// /}" \
    "$(minimum <<<"$truns") $(minimum <<<"${wruns#*tools}")"
expect_eq "the ratios: Tessivard / Wine tools, of the minimums, Tessivard / native" \
    "$(ratio $t $w) $(ratio $tmin $wmin) $(ratio $t $n)" "${tw// /} ${twmin// /} ${tn// /}"
report=$("$bench/run.sh" "$build" --compare "$build/Tessivard.exe" "$build/Tessivard.exe" \
    --set empty --runs 1 --no-count 2>&1)
expect_true "run.sh --compare gives both medians and minimums and their ratios" \
    "grep -qE '^  B / A  ([0-9.]+|-)  of the minimums ([0-9.]+|-)$' <<<\"\$report\" && grep -qE '^  A  [0-9.]+ s  min [0-9.]+ s' <<<\"\$report\"" ||
    echo "$report"
read -r a amin < <(awk '$1 == "A" && $3 == "s" { print $2, $5 }' <<<"$report")
read -r b bmin < <(awk '$1 == "B" && $3 == "s" { print $2, $5 }' <<<"$report")
expect_eq "the ratios are B over A, of the medians and of the minimums" \
    "$(awk '$1 == "B" && $2 == "/" { print $4, $8 }' <<<"$report")" "$(ratio "$b" "$a") $(ratio "$bmin" "$amin")"

# A program that leaves the update undone gets no time: the bench stops on it.
"$bench/run.sh" "$build" --compare "$build/follow_on.exe" "$build/Tessivard.exe" \
    --set small2000 --runs 1 --no-count >/dev/null 2>"$scratch/err"
expect_eq "a program that did not update ends the bench" "$?" "1"
expect_true "naming the program's variant and the set" 'grep -q "tessivard left a wrong result on set small2000" "$scratch/err"' ||
    cat "$scratch/err"

# Wrong requests are refused before anything runs.
for args in "--set nosuch" "--runs 0" "--compare $build/Tessivard.exe" "--compare $scratch/none.exe $build/Tessivard.exe" "--frobnicate"; do
    # shellcheck disable=SC2086
    "$bench/run.sh" "$build" $args >/dev/null 2>&1
    expect_eq "run.sh $args is refused" "$?" "2"
done

[ "$failures" = 0 ] && echo "all bench checks passed"
exit $((failures > 0))
