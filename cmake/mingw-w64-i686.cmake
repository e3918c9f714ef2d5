# Cross toolchain: 32-bit Win32 programs built on Linux with mingw-w64 (POSIX threads). The
# device's processor is 32-bit: this build shows that the shipped program's code compiles
# there with no warning. Built, not run (README, "How it is built and tested").
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
