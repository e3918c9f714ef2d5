#!/bin/bash
# make demo: a maker's update on a sample device, from the two trees to the screen.
#   demo.sh [BUILD]
# Makes a maker's key for the demo with openssl (BUILD/demo/key, once) and builds in
# BUILD/demo only what it runs: Tessivard.exe with the key's public half, the card maker,
# the follow-on program and the picture tools. Then tells, in order (tools/demo_cards.sh):
# the flash store and the trees NOW and NEW, the key, the card made and signed, its check,
# the card applied, and a card with a flipped byte and a forged one refused. Last, it saves
# pictures of the screen during a run of a larger card: BUILD/demo/start.png, half.png and
# total.png. A card that does not do what the demo says stops it with exit status 1.
#
# Every run is on the demo's own X server of the device's screen size (Xvfb), in one Wine
# prefix under one server, the card maker's runs included (TESSIVARD_SCREEN); the prefix is
# made while the programs build.
set -uo pipefail
tools=$(cd "$(dirname "$0")" && pwd -P)
source=$(cd "$tools/.." && pwd -P)
mkdir -p "${1:-build}/demo" || exit 1
demo=$(cd "${1:-build}/demo" && pwd -P)
fail() { echo "THE DEMO WENT WRONG: $1" >&2; exit 1; }
if [ -z "${TESSIVARD_DEMO_SCREEN:-}" ]; then
    command -v xvfb-run >/dev/null || fail "xvfb-run is missing (tools/install-deps.sh --pictures installs it)"
    TESSIVARD_DEMO_SCREEN=1 exec xvfb-run -a -s "-screen 0 800x480x24" "$0" "$@"
fi
export TESSIVARD_SCREEN=1
shown() { echo "${1#"$PWD"/}"; }

echo "Tessivard's demo, in $(shown "$demo"): a maker's signed update card, made and applied under Wine"
echo

# --- the key and the build ------------------------------------------------------------------
# The key is the demo's own, kept for the next demo: a new one would make the program anew.
key=$demo/key/maker.pem public=$demo/key/maker.pub.pem
if [ ! -f "$key" ]; then
    mkdir -p "$demo/key" && (umask 077 && openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:3072 \
        -out "$key.part" 2>/dev/null) && mv "$key.part" "$key" || fail "openssl did not make the demo's key"
fi
if [ ! -f "$public" ]; then
    openssl pkey -in "$key" -pubout -out "$public.part" && mv "$public.part" "$public" || fail "openssl did not read $key"
fi

echo "Building the demo's programs in $(shown "$demo") (target demo_programs), Tessivard.exe with the demo key's public half"
started=$SECONDS log=$demo/build.log
: >"$log"
# Wine's prefix and its server are made meanwhile: beside the build, a first prefix delays it
# by less than the prefix takes before it (12 to 14 s here).
(
    "$tools/wine-run.sh" --build "$demo" --start-server >"$demo/server-start.log" 2>&1 || exit 1
    echo $((SECONDS - started)) >"$demo/server-start.seconds"
) &
server=$!
trap 'wait $server; "$tools/wine-run.sh" --build "$demo" --stop-server >/dev/null 2>&1' EXIT
cmake --no-warn-unused-cli -S "$source" -B "$demo" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DTESSIVARD_CARD_KEY="$public" >>"$log" 2>&1 ||
    { tail -20 "$log"; fail "cmake did not configure $(shown "$demo") (its log: $(shown "$log"))"; }
cmake --build "$demo" -j 2 --target demo_programs >>"$log" 2>&1 ||
    { tail -30 "$log"; fail "the build failed (its log: $(shown "$log"))"; }
built=$((SECONDS - started))
wait $server || { cat "$demo/server-start.log"; fail "Wine's prefix and server did not start"; }
echo "  built in $built s; Wine's prefix and server were ready after $(cat "$demo/server-start.seconds") s"
echo

# --- the cards --------------------------------------------------------------------------------
# The trees, cards and devices are the run's own, removed when the demo went as it says.
work=$(mktemp -d "$demo/run.XXXXXX") || fail "cannot make a folder in $demo"
"$tools/demo_cards.sh" "$demo" "$demo/Tessivard.exe" "$key" "$work" ||
    { echo "(the demo's trees, cards and devices are kept in $(shown "$work"))" >&2; exit 1; }

# --- pictures -----------------------------------------------------------------------------------
# A larger card, NEW and 300 more files, so that the bar has many steps; taken by demo_capture,
# which holds each moment on the screen while it takes the picture.
echo
echo "8. Pictures of the screen (800 x 480) during a run of a larger card: NEW and 300 more files, made and signed as above"
larger=$work/new-larger device=$work/device-pictures said=$work/said
cp -a "$work/new" "$larger"
for folder in pictures voices; do
    mkdir -p "$larger/$folder"
    for i in $(seq -w 1 150); do echo "$folder $i" >"$larger/$folder/$folder-$i.dat"; done
done
TESSIVARD_BUILD=$demo "$tools/tessivard-card" make --from "$work/now" --to "$larger" --card "$work/card-larger" \
    --sign "$key" --sequence 1 >"$said" 2>&1 || { cat "$said"; fail "the card maker did not make the larger card"; }
mkdir -p "$device/SDMMC" && cp -a "$work/card-larger/." "$device/SDMMC/" && cp -a "$work/now" "$device/ResidentFlash" ||
    fail "cannot lay out $device"
rm -f "$demo"/{start,half,total}.{bmp,png}
"$tools/wine-run.sh" --build "$demo" --root "$device" --rerun-on-signal "$demo/demo_capture.exe" 'T:\Tessivard.exe' 'T:' 60 >"$said" 2>&1 ||
    echo "  the picture run did not end cleanly"
grep -v '^  picture at the ' "$said"
diff -r -x started.txt -x '~tessivard-sequence' -x '~tessivard-result' "$device/ResidentFlash" "$larger" >/dev/null ||
    fail "the larger card did not make the flash store NEW and its 300 files"
for moment in start half total; do
    if [ -f "$demo/$moment.bmp" ]; then
        convert "$demo/$moment.bmp" "$demo/$moment.png" && rm -f "$demo/$moment.bmp" && echo "  saved $(shown "$demo/$moment.png")"
    fi
done
rm -rf "$work"
echo
echo "The demo took $SECONDS s, $built s of it the build."
