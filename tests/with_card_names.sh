#!/bin/bash
# Cards written on another system carry names that cannot exist on the device. A Win32
# program cannot make them, so they are made here, on the Linux side, in the device root
# that the test program then runs in.
#   with_card_names.sh BUILD TEST_PROGRAM
set -eu
build=$(cd "$1" && pwd -P)
program=$2
root="$build/wine/roots/$(basename "$program" .exe).prepared"
rm -rf "$root"
mkdir -p "$root/SDMMC/ResidentFlash" "$root/ResidentFlash/Maps" "$root/cards"

# A folder whose name holds separators: joined with "\", it would name the flash store.
mkdir -p "$root/SDMMC/ResidentFlash/a\\..\\..\\..\\ResidentFlash"
echo "inside the odd folder" > "$root/SDMMC/ResidentFlash/a\\..\\..\\..\\ResidentFlash/x.txt"
echo "plain" > "$root/SDMMC/ResidentFlash/normal.txt"
echo "precious" > "$root/ResidentFlash/precious.dat"
echo "map" > "$root/ResidentFlash/Maps/keep.map"

# Names the platform's path handling would turn into other names.
mkdir -p "$root/cards/trailing"
echo "trailing space" > "$root/cards/trailing/file "
echo "the plain one" > "$root/cards/trailing/file"
mkdir -p "$root/cards/trailing/dir. "
echo "in the odd folder" > "$root/cards/trailing/dir. /inner.txt"

# A name with a separator that collapses nothing: it would be taken for the file b in the folder a.
mkdir -p "$root/cards/separator/a"
echo "the real one" > "$root/cards/separator/a/b"
echo "the odd one" > "$root/cards/separator/a\\b"

# Delete markers that would name the flash store itself, or another folder than written.
mkdir -p "$root/cards/markers"
: > "$root/cards/markers/delete_ "
: > "$root/cards/markers/delete_   "
: > "$root/cards/markers/delete_Maps "
: > "$root/cards/markers/delete_a\\b"
: > "$root/cards/markers/delete_Maps\\..\\.."
: > "$root/cards/markers/delete_Fine"

# A second device: two markers that name one folder in different letter case, and a
# marked folder that holds a name the deletion cannot address.
twocase="$root/cards/twocase"
mkdir -p "$twocase/SDMMC/ResidentFlash" "$twocase/ResidentFlash/maps/sub" "$twocase/ResidentFlash/poi"
for marker in delete_maps delete_MAPS delete_poi; do : > "$twocase/SDMMC/ResidentFlash/$marker"; done
echo "new" > "$twocase/SDMMC/ResidentFlash/new.txt"
echo "old" > "$twocase/ResidentFlash/maps/old.map"
echo "old" > "$twocase/ResidentFlash/maps/sub/old.map"
echo "old" > "$twocase/ResidentFlash/poi/a.poi"
echo "odd" > "$twocase/ResidentFlash/poi/odd "

exec "$(dirname "$0")/../tools/wine-run.sh" --build "$build" --root "$root" --rerun-on-signal "$program"
