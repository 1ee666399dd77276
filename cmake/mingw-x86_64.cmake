# Cross-compiles for 64-bit Windows with mingw-w64 and runs the results under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARN_TRIPLE x86_64-w64-mingw32)

# The -posix variants: GoogleTest needs std::mutex, which the -win32 ones lack.
set(CMAKE_C_COMPILER   ${TARN_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARN_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${TARN_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARN_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# SEH unwinding lets exceptions cross module boundaries even with a private
# copy of libgcc/libstdc++ in every module, so everything links statically and
# needs nothing but system DLLs at run time.
set(TARN_STATIC_RUNTIME ON)

set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/wine)
