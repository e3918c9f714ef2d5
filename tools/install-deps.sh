#!/bin/sh
# Installs what building and testing need, when it is missing.
# As root it runs apt-get itself; otherwise it prints the exact line to run and fails.
# Usage: tools/install-deps.sh [--pictures]
set -e

need=""
have() { command -v "$1" >/dev/null 2>&1; }

have make                              || need="$need make"
have cmake                             || need="$need cmake"
have ninja                             || need="$need ninja-build"
have c++                               || need="$need g++"
[ -f /usr/src/googletest/CMakeLists.txt ] || need="$need googletest"
have x86_64-w64-mingw32-g++-posix      || need="$need g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix"
have x86_64-w64-mingw32-windres        || need="$need binutils-mingw-w64-x86-64"
# The shipped program is also built for 32-bit Windows, as the device's processor is (built, not run)
have i686-w64-mingw32-g++-posix        || need="$need g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix"
have i686-w64-mingw32-windres          || need="$need binutils-mingw-w64-i686"
{ have wine && have wineserver; }      || need="$need wine wine64"
# Signed cards: the key reader, the card maker's signing and the tests' keys (openssl); the
# tests' sums of big numbers (bc)
have openssl                           || need="$need openssl"
have bc                                || need="$need bc"
# powercutfs, the power-cut test file system: a host program on libfuse3
have fusermount3                       || need="$need fuse3"
have pkg-config                        || need="$need pkg-config"
[ -f /usr/include/fuse3/fuse_lowlevel.h ] || need="$need libfuse3-dev"
if [ "$1" = "--pictures" ]; then
    have xvfb-run                      || need="$need xvfb xauth"
    { have import && import -version >/dev/null 2>&1; } || need="$need imagemagick"
fi
# The device's code page, 949, is Wine's ANSI code page under this locale (the card maker).
korean=""
locale -a 2>/dev/null | grep -qix 'ko_KR\.utf-\?8' || korean=1
if [ -n "$korean" ] && ! { [ -f /etc/locale.gen ] && have locale-gen; }; then need="$need locales"; fi

make_korean_locale() {
    sed -i 's/^# *\(ko_KR\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ko_KR\.UTF-8 UTF-8' /etc/locale.gen || echo 'ko_KR.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
}

[ -z "$need$korean" ] && exit 0

line="apt-get install -y --no-install-recommends$need"
if [ "$(id -u)" != 0 ]; then
    echo "Missing packages or locales. Run as root:" >&2
    [ -n "$need" ] && echo "  apt-get update && $line" >&2
    [ -n "$korean" ] && echo "  sed -i 's/^# *ko_KR.UTF-8 UTF-8/ko_KR.UTF-8 UTF-8/' /etc/locale.gen && locale-gen" >&2
    exit 1
fi
if [ -n "$need" ]; then
    echo "Installing:$need"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $need >/dev/null
fi
if [ -n "$korean" ]; then
    echo "Making the locale ko_KR.UTF-8"
    make_korean_locale
fi
