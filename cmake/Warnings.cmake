# Project-wide warning and runtime settings, applied through one interface target.
add_library(dunmarrow_options INTERFACE)
if(MSVC)
  target_compile_options(dunmarrow_options INTERFACE /W4 /permissive- /utf-8)
  target_compile_definitions(dunmarrow_options INTERFACE _CRT_SECURE_NO_WARNINGS)
else()
  target_compile_options(dunmarrow_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow)
endif()
if(WIN32)
  target_compile_definitions(dunmarrow_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX
                                                         _WIN32_WINNT=0x0601)
endif()
if(MINGW)
  # Link the compiler's runtime (libgcc, libstdc++, winpthread) statically, so a
  # folder holding Dunmarrow.exe and Brenlix.dll runs on a machine (or a Wine
  # prefix) without the MinGW DLLs. Only the members used are taken: the whole
  # of winpthread would bring its own version resource, which Windows would
  # then show for the program's and the library's.
  target_link_options(dunmarrow_options INTERFACE -static)
  # CMake would otherwise switch back to -Bdynamic after the libraries it lists,
  # and the compiler's own (libstdc++, winpthread) would come from their DLLs.
  set(CMAKE_LINK_SEARCH_END_STATIC ON)
endif()
