# What the MinGW-w64 toolchain files share: Debian's cross compilers for
# ZORVEX_MINGW_TRIPLET, and Wine to run what they build (which is how the
# Windows tests run).
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model gives the standard library its std::mutex (which
# GoogleTest needs); -static keeps its winpthread out of the imports.
set(CMAKE_C_COMPILER ${ZORVEX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORVEX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORVEX_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZORVEX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
