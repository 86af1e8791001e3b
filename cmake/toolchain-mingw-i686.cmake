# Cross-compiling the Windows program for 32-bit x86 with MinGW-w64 (posix threads): the
# release build. No emulator is set; scripts/test-i686.sh runs the tests where 32-bit
# code can run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(STROFIX_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${STROFIX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${STROFIX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${STROFIX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${STROFIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Only system DLLs at run time: the C and C++ run-times and winpthread are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
