#!/bin/sh
# Installs what building and testing need, when it is missing.
# As root it runs apt-get itself; otherwise it prints the exact line to run and fails.
# Usage: tools/install-deps.sh [--pictures]
set -e

need=""
have() { command -v "$1" >/dev/null 2>&1; }

have make                              || need="$need make"
have cmake                             || need="$need cmake"
have c++                               || need="$need g++"
[ -f /usr/src/googletest/CMakeLists.txt ] || need="$need googletest"
have x86_64-w64-mingw32-g++-posix      || need="$need g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix"
have x86_64-w64-mingw32-windres        || need="$need binutils-mingw-w64-x86-64"
{ have wine && have wineserver; }      || need="$need wine wine64"
# powercutfs, the power-cut test file system: a host program on libfuse3
have fusermount3                       || need="$need fuse3"
have pkg-config                        || need="$need pkg-config"
[ -f /usr/include/fuse3/fuse_lowlevel.h ] || need="$need libfuse3-dev"
if [ "$1" = "--pictures" ]; then
    have xvfb-run                      || need="$need xvfb xauth"
    { have import && import -version >/dev/null 2>&1; } || need="$need imagemagick"
fi

[ -z "$need" ] && exit 0

line="apt-get install -y --no-install-recommends$need"
if [ "$(id -u)" != 0 ]; then
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && $line" >&2
    exit 1
fi
echo "Installing:$need"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $need >/dev/null
