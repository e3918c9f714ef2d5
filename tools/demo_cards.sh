#!/bin/bash
# A maker's update, from the trees to the device, as `make demo` tells it: the device's flash
# store and the two trees NOW and NEW; the maker's key; the card made from them with its
# manifest and signed, and checked; the card applied by a program built with the key's public
# half; then a copy of the card with one byte flipped in a listed file, and a forged copy,
# both of which that program must refuse. What it says of each card it has checked: a card
# that does not do what it says stops it with a line "THE DEMO WENT WRONG: ..." on stderr and
# exit status 1.
#   demo_cards.sh BUILD PROGRAM KEY.pem WORK
# BUILD: the build whose card maker and follow-on program it runs; PROGRAM: the program built
# with the public half of KEY.pem, the maker's private key; WORK: an empty folder of the
# run's own, where the trees, the cards and the devices are made.
set -u
tools=$(cd "$(dirname "$0")" && pwd -P)
[ $# -eq 4 ] || { echo "usage: demo_cards.sh BUILD PROGRAM KEY.pem WORK" >&2; exit 2; }
build=$(cd "$1" && pwd -P) program=$(realpath -- "$2") key=$(realpath -- "$3") work=$(cd "$4" && pwd -P)
. "$tools/change_report.sh"

wrong() { echo "THE DEMO WENT WRONG: $1" >&2; exit 1; }
card() { TESSIVARD_BUILD="$build" "$tools/tessivard-card" "$@"; }
put() { mkdir -p "$(dirname "$1")" && printf '%s\n' "$2" >"$1"; }
# A path as the reader finds it: from the current folder when it lies below it.
shown() { echo "${1#"$PWD"/}"; }
# What the card maker or the program said, indented, with the demo's paths by their short
# names and the hashes shortened.
indented() {
    sed -E -e "s|$work/card-flipped|FLIPPED|g; s|$work/card-forged|FORGED|g; s|$work/card|CARD|g" \
        -e "s|$work/now|NOW|g; s|$work/new|NEW|g; s|$key|maker.pem|g; s|$work/maker.pub.pem|maker.pub.pem|g" \
        -e 's/([0-9a-f]{12})[0-9a-f]{52}/\1.../g; s/^/     /' "$1"
}
# What check says of a card beyond what it says of every card: its findings.
findings() {
    grep -v -e '^card key ' -e '^The card .*, read by the device' -e '^  delete_[^:]*: removes the flash folder' \
        -e '^  update: ' -e '^  [0-9]* files (.*) and [0-9]* folders to copy' "$1" >"$1.findings"
    indented "$1.findings"
}
# What a file holds, in a few words (a marker holds nothing).
describe() {
    case "$1" in
        *.exe) echo "(the follow-on program)" ;;
        *) local what; what=$(head -c 60 "$1" | tr -d '\n'); echo "${what:-(marker)}" ;;
    esac
}
# The files of a tree, and of a device's flash store but its records (the sequence, the last
# run's result), as snapshot_tree gives them.
tree_lines() { snapshot_tree "$1" describe; }
flash_lines() { snapshot_tree "$1" describe | grep $'^ResidentFlash/' | grep -v $'^ResidentFlash/~tessivard-sequence\t\\|^ResidentFlash/~tessivard-result\t'; }
# The files of a tree, the run's result record at its top aside.
count_files() { find "$1" -type f ! -path "$1/~tessivard-result" ! -path "$1/tessivard-result.txt" | wc -l; }
outcome_of() { sed -n 's/^outcome //p' "$1/ResidentFlash/~tessivard-result" 2>/dev/null; }

now=$work/now new=$work/new
said=$work/said

# --- 1. the flash store, NOW and NEW ------------------------------------------------------
# NOW is what the maker's devices hold; NEW removes a folder of poi, so the card carries
# delete_poi and poi's whole new content, which the device reads and checks before it
# changes anything.
put "$now/maps/seoul.map"             "seoul map, edition 2025"
put "$now/maps/busan.map"             "busan map, edition 2025"
put "$now/maps/jeju.map"              "jeju map, edition 2024"
put "$now/poi/old/fuel.poi"           "fuel stations, 2024"
put "$now/poi/old/parking.poi"        "parking, 2024"
put "$now/settings.ini"               "volume=7"
mkdir -p "$now/qormane" && cp "$build/follow_on.exe" "$now/qormane/Lindvaret.exe" || wrong "no $build/follow_on.exe"
cp -a "$now" "$new" && rm -r "$new/poi/old"
put "$new/maps/seoul.map"             "seoul map, edition 2026"
put "$new/maps/busan.map"             "busan map, edition 2026"
put "$new/maps/regions/gangwon.map"   "gangwon map, edition 2026"
put "$new/poi/fuel.poi"               "fuel stations, 2026"
put "$new/voice/ko/guide.wav"         "voice guidance"

echo "1. The device's flash store holds NOW; the update is to make it NEW:"
printf '     %-26s %-26s %s\n' "" NOW NEW
while IFS=$'\t' read -r path old new_; do
    printf '     %-26s %-26s %s\n' "$path" "$old" "$new_"
done < <(LC_ALL=C join -t $'\t' -a1 -a2 -e '-' -o 0,1.2,2.2 <(tree_lines "$now") <(tree_lines "$new"))

# --- 2. the key ---------------------------------------------------------------------------
public=$work/maker.pub.pem
openssl pkey -in "$key" -pubout -out "$public" 2>/dev/null || wrong "openssl does not read the key $key"
"$tools/card_key.sh" "$public" >"$said" 2>&1 || wrong "the device cannot take the key $key: $(cat "$said")"
bits=$(sed -n 's/.*: RSA \([0-9]*\) bits.*/\1/p' "$said")
echo
echo "2. The maker's key, made with openssl for the demo ($(shown "$key")):"
echo "     openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:$bits -out maker.pem"
echo "     openssl pkey -in maker.pem -pubout -out maker.pub.pem"
echo "   $(sed 's/^card key [^:]*: //' "$said")"
echo "   $(shown "$program") was built with its public half: it applies only the cards that key signed."

# --- 3. the card --------------------------------------------------------------------------
signed=$work/card
echo
echo "3. tools/tessivard-card make --from NOW --to NEW --card CARD --sign maker.pem --sequence 1"
card make --from "$now" --to "$new" --card "$signed" --sign "$key" --sequence 1 >"$said" 2>&1
status=$?
indented "$said"
[ $status -eq 0 ] || wrong "the card maker did not make the card (exit status $status)"
echo "   CARD/ResidentFlash/~tessivard-manifest (hashes shortened here):"
indented "$signed/ResidentFlash/~tessivard-manifest"

# --- 4. check -----------------------------------------------------------------------------
echo
echo "4. tools/tessivard-card check --card CARD --key maker.pub.pem"
card check --card "$signed" --key "$public" >"$said" 2>&1
status=$?
indented "$said"
[ $status -eq 0 ] && grep -qF "the card is whole" "$said" || wrong "check did not pass the card (exit status $status)"

# --- the device ---------------------------------------------------------------------------
# run_on NAME CARD: PROGRAM on a device of its own, $dev, whose flash store is a copy of NOW
# and whose card a copy of CARD; fails unless the program ended with exit code 0 and started
# the follow-on program (whose record, qormane/started.txt, is then removed: it is no content).
run_on() {
    dev=$work/device-$1
    mkdir -p "$dev/SDMMC" && cp -a "$2/." "$dev/SDMMC/" && cp -a "$now" "$dev/ResidentFlash" || wrong "cannot lay out $dev"
    "$tools/wine-run.sh" --build "$build" --root "$dev" --rerun-on-signal "$program" >"$said" 2>&1
    local status=$? record=$dev/ResidentFlash/qormane/started.txt
    indented "$said"
    [ $status -eq 0 ] || wrong "$(basename "$program") ended with exit code $status on the card $1"
    # The program starts it as it ends: its record may come a moment later (seconds under load).
    for _ in $(seq 200); do [ -f "$record" ] && break; sleep 0.1; done
    [ -f "$record" ] || wrong "the follow-on program was not started after the card $1"
    rm "$record"
}
# refused NAME CARD: PROGRAM refuses the card: the flash store is NOW and the card as it was.
refused() {
    run_on "$1" "$2"
    [ ! -e "$dev/ResidentFlash/~tessivard-sequence" ] || wrong "the device took the card $1: it wrote its sequence record"
    # The run's result record, beside the flash store's content and the card folder, is no change of either.
    diff -r -x '~tessivard-result' "$dev/ResidentFlash" "$now" >/dev/null || wrong "the card $1 changed the flash store"
    diff -r -x tessivard-result.txt "$dev/SDMMC" "$2" >/dev/null || wrong "the card $1 changed on the device"
    [ "$(outcome_of "$dev")" = refused ] || wrong "the device's result record does not say the card $1 was refused"
    echo "   $(basename "$program") refused it, and ended as every run does (the follow-on program started):"
    echo "     flash store: unchanged, NOW byte for byte ($(count_files "$dev/ResidentFlash") files)"
    echo "     card: unchanged, byte for byte ($(count_files "$dev/SDMMC/ResidentFlash") files, manifest and signature included)"
}

# --- 5. the card applied -----------------------------------------------------------------
echo
echo "5. $(shown "$program") applies the card on a device whose flash store is NOW:"
before=$(tree_lines "$now" | sed 's|^|ResidentFlash/|')
run_on signed "$signed"
report_changes "$before" "$(flash_lines "$dev")" | sed 's/^/   /'
diff -r -x '~tessivard-sequence' -x '~tessivard-result' "$dev/ResidentFlash" "$new" >/dev/null || wrong "the flash store is not NEW after the card"
[ "$(outcome_of "$dev")" = applied ] || wrong "the device's result record does not say the card was applied"
record=$(cat "$dev/ResidentFlash/~tessivard-sequence" 2>/dev/null)
[ "$record" = "1"$'\n'"card $(sha256sum <"$signed/ResidentFlash/~tessivard-manifest" | cut -c1-64) finished" ] ||
    wrong "the device's sequence record is not the card's 1, its update finished: ${record:-none}"
[ -d "$dev/SDMMC/ResidentFlash" ] && [ -z "$(ls -A "$dev/SDMMC/ResidentFlash")" ] || wrong "the card folder was not emptied"
echo "   The flash store now equals NEW, byte for byte; beside it the device's sequence record,"
echo "   ~tessivard-sequence, holds 1 and the card's identity (its manifest's SHA-256), finished:"
echo "   no card numbered lower goes in after this one, nor this one again. Its record of the run,"
echo "   ~tessivard-result (a copy beside the card folder, SDMMC/tessivard-result.txt), says: applied."
echo "   The card folder SDMMC/ResidentFlash is there again, empty; the follow-on program was started."

# --- 6. a byte flipped --------------------------------------------------------------------
# In a file of the folder the card replaces: the device reads those before it deletes
# anything. (Any other file is checked as it is copied: a mismatch keeps its old version.)
flipped=$work/card-flipped file=poi/fuel.poi
cp -a "$signed" "$flipped"
target=$flipped/ResidentFlash/$file
byte=$(od -An -tu1 -N1 "$target" | tr -d ' ')
# shellcheck disable=SC2059
printf "\\$(printf '%03o' $((byte ^ 0x20)))" | dd of="$target" bs=1 count=1 conv=notrunc 2>/dev/null
cmp -s "$target" "$signed/ResidentFlash/$file" && wrong "no byte of $file was flipped"
echo
echo "6. A copy of the card with one byte flipped in $file, a file of the folder it replaces:"
echo "     \"$(head -c 60 "$signed/ResidentFlash/$file" | tr -d '\n')\" is now \"$(head -c 60 "$target" | tr -d '\n')\""
echo "   tools/tessivard-card check --card FLIPPED --key maker.pub.pem"
card check --card "$flipped" --key "$public" >"$said" 2>&1
status=$?
findings "$said"
[ $status -eq 1 ] && grep -qF "$file" "$said" || wrong "check did not name $file in the flipped card (exit status $status)"
refused flipped "$flipped"

# --- 7. a forged card ---------------------------------------------------------------------
# A forger rewrites a file, its manifest line and the seal: the card is whole, and only the
# signature, which the forger cannot write, tells it from the maker's.
forged=$work/card-forged file=maps/seoul.map
cp -a "$signed" "$forged"
target=$forged/ResidentFlash/$file manifest=$forged/ResidentFlash/~tessivard-manifest
put "$target" "seoul map, edition 2026, with a forger's roads"
sed -i -e "s|^file [0-9]* [0-9a-f]* $file\$|file $(stat -c %s "$target") $(sha256sum <"$target" | cut -c1-64) $file|" \
    -e '$d' "$manifest" && echo "seal $(sha256sum <"$manifest" | cut -c1-64)" >>"$manifest" || wrong "cannot forge $manifest"
grep -qF " $(sha256sum <"$target" | cut -c1-64) $file" "$manifest" || wrong "the forged manifest does not list the forged $file"
echo
echo "7. A forged copy: $file rewritten (\"$(head -c 60 "$target" | tr -d '\n')\"),"
echo "   its manifest line and the manifest's seal written anew, the maker's signature kept:"
echo "   tools/tessivard-card check --card FORGED"
card check --card "$forged" >"$said" 2>&1
status=$?
findings "$said"
[ $status -eq 0 ] && grep -qF "the card is whole" "$said" || wrong "the forged card is not whole to check without the key (exit status $status)"
echo "   tools/tessivard-card check --card FORGED --key maker.pub.pem"
card check --card "$forged" --key "$public" >"$said" 2>&1
status=$?
findings "$said"
[ $status -eq 1 ] || wrong "check --key did not refuse the forged card (exit status $status)"
refused forged "$forged"
