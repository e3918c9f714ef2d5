# The bench's shell library, sourced by bench/run.sh and by its tests: the data sets (made
# once, kept under BUILD/bench/data), the check of a finished update, and the statistics.

# Bump when a set's content or layout changes: cached sets of another version are remade.
BENCH_SETS_VERSION=1

# The sets, in the order the bench runs them, and what each holds.
BENCH_SETS="empty small10k large20 mixed small2000 onefolder emptyruns"
set_title() {
    case "$1" in
        empty)     echo "empty card folder (fixed cost)" ;;
        small10k)  echo "(a) 10,000 x 4 KiB in 100 folders" ;;
        large20)   echo "(b) 20 x 32 MiB" ;;
        mixed)     echo "(c) mixed tree" ;;
        small2000) echo "2,000 x 4 KiB over older 2 KiB copies" ;;
        onefolder) echo "5,000 x 1 KiB in one folder" ;;
        emptyruns) echo "runs of empty folders, 3,000 x 4 KiB, 20 x 4 MiB" ;;
        *)         return 1 ;;
    esac
}

# --- making the sets -----------------------------------------------------------------

# FOLDERS folders d000.. under DIR, each with FILES files f00.dat.. of SIZE random bytes.
# One split per folder: ten thousand files take a few seconds.
make_uniform_tree() {
    local dir=$1 folders=$2 files=$3 size=$4 last=$(($3 - 1)) d sub
    for ((d = 0; d < folders; d++)); do
        sub=$(printf '%s/d%03d' "$dir" "$d")
        mkdir -p "$sub"
        head -c $((files * size)) /dev/urandom | split -b "$size" -a "${#last}" -d --additional-suffix=.dat - "$sub/f"
    done
}

# A tree as a card written by people looks: folders in mixed case, some names with
# spaces, three levels, many small files in the leaves, medium files one level up, a few
# large ones at the top. Its shape comes from a fixed seed, so every machine makes the same.
make_mixed_tree() {
    local dir=$1 top mid leaf i
    local tops=("Maps" "POI" "Voice Guide" "music" "Fonts" "docs")
    RANDOM=4242
    mkdir -p "$dir"
    for i in 1 2 3; do head -c $((RANDOM % 4096 + 100)) /dev/urandom >"$dir/Readme $i.txt"; done
    for top in "${tops[@]}"; do
        mkdir -p "$dir/$top"
        head -c $((8 << 20)) /dev/urandom >"$dir/$top/$top.pack"
        for mid in Region_A "region b" REGION-C region_d; do
            mkdir -p "$dir/$top/$mid"
            for i in 1 2 3 4 5 6; do
                head -c $(((RANDOM % 960 + 64) << 10)) /dev/urandom >"$dir/$top/$mid/Tile Set $i.bin"
            done
            for leaf in Part1 part2 PART3; do
                mkdir -p "$dir/$top/$mid/$leaf"
                for ((i = 0; i < 20; i++)); do
                    head -c $((RANDOM % 16284 + 100)) /dev/urandom >"$dir/$top/$mid/$leaf/item_$i.dat"
                done
            done
        done
    done
}

# COUNT empty folders PREFIX00.. in DIR.
run_of_empty_folders() {
    local dir=$1 prefix=$2 count=$3 i folders=()
    for ((i = 0; i < count; i++)); do folders+=("$(printf '%s/%s%02d' "$dir" "$prefix" "$i")"); done
    mkdir -p "${folders[@]}"
}

# Runs of empty folders, each of which a walk steps over with no file work, where they
# matter most: before the first file of a folder, between files, and right before large
# ones. Under DIR: 50 empty folders 0e00.. at the top, then ten folders blk00..blk09, each
# holding, in the order a walk lists them (Wine sorts a folder's names without regard to
# case; a leading digit puts each part in its place):
#   1e..  N empty folders          2f000.dat..2f149.dat  150 files of 4 KiB
#   3e..  M empty folders          4big.bin  4 MiB, right after the run
#   5f000.dat..5f149.dat           6c/c01/../c39  a chain of 40 nested empty folders
#   7big.bin  4 MiB, right after the chain's own steps     8e..  24 empty folders
# with N = 16, 20, .. 52 and M = 52, 48, .. 16 in blk00 .. blk09.
make_emptyruns_tree() {
    local dir=$1 b i blk chain
    mkdir -p "$dir"
    run_of_empty_folders "$dir" 0e 50
    for ((b = 0; b < 10; b++)); do
        blk=$(printf '%s/blk%02d' "$dir" "$b")
        run_of_empty_folders "$blk" 1e $((16 + 4 * b))
        head -c $((150 * 4096)) /dev/urandom | split -b 4096 -a 3 -d --additional-suffix=.dat - "$blk/2f"
        run_of_empty_folders "$blk" 3e $((52 - 4 * b))
        head -c $((4 << 20)) /dev/urandom >"$blk/4big.bin"
        head -c $((150 * 4096)) /dev/urandom | split -b 4096 -a 3 -d --additional-suffix=.dat - "$blk/5f"
        chain="$blk/6c"
        for ((i = 1; i < 40; i++)); do chain+=$(printf '/c%02d' "$i"); done
        mkdir -p "$chain"
        head -c $((4 << 20)) /dev/urandom >"$blk/7big.bin"
        run_of_empty_folders "$blk" 8e 24
    done
}

# "size<TAB>path" of every file under DIR, sorted: what a tree holds, for comparing.
tree_listing() {
    [ -d "$1" ] || return 0
    (cd "$1" && find . -type f -printf '%s\t%P\n') | LC_ALL=C sort -t $'\t' -k2
}

# Every folder under DIR, a path a line, sorted; nothing when DIR is absent.
folder_listing() {
    [ -d "$1" ] || return 0
    (cd "$1" && find . -mindepth 1 -type d -printf '%P\n') | LC_ALL=C sort
}

# The folders of the flash store a correct update leaves in device root ROOT: its own and
# every folder of the card folder, empty ones too.
expected_folders() {
    { folder_listing "$1/ResidentFlash"; folder_listing "$1/SDMMC/ResidentFlash"; } | LC_ALL=C sort -u
}

# The flash store a correct update leaves in device root ROOT: what it held, with every
# file of the card folder laid over it.
expected_flash() {
    local root=$1
    { tree_listing "$root/ResidentFlash" | sed 's/^/flash\t/'
      tree_listing "$root/SDMMC/ResidentFlash" | sed 's/^/card\t/'; } |
        awk -F'\t' '$1 == "card" || !($3 in size) { size[$3] = $2 } END { for (p in size) print size[p] "\t" p }' |
        LC_ALL=C sort -t $'\t' -k2
}

# Makes set NAME in DIR unless a complete one of this version is there: DIR/root is the
# device root, DIR/expected the flash store's listing after the update.
make_set() {
    local name=$1 dir=$2
    [ "$(cat "$dir/complete" 2>/dev/null)" = "$BENCH_SETS_VERSION" ] && return 0
    rm -rf "$dir"
    local card="$dir/root/SDMMC/ResidentFlash"
    mkdir -p "$card"
    case "$name" in
        empty)     ;;
        small10k)  make_uniform_tree "$card" 100 100 4096 ;;
        large20)   make_uniform_tree "$card" 1 20 $((32 << 20)) && mv "$card"/d000/* "$card" && rmdir "$card/d000" ;;
        mixed)     make_mixed_tree "$card" ;;
        small2000) make_uniform_tree "$card" 20 100 4096 && make_uniform_tree "$dir/root/ResidentFlash" 20 100 2048 ;;
        onefolder) make_uniform_tree "$card" 1 5000 1024 ;;
        emptyruns) make_emptyruns_tree "$card" ;;
        *)         echo "bench: no data set '$name' (sets: $BENCH_SETS)" >&2; return 1 ;;
    esac
    expected_flash "$dir/root" >"$dir/expected"
    expected_folders "$dir/root" >"$dir/expected_folders"
    echo "$BENCH_SETS_VERSION" >"$dir/complete"
}

# A set made before the check looked at folders gets its folder listing, from its own device
# root, untouched: its content stays what it was.
add_expected_folders() {
    [ -f "$1/expected_folders" ] || expected_folders "$1/root" >"$1/expected_folders"
}

# Makes, from set NAME under DATA, the same update as a card of the card maker (TOOLS:
# tools/, run from build BUILD), once without a manifest (DATA/NAME.plain) and once with one (DATA/NAME.manifest):
# the same content, the update marker added, the set's flash store beside it. What the two
# take apart is the cost of checking a card.
make_card_sets() {
    local name=$1 data=$2 tools=$3 build=$4 base="$2/$1" kind dir option out
    for kind in plain manifest; do
        dir="$data/$name.$kind"
        [ "$(cat "$dir/complete" 2>/dev/null)" = "$BENCH_SETS_VERSION" ] && continue
        rm -rf "$dir" && mkdir -p "$dir/now" "$dir/new" "$dir/root" || return 1
        # NEW is the flash store with the card laid over it; hard links, since both are only read.
        [ -d "$base/root/ResidentFlash" ] && { cp -al "$base/root/ResidentFlash/." "$dir/now/" || return 1; }
        cp -al "$dir/now/." "$dir/new/" && cp -al --remove-destination "$base/root/SDMMC/ResidentFlash/." "$dir/new/" || return 1
        option=""
        [ $kind = plain ] && option=--no-manifest
        out=$(TESSIVARD_BUILD="$build" "$tools/tessivard-card" make --from "$dir/now" --to "$dir/new" --card "$dir/root/SDMMC" $option 2>&1) ||
            { echo "bench: the card maker did not make set $name.$kind: $out" >&2
              # Seen once under load and not since: what Wine's drives and the card's folder were.
              { echo "bench: at $(date +%T.%N)"; ls -l "$build/wine/prefix/dosdevices"; ls -laR "$dir/root"; } >&2 2>&1
              return 1; }
        [ -d "$base/root/ResidentFlash" ] && { cp -a "$base/root/ResidentFlash" "$dir/root/" || return 1; }
        rm -rf "$dir/now" "$dir/new"
        cp "$base/expected" "$dir/expected" && echo "$BENCH_SETS_VERSION" >"$dir/complete"
    done
    for kind in plain manifest; do
        [ -f "$data/$name.$kind/expected_folders" ] || cp "$base/expected_folders" "$data/$name.$kind/" || return 1
    done
}

# "FILES MiB" of a set's card folder.
set_size() {
    tree_listing "$1/root/SDMMC/ResidentFlash" | awk -F'\t' '{ n++; b += $1 } END { printf "%d %.1f\n", n, b / 1048576 }'
}

# --- checking a finished update ------------------------------------------------------

# Quiet when device root ROOT holds the flash store of listing EXPECTED, with the folders
# of listing FOLDERS (default: EXPECTED's sibling expected_folders), and no card folder, or
# an empty one; otherwise says what is wrong and fails.
check_update() {
    local root=$1 expected=$2 folders=${3:-$(dirname "$2")/expected_folders} card="$1/SDMMC/ResidentFlash"
    if [ ! -f "$folders" ]; then
        echo "no listing of the expected folders: $folders"
        return 1
    fi
    if [ -d "$card" ] && [ -n "$(ls -A "$card")" ]; then
        # Both halves, to tell a run that kept the card from one that did nothing.
        echo "the card folder still holds $(find "$card" -type f | wc -l) files, the flash store" \
             "$(find "$root/ResidentFlash" -type f 2>/dev/null | wc -l) (of $(grep -c . "$expected") expected entries)"
        return 1
    fi
    local differences
    # The run's result record, in the flash store's top level, is its account, no content.
    differences=$(diff <(tree_listing "$root/ResidentFlash" | grep -v $'\t~tessivard-result$') "$expected" | grep -c '^[<>]')
    if [ "$differences" -gt 0 ]; then
        echo "the flash store differs from the expected one in $differences lines (size and path)"
        return 1
    fi
    differences=$(diff <(folder_listing "$root/ResidentFlash") "$folders" | grep -c '^[<>]')
    if [ "$differences" -gt 0 ]; then
        echo "the flash store's folders differ from the expected ones in $differences lines"
        return 1
    fi
}

# --- counts ---------------------------------------------------------------------------

# The "name value" lines of count_messages on standard input, for people, under LABEL.
print_counts() {
    awk -v label="$1" '
        { v[$1] = $2 }
        END {
            printf "%s\n", label
            printf "  progress messages to the bar: PBM_SETPOS %d, PBM_SETRANGE %d\n", v["pbm_setpos"], v["pbm_setrange"]
            printf "  the bar: upper bound %d, last position %d, %d positions past the upper bound\n", v["range_upper"], v["last_pos"], v["positions_past_upper"]
            printf "  repaints of the bar (WM_PAINT): %d, %d of them inside a PBM_SETPOS, %d with nothing to paint\n", v["paints"], v["nested_paints"], v["empty_paints"]
            if (v["paints"] > 0) printf "  pixels per repaint (update rectangle): %.0f of the bar'"'"'s 14,000\n", v["paint_pixels"] / v["paints"]
            printf "  UI thread: %.1f s in PBM_SETPOS (repaints inside included), %.1f s repainting the bar\n", v["setpos_ui_ms"] / 1000, v["paint_ui_ms"] / 1000
            if (v["pbm_setpos"] > 0) printf "    per PBM_SETPOS %.0f us; per repaint %.0f us\n", 1000 * v["setpos_ui_ms"] / v["pbm_setpos"], v["paints"] ? 1000 * v["paint_ui_ms"] / v["paints"] : 0
            printf "  phases: start to the worker %.2f s, plan and count %.2f s, copy and delete %.2f s, end %.2f s; whole run %.2f s\n", \
                v["phase_start_ms"] / 1000, v["phase_plan_ms"] / 1000, v["phase_work_ms"] / 1000, v["phase_end_ms"] / 1000, v["total_ms"] / 1000
        }'
}

# --- statistics ----------------------------------------------------------------------

# The median of the numbers on standard input, separated by blanks or lines (the mean of
# the middle two for an even count); nothing for no numbers.
median() {
    tr -s ' \t' '\n\n' | grep . | sort -g |
        awk '{ v[++n] = $1 } END { if (n) printf "%.3f\n", n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }'
}

# The smallest of the numbers on standard input, as median reads them; nothing for none.
# Noise on a shared machine only ever slows a run, so the fastest run is the one nearest
# the program's own cost.
minimum() {
    tr -s ' \t' '\n\n' | grep . | sort -g | awk 'NR == 1 { printf "%.3f\n", $1 }'
}

# One line when the runs of LABEL (a set and a program, "small10k: Wine tools") spread, from
# the fastest to the slowest, over more than a third of their median: their figures then
# say little. Nothing otherwise, and nothing for fewer than two runs.
spread_note() {
    tr -s ' \t' '\n\n' <<<"$2" | grep . | sort -g | awk -v label="$1" '{ v[++n] = $1 } END {
        if (n < 2) exit
        m = n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
        if (v[n] - v[1] > m / 3)
            printf "  %s runs spread %.1f to %.1f s, more than a third of the median %.1f: noisy\n", label, v[1], v[n], m }'
}

# A / B to two decimals; "-" when B is not a positive number.
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 > 0) printf "%.2f\n", a / b; else print "-" }'
}

# Seconds since the epoch, to the microsecond.
now() { echo "$EPOCHREALTIME"; }
# Seconds from START to END, to the millisecond.
elapsed() { awk -v s="$1" -v e="$2" 'BEGIN { printf "%.3f\n", e - s }'; }
