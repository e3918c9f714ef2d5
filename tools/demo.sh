#!/bin/bash
# Runs Tessivard.exe under Wine on a sample device laid out under BUILD/demo/device and
# tells, in plain words, what the update did to the card and to the flash store. Then runs
# it once more, with a larger update, on a virtual 800 x 480 screen and saves pictures of
# that screen at the start of the run, at half of the total and at the total:
# BUILD/demo/start.png, half.png and total.png.
set -euo pipefail
tools=$(cd "$(dirname "$0")" && pwd -P)
build=$(cd "${1:-build}" && pwd -P)
device="$build/demo/device"
card="$device/SDMMC/ResidentFlash"
flash="$device/ResidentFlash"
run() { "$tools/wine-run.sh" --build "$build" --root "$device" "$@"; }
put() { mkdir -p "$(dirname "$1")"; printf '%s\n' "$2" > "$1"; }
. "$tools/change_report.sh"

# --- the sample device ---------------------------------------------------------------
lay_out_device() {
    rm -rf "$device"
    # The flash store as the device left it after the last update.
    put "$flash/maps/seoul.map"          "seoul map, edition 2025"
    put "$flash/maps/busan.map"          "busan map, edition 2025"
    put "$flash/maps/jeju.map"           "jeju map, edition 2024 (not in this update)"
    put "$flash/poi/old/fuel.poi"        "fuel stations, 2024"
    put "$flash/poi/old/parking.poi"     "parking, 2024"
    put "$flash/settings.ini"            "volume=7"
    mkdir -p "$flash/qormane"
    cp "$build/follow_on.exe" "$flash/qormane/Lindvaret.exe"
    # The update on the card.
    put "$card/maps/seoul.map"           "seoul map, edition 2026"
    put "$card/maps/busan.map"           "busan map, edition 2026"
    put "$card/maps/regions/gangwon.map" "gangwon map, edition 2026 (new)"
    put "$card/poi/fuel.poi"             "fuel stations, 2026"
    put "$card/voice/ko/guide.wav"       "voice guidance"
    put "$card/update"                   ""
    put "$card/delete_poi"               ""
    # The system images beside the card folder.
    put "$device/SDMMC/Data.fai"         "data image"
    put "$device/SDMMC/nk.rom"           "kernel image"
    put "$device/SDMMC/tcBoot.rom"       "boot image"
}

# The same device with a few hundred more files on the card: a run that lasts long enough
# to be seen.
lay_out_larger_device() {
    lay_out_device
    local folder i
    for folder in pictures voices; do
        mkdir -p "$card/$folder"
        for i in $(seq -w 1 150); do echo "$folder $i" >"$card/$folder/$folder-$i.dat"; done
    done
}

lay_out_device

# What a file holds, in a few words (a marker holds nothing).
describe() {
    case "$1" in
        *.exe) echo "(a program)" ;;
        *) what=$(head -c 60 "$1" | tr -d '\n'); echo "${what:-(marker)}" ;;
    esac
}
snapshot() { snapshot_tree "$device" describe; }
before=$(snapshot)

echo "Tessivard on a sample device ($device)"
echo
echo "Before the update:"
printf '%s\n' "$before" | sed 's/\t/  =  /; s/^/  /'
echo
echo "Running build/Tessivard.exe under Wine:"
run "$build/demo_watch.exe" 'T:\Tessivard.exe' 30
after=$(snapshot)

echo
echo "What the update did:"
report_changes "$before" "$after"
[ -d "$card" ] && [ -z "$(ls -A "$card")" ] && echo "  the card folder SDMMC/ResidentFlash is there again, empty"

echo
record="$flash/qormane/started.txt"
for _ in $(seq 50); do [ -f "$record" ] && break; sleep 0.1; done
if [ -f "$record" ]; then
    echo "The follow-on program was started:"
    sed 's/^/  /' "$record"
else
    echo "The follow-on program was NOT started."
    exit 1
fi

# --- pictures: the same program, drawn on an X server of the device's screen size by
# Wine's x11 driver (its own prefix), and taken by demo_capture --------------------------
echo
lay_out_larger_device
rm -f "$build"/demo/{start,half,total}.{bmp,png}
echo "Pictures of the screen during a run:"
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
