#!/bin/bash
# The signed-card reference for tests/test_card_signature.cpp, made by openssl on the Linux
# side when the build runs, so that no verdict the tests expect comes from the code under
# test: keys of each size the device takes and another maker's, a small card with manifests
# of three sequences, and signatures good and bad, each with openssl's own verdict.
#   signature_reference.sh OUT_DIR CARD_KEY_READER
# In OUT_DIR: KEY.pem, KEY.pub.pem and KEY/card_key.bin (the reader's modulus) for the keys
# maker (2048 bits, the keyed builds'), other (2048), k3072 and k4096; card/ and its
# manifests mN with signatures mN.sig by maker; the key zero's public half and modulus, with
# its signature that begins with a 0 byte (tests/signature_zero); cases.txt, one line a case:
#   NAME KEY SIGNATURE MANIFEST OPENSSL_VERDICT   (paths below OUT_DIR; verdict good or refused)
set -euo pipefail
out=$1 reader=$2 zero=$(cd "$(dirname "$0")/signature_zero" && pwd -P)
rm -rf "$out" && mkdir -p "$out" && cd "$out"

for key in maker:2048 other:2048 k3072:3072 k4096:4096; do
    name=${key%:*}
    openssl genpkey -algorithm RSA -pkeyopt "rsa_keygen_bits:${key#*:}" -out "$name.pem" 2>/dev/null
    openssl pkey -in "$name.pem" -pubout -out "$name.pub.pem"
    "$reader" "$name.pub.pem" "$name" >/dev/null
done
# The other maker's modulus below the maker's (made again until it is: half the keys are), so
# that every signature of the other key is a number the maker's key reads as a signature, one
# that does not verify; above it, some would be refused as not below the modulus instead.
modulus() { od -An -v -tx1 "$1/card_key.bin" | tr -d ' \n'; }
while [[ "$(modulus other)" > "$(modulus maker)" ]]; do
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out other.pem 2>/dev/null
    openssl pkey -in other.pem -pubout -out other.pub.pem
    "$reader" other.pub.pem other >/dev/null
done

# The card, and its manifest of format 2 with the sequence: the device's format, written
# here on its own.
mkdir -p card/maps
printf 'seoul 2026' >card/maps/seoul.map
: >card/update
sha() { sha256sum "$@" | cut -c1-64; }
manifest() {
    {
        printf 'tessivard-manifest 2\nsequence %s\nfolder - - maps\n' "$1"
        printf 'file %s %s maps/seoul.map\n' "$(stat -c %s card/maps/seoul.map)" "$(sha card/maps/seoul.map)"
        printf 'file 0 %s update\n' "$(sha card/update)"
    } >"$2"
    echo "seal $(sha "$2")" >>"$2"
}
sign() { openssl dgst -sha256 -sign "$1.pem" -out "$2" "$3"; }   # KEY SIGNATURE MANIFEST
for sequence in 4 5 6; do
    manifest $sequence m$sequence
    sign maker m$sequence.sig m$sequence
done

# case NAME KEY SIGNATURE MANIFEST: openssl's verdict beside it.
case_() {
    local verdict=refused
    openssl dgst -sha256 -verify "$2.pub.pem" -signature "$3" "$4" >/dev/null 2>&1 && verdict=good
    echo "$1 $2 $3 $4 $verdict" >>cases.part
}
# flip FILE: its first bit of the byte at OFFSET inverted.
flip() {
    local byte
    byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
    printf "\\$(printf %o $((byte ^ 1)))" | dd of="$1" bs=1 seek="$2" count=1 conv=notrunc status=none
}
hex() { od -An -v -tx1 "$1" | tr -d ' \n' | tr a-f A-F; }
unhex() { printf "$(sed 's/../\\x&/g' <<<"$1")"; }

for key in maker k3072 k4096; do
    manifest 5 "$key.m" && sign "$key" "$key.sig" "$key.m"
    case_ "good-$key" "$key" "$key.sig" "$key.m"
    cp "$key.sig" "$key.flipped.sig" && flip "$key.flipped.sig" 100
    case_ "signature-bit-$key" "$key" "$key.flipped.sig" "$key.m"
    cp "$key.m" "$key.flipped.m" && flip "$key.flipped.m" 50
    case_ "manifest-bit-$key" "$key" "$key.sig" "$key.flipped.m"
done

# A forger's manifest: a file changed, its line and the seal written anew, the old signature kept.
cp -r card forged && printf 'seoul 1999' >forged/maps/seoul.map
sed -e "s/ $(sha card/maps/seoul.map) / $(sha forged/maps/seoul.map) /" -e '$d' m5 >forged.m
echo "seal $(sha forged.m)" >>forged.m
case_ forged maker m5.sig forged.m
sign other other.sig m5
case_ other-key maker other.sig m5
openssl dgst -sha1 -sign maker.pem -out sha1.sig m5
case_ sha1 maker sha1.sig m5
openssl dgst -sha256 -sigopt rsa_padding_mode:pss -sign maker.pem -out pss.sig m5
case_ pss maker pss.sig m5

# A signature whose first byte is 0, and the same without it. About one manifest in 256 has
# one, so it was searched for once (by sequence, from 100: 268) with a 2048-bit key made for
# it, whose private half was then thrown away; openssl still gives its verdict here.
cp "$zero/zero.pub.pem" "$zero/zero.m" "$zero/zero.sig" .
"$reader" zero.pub.pem zero >/dev/null
[ "$(head -c1 zero.sig | od -An -tu1 | tr -d ' ')" = 0 ] || { echo "signature_reference: zero.sig does not begin with 0" >&2; exit 1; }
case_ leading-zero zero zero.sig zero.m
tail -c +2 zero.sig >stripped.sig
case_ stripped-zero zero stripped.sig zero.m
# That signature plus the modulus: the same number modulo n, still k bytes (n < 2^(8k) - 2^(8k-8)).
sum=$(BC_LINE_LENGTH=0 bc <<<"obase=16; ibase=16; $(hex zero.sig) + $(hex zero/card_key.bin)")
[ ${#sum} -eq 512 ] || { echo "signature_reference: the signature plus the modulus is not 256 bytes" >&2; exit 1; }
unhex "$sum" >plus-modulus.sig
case_ plus-modulus zero plus-modulus.sig zero.m

# Numbers and files no signature is.
head -c 256 /dev/zero >zeros.sig
case_ zeros maker zeros.sig m5
head -c 256 /dev/zero | tr '\0' '\377' >ones.sig
case_ ones maker ones.sig m5
cp maker/card_key.bin modulus.sig
case_ modulus maker modulus.sig m5
cat m5.sig >longer.sig && printf '\0' >>longer.sig
case_ one-more-byte maker longer.sig m5
{ cat m5.sig; head -c $((1 << 20)) /dev/zero; } >huge.sig
case_ huge maker huge.sig m5
mkdir folder.sig
case_ folder maker folder.sig m5
case_ missing maker missing.sig m5
mv cases.part cases.txt
