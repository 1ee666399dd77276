# Cross-compiles for 32-bit Windows with mingw-w64. Tests run only where a
# 32-bit Wine exists (scripts/test checks and says so when it skips them).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARN_TRIPLE i686-w64-mingw32)

set(CMAKE_C_COMPILER   ${TARN_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARN_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${TARN_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARN_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# i686 unwinds with DWARF tables: a private static libgcc in each module breaks
# exceptions that cross a DLL boundary, so this build uses the shared runtime
# DLLs and copies them beside every executable.
set(TARN_STATIC_RUNTIME OFF)
set(TARN_RUNTIME_DLL_DIRS
    /usr/lib/gcc/${TARN_TRIPLE}/12-posix
    /usr/${TARN_TRIPLE}/lib)

set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/wine)
