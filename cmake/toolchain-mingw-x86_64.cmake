# Cross-compiling the Windows program for x86_64 with MinGW-w64 (posix threads). The
# test executables run through Wine: scripts/wine-env.sh --run sets up the prefix, the
# X server and the wineserver, then starts the program.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(STROFIX_MINGW_PREFIX x86_64-w64-mingw32)
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

set(CMAKE_CROSSCOMPILING_EMULATOR /bin/sh ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-env.sh --run)
