#!/bin/bash
# Signed cards. Keys the key reader, and so the build, refuses. Cards made by `make --sign`
# and `sign` with the maker's key that the keyed test builds hold (made by the build in
# build/tests/signatures), applied by Tessivard_keyed.exe and by the build without a key;
# cards a keyed device refuses change nothing on either side and the follow-on program
# still starts; `check --key` says why; the sequence; a signed card cut short finishes.
#   signed.sh BUILD
. "$(dirname "$0")/lib.sh"

signatures="$build/tests/signatures" keyed="$build/tests/Tessivard_keyed.exe"
for file in "$signatures/maker.pem" "$signatures/maker.pub.pem" "$keyed" "$build/tests/Tessivard_keyed_cut.exe"; do
    [ -f "$file" ] || { fail "missing $file: build the tests first"; finish; }
done
k="$work/keys"
mkdir -p "$k"

echo "Keys the build refuses:"
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$k/other.pem" 2>/dev/null &&
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -pkeyopt rsa_keygen_pubexp:3 -out "$k/e3.pem" 2>/dev/null &&
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out "$k/1024.pem" 2>/dev/null &&
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$k/ec.pem" 2>/dev/null ||
    { fail "openssl cannot make the test's keys"; finish; }
for name in other e3 1024 ec; do openssl pkey -in "$k/$name.pem" -pubout -out "$k/$name.pub.pem"; done
# refused NAME KEY WORDS: the reader refuses the key with WORDS and writes nothing.
refused() {
    local out
    out=$("$tools/card_key.sh" "$2" "$k/read-$1" 2>&1)
    if [ $? -eq 1 ] && grep -qF -- "$3" <<<"$out" && [ ! -e "$k/read-$1" ]; then pass "$1: $out"
    else fail "$1: not refused as \"$3\": $out"; fi
}
refused e3 "$k/e3.pub.pem" "the public exponent is 3: the device takes 65537 only"
refused 1024 "$k/1024.pub.pem" "an RSA key of 1024 bits: the device takes 2048, 3072 or 4096"
refused ec "$k/ec.pub.pem" "not an RSA key (id-ecPublicKey)"
refused private "$k/other.pem" "a private key file"
# The build itself, given the private key: its resources stop it, and nothing of the key is in
# its folder.
config="$work/keyed-build"
if cmake -S "$tools/.." -B "$config" -DCMAKE_TOOLCHAIN_FILE="$tools/../cmake/mingw-w64.cmake" -DTESSIVARD_PROGRAM_ONLY=ON \
    -DTESSIVARD_CARD_KEY="$k/other.pem" >/dev/null 2>&1; then
    out=$(cmake --build "$config" --target tessivard_res_shipped 2>&1)
    status=$?
    if [ $status -ne 0 ] && grep -qF "a private key file" <<<"$out" && ! grep -rqF "$(sed -n 2p "$k/other.pem")" "$config"; then
        pass "a build given a private key stops, and copies nothing of it"
    else fail "a build given a private key: status $status: $(grep -F card_key <<<"$out")"; fi
else fail "cmake does not configure a build with a key"; fi

# The update: maps replaced by its delete marker, a file added.
d="$work/set"
with_follow_on "$d/now" "$d/new"
put "$d/now/maps/seoul.map" "seoul 2025"
put "$d/now/maps/old.map" "old"
put "$d/new/maps/seoul.map" "seoul 2026" 1700000100
put "$d/new/maps/busan.map" "busan 2026" 1700000200
put "$d/new/config.ini" "volume=7" 1700000300
# made NAME OPTION...: the card made from NOW to NEW.
made() {
    local name=$1 out
    shift
    out=$(card make --from "$d/now" --to "$d/new" --card "$d/$name" "$@" 2>&1) || { fail "make $name: $out"; return 1; }
}
echo "Cards made and signed:"
made signed5 --sign "$signatures/maker.pem" --sequence 5 && made signed4 --sign "$signatures/maker.pem" --sequence 4 &&
    made plain5 --sequence 5 &&
    made other5 --sign "$k/other.pem" --sequence 5 && made later7 --sequence 7 || finish
out=$(card sign --card "$d/later7" --key "$signatures/maker.pem" 2>&1) || fail "sign: $out"
out=$(card make --from "$d/now" --to "$d/new" --card "$d/unnumbered" --sign "$signatures/maker.pem" 2>&1)
[ $? -eq 2 ] && grep -qF -- "--sign needs --sequence N" <<<"$out" && [ ! -e "$d/unnumbered" ] && made unnumbered &&
    ! card sign --card "$d/unnumbered" --key "$signatures/maker.pem" >/dev/null 2>&1 &&
    [ ! -e "$d/unnumbered/ResidentFlash/~tessivard-signature" ] && pass "no signature without a sequence" || fail "signed unnumbered: $out"
for name in signed5 later7; do
    folder="$d/$name/ResidentFlash"
    if openssl dgst -sha256 -verify "$signatures/maker.pub.pem" -signature "$folder/~tessivard-signature" \
        "$folder/~tessivard-manifest" >/dev/null && out=$(card check --card "$d/$name" --key "$signatures/maker.pub.pem" 2>&1) &&
        grep -qF "the manifest signed by the key, sequence ${name//[a-z]/}" <<<"$out"; then
        pass "$name: openssl verifies its signature, and so does check --key"
    else fail "$name: $out"; fi
done
[ ! -e "$d/plain5/ResidentFlash/~tessivard-signature" ] &&
    ! grep -rqF -e "$(sed -n 2p "$signatures/maker.pem")" -e "$(sed -n 2p "$k/other.pem")" "$d"/{signed,plain,other,later}* &&
    pass "no signature without --sign, no private key on any card" || fail "a card holds what it must not"

# taken NAME SEQUENCE: the device's flash store is NEW beside the record (kept as
# $work/record), its card folder empty.
taken() {
    local record="$dev/ResidentFlash/~tessivard-sequence"
    if [ "$2" = - ] && [ -e "$record" ]; then fail "$1: a build without a key wrote a record"
    elif [ "$2" != - ] && ! [[ $(cat "$record" 2>&1) =~ ^$2$'\n'"card "[0-9a-f]{64}" finished"$ ]]; then
        fail "$1: the record is not $2, this card finished: $(cat "$record" 2>&1)"
    elif { [ ! -e "$record" ] || cp "$record" "$work/record"; } && rm -f "$record" && ! same_tree "$dev/ResidentFlash" "$d/new"; then
        fail "$1: the flash store is not NEW"
    elif [ -n "$(ls -A "$dev/SDMMC/ResidentFlash")" ]; then fail "$1: the card folder is not empty"
    else pass "$1"; fi
}
echo "Signed cards go in:"
PROGRAM=$keyed run_on keyed-signed "$d/signed5" "$d/now" && taken "the signed card into the keyed build" 5
keyed_flash="$dev/ResidentFlash"
cp "$work/record" "$work/record5"
run_on plain-unsigned "$d/plain5" "$d/now" && taken "the same card unsigned into a build without a key" - &&
    same_tree "$keyed_flash" "$dev/ResidentFlash" && pass "the two flash stores are the same"
run_on plain-signed "$d/signed5" "$d/now" && taken "the signed card into a build without a key" -
PROGRAM=$keyed run_on keyed-later "$d/later7" "$d/now" && taken "a card signed by sign after make" 7

echo "Cards a keyed device refuses change nothing:"
# refused NAME CARD FLASH [WHY]: check --key tells WHY; the keyed build changes nothing, and
# its result record says refused (or $OUTCOME).
refused_card() {
    local out
    if [ -n "${4:-}" ]; then
        out=$(card check --card "$2" --key "$signatures/maker.pub.pem" 2>&1)
        [ $? -eq 1 ] && grep -qF -- "$4" <<<"$out" || fail "$1: check --key does not tell \"$4\": $out"
    fi
    PROGRAM=$keyed run_on "$1" "$2" "$3" || return
    if ! same_tree "$dev/ResidentFlash" "$3"; then fail "$1: the flash store changed"
    elif ! same_tree "$dev/SDMMC" "$2"; then fail "$1: the card changed"
    elif [ "$(result_of "$dev/ResidentFlash/~tessivard-result")" != "${OUTCOME:-refused}" ]; then
        fail "$1: the result record does not say ${OUTCOME:-refused}"
    else pass "$1"; fi
}
refused_card "an unsigned card" "$d/plain5" "$d/now" "(there is no signature file)"
grep -q "^reason the manifest is not signed by the key this device was built with$" "$dev/ResidentFlash/~tessivard-result" &&
    pass "the result record tells why the unsigned card was refused" || fail "the result record: $(cat "$dev/ResidentFlash/~tessivard-result")"
# A card with no manifest at all: the record says so.
cp -a "$d/plain5" "$d/bare" && rm "$d/bare/ResidentFlash/~tessivard-manifest"
refused_card "a card without a manifest" "$d/bare" "$d/now"
grep -q "^reason the card has no manifest" "$dev/ResidentFlash/~tessivard-result" &&
    pass "the result record tells the card had no manifest" || fail "the result record: $(cat "$dev/ResidentFlash/~tessivard-result")"
# The other key is made anew each run: its signature, as a number, may be at or past this
# key's modulus (when the other modulus is the larger), and check --key then says so
# instead; either way the card is not this key's.
refused_card "a card signed by another key" "$d/other5" "$d/now" \
    $'(not made by this key over these bytes)\n(as a number, not below the key\'s modulus)'
# A listed file of the folder the card replaces, a bit flipped: read before anything changes.
cp -a "$d/signed5" "$d/flipped" && printf 'busan 2027' >"$d/flipped/ResidentFlash/maps/busan.map"
refused_card "a listed file with a bit flipped" "$d/flipped" "$d/now" "maps/busan.map: changed"
# The same outside the replaced folder, at its size: every listed file is read before any change.
cp -a "$d/signed5" "$d/outside" && printf 'volume=9' >"$d/outside/ResidentFlash/config.ini"
refused_card "a file outside the replaced folder changed at its size" "$d/outside" "$d/now" "config.ini: changed"
# A forger's card: a file changed, its manifest line and seal written anew, the old signature kept.
cp -a "$d/signed5" "$d/forged" && printf 'volume=0' >"$d/forged/ResidentFlash/config.ini"
manifest="$d/forged/ResidentFlash/~tessivard-manifest"
sed -i -e "s/ $(sha256sum <"$d/new/config.ini" | cut -c1-64) / $(sha256sum <"$d/forged/ResidentFlash/config.ini" | cut -c1-64) /" \
    -e '$d' "$manifest" && echo "seal $(sha256sum <"$manifest" | cut -c1-64)" >>"$manifest"
card check --card "$d/forged" 2>&1 | grep -qF "the card is whole" || fail "the forger's card is not whole to a device without a key"
refused_card "a forger's card" "$d/forged" "$d/now" "(not made by this key over these bytes)"

# The card that went in, put back after the device wrote a file of its own into the folder
# its delete marker replaces: it went in once.
cp -a "$keyed_flash" "$work/flash-again" && cp "$work/record5" "$work/flash-again/~tessivard-sequence" &&
    put "$work/flash-again/maps/mine.map" "mine" && OUTCOME=nothing refused_card "the signed card put back after it went in" "$d/signed5" "$work/flash-again"
# A lower sequence than the device's record (in-process runs go through the sequences' every order).
cp -a "$keyed_flash" "$work/flash5" && echo 5 >"$work/flash5/~tessivard-sequence"
refused_card "sequence 4 after 5" "$d/signed4" "$work/flash5"
# The keyed test builds take sequence 1 or more: a fresh device refuses a card of format 1 signed by openssl.
openssl dgst -sha256 -sign "$signatures/maker.pem" -out "$d/unnumbered/ResidentFlash/~tessivard-signature" "$d/unnumbered/ResidentFlash/~tessivard-manifest"
refused_card "sequence 0, below the build's lowest, on a device without a record" "$d/unnumbered" "$d/now"

echo "A signed card cut short finishes:"
# The keyed build stopped dead after its k-th change (the record's among the first), then a
# whole run on what it left: the card goes in, its sequence equal to the record.
for cut in 1 2 3 4 8 12; do
    dev="$work/cut-$cut"
    rm -rf "$dev" && mkdir -p "$dev/SDMMC" && cp -a "$d/signed5/." "$dev/SDMMC/" && cp -a "$d/now" "$dev/ResidentFlash"
    LC_ALL=ko_KR.UTF-8 TESSIVARD_CUT_AFTER=$cut "$tools/wine-run.sh" --build "$build" --root "$dev" --rerun-on-signal \
        "$build/tests/Tessivard_keyed_cut.exe" >/dev/null 2>&1
    cp -a "$dev/SDMMC" "$work/cut-card-$cut" && cp -a "$dev/ResidentFlash" "$work/cut-flash-$cut"
    # The 8th change is the record's, the card's update under way: that card, trimmed of the
    # delete marker its update has not consumed, would merge the folder instead of replacing
    # it. It is refused: the folder and the card stay (the start's recovery tidies its own files).
    if [ $cut = 8 ] && grep -q ' open$' "$work/cut-flash-8/~tessivard-sequence" && cp -a "$work/cut-card-8" "$work/trimmed" &&
        rm "$work/trimmed/ResidentFlash/delete_maps"; then
        PROGRAM=$keyed run_on trimmed "$work/trimmed" "$work/cut-flash-8" &&
            same_tree "$dev/ResidentFlash/maps" "$work/cut-flash-8/maps" && same_tree "$dev/SDMMC" "$work/trimmed" &&
            pass "cut with the update under way, then trimmed of its delete marker: refused" ||
            fail "the card trimmed of its delete marker changed the flash store's maps or the card"
    elif [ $cut = 8 ]; then fail "the cut after 8 changes left no open record or no delete marker"; fi
    PROGRAM=$keyed run_on "cut-$cut-then" "$work/cut-card-$cut" "$work/cut-flash-$cut" && taken "cut after change $cut, run again" 5
done

finish
