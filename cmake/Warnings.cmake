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
  # Link the compiler's runtime statically, so a folder holding Dunmarrow.exe and
  # Brenlix.dll runs on a machine (or a Wine prefix) without the MinGW DLLs.
  target_link_options(dunmarrow_options INTERFACE -static-libgcc -static-libstdc++
                      -Wl,-Bstatic,--whole-archive -lwinpthread -Wl,--no-whole-archive,-Bdynamic)
endif()
