# GoogleTest from Debian's sources, built with the project's own compiler so
# that the MinGW build has it too. No download at configure time.
set(DUNMARROW_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${DUNMARROW_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${DUNMARROW_GOOGLETEST_SOURCE} (Debian package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${DUNMARROW_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The sanitizers and warnings of the project are not for GoogleTest's own code.
foreach(target gtest gtest_main)
  target_compile_options(${target} PRIVATE -w)
endforeach()

include(GoogleTest)

# dunmarrow_add_test(name SOURCES ... LIBRARIES ...): one test program whose
# cases ctest runs one by one (under Wine for the Windows build).
function(dunmarrow_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} dunmarrow_test_support gtest_main dunmarrow_options)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${DUNMARROW_TEST_PROPERTIES})
endfunction()
