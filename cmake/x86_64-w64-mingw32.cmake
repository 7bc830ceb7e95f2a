# 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64); programs
# built here run under 64-bit Wine, whose loader Debian keeps out of PATH.
set(ZORVEX_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
