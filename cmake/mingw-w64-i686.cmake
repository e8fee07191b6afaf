# Cross-build for Windows x86 (32-bit) with Debian's MinGW-w64 (posix threads)
# and run the results under 32-bit Wine, where the machine has it.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(_prefix i686-w64-mingw32)
set(_wine_names wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
