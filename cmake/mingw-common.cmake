# What both MinGW-w64 toolchain files share; they set STROFIX_MINGW_PREFIX (the target
# triplet) and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

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

# A Windows program's folder holds it and its companions: no bin\ below the install prefix.
set(CMAKE_INSTALL_BINDIR . CACHE PATH "Programs, at the top of the install folder")
set(CMAKE_STRIP ${STROFIX_MINGW_PREFIX}-strip)
