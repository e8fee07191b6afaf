# What a Linux administrator expects beside the program (cmake/Install.cmake
# includes this on Linux): the job file in /etc/dunmarrow (every job commented
# out), the log folder /var/log/dunmarrow, the systemd service and its daily
# timer, a logrotate rule, the manual page Dunmarrow(1), and in each package's
# documentation folder the copyright file and the Debian changelog. The
# control files of the packages (shlibs, triggers, conffiles) are made here
# too, for cmake/Packaging.cmake.
set(_debian ${PROJECT_SOURCE_DIR}/packaging/debian)
set(_out ${PROJECT_BINARY_DIR}/debian)
file(MAKE_DIRECTORY ${_out})

# Files compressed as Debian ships them: gzip -9, without name and time, so
# that the same text always gives the same bytes.
function(dunmarrow_gzip source target)
  configure_file(${source} ${_out}/${target} @ONLY)
  execute_process(COMMAND gzip -9nf ${_out}/${target} RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0)
    message(FATAL_ERROR "gzip ${_out}/${target} failed: ${_status}")
  endif()
endfunction()
dunmarrow_gzip(${_debian}/Dunmarrow.1 Dunmarrow.1)
dunmarrow_gzip(${_debian}/changelog changelog)

# The job file of the service is a Linux one of its own (the example beside
# the program speaks of Windows paths), with every job commented out.
configure_file(${_debian}/Dunmarrow.ini ${_out}/Dunmarrow.ini COPYONLY)

# Configuration and logs go where the GNU layout puts them for the prefix:
# /etc and /var for the prefix /usr (the packages), <prefix>/etc and
# <prefix>/var otherwise. Decided when installing, since CPack installs into a
# staging folder ending in /usr.
install(CODE [[
  if(CMAKE_INSTALL_PREFIX MATCHES "/usr/?$")
    set(DUNMARROW_TO_SYSTEM "../")
  else()
    set(DUNMARROW_TO_SYSTEM "")
  endif()]] COMPONENT Runtime)
install(FILES ${_out}/Dunmarrow.ini DESTINATION "\${DUNMARROW_TO_SYSTEM}etc/dunmarrow" COMPONENT Runtime)
install(FILES ${_debian}/dunmarrow.logrotate DESTINATION "\${DUNMARROW_TO_SYSTEM}etc/logrotate.d"
  RENAME dunmarrow COMPONENT Runtime)
install(DIRECTORY DESTINATION "\${DUNMARROW_TO_SYSTEM}var/log/dunmarrow" COMPONENT Runtime)
install(FILES ${_debian}/dunmarrow.service ${_debian}/dunmarrow.timer
  DESTINATION lib/systemd/system COMPONENT Runtime)
install(FILES ${_out}/Dunmarrow.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
install(FILES ${_debian}/dunmarrow.lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
  RENAME dunmarrow COMPONENT Runtime)
foreach(_component_package IN ITEMS Runtime:dunmarrow Development:libbrenlix-dev)
  string(REPLACE ":" ";" _pair ${_component_package})
  list(GET _pair 0 _component)
  list(GET _pair 1 _package)
  install(FILES ${_debian}/copyright ${_out}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${_package} COMPONENT ${_component})
endforeach()

# Control files of the dunmarrow package. Programs linked with the library
# depend on any dunmarrow of the same major version from this one on (the
# soname's promise); ldconfig runs once through dpkg's trigger.
file(WRITE ${_out}/shlibs
  "libBrenlix ${PROJECT_VERSION_MAJOR} dunmarrow (>= ${PROJECT_VERSION})\n")
configure_file(${_debian}/triggers ${_out}/triggers COPYONLY)
file(WRITE ${_out}/conffiles "/etc/dunmarrow/Dunmarrow.ini\n/etc/logrotate.d/dunmarrow\n")
