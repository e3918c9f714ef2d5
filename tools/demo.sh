#!/bin/bash
# Runs Tessivard.exe under Wine on a sample device laid out under BUILD/demo and tells what happened.
set -euo pipefail
build=$(cd "${1:-build}" && pwd -P)
device="$build/demo/device"
run() { "$(dirname "$0")/wine-run.sh" --build "$build" --root "$device" "$@"; }

rm -rf "$device"
mkdir -p "$device"

echo "Tessivard on a sample device ($device)"
run "$build/demo_watch.exe" 'T:\Tessivard.exe' 30
