# Cross toolchain: 64-bit Win32 programs built on Linux with mingw-w64 (POSIX threads),
# run under Wine through tools/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
