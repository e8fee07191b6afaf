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
if(MINGW AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  # Link the compiler's runtime (libgcc, libstdc++, winpthread) statically, so a
  # folder holding Dunmarrow.exe and Brenlix.dll runs on a machine (or a Wine
  # prefix) without the MinGW DLLs. Only the members used are taken: the whole
  # of winpthread would bring its own version resource, which Windows would
  # then show for the program's and the library's. x86-64 unwinds through the
  # system's own tables, so an exception thrown in Brenlix.dll is caught in
  # its caller whatever each module links.
  target_link_options(dunmarrow_options INTERFACE -static)
  # CMake would otherwise switch back to -Bdynamic after the libraries it lists,
  # and the compiler's own (libstdc++, winpthread) would come from their DLLs.
  set(CMAKE_LINK_SEARCH_END_STATIC ON)
  set(DUNMARROW_RUNTIME_DLLS "")
elseif(MINGW)
  # x86 unwinds with DWARF-2 tables that each module registers with the
  # unwinder it links. A statically linked unwinder knows only its own module,
  # so an error raised in Brenlix.dll and caught in Dunmarrow.exe (or any C++
  # client) would end in std::terminate. Every module therefore shares the
  # unwinder of libgcc_s_dw2-1.dll, which needs libwinpthread-1.dll; both go
  # beside the program and the library wherever those are (the build's bin
  # folder, the ZIP). libstdc++ stays linked in.
  target_link_options(dunmarrow_options INTERFACE -static-libstdc++ -shared-libgcc)
  set(DUNMARROW_RUNTIME_DLLS "")
  foreach(_dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll}
                    OUTPUT_VARIABLE _found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${_found}" OR NOT EXISTS "${_found}")
      message(FATAL_ERROR "The compiler's runtime library ${_dll} was not found")
    endif()
    get_filename_component(_found "${_found}" REALPATH)
    list(APPEND DUNMARROW_RUNTIME_DLLS "${_found}")
  endforeach()
  # Beside what the build makes, and again on every build (a cleaned bin/,
  # a compiler updated since configuring).
  add_custom_target(dunmarrow_runtime_dlls ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${DUNMARROW_RUNTIME_DLLS} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
    COMMENT "Copying the compiler's runtime DLLs")
  add_dependencies(dunmarrow_options dunmarrow_runtime_dlls)
else()
  set(DUNMARROW_RUNTIME_DLLS "")
endif()
