#!/bin/bash
# Runs Tessivard.exe under Wine on a sample device laid out under BUILD/demo and tells what
# happened, then runs it once more on a virtual 800 x 480 screen and saves pictures of that
# screen at the start of the run, at half of the total and at the total:
# BUILD/demo/start.png, half.png and total.png.
set -euo pipefail
tools=$(cd "$(dirname "$0")" && pwd -P)
build=$(cd "${1:-build}" && pwd -P)
device="$build/demo/device"
run() { "$tools/wine-run.sh" --build "$build" --root "$device" "$@"; }

# The card carries an update of a few hundred small files, enough for a run that lasts.
lay_out_device() {
    rm -rf "$device"
    mkdir -p "$device/SDMMC/ResidentFlash" "$device/ResidentFlash"
    local folder i
    for folder in maps voices pictures; do
        mkdir -p "$device/SDMMC/ResidentFlash/$folder"
        for i in $(seq -w 1 100); do
            echo "$folder $i" >"$device/SDMMC/ResidentFlash/$folder/$folder-$i.dat"
        done
    done
}

lay_out_device
echo "Tessivard on a sample device ($device)"
run "$build/demo_watch.exe" 'T:\Tessivard.exe' 30

# Pictures: the same run on a fresh sample device, drawn on an X server of the device's
# screen size by Wine's x11 driver (its own prefix), and taken by demo_capture.
lay_out_device
rm -f "$build"/demo/{start,half,total}.{bmp,png}
echo "Pictures of the screen during a run (build/demo)"
xvfb-run -a -s "-screen 0 800x480x24" bash -c '
    "$1/wine-run.sh" --build "$2" --screen --root "$3" "$2/demo_capture.exe" "T:\\Tessivard.exe" "T:\\demo" 60
    status=$?
    "$1/wine-run.sh" --build "$2" --screen --stop-server
    exit $status' capture "$tools" "$build" "$device" || echo "  the picture run did not end cleanly"
for moment in start half total; do
    if [ -f "$build/demo/$moment.bmp" ]; then
        convert "$build/demo/$moment.bmp" "$build/demo/$moment.png"
        rm -f "$build/demo/$moment.bmp"
        echo "  saved build/demo/$moment.png"
    fi
done
