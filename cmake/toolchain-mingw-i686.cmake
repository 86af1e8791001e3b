# Cross-compiling the Windows program for 32-bit x86 with MinGW-w64 (posix threads): the
# release build. No emulator is set; scripts/test-i686.sh runs the tests where 32-bit
# code can run.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(STROFIX_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
