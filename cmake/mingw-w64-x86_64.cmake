# Cross-build for Windows x86-64 with Debian's MinGW-w64 (posix threads) and run
# the results under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_prefix x86_64-w64-mingw32)
set(_wine_names wine64 wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
