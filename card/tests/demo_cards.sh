#!/bin/bash
# The demo's cards (tools/demo_cards.sh, which `make demo` runs): on the keyed test build
# every card does what the demo says; and the demo stops, saying why, when its program holds
# no key (it takes the card, but a keyed device would have written its sequence record) or
# another key than the one the card is signed with (it does not take the card).
#   demo_cards.sh BUILD
. "$(dirname "$0")/lib.sh"

signatures="$build/tests/signatures" keyed="$build/tests/Tessivard_keyed.exe"
for file in "$signatures/maker.pem" "$keyed" "$build/Tessivard.exe"; do
    [ -f "$file" ] || { fail "missing $file: build the tests first"; finish; }
done

# story NAME PROGRAM KEY: the demo's cards in a folder of their own; its output in $work/NAME.out
# and .err, its exit status in $status.
story() {
    mkdir -p "$work/$1"
    "$tools/demo_cards.sh" "$build" "$2" "$3" "$work/$1" >"$work/$1.out" 2>"$work/$1.err"
    status=$?
}
said() { grep -qF -- "$2" "$work/$1.out" "$work/$1.err"; }

echo "The demo on the build that holds the key:"
story keyed "$keyed" "$signatures/maker.pem"
if [ $status -eq 0 ] && [ ! -s "$work/keyed.err" ] && said keyed "The flash store now equals NEW" &&
    [ "$(grep -c "Tessivard_keyed.exe refused it" "$work/keyed.out")" = 2 ]; then
    pass "the signed card goes in, the flipped and the forged ones are refused"
else fail "exit status $status: $(tail -n 3 "$work/keyed.out" "$work/keyed.err")"; fi

echo "The demo stops where a card does not do what it says:"
story unkeyed "$build/Tessivard.exe" "$signatures/maker.pem"
if [ $status -eq 1 ] && said unkeyed "THE DEMO WENT WRONG: the device's sequence record is not the card's 1, its update finished: none" &&
    ! said unkeyed "refused it"; then
    pass "a program built without the key: no sequence record after the card, and the demo ends there"
else fail "a program without a key: exit status $status: $(tail -n 3 "$work/unkeyed.out" "$work/unkeyed.err")"; fi

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$work/other.pem" 2>/dev/null || fail "openssl made no key"
story other-key "$keyed" "$work/other.pem"
if [ $status -eq 1 ] && said other-key "THE DEMO WENT WRONG: the flash store is not NEW after the card" &&
    ! said other-key "refused it"; then
    pass "a card signed by another key than the program's is not taken, and the demo ends there"
else fail "another key: exit status $status: $(tail -n 3 "$work/other-key.out" "$work/other-key.err")"; fi

finish
