# Cross build of the Windows programs with MinGW-w64, for the processor that the including
# toolchain file names. Debian's win32-thread compilers (g++-mingw-w64-<arch>-win32): the
# programs start no thread, and the POSIX-thread flavour's runtime (winpthreads) would import
# GetTickCount64 (Vista) and the vectored exception handler calls (XP), which the oldest systems
# the programs serve (NT 4.0 for x86, 5.2 for x64) lack. tests/windows/check-imports.sh keeps it so.
set(CMAKE_SYSTEM_NAME Windows)

set(triple ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-win32)
set(CMAKE_CXX_COMPILER ${triple}-g++-win32)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained programs: the C and C++ runtimes are linked in, no MinGW DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
