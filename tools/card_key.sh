#!/bin/bash
# The one reader of a maker's public key, for the build (cmake -DTESSIVARD_CARD_KEY=...) and
# for tools/tessivard-card. It takes an RSA public key of 2048, 3072 or 4096 bits with the
# exponent 65537 (what the device verifies), prints its SHA-256 fingerprint (of the key's DER
# form, as `openssl pkey -pubin -in KEY -outform DER | openssl dgst -sha256` gives it), and
# with OUT_DIR writes there:
#   card_key.bin   the modulus, big-endian, exactly as many bytes as the key is long
#   card_key.rc2   the resource script a keyed build compiles (res/card_key.rc2 for none)
#   fingerprint    the fingerprint, one line
# Anything else it refuses with one line and exit status 1, writing nothing: a private key
# file is refused by its PEM label before openssl is given it, so it is never parsed and
# never copied.
#   card_key.sh KEY.pub.pem [OUT_DIR]
set -u
key=${1:?usage: card_key.sh KEY.pub.pem [OUT_DIR]} out=${2:-}
refuse() { echo "card_key: $key: $1" >&2; exit 1; }
[ -f "$key" ] && [ -r "$key" ] || refuse "no file to read"
command -v openssl >/dev/null || { echo "card_key: openssl is missing (tools/install-deps.sh installs it)" >&2; exit 1; }
if grep -aq -- '-----BEGIN [A-Z ]*PRIVATE KEY-----' "$key"; then
    refuse "a private key file: give its public key (openssl pkey -in KEY.pem -pubout -out KEY.pub.pem); a build never takes a private key"
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/card_key.XXXXXX") || exit 1
trap 'rm -rf "$tmp"' EXIT
openssl pkey -pubin -in "$key" -outform DER -out "$tmp/key.der" 2>"$tmp/error" ||
    refuse "not a public key openssl reads ($(head -1 "$tmp/error"))"
algorithm=$(openssl asn1parse -inform DER -in "$tmp/key.der" | sed -n 's/.*OBJECT *:\([A-Za-z0-9-]*\).*/\1/p' | head -1)
[ "$algorithm" = rsaEncryption ] || refuse "not an RSA key (${algorithm:-unknown}): the device verifies RSA signatures only"
openssl pkey -pubin -inform DER -in "$tmp/key.der" -noout -text >"$tmp/text" || refuse "openssl cannot describe it"
bits=$(sed -n 's/.*Public-Key: (\([0-9]*\) bit).*/\1/p' "$tmp/text")
case "$bits" in
    2048|3072|4096) ;;
    *) refuse "an RSA key of ${bits:-unknown} bits: the device takes 2048, 3072 or 4096" ;;
esac
exponent=$(sed -n 's/^Exponent: \([0-9]*\) .*/\1/p' "$tmp/text")
[ "$exponent" = 65537 ] || refuse "the public exponent is ${exponent:-unknown}: the device takes 65537 only"
modulus=$(sed -n '/^Modulus:/,/^Exponent:/p' "$tmp/text" | sed '1d;$d' | tr -d ' :\n')
modulus=${modulus#00}
[ ${#modulus} -eq $((bits / 4)) ] || refuse "its modulus does not read as $bits bits"
fingerprint=$(openssl dgst -sha256 -r "$tmp/key.der" | cut -c1-64)
echo "card key $key: RSA $bits bits, exponent 65537, SHA-256 fingerprint $fingerprint"
[ -n "$out" ] || exit 0

mkdir -p "$out" || exit 1
out=$(cd "$out" && pwd -P)
# shellcheck disable=SC2059
printf "$(sed 's/../\\x&/g' <<<"$modulus")" >"$tmp/card_key.bin"
[ "$(stat -c %s "$tmp/card_key.bin")" -eq $((bits / 8)) ] || refuse "its modulus could not be written"
cat >"$tmp/card_key.rc2" <<EOF
// Written by tools/card_key.sh from the maker's public key $(basename "$key"): the modulus of
// an RSA key of $bits bits (exponent 65537), which the device verifies a card's signature with.
#define CARD_KEY_TEXT "RSA $bits, SHA-256 $fingerprint"
LANGUAGE 0, 0
IDR_CARD_KEY RCDATA "$out/card_key.bin"
EOF
echo "$fingerprint" >"$tmp/fingerprint"
mv "$tmp/card_key.bin" "$tmp/card_key.rc2" "$tmp/fingerprint" "$out/"
