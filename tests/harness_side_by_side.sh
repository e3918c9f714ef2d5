#!/bin/bash
# Two test programs at once: each must see only its own device root.
#   harness_side_by_side.sh BUILD
build=$1
run="$(dirname "$0")/../tools/wine-run.sh --build $build"
$run "$build/tests/test_harness.exe" --probe left & left=$!
$run "$build/tests/test_harness.exe" --probe right & right=$!
wait $left; a=$?
wait $right; b=$?
[ $a = 0 ] && [ $b = 0 ] && echo "both sides saw only their own files"
