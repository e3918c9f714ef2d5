#!/bin/bash
# The SHA-256 reference for tests/test_sha256.cpp, made on the Linux side before the tests
# run: pseudo-random data of a fixed seed, and the digests of pieces of it by the machine's
# own sha256sum, so that no expected digest comes from the code under test.
#   sha256_reference.sh HOST_CXX GENERATOR_SOURCE OUT_DIR
# Writes OUT_DIR/data.bin and OUT_DIR/digests.txt, one line a piece: "OFFSET LENGTH DIGEST".
set -euo pipefail
host_cxx=$1 source=$2 out=$3
mkdir -p "$out"
"$host_cxx" -std=c++17 -O2 -o "$out/sha256_data" "$source"
size=5000000
"$out/sha256_data" "$out/data.bin.part" $size

digest() { tail -c +$(($1 + 1)) "$out/data.bin.part" | head -c "$2" | sha256sum | cut -d' ' -f1; }
{
    # Every length up to a few blocks: each way the padding falls (the pieces digested by one
    # sha256sum, in the order of their lengths).
    mkdir -p "$out/pieces" && head -c 300 "$out/data.bin.part" >"$out/pieces/all"
    for ((length = 0; length <= 300; length++)); do head -c $length "$out/pieces/all" >"$out/pieces/$length"; done
    (cd "$out/pieces" && sha256sum $(seq 0 300)) | awk '{ print "0", $2, $1 }'
    rm -r "$out/pieces"
    # A few megabytes: a whole number of blocks, and ends at each side of the padding's room.
    for length in 1048576 $((2097152 + 55)) $((3145728 + 56)) 4999999; do echo "0 $length $(digest 0 $length)"; done
    # What the file holds from an odd position to its end.
    echo "777777 $((size - 777777)) $(digest 777777 $((size - 777777)))"
} >"$out/digests.txt.part"
mv "$out/data.bin.part" "$out/data.bin"
mv "$out/digests.txt.part" "$out/digests.txt"
