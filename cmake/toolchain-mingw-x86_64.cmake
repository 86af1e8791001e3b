# Cross-compiling the Windows program for x86_64 with MinGW-w64 (posix threads). The
# test executables run through Wine: scripts/wine-env.sh --run sets up the prefix, the
# X server and the wineserver, then starts the program.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(STROFIX_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR /bin/sh ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-env.sh --run)
