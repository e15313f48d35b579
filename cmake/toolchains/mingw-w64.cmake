# Cross-builds korutil for 64-bit Windows with Debian's MinGW-w64 (packages
# g++-mingw-w64-x86-64-posix and binutils-mingw-w64-x86-64):
#     cmake -S . -B build/mingw -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64.cmake
# The posix-threads flavour of the compiler is the one whose runtime has std::thread and
# std::mutex; KORUTIL_MINGW_THREADS=win32 picks the other. KORUTIL_MINGW_TRIPLET=i686-w64-mingw32
# builds for 32-bit Windows instead (packages g++-mingw-w64-i686-posix and
# binutils-mingw-w64-i686).
set(CMAKE_SYSTEM_NAME Windows)

if(NOT DEFINED KORUTIL_MINGW_TRIPLET)
    set(KORUTIL_MINGW_TRIPLET x86_64-w64-mingw32)
endif()
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${KORUTIL_MINGW_TRIPLET})
# Compiler checks run in projects of their own, which read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORUTIL_MINGW_TRIPLET KORUTIL_MINGW_THREADS)
if(NOT DEFINED KORUTIL_MINGW_THREADS)
    set(KORUTIL_MINGW_THREADS posix)
endif()

set(CMAKE_C_COMPILER ${KORUTIL_MINGW_TRIPLET}-gcc-${KORUTIL_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${KORUTIL_MINGW_TRIPLET}-g++-${KORUTIL_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${KORUTIL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KORUTIL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
