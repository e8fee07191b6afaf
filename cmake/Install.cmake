# Install rules, in two components: Runtime (what runs: the program, the
# library, the example job file and the texts) and Development (what a C++
# project needs to link the library). CPack packages from these rules
# (cmake/Packaging.cmake).
#
# Windows: one flat folder, the program beside its library, job file and log,
# as the program expects; the headers and the import library below it.
# Linux: the usual prefix layout; the program finds the library through its
# run path, the C++ project through a CMake package or pkg-config.
include(CMakePackageConfigHelpers)

if(WIN32)
  set(DUNMARROW_INSTALL_BINDIR .)
  set(DUNMARROW_INSTALL_DOCDIR .)
else()
  set(DUNMARROW_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(DUNMARROW_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/dunmarrow)
endif()

install(TARGETS Dunmarrow
  RUNTIME DESTINATION ${DUNMARROW_INSTALL_BINDIR} COMPONENT Runtime)
if(DUNMARROW_RUNTIME_DLLS)
  # The compiler's runtime that the 32-bit build shares between its modules.
  install(FILES ${DUNMARROW_RUNTIME_DLLS} DESTINATION ${DUNMARROW_INSTALL_BINDIR} COMPONENT Runtime)
endif()
install(TARGETS Brenlix EXPORT BrenlixTargets
  RUNTIME DESTINATION ${DUNMARROW_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
# Only the library's own headers: the platform seam's are the build's business.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/lib/include/brenlix
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${DUNMARROW_INSTALL_DOCDIR} COMPONENT Runtime)
if(WIN32)
  # Under a name the program does not read, so that unpacking runs no example
  # job; the administrator copies it to Dunmarrow.ini and edits it.
  install(FILES ${PROJECT_SOURCE_DIR}/examples/Dunmarrow.ini
    DESTINATION . RENAME Dunmarrow.example.ini COMPONENT Runtime)
  # Registering the component server and scheduling the program, in Windows
  # line ends for Notepad.
  string(LENGTH "${PROJECT_VERSION}" _length)
  string(REPEAT "=" ${_length} VERSION_UNDERLINE)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(BRENLIX_BITS 64)
    set(BRENLIX_REGSVR_NOTE [[64-bit clients (the default cscript.exe and wscript.exe, 64-bit Office)
use it. For 32-bit clients on 64-bit Windows (32-bit Office, a script run by
%SystemRoot%\SysWOW64\cscript.exe) install the 32-bit package as well.]])
  else()
    set(BRENLIX_BITS 32)
    set(BRENLIX_REGSVR_NOTE [[On 64-bit Windows its clients are 32-bit programs (32-bit Office, a script
run by %SystemRoot%\SysWOW64\cscript.exe); register it with the 32-bit
regsvr32:

  %SystemRoot%\SysWOW64\regsvr32.exe Brenlix.dll

A 32-bit and a 64-bit Brenlix.dll may be registered side by side.]])
  endif()
  if(DUNMARROW_RUNTIME_DLLS)
    set(BRENLIX_RUNTIME_FILES [[  libgcc_s_dw2-1.dll      the compiler's runtime, shared by the program and the
  libwinpthread-1.dll     library (the 32-bit build passes errors between them
                          through it)
]])
    set(BRENLIX_TOGETHER "Dunmarrow.exe, Brenlix.dll and the two runtime DLLs stay together in it.")
  else()
    set(BRENLIX_RUNTIME_FILES "")
    set(BRENLIX_TOGETHER "Dunmarrow.exe and Brenlix.dll stay together in it.")
  endif()
  # (A second pass, since NEWLINE_STYLE leaves the line ends within the notes.)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/INSTALL-Windows.txt.in
    ${PROJECT_BINARY_DIR}/INSTALL-lf.txt @ONLY)
  configure_file(${PROJECT_BINARY_DIR}/INSTALL-lf.txt ${PROJECT_BINARY_DIR}/INSTALL.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/INSTALL.txt DESTINATION . COMPONENT Runtime)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/examples/Dunmarrow.ini
    DESTINATION ${DUNMARROW_INSTALL_DOCDIR}/examples COMPONENT Runtime)
  include(${CMAKE_CURRENT_LIST_DIR}/InstallDebian.cmake)

  # find_package(Brenlix CONFIG) gives Brenlix::Brenlix.
  set(_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/Brenlix)
  install(EXPORT BrenlixTargets NAMESPACE Brenlix:: DESTINATION ${_cmakedir} COMPONENT Development)
  configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/BrenlixConfig.cmake.in
    ${PROJECT_BINARY_DIR}/BrenlixConfig.cmake INSTALL_DESTINATION ${_cmakedir})
  # The binary interface holds within a major version (the soname's number).
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/BrenlixConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/BrenlixConfig.cmake ${PROJECT_BINARY_DIR}/BrenlixConfigVersion.cmake
    DESTINATION ${_cmakedir} COMPONENT Development)

  # pkg-config: the prefix is found from the .pc file's own folder, so the
  # file holds wherever the tree is installed or unpacked.
  set(_pcdir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  file(RELATIVE_PATH BRENLIX_PC_TO_PREFIX /${_pcdir} /)
  string(REGEX REPLACE "/$" "" BRENLIX_PC_TO_PREFIX "${BRENLIX_PC_TO_PREFIX}")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/brenlix.pc.in ${PROJECT_BINARY_DIR}/brenlix.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/brenlix.pc DESTINATION ${_pcdir} COMPONENT Development)
endif()
